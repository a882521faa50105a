#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "RunCli.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

using namespace velmora;
using namespace velmora::test;

namespace {

using Output = CliRun;

Output Normalize(std::vector<std::string> args) {
    return RunCliCaptured(std::move(args), {"normalize", "--defaults"});
}

// The keys of one flat JSON line in order, each with its raw value text. Strings here hold no
// commas, colons or escaped quotes.
std::vector<std::pair<std::string, std::string>> Fields(const std::string& line) {
    std::vector<std::pair<std::string, std::string>> fields;
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    std::istringstream in(line.substr(1, line.size() - 2));
    for (std::string item; std::getline(in, item, ',');) {
        const auto colon = item.find(": ");
        std::string key = item.substr(0, colon);
        key = key.substr(key.find('"') + 1);
        key.pop_back();
        fields.emplace_back(key, item.substr(colon + 2));
    }
    return fields;
}

std::map<std::string, std::string> Map(const std::string& line) {
    const auto f = Fields(line);
    return {f.begin(), f.end()};
}

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

class NormalizeFiles : public testing::Test {
protected:
    std::string Tone(const std::string& name, int amplitude) {
        std::vector<std::int16_t> pcm;
        AppendSilence(pcm, {44100, 2}, 0.2);
        AppendTone(pcm, {44100, 2}, 2.0, 440.0, amplitude);
        const std::string path = m_dir.File(name);
        EncodeWithLame(pcm, {44100, 2}, "-b 160", path);
        return path;
    }
    TempDir m_dir;
};

} // namespace

TEST_F(NormalizeFiles, JsonReportsTheDecodedPeakAndItsNormalisation) {
    const std::string tone = Tone("tone.mp3", 8192); // -12 dBFS
    // The same audio behind an ID3v2 tag with padding.
    std::vector<std::uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x02, 0x00};
    tagged.resize(10 + 256, 0);
    const std::vector<std::uint8_t> audio = ReadFile(tone);
    tagged.insert(tagged.end(), audio.begin(), audio.end());
    const std::string taggedPath = m_dir.File("tagged.mp3");
    WriteFile(taggedPath, tagged);

    const std::vector<std::string> options = {"--option", "ComboBoxNormalizeClippingThreshold=0",
                                              "--option", "ComboBoxNormlizeAt=0"};
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--json", tone, taggedPath});
    const Output r = Normalize(args);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    const std::vector<std::string> keys = {
        "schema",       "file",          "normalizationValue", "step",          "peak",
        "samples",      "refusedFrames", "loudness",           "loudnessRange", "truePeak",
        "loudnessStep", "loudnessAfter", "truePeakAfter",      "limitedBy",     "albumLoudness",
        "applied",      "notes"};
    std::vector<std::string> seen;
    for (const auto& [key, value] : Fields(lines[0]))
        seen.push_back(key);
    EXPECT_EQ(seen, keys);

    auto plain = Map(lines[0]);
    auto behindTag = Map(lines[1]);
    EXPECT_EQ(plain["file"], Quoted(tone));
    EXPECT_EQ(behindTag["file"], Quoted(taggedPath));
    for (const char* key : {"normalizationValue", "step", "peak", "samples"})
        EXPECT_EQ(plain[key], behindTag[key]) << key;
    EXPECT_EQ(plain["limitedBy"], "\"target\"");
    EXPECT_EQ(plain["applied"], "null");
    args = options;
    args.insert(args.end(), {"--json=display", tone});
    const nlohmann::json display = nlohmann::json::parse(Normalize(args).out).at("display");

    // Decoded 12 dB lower, a -12 dBFS tone peaks near 2048 and asks for about +12 dB.
    const int peak = std::stoi(plain["peak"]);
    EXPECT_LT(std::abs(20 * std::log10(peak / 2048.0)), 1.5) << peak;
    const double value = std::stod(plain["normalizationValue"]);
    EXPECT_NEAR(value, -(20 * std::log10(peak / 32768.0) + 12), 0.001);
    char caption[32];
    std::snprintf(caption, sizeof caption, "+%.1fdB", value);
    EXPECT_EQ(display.at("caption"), caption);
    EXPECT_EQ(display.at("limitedBy"), "target");
    // The largest step that keeps peak × 2^((step + 8) / 4) below 32957.
    const int step = std::stoi(plain["step"]);
    EXPECT_LT(peak * std::pow(2.0, (step + 8) / 4.0), 32957.0);
    EXPECT_TRUE(step == 8 || peak * std::pow(2.0, (step + 9) / 4.0) >= 32957.0);
    EXPECT_EQ(std::stoll(plain["samples"]) % 2304, 0);
    EXPECT_GT(std::stoll(plain["samples"]), 2 * 44100 * 2);
    EXPECT_EQ(plain["refusedFrames"], "0");
}

TEST_F(NormalizeFiles, TargetAndIncreaseOnlyOptionsApply) {
    const std::string tone = Tone("half.mp3", 16384); // -6 dBFS, so -12dB asks for about -6 dB
    const auto run = [&](const char* incOnly) {
        const Output r = Normalize({"--option", "ComboBoxNormlizeAt=4", "--option",
                                    std::string("CheckBoxNormalizationIncOnly=") + incOnly, tone});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    const std::string decrease = run("off");
    EXPECT_EQ(decrease.rfind(tone + ": -", 0), 0u) << decrease;
    EXPECT_NE(decrease.find(" dB  step "), std::string::npos) << decrease;
    const std::string increaseOnly = run("on");
    EXPECT_EQ(increaseOnly.rfind(tone + ": -0dB  value -", 0), 0u) << increaseOnly;
    EXPECT_NE(increaseOnly.find("  step 0  peak "), std::string::npos) << increaseOnly;
}

TEST_F(NormalizeFiles, FailuresGiveTheirTextsAndTheOtherFilesStillPrint) {
    const std::string tone = Tone("tone.mp3", 8000);
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, {44100, 2}, 1.0);
    const std::string silence = m_dir.File("silence.mp3");
    EncodeWithLame(pcm, {44100, 2}, "-b 128", silence);
    const std::string text = m_dir.File("notes.mp3");
    WriteFile(text, std::vector<std::uint8_t>(5000, 'a'));
    const std::string missing = m_dir.File("missing.mp3");

    const Output r = Normalize({"--json", missing, silence, text, tone});
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0], "{\"schema\": 1, \"file\": " + Quoted(missing) +
                            ", \"error\": \"No such file or directory - Failed to open the file "
                            "\\\"" +
                            missing + "\\\"\"}");
    EXPECT_EQ(lines[1], "{\"schema\": 1, \"file\": " + Quoted(silence) +
                            ", \"error\": \"Unable to determine the volume (the MP3 codec did not "
                            "decode the file?)\"}");
    EXPECT_EQ(
        lines[2],
        "{\"schema\": 1, \"file\": " + Quoted(text) +
            ", \"error\": \"Failed to find a valid MPEG header - this is not an MP3 file!\"}");
    EXPECT_EQ(Map(lines[3])["refusedFrames"], "0");

    const Output plain = Normalize({text, tone});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.err, "velmora-cli: " + text +
                             ": Failed to find a valid MPEG header - this is not an MP3 file!\n");
    EXPECT_EQ(Lines(plain.out).size(), 3u); // the tone: its values, its loudness, its step

    EXPECT_EQ(Normalize({}).status, 2);
    EXPECT_EQ(Normalize({"--loud", tone}).status, 2);
}
