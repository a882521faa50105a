// Every JSON line of every command, on files like the ones people have, read by a strict parser
// and checked key by key against the documented types.
#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <map>
#include <sstream>

using namespace velmora;
using namespace velmora::test;
using nlohmann::json;

namespace {

// The types a key may hold; a value may be any of those given.
enum Kind : unsigned {
    Int = 1,
    Num = 2, // integer or not
    Str = 4,
    Bool = 8,
    Null = 16,
    Ints = 32, // a list of integers
    Strs = 64, // a list of texts
    Objs = 128,
    Obj = 256,
};

using Schema = std::map<std::string, unsigned>;

// A schema from groups of keys of one type each, the names separated by blanks.
Schema Keys(std::initializer_list<std::pair<unsigned, const char*>> groups) {
    Schema schema = {{"schema", Int}};
    for (const auto& [kinds, names] : groups) {
        std::istringstream in(names);
        for (std::string name; in >> name;)
            schema[name] = kinds;
    }
    return schema;
}

bool Holds(const json& v, unsigned kinds) {
    auto all = [&](auto test) {
        for (const json& item : v)
            if (!test(item))
                return false;
        return true;
    };
    return ((kinds & Int) && v.is_number_integer()) || ((kinds & Num) && v.is_number()) ||
           ((kinds & Str) && v.is_string()) || ((kinds & Bool) && v.is_boolean()) ||
           ((kinds & Null) && v.is_null()) || ((kinds & Obj) && v.is_object()) ||
           ((kinds & Ints) && v.is_array() &&
            all([](const json& i) { return i.is_number_integer(); })) ||
           ((kinds & Strs) && v.is_array() && all([](const json& i) { return i.is_string(); })) ||
           ((kinds & Objs) && v.is_array() && all([](const json& i) { return i.is_object(); }));
}

const Schema kFileError = Keys({{Str, "file error"}});

const Schema kInfo = Keys(
    {{Int, "layer sampleRate channels frames lengthSamples bitrateKbps missingHeaders badCrcs "
           "silentBegin silentEnd audioStart riffHeaderSize id3v2Size id3v1Size apeSize "
           "lyrics3Size outputFrames outputSamples predictedSize bytesSaved"},
     {Num, "lengthSeconds averageBitrateKbps outputSeconds"},
     {Str, "file version channelMode bitrateKind"},
     {Bool, "vbr crc leadingGarbage lastFrameIncomplete mp3Pro abruptEnding retried"},
     {Str | Null, "extraInfo id3v1Title id3v1Artist id3v1Album id3v1Year id3v1Comment id3v1Genre "
                  "id3v2Title id3v2Artist id3v2Album id3v2Year id3v2Comment id3v2Genre "
                  "id3v2Composer id3v2EncodedBy id3v2Copyright id3v2Language id3v2Url "
                  "id3v2LengthText"},
     {Ints, "missingHeaderPositions"},
     {Strs, "inconsistencies id3v2Notes warnings"},
     {Objs, "chapters"}});

const Schema kLoudness = Keys({{Num | Null, "loudness loudnessRange truePeak"}});

const Schema kNormalize =
    Keys({{Int, "peak samples refusedFrames loudnessStep"},
          {Int | Null, "step applied"},
          {Num | Null, "normalizationValue loudnessAfter truePeakAfter albumLoudness"},
          {Str, "file limitedBy"},
          {Strs, "notes"}});

const Schema kBatch =
    Keys({{Int, "trimmedBegin trimmedEnd gainSteps bytesSaved"},
          {Int | Null, "frames sampleRate lengthSamples bitrateKbps missingHeaders"},
          {Num | Null, "lengthSeconds averageBitrateKbps loudness"},
          {Bool | Null, "vbr abruptEnding"},
          {Str, "file outcome"},
          {Str | Null, "error savedPath"},
          {Bool, "testRun"},
          {Strs, "tracks notes"}});

const Schema kUndo =
    Keys({{Str, "file"}, {Bool, "undone"}, {Int | Null, "steps frames"}, {Strs, "notes"}});

const Schema kSettings = Keys({{Str, "store"}, {Objs, "options"}});

Schema Joined(Schema a, const Schema& b) {
    a.insert(b.begin(), b.end());
    return a;
}

// Parses the line strictly and checks it against the schema: every key there with a type it
// allows, no other key, "schema" 1. A name that is not UTF-8 brings its "…Bytes" companion.
void CheckLine(const std::string& line, const Schema& schema, bool display) {
    SCOPED_TRACE(line);
    json j;
    ASSERT_NO_THROW(j = json::parse(line)) << "not JSON";
    ASSERT_TRUE(j.is_object());
    EXPECT_EQ(j.value("schema", 0), 1);
    const bool failed = j.contains("error") && !schema.count("error");
    const Schema& expected = failed ? kFileError : schema;
    for (const auto& [key, kinds] : expected) {
        ASSERT_TRUE(j.contains(key)) << key << " is missing";
        EXPECT_TRUE(Holds(j[key], kinds)) << key << " holds " << j[key].dump();
    }
    for (const auto& [key, value] : j.items()) {
        const bool companion = key.size() > 5 && key.ends_with("Bytes") &&
                               expected.count(key.substr(0, key.size() - 5)) &&
                               Holds(value, Str | Strs);
        const bool shown = key == "display" && display && value.is_object();
        EXPECT_TRUE(expected.count(key) || companion || shown) << "unexpected key " << key;
    }
    EXPECT_EQ(j.contains("display"), display && !failed);
}

// lame files: a tagged CBR tone, a mono MPEG-2 VBR tone with noise, digital silence; a built
// stream with a wiped header; a text file and a missing one. One name is not UTF-8.
std::vector<std::string> MakeCorpus(const TempDir& dir) {
    std::vector<std::string> files;
    if (HaveProgram("lame")) {
        const PcmSpec stereo{44100, 2}, mono{22050, 1};
        std::vector<std::int16_t> tone, noisy, quiet;
        AppendTone(tone, stereo, 2.0, 440.0, 9000);
        AppendTone(noisy, mono, 1.0, 300.0, 6000);
        AppendNoise(noisy, mono, 1.0, 4000, 3);
        AppendSilence(quiet, stereo, 1.0);
        files.push_back(dir.File("tagged \xE9.mp3"));
        EncodeWithLame(tone, stereo, "-b 128 --add-id3v2 --tt Title --ta Artist", files.back());
        files.push_back(dir.File("mono.mp3"));
        EncodeWithLame(noisy, mono, "-V 4", files.back());
        files.push_back(dir.File("silence.mp3"));
        EncodeWithLame(quiet, stereo, "-b 128", files.back());
    }
    std::vector<std::uint8_t> damaged;
    AppendFrames(damaged, FrameSpec{}, 60);
    std::memset(damaged.data() + 20 * 417, 0, 4);
    files.push_back(dir.File("damaged.mp3"));
    WriteFile(files.back(), damaged);
    files.push_back(dir.File("notes.txt"));
    WriteFile(files.back(), {'h', 'i', '\n'});
    files.push_back(dir.File("missing.mp3"));
    return files;
}

} // namespace

