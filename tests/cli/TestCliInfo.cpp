#include "Fixtures.h"
#include "FrameBuilder.h"
#include "RunCli.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>

using namespace velmora;
using namespace velmora::test;

namespace {

struct CliResult {
    int status = 0;
    std::string out, err;
};

CliResult RunInfo(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliResult r;
    r.status = RunCli(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A flat JSON object as its keys in order and their values as raw text.
using JsonFields = std::vector<std::pair<std::string, std::string>>;

JsonFields ParseFlatObject(const std::string& line) {
    JsonFields fields;
    std::size_t i = 0;
    auto skipSpace = [&] {
        while (i < line.size() && line[i] == ' ')
            ++i;
    };
    auto readString = [&] {
        const std::size_t start = i++;
        while (i < line.size() && line[i] != '"')
            i += line[i] == '\\' ? 2 : 1;
        ++i;
        return line.substr(start, i - start);
    };
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    i = 1;
    while (i < line.size() && line[i] != '}') {
        skipSpace();
        const std::string key = readString();
        skipSpace();
        EXPECT_EQ(line[i], ':') << line;
        ++i;
        skipSpace();
        std::string value;
        if (line[i] == '"') {
            value = readString();
        } else {
            const std::size_t start = i;
            const char* stops = line[i] == '[' ? "]" : ",}";
            i = line.find_first_of(stops, i);
            if (line[start] == '[')
                ++i;
            value = line.substr(start, i - start);
        }
        fields.emplace_back(key.substr(1, key.size() - 2), value);
        skipSpace();
        if (line[i] == ',')
            ++i;
    }
    return fields;
}

std::map<std::string, std::string> AsMap(const JsonFields& fields) {
    return {fields.begin(), fields.end()};
}

const std::vector<std::string> kInfoKeys = {"file",
                                            "version",
                                            "layer",
                                            "sampleRate",
                                            "channelMode",
                                            "frames",
                                            "length",
                                            "vbr",
                                            "bitrateKbps",
                                            "missingHeaders",
                                            "missingHeaderPositions",
                                            "badCrcs",
                                            "leadingGarbage",
                                            "lastFrameIncomplete",
                                            "extraInfo",
                                            "mp3Pro",
                                            "silentBegin",
                                            "silentEnd"};

// Main data that is neither uniform nor holds a byte that could start a frame header.
std::vector<std::uint8_t> AudioLikeData() {
    std::vector<std::uint8_t> data(400);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>((i * 37 + 11) % 200);
    return data;
}

FrameSpec AudioFrame(FrameSpec spec) {
    spec.mainData = AudioLikeData();
    for (int slot = 0; slot < SlotCount(spec); ++slot)
        spec.part23Length[slot] = 100;
    return spec;
}

// Info frame, 5 silent frames, 90 audio frames, 3 silent frames: MPEG-1 Layer III 128 kbit/s.
std::vector<std::uint8_t> CbrStreamWithSilentEnds() {
    const FrameSpec silent;
    std::vector<std::uint8_t> s = BuildExtraInfoFrame(silent, "Info", 98, 99 * 417);
    AppendFrames(s, silent, 5);
    AppendFrames(s, AudioFrame(silent), 90);
    AppendFrames(s, silent, 3);
    return s;
}

// Three garbage bytes, 100 audio frames with CRCs (frame 7's wrong), frame 40's header wiped,
// and a 30-byte tail.
std::vector<std::uint8_t> DamagedStream() {
    FrameSpec good = AudioFrame(FrameSpec{});
    good.crc = true;
    FrameSpec bad = good;
    bad.badCrc = true;
    std::vector<std::uint8_t> s = {0x00, 0x01, 0x02};
    AppendFrames(s, good, 7);
    AppendFrames(s, bad, 1);
    AppendFrames(s, good, 92);
    std::memset(s.data() + 3 + 40 * 417, 0, 4);
    s.insert(s.end(), 30, 0x00);
    return s;
}

// Xing frame, 10 silent 64 kbit/s frames, then 100 audio frames alternating 64 and 32 kbit/s:
// MPEG-2 Layer III 22050 Hz single channel with unused bytes in every frame (mp3PRO).
std::vector<std::uint8_t> Mpeg2VbrStream() {
    FrameSpec silent;
    silent.versionId = 2;
    silent.channelMode = 3;
    silent.bitrateIndex = 8;
    FrameSpec high = AudioFrame(silent);
    FrameSpec low = high;
    low.bitrateIndex = 4;
    std::vector<std::uint8_t> s = BuildExtraInfoFrame(silent, "Xing", 110, 0);
    AppendFrames(s, silent, 10);
    for (int i = 0; i < 50; ++i) {
        AppendFrames(s, high, 1);
        AppendFrames(s, low, 1);
    }
    return s;
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

} // namespace

TEST(CliInfo, JsonLinesForBuiltStreamsAreExact) {
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::vector<std::string> options;
        const char* expected; // after the "file" key
    } cases[] = {
        {"cbr.mp3",
         CbrStreamWithSilentEnds(),
         {},
         R"("version": "1", "layer": "III", "sampleRate": 44100, "channelMode": "joint-stereo", )"
         R"("frames": 98, "length": "0:02", "vbr": false, "bitrateKbps": 128, )"
         R"("missingHeaders": 0, "missingHeaderPositions": [], "badCrcs": 0, )"
         R"("leadingGarbage": false, "lastFrameIncomplete": false, "extraInfo": "Info", )"
         R"("mp3Pro": false, "silentBegin": 5, "silentEnd": 3})"},
        {"damaged.mp3",
         DamagedStream(),
         {},
         R"("version": "1", "layer": "III", "sampleRate": 44100, "channelMode": "joint-stereo", )"
         R"("frames": 99, "length": "0:02", "vbr": false, "bitrateKbps": 128, )"
         R"("missingHeaders": 1, "missingHeaderPositions": ["0:01.04"], "badCrcs": 1, )"
         R"("leadingGarbage": true, "lastFrameIncomplete": true, "extraInfo": null, )"
         R"("mp3Pro": false, "silentBegin": 0, "silentEnd": 0})"},
        // No bitrate holds 127/128 of the frames, so the average of 60 × 64 and 50 × 32 shows.
        {"mpeg2.mp3",
         Mpeg2VbrStream(),
         {},
         R"("version": "2", "layer": "III", "sampleRate": 22050, "channelMode": "single-channel", )"
         R"("frames": 110, "length": "0:02", "vbr": true, "bitrateKbps": 49, )"
         R"("missingHeaders": 0, "missingHeaderPositions": [], "badCrcs": 0, )"
         R"("leadingGarbage": false, "lastFrameIncomplete": false, "extraInfo": "Xing", )"
         R"("mp3Pro": true, "silentBegin": 0, "silentEnd": 0})"},
        // The mp3PRO rule keeps 8 of the 10 silent frames when it may trim the beginning.
        {"mpeg2b.mp3",
         Mpeg2VbrStream(),
         {"--option", "CheckBoxDisableSilenceDetectionBeginning_mp3PRO=off"},
         R"("version": "2", "layer": "III", "sampleRate": 22050, "channelMode": "single-channel", )"
         R"("frames": 110, "length": "0:02", "vbr": true, "bitrateKbps": 49, )"
         R"("missingHeaders": 0, "missingHeaderPositions": [], "badCrcs": 0, )"
         R"("leadingGarbage": false, "lastFrameIncomplete": false, "extraInfo": "Xing", )"
         R"("mp3Pro": true, "silentBegin": 2, "silentEnd": 0})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        WriteFile(path, c.bytes);
        std::vector<std::string> args = {"info", "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(path);
        const CliResult r = RunInfo(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "{\"file\": \"" + path + "\", " + c.expected + "\n");
    }
}

TEST(CliInfo, LameFilesReportEncoderFrameCountsAndModes) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const PcmSpec spec;
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, spec, 1.0);
    AppendTone(pcm, spec, 3.0, 440.0, 12000);
    AppendNoise(pcm, spec, 2.0, 6000, 7);
    AppendSilence(pcm, spec, 1.0);
    const std::string cbr = dir.File("cbr.mp3"), vbr = dir.File("vbr.mp3");
    EncodeWithLame(pcm, spec, "-b 128", cbr);
    EncodeWithLame(pcm, spec, "-V 2", vbr);

    const CliResult r = RunInfo({"info", "--json", cbr, vbr});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    struct Expect {
        const std::string& path;
        const char* tag;
        const char* vbr;
    } expects[] = {{cbr, "Info", "false"}, {vbr, "Xing", "true"}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expects[i].path);
        const JsonFields fields = ParseFlatObject(lines[i]);
        std::vector<std::string> keys;
        for (const auto& f : fields)
            keys.push_back(f.first);
        EXPECT_EQ(keys, kInfoKeys);
        auto m = AsMap(fields);
        // The encoder writes the number of audio frames (its own frame not included) into the
        // extra-info frame, which stands 36 bytes into an MPEG-1 stereo frame without CRC.
        const std::vector<std::uint8_t> bytes = ReadFile(expects[i].path);
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()) + 36, 4), expects[i].tag);
        EXPECT_EQ(m["frames"], std::to_string(BigEndian32(bytes.data() + 44)));
        EXPECT_EQ(m["file"], "\"" + expects[i].path + "\"");
        EXPECT_EQ(m["version"], "\"1\"");
        EXPECT_EQ(m["layer"], "\"III\"");
        EXPECT_EQ(m["sampleRate"], "44100");
        EXPECT_EQ(m["length"], "\"0:07\"");
        EXPECT_EQ(m["vbr"], expects[i].vbr);
        EXPECT_EQ(m["extraInfo"], std::string("\"") + expects[i].tag + "\"");
        EXPECT_EQ(m["missingHeaders"], "0");
        EXPECT_EQ(m["missingHeaderPositions"], "[]");
        EXPECT_EQ(m["leadingGarbage"], "false");
        EXPECT_EQ(m["lastFrameIncomplete"], "false");
        EXPECT_EQ(m["mp3Pro"], "false");
        EXPECT_NE(m["silentBegin"], "0"); // the leading second of digital silence
    }
    EXPECT_EQ(AsMap(ParseFlatObject(lines[0]))["bitrateKbps"], "128");
    EXPECT_EQ(AsMap(ParseFlatObject(lines[0]))["channelMode"], "\"joint-stereo\"");
}

