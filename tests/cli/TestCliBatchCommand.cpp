#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// a.mp3, b.mp3 (a tone between digital silence) and c.mp3 (text) in `dir`.
void MakeFiles(const TempDir& dir) {
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, PcmSpec{}, 0.5);
    AppendTone(pcm, PcmSpec{}, 1.0, 440, 9000);
    AppendSilence(pcm, PcmSpec{}, 0.5);
    EncodeWithLame(pcm, PcmSpec{}, "-b 128", dir.File("a.mp3"));
    WriteFile(dir.File("b.mp3"), ReadFile(dir.File("a.mp3")));
    WriteFile(dir.File("c.mp3"), {'t', 'e', 'x', 't'});
}

CliRun Batch(std::vector<std::string> args) {
    return RunCliCaptured(std::move(args), {"batch", "--defaults"});
}

} // namespace

TEST(CliBatch, JsonGivesOneLinePerFileInOrderAndTheStatusTellsOfFailures) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    MakeFiles(dir);
    const auto before = ReadFile(dir.File("a.mp3"));
    CliRun r = Batch({"--json", "--jobs", "2", "--option", "CheckBoxBatchRemoveSilence=on",
                      "--option", "CheckBoxBatchTestRun=on", dir.path()});
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].rfind("{\"schema\": 1, \"file\": \"" + dir.File("a.mp3") +
                                 "\", \"outcome\": \"changed\", \"testRun\": true",
                             0),
              0u)
        << lines[0];
    EXPECT_NE(lines[1].find(dir.File("b.mp3")), std::string::npos);
    EXPECT_NE(lines[2].find("\"outcome\": \"failed\", \"testRun\": true, \"error\": \"Failed to "
                            "find a valid MPEG"),
              std::string::npos)
        << lines[2];
    EXPECT_EQ(r.err, "summary: processed 2, changed 2, skipped 0, failed 1 (test run: nothing "
                     "written)\n");
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), before);

    r = Batch({"--option", "CheckBoxBatchRemoveSilence=on", dir.File("a.mp3"), dir.File("b.mp3")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                dir.File("a.mp3") + ": changed", dir.File("b.mp3") + ": changed",
                                "summary: processed 2, changed 2, skipped 0, failed 0"}));
    EXPECT_LT(ReadFile(dir.File("a.mp3")).size(), before.size());
}

TEST(CliBatch, UsageErrorsAndALogThatCannotBeCreated) {
    TempDir dir;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* text;
    } cases[] = {
        {{}, 2, "PATH is missing"},
        {{"--jobs", "0", "x"}, 2, "--jobs takes a whole number from 1 to 256, not \"0\""},
        {{"--jobs", "2x", "x"}, 2, "--jobs takes a whole number"},
        {{"--jobs"}, 2, "--jobs needs a value"},
        {{"--frobnicate", "x"}, 2, "unknown option \"--frobnicate\""},
        {{"--option", "CheckBoxBatchCreateLOG=on", "--log", dir.File("no/log"), dir.path()},
         1,
         "velmora-cli: Error creating LOG file '"},
    };
    for (const auto& c : cases) {
        const CliRun r = Batch(c.args);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
    }
    EXPECT_EQ(Batch({"--help"}).out.rfind("Usage: velmora-cli batch", 0), 0u);
}

TEST(CliBatch, UnreadableFilesAndFoldersEachGetTheirOutcome) {
    if (::geteuid() != 0 || !HaveProgram("setpriv") || !HaveProgram("lame"))
        GTEST_SKIP() << "needs root to run the command as an unprivileged user";
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    MakeFiles(dir);
    ::mkdir(dir.File("locked").c_str(), 0700);
    ASSERT_EQ(::chmod(dir.File("a.mp3").c_str(), 0600), 0);
    ASSERT_EQ(::chmod(dir.File("b.mp3").c_str(), 0444), 0);
    std::string output;
    const int status = RunCommand("setpriv --reuid=65534 --regid=65534 --clear-groups " +
                                      std::string(VELMORA_CLI_PATH) +
                                      " batch --defaults --option CheckBoxProcessSubfolders=on "
                                      "--option CheckBoxBatchRemoveSilence=on '" +
                                      dir.path() + "' 2>&1",
                                  &output);
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find(dir.File("a.mp3") + ": failed: Permission denied"), std::string::npos)
        << output;
    EXPECT_NE(output.find(dir.File("b.mp3") + ": failed: Permission denied"), std::string::npos)
        << output;
    EXPECT_NE(output.find(dir.File("locked") + ": failed: Permission denied - Could not read the "
                                               "folder"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("summary: processed 0, changed 0, skipped 0, failed 4"),
              std::string::npos)
        << output;
}

TEST(CliBatch, ControlCharactersInNamesAreShownEscapedOnTheTerminalAndInTheLog) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    MakeFiles(dir);
    const std::string odd = dir.File("odd");
    ASSERT_EQ(::mkdir(odd.c_str(), 0755), 0);
    // A newline that would forge an entry, an ESC and a C1 CSI that would colour the terminal.
    const struct {
        std::string name, shown;
    } names[] = {
        {"csi\xC2\x9B"
         "31mred.mp3",
         "csi\\u009b31mred.mp3"},
        {"esc\x1B[31mred.mp3", "esc\\x1b[31mred.mp3"},
        {"in\nline.mp3: changed\rx\t.mp3", "in\\nline.mp3: changed\\rx\\t.mp3"},
    };
    std::vector<std::string> entries;
    for (const auto& n : names) {
        WriteFile(odd + "/" + n.name, ReadFile(dir.File("a.mp3")));
        entries.push_back(odd + "/" + n.shown + ": changed");
    }
    const CliRun r = Batch({"--option", "CheckBoxBatchRemoveSilence=on", "--option",
                            "CheckBoxBatchCreateLOG=on", "--log", dir.File("log"), odd});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> out = entries;
    out.push_back("summary: processed 3, changed 3, skipped 0, failed 0");
    EXPECT_EQ(Lines(r.out), out);
    const std::vector<std::uint8_t> bytes = ReadFile(dir.File("log"));
    std::vector<std::string> log = Lines(std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(log.size(), 6u);
    log.erase(log.begin()); // the header with its date
    std::vector<std::string> logged = entries;
    logged.push_back("Summary: processed 3, changed 3, skipped 0, failed 0");
    logged.push_back("");
    EXPECT_EQ(log, logged);
    // The information display names the file alike.
    const CliRun info = RunCliCaptured({"info", "--defaults", odd + "/" + names[1].name});
    EXPECT_NE(info.out.find(names[1].shown), std::string::npos) << info.out;
    EXPECT_EQ(info.out.find('\x1B'), std::string::npos);
}