TEST(CliJsonSchema, EveryLineOfEveryCommandParsesStrictlyWithItsTypes) {
    TempDir dir;
    const std::vector<std::string> files = MakeCorpus(dir);
    ::setenv("VELMORA_CONFIG_DIR", dir.File("config").c_str(), 1);
    const std::vector<std::string> testRun = {"--option", "batch-test-run=on"};
    struct Case {
        Schema schema;
        bool display;
        bool perFile;  // the files are given
        bool lineEach; // one line each: album mode stops at the first file that fails
        std::vector<std::string> args;
    } cases[] = {
        {kInfo, false, true, true, {"info", "--json"}},
        {kInfo, true, true, true, {"info", "--json=display"}},
        {Joined(kInfo, kLoudness), false, true, true, {"info", "--json", "--loudness"}},
        {Joined(kNormalize, kLoudness), false, true, true, {"normalize", "--json"}},
        {Joined(kNormalize, kLoudness),
         true,
         true,
         false,
         {"normalize", "--json=display", "--album"}},
        {kBatch, false, true, true, {"batch", "--json", "--option", "batch-normalize=on"}},
        {kBatch, true, true, true, {"batch", "--json=display"}},
        {kUndo, false, true, true, {"undo", "--json"}},
        {kSettings, false, false, true, {"settings", "--json"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, "--defaults");
        if (args[0] == "batch")
            args.insert(args.end(), testRun.begin(), testRun.end());
        if (c.perFile)
            args.insert(args.end(), files.begin(), files.end());
        const CliRun r = RunCliCaptured(args);
        const std::vector<std::string> lines = Lines(r.out);
        if (c.lineEach) {
            EXPECT_EQ(lines.size(), c.perFile ? files.size() : 1u) << r.out << r.err;
        }
        EXPECT_FALSE(lines.empty());
        for (const std::string& line : lines)
            CheckLine(line, c.schema, c.display);
    }
    ::unsetenv("VELMORA_CONFIG_DIR");
}

TEST(CliJsonSchema, InfoGivesNumbersNullsAndCompleteListsWhereItShowedTexts) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const std::vector<std::string> files = MakeCorpus(dir);
    const CliRun r = RunCliCaptured(
        {"info", "--defaults", "--json", "--loudness", files[0], files[2], files[3]});
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.err;
    const json tagged = json::parse(lines[0]), silence = json::parse(lines[1]),
               damaged = json::parse(lines[2]);
    // lame's 2 s at 44.1 kHz: whole frames of 1152 samples, the extra-info frame among them.
    EXPECT_EQ(tagged["lengthSamples"], tagged["frames"].get<std::int64_t>() * 1152);
    EXPECT_DOUBLE_EQ(tagged["lengthSeconds"].get<double>(),
                     std::round(tagged["lengthSamples"].get<double>() / 44100 * 1e6) / 1e6);
    EXPECT_EQ(tagged["id3v1Title"], "Title");
    EXPECT_EQ(tagged["id3v2Artist"], "Artist");
    EXPECT_TRUE(tagged["id3v1Comment"].is_null() || tagged["id3v1Comment"].is_string());
    EXPECT_EQ(tagged["fileBytes"].get<std::string>().size(), 2 * files[0].size());
    EXPECT_EQ(tagged["inconsistencies"], json::array());
    // A tone peaking at 9000: a true peak near -11.2 dBFS; silence measures nothing.
    EXPECT_NEAR(tagged["truePeak"].get<double>(), -11.2, 1.0);
    // The same analyser as normalize's, on the same decode.
    const json normalized =
        json::parse(RunCliCaptured({"normalize", "--defaults", "--json", files[0]}).out);
    for (const char* key : {"loudness", "loudnessRange", "truePeak"})
        EXPECT_EQ(tagged[key], normalized[key]) << key;
    EXPECT_LT(tagged["loudness"].get<double>(), -10);
    const std::string shown = RunCliCaptured({"info", "--defaults", "--loudness", files[0]}).out;
    for (const char* line :
         {"\nLoudness:              -", "\nLoudness range:        ", "\nTrue peak:             -"})
        EXPECT_NE(shown.find(line), std::string::npos) << shown;
    EXPECT_EQ(RunCliCaptured({"info", "--defaults", files[0]}).out.find("Loudness"),
              std::string::npos);
    EXPECT_TRUE(silence["loudness"].is_null());
    EXPECT_TRUE(silence["truePeak"].is_null());
    EXPECT_TRUE(silence["id3v1Title"].is_null());
    // The wiped header was expected where frame 19 ends: 20 frames of 417 bytes in.
    EXPECT_EQ(damaged["missingHeaders"], 1);
    EXPECT_EQ(damaged["missingHeaderPositions"], json::array({20 * 417}));
    EXPECT_FALSE(damaged.contains("display"));
}