TEST(CliInfo, FailedFilesGiveTheirErrorAndTheOthersStillPrint) {
    TempDir dir;
    const std::string good = dir.File("good.mp3"), text = dir.File("notes.txt"),
                      missing = dir.File("missing.mp3"), empty = dir.File("empty.mp3");
    WriteFile(good, CbrStreamWithSilentEnds());
    WriteFile(text, std::vector<std::uint8_t>(5000, 'a'));
    WriteFile(empty, {});
    const std::string missingText =
        std::string(std::strerror(ENOENT)) + " - Failed to open the file \\\"" + missing + "\\\"";
    const std::string notMp3 = "Failed to find a valid MPEG header - this is not an MP3 file!";

    const CliResult json = RunInfo({"info", "--json", missing, good, text});
    EXPECT_EQ(json.status, 1);
    const std::vector<std::string> lines = Lines(json.out);
    ASSERT_EQ(lines.size(), 3u) << json.out;
    EXPECT_EQ(lines[0], "{\"file\": \"" + missing + "\", \"error\": \"" + missingText + "\"}");
    EXPECT_EQ(AsMap(ParseFlatObject(lines[1]))["frames"], "98");
    EXPECT_EQ(lines[2], "{\"file\": \"" + text + "\", \"error\": \"" + notMp3 + "\"}");

    // An empty file cannot be mapped; its error names the mapping.
    const CliResult emptyJson = RunInfo({"info", "--json", empty});
    EXPECT_EQ(emptyJson.status, 1);
    EXPECT_NE(emptyJson.out.find("Failed to create file mapping\"}"), std::string::npos)
        << emptyJson.out;

    const CliResult plain = RunInfo({"info", good, text});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.err, text + ": " + notMp3 + "\n");
    EXPECT_NE(plain.out.find("Frames:                98\n"), std::string::npos) << plain.out;
}

