#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "UnitAtomicFile.h"
#include "UnitSaveJournal.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

// A tone between digital silences, two copies, and the journal in a folder of the test's own.
class InterruptedSaves : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("lame"))
            GTEST_SKIP() << "lame is not installed";
        if (const char* v = std::getenv("VELMORA_CONFIG_DIR"))
            m_saved = v;
        ::setenv("VELMORA_CONFIG_DIR", dir.File("config").c_str(), 1);
        std::vector<std::int16_t> pcm;
        AppendSilence(pcm, PcmSpec{}, 0.5);
        AppendTone(pcm, PcmSpec{}, 1.0, 440, 9000);
        AppendSilence(pcm, PcmSpec{}, 0.5);
        EncodeWithLame(pcm, PcmSpec{}, "-b 128", dir.File("original.mp3"));
        original = ReadFile(dir.File("original.mp3"));
    }
    void TearDown() override {
        SetSaveRecordedHook({});
        if (m_saved)
            ::setenv("VELMORA_CONFIG_DIR", m_saved->c_str(), 1);
        else
            ::unsetenv("VELMORA_CONFIG_DIR");
    }
    // a.mp3 and b.mp3 in a new folder NAME.
    std::string Copies(const std::string& name) {
        fs::create_directories(dir.File(name));
        for (const char* f : {"a.mp3", "b.mp3"})
            WriteFile(dir.File(name + "/" + f), original);
        return dir.File(name);
    }
    static CliRun Batch(std::vector<std::string> args) {
        return RunCliCaptured(std::move(args), {"batch", "--defaults", "--jobs", "1", "--option",
                                                "CheckBoxBatchRemoveSilence=on"});
    }
    bool JournalEmpty() const {
        const std::string folder = dir.File("config/in-place saves");
        return !fs::exists(folder) || fs::is_empty(folder);
    }

    TempDir dir;
    std::vector<std::uint8_t> original;

private:
    std::optional<std::string> m_saved;
};

} // namespace

TEST_F(InterruptedSaves, StopSignalsDuringAnInPlaceBatchSaveLetTheFileFinishFirst) {
    const std::string normal = Copies("normal");
    const CliRun reference = Batch({normal + "/a.mp3", normal + "/b.mp3"});
    ASSERT_EQ(reference.status, 0) << reference.err;
    const auto saved = ReadFile(normal + "/a.mp3");
    ASSERT_LT(saved.size(), original.size()); // the trim moved the frames

    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        const std::string folder = Copies("signal" + std::to_string(signal));
        // Delivered once the first save is recorded and before its first byte moves.
        bool sent = false;
        SetSaveRecordedHook([&] {
            if (!std::exchange(sent, true))
                std::raise(signal);
        });
        const CliRun r = Batch({folder + "/a.mp3", folder + "/b.mp3"});
        SetSaveRecordedHook({});
        EXPECT_TRUE(sent);
        EXPECT_EQ(r.status, 1) << signal;
        EXPECT_EQ(Lines(r.out).front(), folder + "/a.mp3: changed") << r.out;
        EXPECT_EQ(ReadFile(folder + "/a.mp3"), saved) << signal;
        EXPECT_EQ(ReadFile(folder + "/b.mp3"), original) << signal; // never started
        EXPECT_TRUE(JournalEmpty()) << signal;
    }
}

TEST_F(InterruptedSaves, AnUnfinishedSaveIsReportedByInfoAndTheBatchUntilASaveFinishes) {
    const std::string folder = Copies("files");
    const std::string a = folder + "/a.mp3";
    // The process dies after recording the save: simulated by a failure at that point.
    SetSaveRecordedHook([] { throw VelmoraError("killed"); });
    EXPECT_EQ(Batch({a}).status, 1);
    SetSaveRecordedHook({});
    EXPECT_FALSE(JournalEmpty());

    const CliRun info = RunCliCaptured({"info", "--defaults", a});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("\nWarning:               An in-place save of this file was "
                            "interrupted; the file is probably damaged\n"),
              std::string::npos)
        << info.out;
    const CliRun json = RunCliCaptured({"info", "--defaults", "--json", a});
    EXPECT_NE(json.out.find("\"InterruptedSave\""), std::string::npos) << json.out;

    // The batch reports it, in the LOG too, and leaves the file for the user to decide.
    const std::string log = dir.File("batch.log");
    const CliRun batch =
        Batch({"--option", "CheckBoxBatchCreateLOG=on", "--log", log, a, folder + "/b.mp3"});
    EXPECT_EQ(batch.status, 1);
    const std::string text = "An in-place save of this file was interrupted; the file is "
                             "probably damaged";
    EXPECT_NE(batch.out.find(a + ": failed"), std::string::npos) << batch.out;
    EXPECT_NE(batch.out.find(text), std::string::npos) << batch.out;
    EXPECT_NE(ReadWholeFile(log)->find(text), std::string::npos) << *ReadWholeFile(log);
    EXPECT_EQ(ReadFile(a), original);
    EXPECT_LT(ReadFile(folder + "/b.mp3").size(), original.size());

    // A save the user asks for, once whole, clears it.
    const CliRun save = RunCliCaptured({"save", "--defaults", a, "--begin", "1"});
    EXPECT_EQ(save.status, 0) << save.err;
    EXPECT_TRUE(JournalEmpty());
    EXPECT_EQ(RunCliCaptured({"info", "--defaults", a}).out.find("interrupted"), std::string::npos);
}
