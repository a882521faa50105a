#include "FrameBuilder.h"
#include "UnitFileView.h"
#include "UnitMessages.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

std::string OpenError(const std::string& path, FileAccess access) {
    try {
        FileView view = OpenFileView(path, access, MessageTable::English());
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "";
}

// The error an unprivileged user gets; root ignores file modes, so the open runs in a child
// that gives up root first.
std::string OpenErrorAsNobody(const std::string& path, FileAccess access) {
    if (geteuid() != 0)
        return OpenError(path, access);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        std::string text = "could not drop root";
        if (setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
            setresuid(65534, 65534, 65534) == 0)
            text = OpenError(path, access);
        const ssize_t written = write(pipeFds[1], text.data(), text.size());
        _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return text;
}

} // namespace

TEST(OpenFileView, MapsTheWholeFileWithItsSizeAndTime) {
    TempDir dir;
    std::vector<std::uint8_t> bytes(10000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 13);
    WriteFile(dir.File("a.mp3"), bytes);
    struct stat st {};
    ASSERT_EQ(stat(dir.File("a.mp3").c_str(), &st), 0);

    FileView view = OpenFileView(dir.File("a.mp3"), FileAccess::ReadOnly, MessageTable::English());
    ASSERT_NE(view.data(), nullptr);
    EXPECT_EQ(view.size(), 10000);
    EXPECT_EQ(std::vector<std::uint8_t>(view.bytes().begin(), view.bytes().end()), bytes);
    EXPECT_EQ(view.lastWriteTimeNs(), st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);

    FileView moved = std::move(view);
    EXPECT_EQ(view.data(), nullptr);
    EXPECT_EQ(moved.bytes()[9999], bytes[9999]);
}

TEST(OpenFileView, ReadWriteViewWritesThrough) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), std::vector<std::uint8_t>(5000, 0x11));
    {
        FileView view =
            OpenFileView(dir.File("a.mp3"), FileAccess::ReadWrite, MessageTable::English());
        view.writableBytes()[4999] = 0x22;
        view.Flush();
    }
    EXPECT_EQ(ReadFile(dir.File("a.mp3"))[4999], 0x22);
}

TEST(OpenFileView, ErrorTexts) {
    TempDir dir;
    WriteFile(dir.File("empty.mp3"), {});
    const std::string missing = dir.File("missing.mp3");
    struct Case {
        std::string path;
        FileAccess access;
        std::string error;
    } cases[] = {
        {missing, FileAccess::ReadOnly,
         "No such file or directory - Failed to open the file \"" + missing + "\""},
        {missing, FileAccess::ReadWrite,
         "No such file or directory - Access to file is denied (read only?)"},
        {dir.path(), FileAccess::ReadOnly,
         "Is a directory - Failed to open the file \"" + dir.path() + "\""},
        {dir.path(), FileAccess::ReadWrite,
         "Is a directory - Access to file is denied (read only?)"},
        {dir.File("empty.mp3"), FileAccess::ReadOnly,
         "Invalid argument - Failed to create file mapping"},
        {dir.File("empty.mp3"), FileAccess::ReadWrite,
         "Invalid argument - Failed to create file mapping"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OpenError(c.path, c.access), c.error);
}

TEST(OpenFileView, UnreadableFileFailsWithTheSystemText) {
    TempDir dir;
    const std::string path = dir.File("locked.mp3");
    WriteFile(path, std::vector<std::uint8_t>(100, 0));
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_EQ(OpenErrorAsNobody(path, FileAccess::ReadOnly),
              "Permission denied - Failed to open the file \"" + path + "\"");
    EXPECT_EQ(OpenErrorAsNobody(path, FileAccess::ReadWrite),
              "Permission denied - Access to file is denied (read only?)");
}

TEST(OpenFileView, ReadWriteExcludesEveryOtherHolderAndSaysTheFileIsInUse) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    WriteFile(path, std::vector<std::uint8_t>(100, 0));
    const std::string inUse =
        "The file \"" + path + "\" is in use by another program; close it there and try again";
    EXPECT_EQ(FileInUseText(path), inUse);
    {
        FileView reader = OpenFileView(path, FileAccess::ReadOnly, MessageTable::English());
        FileView second = OpenFileView(path, FileAccess::ReadOnly, MessageTable::English());
        EXPECT_EQ(OpenError(path, FileAccess::ReadWrite), inUse);
    }
    {
        FileView writer = OpenFileView(path, FileAccess::ReadWrite, MessageTable::English());
        EXPECT_EQ(OpenError(path, FileAccess::ReadOnly), inUse);
        EXPECT_EQ(OpenError(path, FileAccess::ReadWrite), inUse);
        writer.Close();
        EXPECT_EQ(OpenError(path, FileAccess::ReadOnly), "");
    }
    // Another process's lock, as another editor would hold it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ::flock(fd, LOCK_SH);
        char c = 1;
        (void)!::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(OpenError(path, FileAccess::ReadWrite), inUse);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_EQ(OpenError(path, FileAccess::ReadWrite), "");
}
