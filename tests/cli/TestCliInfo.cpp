#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "RunCli.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <map>
#include <sstream>

using namespace velmora;
using namespace velmora::test;

namespace {

using CliResult = CliRun;

CliResult RunInfo(const std::vector<std::string>& args) {
    return RunCliCaptured(args);
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

const std::vector<std::string> kInfoKeys = {"schema",
                                            "file",
                                            "version",
                                            "layer",
                                            "sampleRate",
                                            "channelMode",
                                            "channels",
                                            "frames",
                                            "lengthSamples",
                                            "lengthSeconds",
                                            "vbr",
                                            "bitrateKbps",
                                            "bitrateKind",
                                            "averageBitrateKbps",
                                            "missingHeaders",
                                            "missingHeaderPositions",
                                            "badCrcs",
                                            "crc",
                                            "leadingGarbage",
                                            "lastFrameIncomplete",
                                            "extraInfo",
                                            "mp3Pro",
                                            "silentBegin",
                                            "silentEnd",
                                            "abruptEnding",
                                            "inconsistencies",
                                            "audioStart",
                                            "retried",
                                            "riffHeaderSize",
                                            "id3v2Size",
                                            "id3v1Size",
                                            "apeSize",
                                            "lyrics3Size",
                                            "id3v1Title",
                                            "id3v1Artist",
                                            "id3v1Album",
                                            "id3v1Year",
                                            "id3v1Comment",
                                            "id3v1Genre",
                                            "id3v2Title",
                                            "id3v2Artist",
                                            "id3v2Album",
                                            "id3v2Year",
                                            "id3v2Comment",
                                            "id3v2Genre",
                                            "id3v2Composer",
                                            "id3v2EncodedBy",
                                            "id3v2Copyright",
                                            "id3v2Language",
                                            "id3v2Url",
                                            "id3v2LengthText",
                                            "chapters",
                                            "id3v2Notes",
                                            "outputFrames",
                                            "outputSamples",
                                            "outputSeconds",
                                            "predictedSize",
                                            "bytesSaved",
                                            "warnings"};

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
        const char* expected; // the scan's keys after the "file" key
        // Keys further on: the damage, the tags and the plan for saving now.
        std::map<std::string, std::string> further;
    } cases[] = {
        {"cbr.mp3",
         CbrStreamWithSilentEnds(),
         {},
         R"("version": "1", "layer": 3, "sampleRate": 44100, "channelMode": "joint-stereo", )"
         R"("channels": 2, "frames": 98, "lengthSamples": 112896, "lengthSeconds": 2.56, )"
         R"("vbr": false, "bitrateKbps": 128, "bitrateKind": "constant", )"
         R"("averageBitrateKbps": 129.0, "missingHeaders": 0, "missingHeaderPositions": [], )"
         R"("badCrcs": 0, "crc": false, "leadingGarbage": false, "lastFrameIncomplete": false, )"
         R"("extraInfo": "Info", "mp3Pro": false, "silentBegin": 5, "silentEnd": 3)",
         {{"abruptEnding", "false"},
          {"inconsistencies", "[]"},
          {"outputFrames", "98"},
          {"outputSamples", "112896"},
          {"predictedSize", "41283"},
          {"id3v1Title", "null"},
          {"warnings", "[]"}}},
        {"damaged.mp3",
         DamagedStream(),
         {},
         // The wiped header was expected where frame 39 ends: 3 + 40 × 417 bytes in.
         R"("version": "1", "layer": 3, "sampleRate": 44100, "channelMode": "joint-stereo", )"
         R"("channels": 2, "frames": 99, "lengthSamples": 114048, "lengthSeconds": 2.586122, )"
         R"("vbr": false, "bitrateKbps": 128, "bitrateKind": "constant", )"
         R"("averageBitrateKbps": 129.1, "missingHeaders": 1, "missingHeaderPositions": [16683], )"
         R"("badCrcs": 1, "crc": true, "leadingGarbage": true, "lastFrameIncomplete": true, )"
         R"("extraInfo": null, "mp3Pro": false, "silentBegin": 0, "silentEnd": 0)",
         // Saving drops 3 leading bytes, the frame whose header was wiped and the 30-byte tail.
         {{"bytesSaved", "450"}, {"audioStart", "0"}, {"retried", "false"}}},
        // No bitrate holds 127/128 of the frames, so the average of 60 × 64 and 50 × 32 shows.
        {"mpeg2.mp3",
         Mpeg2VbrStream(),
         {},
         R"("version": "2", "layer": 3, "sampleRate": 22050, "channelMode": "single-channel", )"
         R"("channels": 1, "frames": 110, "lengthSamples": 63360, "lengthSeconds": 2.873469, )"
         R"("vbr": true, "bitrateKbps": 49, "bitrateKind": "average", )"
         R"("averageBitrateKbps": 49.8, "missingHeaders": 0, "missingHeaderPositions": [], )"
         R"("badCrcs": 0, "crc": false, "leadingGarbage": false, "lastFrameIncomplete": false, )"
         R"("extraInfo": "Xing", "mp3Pro": true, "silentBegin": 0, "silentEnd": 0)",
         // An MPEG-2 stream loses its 208-byte Xing frame by default.
         {{"bytesSaved", "208"}}},
        // The mp3PRO rule keeps 8 of the 10 silent frames when it may trim the beginning.
        {"mpeg2b.mp3",
         Mpeg2VbrStream(),
         {"--option", "CheckBoxDisableSilenceDetectionBeginning_mp3PRO=off"},
         R"("version": "2", "layer": 3, "sampleRate": 22050, "channelMode": "single-channel", )"
         R"("channels": 1, "frames": 110, "lengthSamples": 63360, "lengthSeconds": 2.873469, )"
         R"("vbr": true, "bitrateKbps": 49, "bitrateKind": "average", )"
         R"("averageBitrateKbps": 49.8, "missingHeaders": 0, "missingHeaderPositions": [], )"
         R"("badCrcs": 0, "crc": false, "leadingGarbage": false, "lastFrameIncomplete": false, )"
         R"("extraInfo": "Xing", "mp3Pro": true, "silentBegin": 2, "silentEnd": 0)",
         {}},
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
        EXPECT_EQ(
            r.out.rfind("{\"schema\": 1, \"file\": \"" + path + "\", " + c.expected + ", ", 0), 0u)
            << r.out;
        auto fields = AsMap(ParseFlatObject(Lines(r.out).at(0)));
        for (const auto& [key, value] : c.further)
            EXPECT_EQ(fields[key], value) << key;
    }

