#include "UnitAtomicFile.h"
#include "UnitSaveJournal.h"
#include "VelmoraError.h"
#include "WriterHelpers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// The file's identity and whether the journal in `folder` holds an unfinished save of it.
bool Interrupted(const std::string& path, const std::string& folder) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << path;
    const bool found = SaveWasInterrupted(fd, path, IdentityOf(fd), folder);
    ::close(fd);
    return found;
}

FileIdentity IdentityOfPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const FileIdentity identity = IdentityOf(fd);
    ::close(fd);
    return identity;
}

std::vector<std::uint8_t> Frames(int count) {
    return DistinctFrames(count);
}

// Points the settings store, and with it the journal, at a folder of the test's own.
class SaveJournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* v = std::getenv("VELMORA_CONFIG_DIR"))
            m_saved = v;
        ::setenv("VELMORA_CONFIG_DIR", dir.File("config").c_str(), 1);
    }
    void TearDown() override {
        SetSaveRecordedHook({});
        if (m_saved)
            ::setenv("VELMORA_CONFIG_DIR", m_saved->c_str(), 1);
        else
            ::unsetenv("VELMORA_CONFIG_DIR");
    }
    std::string Journal() const { return dir.File("config/in-place saves"); }
    int Records() const {
        int n = 0;
        if (std::filesystem::exists(Journal()))
            for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(Journal()))
                ++n;
        return n;
    }

    TempDir dir;

private:
    std::optional<std::string> m_saved;
};

} // namespace

TEST_F(SaveJournalTest, ARecordNamesTheFileUntilTheSaveFinishes) {
    const std::string path = dir.File("a.mp3");
    WriteFile(path, Frames(10));
    const FileIdentity before = IdentityOfPath(path);
    {
        InPlaceSaveRecord record(dir.path() + "/./a.mp3", before);
        EXPECT_EQ(SaveJournalFolder(), Journal());
        EXPECT_TRUE(Interrupted(path, Journal()));
        const std::string name = std::to_string(before.device) + "-" + std::to_string(before.inode);
        EXPECT_EQ(*ReadWholeFile(Journal() + "/" + name),
                  "path=" + std::filesystem::canonical(path).string() + "\ndevice=" +
                      std::to_string(before.device) + "\ninode=" + std::to_string(before.inode) +
                      "\nsize=" + std::to_string(before.size) +
                      "\nmodifiedNs=" + std::to_string(before.modifiedNs) +
                      "\npid=" + std::to_string(::getpid()) + "\n");
        record.Finished();
        EXPECT_FALSE(Interrupted(path, Journal()));
    }
    // Dropped unfinished, as a failure half-way drops it: the record stays.
    { InPlaceSaveRecord record(path, before); }
    EXPECT_TRUE(Interrupted(path, Journal()));
    WriteFile(dir.File("b.mp3"), Frames(10));
    EXPECT_FALSE(Interrupted(dir.File("b.mp3"), Journal()));

    // A record older than the file belongs to a removed file whose inode came back: it goes.
    const std::string record =
        Journal() + "/" + std::to_string(before.device) + "-" + std::to_string(before.inode);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, record.c_str(), old, 0), 0);
    EXPECT_FALSE(Interrupted(path, Journal()));
    EXPECT_FALSE(std::filesystem::exists(record));

    // A journal that cannot be made stops the save before it starts.
    WriteFile(dir.File("not-a-folder"), {1});
    EXPECT_THROW(InPlaceSaveRecord(path, before, dir.File("not-a-folder")), VelmoraError);
}

TEST_F(SaveJournalTest, AnInterruptedInPlaceSaveIsReportedByTheNextOpenUntilASaveFinishes) {
    const std::string path = dir.File("a.mp3");
    const auto source = Frames(40);
    WriteFile(path, source);
    const Settings s = NeutralSettings();
    SaveSpec cut;
    cut.trim = {2, 3};

    // The process dies once the save is recorded: simulated by a failure at that point.
    SetSaveRecordedHook([] { throw VelmoraError("killed"); });
    StreamInfo info = OpenFile(path, s);
    EXPECT_EQ(SaveError(path, "", info, s, cut), "killed");
    SetSaveRecordedHook({});
    EXPECT_EQ(Records(), 1);

    NullProgress progress;
    OpenResult next = OpenSourceFile(path, s, Messages(), progress, {});
    ASSERT_FALSE(next.warnings.empty());
    EXPECT_EQ(next.warnings.front(), OpenWarning::InterruptedSave);
    EXPECT_EQ(OpenWarningText(Messages(), next.warnings.front()),
              MessageTable::List{
                  "An in-place save of this file was interrupted; the file is probably damaged"});
    EXPECT_STREQ(OpenWarningName(OpenWarning::InterruptedSave), "InterruptedSave");

    // The user saves the file again: once that save is whole, the warning goes.
    Save(path, "", next.info, s, cut);
    EXPECT_EQ(Records(), 0);
    EXPECT_TRUE(OpenSourceFile(path, s, Messages(), progress, {}).warnings.empty());
    EXPECT_EQ(ReadFile(path),
              std::vector<std::uint8_t>(source.begin() + 2 * 417, source.end() - 3 * 417));

    // A save that fails before any byte moves (the file changed since it was analysed) leaves
    // no record; a save as leaves none either.
    info = OpenFile(path, s);
    WriteFile(path, Frames(41));
    EXPECT_NE(SaveError(path, "", info, s, cut), "");
    info = OpenFile(path, s);
    Save(path, dir.File("b.mp3"), info, s, cut);
    EXPECT_EQ(Records(), 0);
}
