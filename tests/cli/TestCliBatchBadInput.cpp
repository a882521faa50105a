#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// `count` copies of one short lame file in `folder`, and the bytes a save with `saveArgs` gives it.
std::vector<std::uint8_t> MakeCopies(const TempDir& dir, const std::string& folder, int count,
                                     const std::vector<std::string>& saveArgs) {
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, PcmSpec{}, 0.3);
    AppendTone(pcm, PcmSpec{}, 1.5, 440, 9000);
    AppendSilence(pcm, PcmSpec{}, 0.3);
    EncodeWithLame(pcm, PcmSpec{}, "-b 128", dir.File("one.mp3"));
    const std::vector<std::uint8_t> original = ReadFile(dir.File("one.mp3"));
    for (int i = 0; i < count; ++i)
        WriteFile(folder + "/" + std::to_string(1000 + i) + ".mp3", original);
    std::vector<std::string> args = {"save", "--defaults", dir.File("one.mp3"), "--yes"};
    args.insert(args.end(), saveArgs.begin(), saveArgs.end());
    EXPECT_EQ(RunCliCaptured(args).status, 0);
    return ReadFile(dir.File("one.mp3"));
}

// Every file is whole: as it was, or as the save makes it.
void ExpectEachFileWhole(const std::string& folder, int count,
                         const std::vector<std::uint8_t>& original,
                         const std::vector<std::uint8_t>& saved, int* savedCount) {
    *savedCount = 0;
    for (int i = 0; i < count; ++i) {
        const auto bytes = ReadFile(folder + "/" + std::to_string(1000 + i) + ".mp3");
        EXPECT_TRUE(bytes == original || bytes == saved) << i;
        *savedCount += bytes == saved;
    }
}

struct TmpfsMount {
    std::string path;
    bool mounted = false;
    TmpfsMount(std::string p, const char* size) : path(std::move(p)) {
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, size) == 0;
    }
    ~TmpfsMount() {
        if (mounted)
            ::umount(path.c_str());
    }
};

} // namespace

TEST(CliBatchBadInput, CtrlCLetsTheFilesInHandFinishAndLeavesNoFileHalfWritten) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir, config;
    const std::string many = dir.File("many");
    ASSERT_EQ(::mkdir(many.c_str(), 0755), 0);
    const int count = 1000;
    const auto saved = MakeCopies(dir, many, count, {"--auto-trim"});
    const auto source = ReadFile(many + "/1000.mp3");
    std::string output;
    const int status =
        RunCommand("VELMORA_CONFIG_DIR=" + config.path() +
                       " " VELMORA_CLI_PATH
                       " batch --defaults --jobs 2 --option CheckBoxBatchRemoveSilence=on '" +
                       many + "' > " + dir.File("out") +
                       " 2>&1 & pid=$!; sleep 0.2; kill -INT $pid; wait $pid",
                   &output);
    EXPECT_EQ(status, 1) << output;
    const auto out = ReadFile(dir.File("out"));
    const std::string text(out.begin(), out.end());
    EXPECT_NE(text.find(": not processed: the batch was stopped\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nsummary: processed "), std::string::npos) << text;
    int savedCount = 0;
    ExpectEachFileWhole(many, count, source, saved, &savedCount);
    EXPECT_GT(savedCount, 0);
    EXPECT_LT(savedCount, count);
}