    // The texts the editor shows, only when asked for.
    const CliResult shown = RunInfo({"info", "--json=display", dir.File("cbr.mp3")});
    const nlohmann::json display = nlohmann::json::parse(shown.out).at("display");
    EXPECT_EQ(display.at("type"), "MPEG 1 layer III 44100Hz - joint-stereo");
    EXPECT_EQ(display.at("length"), "0:02");
    EXPECT_EQ(display.at("bitrate"), "CBR+ 128Kbps");
    EXPECT_EQ(display.at("crc"), "no");
    EXPECT_EQ(display.at("ending"), "natural");
    EXPECT_EQ(display.at("inconsistencies"), nlohmann::json::array({"- none -"}));
    EXPECT_EQ(display.at("id3v1").at("title"), "- no tag found -");
    EXPECT_EQ(display.at("spaceSaved"), "0.0KB");
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
        EXPECT_EQ(m["layer"], "3");
        EXPECT_EQ(m["sampleRate"], "44100");
        EXPECT_EQ(m["lengthSamples"], std::to_string(std::stoll(m["frames"]) * 1152));
        EXPECT_NEAR(std::stod(m["lengthSeconds"]), 7.0, 0.06); // whole frames of 26 ms
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
    EXPECT_EQ(lines[0],
              "{\"schema\": 1, \"file\": \"" + missing + "\", \"error\": \"" + missingText + "\"}");
    EXPECT_EQ(AsMap(ParseFlatObject(lines[1]))["frames"], "98");
    EXPECT_EQ(lines[2],
              "{\"schema\": 1, \"file\": \"" + text + "\", \"error\": \"" + notMp3 + "\"}");

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
                         "Display type:          MPEG 1 layer III 44100Hz - joint-stereo\n"
                         "Display length:        0:02\n"
                         "ID3:                   no\n"
                         "CRC:                   bad\n"
                         "Display bitrate:       CBR 128Kbps\n"
                         "Ending:                natural\n"
                         "Average bitrate:       129.1 Kbps\n"
                         "WAV-embedded:          no\n"
                         "First frames invalid:  no\n"
                         "Audio start:           0\n"
                         "Inconsistencies:       - none -\n"
                         "ID3v1:                 - no tag found -\n"
                         "ID3v2:                 - no tag found -\n"
                         "APE tag:               none\n"
                         "Lyrics3 block:         none\n"
                         "Saving recovers:       0.4KB (41283 bytes out)\n"
                         "Length after saving:   0:02\n"
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
                         "Silent frames:         5 at the start, 3 at the end\n"
                         "Display type:          MPEG 1 layer III 44100Hz - joint-stereo\n"
                         "Display length:        0:02\n"
                         "ID3:                   no\n"
                         "CRC:                   no\n"
                         "Display bitrate:       CBR+ 128Kbps\n"
                         "Ending:                natural\n"
                         "Average bitrate:       129.0 Kbps\n"
                         "WAV-embedded:          no\n"
                         "First frames invalid:  no\n"
                         "Audio start:           0\n"
                         "Inconsistencies:       - none -\n"
                         "ID3v1:                 - no tag found -\n"
                         "ID3v2:                 - no tag found -\n"
                         "APE tag:               none\n"
                         "Lyrics3 block:         none\n"
                         "Saving recovers:       0.0KB (41283 bytes out)\n"
                         "Length after saving:   0:02\n");
}

