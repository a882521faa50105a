#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

TEST(CliJson, NamesThatAreNotUtf8GiveValidLinesWithTheExactBytesBeside) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    AppendFrames(frames, FrameSpec{}, 60);
    // A Latin-1 letter, an overlong NUL and a surrogate: one U+FFFD for each of their bytes.
    const std::string name = dir.File("caf\xE9\xC0\x80\xED\xA0\x80.mp3");
    WriteFile(name, frames);
    std::string shown = "\"file\": \"" + dir.File("caf");
    for (int i = 0; i < 6; ++i)
        shown += "\xEF\xBF\xBD";
    shown += ".mp3\", ";
    std::string bytes;
    for (const unsigned char c : name)
        bytes += "0123456789abcdef"[c >> 4] + std::string(1, "0123456789abcdef"[c & 15]);
    std::string lines;
    // info reads the file, normalize fails on it (built frames hold no measurable audio), and a
    // missing file fails in info: every line shows the name alike.
    for (const char* command : {"info", "normalize"}) {
        const CliRun r = RunCliCaptured({command, "--defaults", "--json", name});
        EXPECT_EQ(r.out.rfind("{\"schema\": 1, " + shown + "\"fileBytes\": \"" + bytes + "\", ", 0),
                  0u)
            << r.out;
        lines += r.out;
    }
    const CliRun missing = RunCliCaptured({"info", "--json", dir.File("gone\xFF")});
    EXPECT_EQ(missing.out.find('\xFF'), std::string::npos) << missing.out;
    lines += missing.out;

    if (!HaveProgram("python3"))
        GTEST_SKIP() << "python3 is not installed: the lines were checked but not parsed";
    WriteFile(dir.File("lines"), std::vector<std::uint8_t>(lines.begin(), lines.end()));
    std::string parsed; // a strict JSON reader, which also finds the file from its bytes
    EXPECT_EQ(RunCommand("python3 -c 'import json, os, sys\nfor l in open(sys.argv[1], \"rb\"): "
                         "print(os.path.exists(bytes.fromhex(json.loads(l)[\"fileBytes\"])))' '" +
                             dir.File("lines") + "'",
                         &parsed),
              0);
    EXPECT_EQ(parsed, "True\nTrue\nFalse\n");
}

TEST(CliJson, BatchGivesTheSavedPathAndTheTracksTheirExactBytesToo) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    AppendFrames(frames, FrameSpec{}, 120);
    const std::string mp3 = dir.File("caf\xE9.mp3");
    WriteFile(mp3, frames);
    const std::string sheet = "FILE \"x.mp3\" MP3\nTRACK 01 AUDIO\nTITLE \"A\"\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nTITLE \"B\"\nINDEX 01 00:01:00\n";
    WriteFile(dir.File("caf\xE9.cue"), {sheet.begin(), sheet.end()});
    const CliRun r = RunCliCaptured(
        {"batch", "--defaults", "--json", "--option", "CheckBoxBatchSplitCUE=on", mp3});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const auto hex = [](const std::string& text) {
        std::string s;
        for (const unsigned char c : text)
            s += "0123456789abcdef"[c >> 4] + std::string(1, "0123456789abcdef"[c & 15]);
        return s;
    };
    const std::string folder = dir.File("caf\xE9/");
    const std::string replaced = dir.File("caf\xEF\xBF\xBD");
    EXPECT_NE(r.out.find("\"savedPath\": \"" + replaced + ".mp3\", \"savedPathBytes\": \"" +
                         hex(mp3) + "\", "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"tracks\": [\"" + replaced + "/01 A.mp3\", \"" + replaced +
                         "/02 B.mp3\"], \"tracksBytes\": [\"" + hex(folder + "01 A.mp3") +
                         "\", \"" + hex(folder + "02 B.mp3") + "\"], "),
              std::string::npos)
        << r.out;
    // Names that are UTF-8 get no companion.
    WriteFile(dir.File("plain.mp3"), frames);
    const CliRun plain = RunCliCaptured({"batch", "--defaults", "--json", dir.File("plain.mp3")});
    EXPECT_EQ(plain.out.find("Bytes\""), std::string::npos) << plain.out;
}
