#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    char two[3];
    for (const unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

} // namespace

TEST(CliJson, NamesThatAreNotUtf8GiveValidLinesWithTheExactBytesBeside) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    FrameSpec spec;
    spec.part23Length = {800, 800, 800, 800};
    AppendFrames(frames, spec, 60);
    const std::string latin1 = dir.File("caf\xE9.mp3");
    const std::string missing = dir.File("gone\xFF.mp3");
    const std::string utf8 = dir.File("caf\xC3\xA9.mp3");
    WriteFile(latin1, frames);
    WriteFile(utf8, frames);
    const std::string replaced = dir.File("caf\xEF\xBF\xBD.mp3");
    const std::string replacedMissing = dir.File("gone\xEF\xBF\xBD.mp3");

    const struct {
        const char* command;
        std::string file;
        std::string expectedStart; // the line up to the fields after the name
    } cases[] = {
        {"info", latin1,
         "{\"file\": \"" + replaced + "\", \"fileBytes\": \"" + Hex(latin1) + "\", \"version\""},
        {"info", missing,
         "{\"file\": \"" + replacedMissing + "\", \"fileBytes\": \"" + Hex(missing) +
             "\", \"error\": \"No such file or directory - Failed to open the file \\\"" +
             replacedMissing + "\\\"\"}"},
        {"info", utf8, "{\"file\": \"" + utf8 + "\", \"version\""},
        {"normalize", latin1,
         "{\"file\": \"" + replaced + "\", \"fileBytes\": \"" + Hex(latin1) + "\", \"error\""},
    };
    std::string lines;
    for (const auto& c : cases) {
        const CliRun r = RunCliCaptured({c.command, "--defaults", "--json", c.file});
        ASSERT_EQ(r.out.rfind(c.expectedStart, 0), 0u) << r.out;
        lines += r.out;
    }

    // A strict JSON reader takes every line and gets the names back from their bytes.
    if (!HaveProgram("python3"))
        GTEST_SKIP() << "python3 is not installed: the lines were checked but not parsed";
    WriteFile(dir.File("lines.json"), std::vector<std::uint8_t>(lines.begin(), lines.end()));
    const std::string script =
        "import json, os, sys\n"
        "for line in open(sys.argv[1], 'rb'):\n"
        "    o = json.loads(line)\n"
        "    raw = bytes.fromhex(o['fileBytes']) if 'fileBytes' in o else o['file'].encode()\n"
        "    print(os.path.exists(raw), 'error' in o)\n";
    WriteFile(dir.File("check.py"), std::vector<std::uint8_t>(script.begin(), script.end()));
    std::string parsed;
    EXPECT_EQ(RunCommand("python3 '" + dir.File("check.py") + "' '" + dir.File("lines.json") + "'",
                         &parsed),
              0)
        << parsed;
    // Built frames carry no audio the decoder can measure: normalize reports an error line.
    EXPECT_EQ(parsed, "True False\nFalse True\nTrue False\nTrue True\n") << lines;
}