TEST(CliInfo, UsageErrorsExitWithTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* errStart;
    } cases[] = {
        {{"info"}, "velmora-cli: info: FILE is missing"},
        {{"info", "--json"}, "velmora-cli: info: FILE is missing"},
        {{"info", "--frobnicate", "x.mp3"}, "velmora-cli: info: unknown option \"--frobnicate\""},
    };
    for (const Case& c : cases) {
        const CliResult r = RunInfo(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind(c.errStart, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliInfo, TagsDamageAndTheWarningShow) {
    // ID3v2.3 tag (TIT2 "Song"), 5000 damaged bytes, 300 frames, an APE tag and an ID3v1 tag.
    std::vector<std::uint8_t> s(300, 0);
    const std::uint8_t id3[] = {'I', 'D', '3', 3, 0, 0, 0, 0, 2,   34,  'T', 'I', 'T',
                                '2', 0,   0,   0, 5, 0, 0, 0, 'S', 'o', 'n', 'g'};
    std::copy(std::begin(id3), std::end(id3), s.begin());
    std::vector<std::uint8_t> damage(5000, 0);
    FrameSpec stray;
    stray.sampleRateIndex = 1; // 48 kHz: never continues the 44.1 kHz stream
    for (std::size_t at : {0u, 1200u, 2400u, 3600u})
        for (int i = 0; i < 4; ++i)
            damage[at + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(HeaderWord(stray) >> (8 * i));
    s.insert(s.end(), damage.begin(), damage.end());
    AppendFrames(s, AudioFrame(FrameSpec{}), 300);
    std::vector<std::uint8_t> ape(64, 0);
    std::memcpy(ape.data(), "APETAGEX", 8); // header
    ape[12] = 32;
    ape[23] = 0xA0;
    std::memcpy(ape.data() + 32, "APETAGEX", 8); // footer
    ape[32 + 12] = 32;                           // items and footer
    s.insert(s.end(), ape.begin(), ape.end());
    std::vector<std::uint8_t> v1(128, 0);
    std::memcpy(v1.data(), "TAG", 3);
    std::memcpy(v1.data() + 3, "Caf\xe9", 4);
    v1[127] = 8;
    s.insert(s.end(), v1.begin(), v1.end());

    TempDir dir;
    const std::string path = dir.File("tagged.mp3");
    WriteFile(path, s);
    const CliResult json = RunInfo({"info", "--json", path});
    ASSERT_EQ(json.status, 0) << json.err;
    auto m = AsMap(ParseFlatObject(Lines(json.out).at(0)));
    EXPECT_EQ(m["id3v2Size"], "300");
    EXPECT_EQ(m["id3v2Album"], "null");
    EXPECT_EQ(m["id3v2Title"], R"("Song")");
    EXPECT_EQ(m["id3v1Size"], "128");
    EXPECT_EQ(m["id3v1Title"], "\"Caf\xc3\xa9\"");
    EXPECT_EQ(m["id3v1Genre"], R"("Jazz")");
    EXPECT_EQ(m["apeSize"], "64");
    EXPECT_EQ(m["lyrics3Size"], "0");
    EXPECT_EQ(m["frames"], "300");
    EXPECT_EQ(m["retried"], "true");
    EXPECT_EQ(m["audioStart"], "3908");
    EXPECT_EQ(m["warnings"], R"(["MessageDlgRemovedBeginning"])");
    // Saving drops the 5000 damaged bytes; the tags stay.
    EXPECT_EQ(m["bytesSaved"], "5000");

    const CliResult plain = RunInfo({"info", path});
    EXPECT_NE(plain.out.find("First frames invalid:  yes\n"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("ID3v1 title:           Caf\xc3\xa9\n"), std::string::npos);
    EXPECT_NE(plain.out.find("APE tag:               64 bytes at "), std::string::npos);
    EXPECT_NE(plain.out.find("Warning:               This file seems heavily damaged, at least "
                             "at the beginning.  Velmora will"),
              std::string::npos)
        << plain.out;
}
