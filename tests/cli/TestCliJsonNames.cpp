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
        EXPECT_EQ(r.out.rfind("{" + shown + "\"fileBytes\": \"" + bytes + "\", ", 0), 0u) << r.out;
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