TEST(CliInfo, PlainTextShowsOneAlignedBlockPerFile) {
    TempDir dir;
    const std::string damaged = dir.File("damaged.mp3"), cbr = dir.File("cbr.mp3");
    WriteFile(damaged, DamagedStream());
    WriteFile(cbr, CbrStreamWithSilentEnds());
    const CliResult r = RunInfo({"info", damaged, cbr});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "File:                  " + damaged +
                         "\n"
                         "Type:                  MPEG 1 layer III\n"
                         "Sample rate:           44100 Hz\n"
                         "Channel mode:          joint-stereo\n"
                         "Frames:                99\n"
                         "Length:                0:02\n"
                         "Bitrate:               CBR, 128 kbit/s\n"
                         "Missing headers:       1 at 0:01.04\n"
                         "Bad CRCs:              1\n"
                         "Leading garbage:       yes\n"
                         "Last frame incomplete: yes\n"
                         "Extra-info frame:      none\n"
                         "mp3PRO:                no\n"
                         "Silent frames:         0 at the start, 0 at the end\n"
                         "\n"
                         "File:                  " +
                         cbr +
                         "\n"
                         "Type:                  MPEG 1 layer III\n"
                         "Sample rate:           44100 Hz\n"
                         "Channel mode:          joint-stereo\n"
                         "Frames:                98\n"
                         "Length:                0:02\n"
                         "Bitrate:               CBR, 128 kbit/s\n"
                         "Missing headers:       0\n"
                         "Bad CRCs:              0\n"
                         "Leading garbage:       no\n"
                         "Last frame incomplete: no\n"
                         "Extra-info frame:      Info\n"
                         "mp3PRO:                no\n"
                         "Silent frames:         5 at the start, 3 at the end\n");
}

TEST(CliInfo, UsageErrorsExitWithTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* errStart;
    } cases[] = {
        {{"info"}, "Usage: velmora-cli info"},
        {{"info", "--json"}, "Usage: velmora-cli info"},
        {{"info", "--frobnicate", "x.mp3"}, "velmora-cli: unknown option \"--frobnicate\""},
    };
    for (const Case& c : cases) {
        const CliResult r = RunInfo(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind(c.errStart, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
    }
}