TEST(CliBatchBadInput, FullDiskMidBatchFailsTheLaterFilesAndLeavesEachWhole) {
    if (::geteuid() != 0 || !HaveProgram("lame"))
        GTEST_SKIP() << "needs root to mount a small file system";
    TempDir dir, config;
    const std::string disk = dir.File("disk");
    ASSERT_EQ(::mkdir(disk.c_str(), 0755), 0);
    TmpfsMount mount(disk, "size=1M");
    if (!mount.mounted)
        GTEST_SKIP() << "tmpfs cannot be mounted here";
    const int count = 10;
    // 10 s of added silence makes every file about 160 kB longer.
    const std::vector<std::string> grow = {"--option", "ComboBoxAddSilenceEnd=17"};
    const auto saved = MakeCopies(dir, disk, count, grow);
    const auto source = ReadFile(disk + "/1000.mp3");
    std::vector<std::string> args = {
        "batch", "--defaults", "--jobs", "1", "--option", "ComboBoxAddSilenceEnd=17", disk};
    const CliRun r = RunCliCaptured(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(": failed: No space left on device"), std::string::npos) << r.out;
    int savedCount = 0;
    ExpectEachFileWhole(disk, count, source, saved, &savedCount);
    EXPECT_GT(savedCount, 0);
    EXPECT_LT(savedCount, count);
    EXPECT_NE(r.out.find("summary: processed " + std::to_string(savedCount) + ", changed " +
                         std::to_string(savedCount) + ", skipped 0, failed " +
                         std::to_string(count - savedCount)),
              std::string::npos)
        << r.out;
}

TEST(CliBatchBadInput, ALogDiskFilledMidBatchStillReportsEveryFileThenTheSummaryThenTheError) {
    if (::geteuid() != 0 || !HaveProgram("lame"))
        GTEST_SKIP() << "needs root to mount a small file system";
    for (const bool json : {false, true}) {
        TempDir dir;
        const std::string files = dir.File("files"), disk = dir.File("disk");
        ASSERT_EQ(::mkdir(files.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(disk.c_str(), 0755), 0);
        // One page: the LOG's first 4 KiB fit, its entries for 40 files do not.
        TmpfsMount mount(disk, "size=4k");
        if (!mount.mounted)
            GTEST_SKIP() << "tmpfs cannot be mounted here";
        const int count = 40;
        const auto saved = MakeCopies(dir, files, count, {"--gain", "1"});
        const auto source = ReadFile(files + "/1000.mp3");
        std::vector<std::string> args = {"batch",    "--defaults",
                                         "--jobs",   "2",
                                         "--log",    disk + "/batch.log",
                                         "--option", "CheckBoxBatchCreateLOG=on",
                                         "--option", "CheckBoxBatchLOGCharacteristics=on",
                                         "--option", "CheckBoxBatchLOGStatistics=on",
                                         "--option", "TrackBarDefaultAmplification=1",
                                         files};
        if (json)
            args.insert(args.begin() + 1, "--json");
        const CliRun r = RunCliCaptured(args);
        EXPECT_EQ(r.status, 1);
        int savedCount = 0;
        ExpectEachFileWhole(files, count, source, saved, &savedCount);
        EXPECT_GT(savedCount, 0);
        EXPECT_LT(savedCount, count);
        // Every file has its line, a changed one as changed, in the order of the files.
        std::vector<std::string> shown;
        for (const std::string& line : Lines(r.out))
            if (line.find(files + "/") != std::string::npos)
                shown.push_back(line);
        ASSERT_EQ(shown.size(), static_cast<std::size_t>(count)) << r.out;
        for (int i = 0; i < count; ++i) {
            const std::string name = files + "/" + std::to_string(1000 + i) + ".mp3";
            const bool changed = ReadFile(name) == saved;
            const std::string outcome = changed ? "changed" : "not processed";
            const std::string token = changed ? "changed" : "not-processed";
            EXPECT_EQ(shown[static_cast<std::size_t>(i)].find(
                          json ? "\"file\": \"" + name + "\", \"outcome\": \"" + token + "\""
                               : name + ": " + outcome),
                      json ? 14u : 0u)
                << shown[static_cast<std::size_t>(i)];
        }
        const std::string summary = "summary: processed " + std::to_string(savedCount) +
                                    ", changed " + std::to_string(savedCount) +
                                    ", skipped 0, failed 0, not processed " +
                                    std::to_string(count - savedCount) + "\n";
        const std::string error = "velmora-cli: No space left on device - Could not write the "
                                  "LOG file \"" +
                                  disk + "/batch.log\"\n";
        if (json) {
            EXPECT_EQ(r.err, summary + error);
        } else {
            EXPECT_EQ(r.out.substr(r.out.size() - summary.size()), summary);
            EXPECT_EQ(r.err, error);
        }
    }
}
