// A source that another program cuts or rewrites while it is open: the locks are advisory, so
// nothing keeps `truncate` or an editor away from it.

#include "UnitFileView.h"
#include "UnitMessages.h"
#include "VelmoraError.h"
#include "WriterHelpers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using namespace test;

std::int64_t SizeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Cuts the file to `size` bytes when the bar first reaches `position`.
class CutOnReport final : public IProgress {
public:
    CutOnReport(std::string path, std::int64_t size, int position)
        : m_path(std::move(path)), m_size(size), m_position(position) {}
    void SetTotal(int) override {}
    void Report(int position) override {
        if (position >= m_position && !m_done) {
            m_done = true;
            EXPECT_EQ(::truncate(m_path.c_str(), m_size), 0);
        }
    }
    void ProcessMessages() override {}
    bool StopRequested() const override { return false; }
    bool done() const { return m_done; }

private:
    std::string m_path;
    std::int64_t m_size;
    int m_position;
    bool m_done = false;
};

TEST(FileViewGuard, PagesPastACutEndReadAsZerosAndWritesGrowNothing) {
    const long page = ::sysconf(_SC_PAGESIZE);
    for (const FileAccess access : {FileAccess::ReadOnly, FileAccess::ReadWrite}) {
        TempDir dir;
        const std::string path = dir.File("a.mp3");
        WriteFile(path, std::vector<std::uint8_t>(static_cast<std::size_t>(page * 4), 0x5A));
        FileView view = OpenFileView(path, access, MessageTable::English());
        EXPECT_FALSE(view.Cut());
        ASSERT_EQ(::truncate(path.c_str(), 1000), 0);
        EXPECT_EQ(view.data()[999], 0x5A);
        EXPECT_FALSE(view.Shrunk()); // the first page is still the file's
        EXPECT_TRUE(view.Cut());
        EXPECT_EQ(view.data()[page * 2 + 7], 0);
        EXPECT_TRUE(view.Shrunk());
        EXPECT_EQ(view.data()[page * 4 - 1], 0);
        if (access == FileAccess::ReadWrite) {
            view.writableBytes()[page * 3] = 1;
            view.Close();
            EXPECT_EQ(SizeOf(path), 1000);
        }
    }
}

TEST(FileViewGuard, AFaultOutsideEveryViewStillEndsTheProcess) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    WriteFile(path, std::vector<std::uint8_t>(65536, 1));
    const FileView view = OpenFileView(path, FileAccess::ReadOnly, MessageTable::English());
    EXPECT_EXIT(
        {
            const int fd = ::open(path.c_str(), O_RDONLY);
            auto* p = static_cast<volatile std::uint8_t*>(
                ::mmap(nullptr, 65536, PROT_READ, MAP_SHARED, fd, 0));
            if (::ftruncate(::open(path.c_str(), O_WRONLY), 0) != 0)
                _exit(3);
            _exit(p[40000]);
        },
        // Killed by SIGBUS, or ended by a sanitizer's own handler; never read as a zero.
        [](int status) { return !WIFEXITED(status) || WEXITSTATUS(status) == 1; }, "");
}

struct CutCase {
    const char* name;
    bool inPlace;
    SaveSpec spec;
};

// A cut in the middle of a save: the save fails with an input/output error, never by a signal,
// and the file keeps the length the other program gave it.
TEST(SourceChanges, ACutDuringTheSaveIsAnInputOutputErrorAndGrowsNothing) {
    const auto source = GainFrames(3000); // about 1.2 MB
    const std::int64_t cut = 200000;
    const CutCase cases[] = {
        {"gain in place (frames stay)", true, {{}, 3}},
        {"trimmed start in place (frames move)", true, {{500, 0}}},
        {"added silence in place (the file grows)", true, {{}, 0}},
        {"Save As with gain", false, {{}, 2}},
        {"Save As copied by the kernel", false, {{500, 0}}},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("a.mp3");
        WriteFile(path, source);
        Settings s = NeutralSettings();
        if (std::string(c.name).find("silence") != std::string::npos)
            s.ComboBoxAddSilenceBeginning = 5;
        StreamInfo info = OpenFile(path, s);
        CutOnReport cutter(path, cut, 20);
        std::string error;
        try {
            Save(path, c.inPlace ? "" : dir.File("out.mp3"), info, s, c.spec, &cutter);
        } catch (const VelmoraError& e) {
            error = e.what();
        }
        EXPECT_TRUE(cutter.done());
        EXPECT_EQ(error, "Input/output error - The file \"" + path +
                             "\" was changed on disk after it was opened - open it again before "
                             "saving\nIs your disk full?");
        EXPECT_EQ(SizeOf(path), cut);
        EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"a.mp3"});
    }
}

// The content moved by 1000 bytes with size and modification time kept: only the change time
// (and the inode, for a file put in its place) tells.
TEST(SourceChanges, ARewriteThatKeepsSizeAndTimeIsRefused) {
    const auto source = GainFrames(40);
    std::vector<std::uint8_t> moved(source.begin() + 1000, source.end());
    moved.insert(moved.end(), source.begin(), source.begin() + 1000);
    for (const bool replaced : {false, true}) {
        TempDir dir;
        const std::string path = dir.File("a.mp3");
        WriteFile(path, source);
        const Settings s = NeutralSettings();
        StreamInfo info = OpenFile(path, s);
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        ::usleep(20000);
        if (replaced) {
            WriteFile(dir.File("b.mp3"), moved);
            ASSERT_EQ(::rename(dir.File("b.mp3").c_str(), path.c_str()), 0);
        } else {
            WriteFile(path, moved);
        }
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        for (const bool inPlace : {true, false}) {
            const std::string error =
                SaveError(path, inPlace ? "" : dir.File("out.mp3"), info, s, {{}, 2});
            EXPECT_EQ(error, "The file \"" + path +
                                 "\" was changed on disk after it was opened - open it again "
                                 "before saving");
            EXPECT_EQ(ReadFile(path), moved);
        }
    }
}

// A grow the disk cannot hold: the file keeps its bytes and its times, whatever the date option.
TEST(SourceChanges, AFailedGrowPutsTheTimesBack) {
    TempDir dir;
    SmallFilesystem small(dir.File("small"));
    if (!small.mounted())
        GTEST_SKIP() << "no permission to mount a tmpfs";
    const std::string path = dir.File("small/a.mp3");
    const auto big = GainFrames(2200); // 917 KB of the 1 MiB
    for (const bool preserveDate : {true, false}) {
        SCOPED_TRACE(preserveDate);
        WriteFile(path, big);
        const timespec old[2] = {{1000000000, 123456789}, {1100000000, 987654321}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        Settings s = NeutralSettings();
        s.CheckBoxPreserveDate = preserveDate;
        s.ComboBoxAddSilenceBeginning = 19; // 30 s
        StreamInfo info = OpenFile(path, s);
        const std::string error = SaveError(path, "", info, s);
        EXPECT_NE(error.find("No space left on device\nIs your disk full?"), std::string::npos)
            << error;
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec);
        EXPECT_EQ(st.st_mtim.tv_nsec, old[1].tv_nsec);
        EXPECT_EQ(ReadFile(path), big);
    }
}

} // namespace
} // namespace velmora
