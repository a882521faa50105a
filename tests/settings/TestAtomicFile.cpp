#include "FrameBuilder.h"
#include "UnitAtomicFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using namespace test;

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

AtomicFileFailure Failure() {
    return [](int error, AtomicFileStep) { return VelmoraError(std::strerror(error)); };
}

// A process that dies on its own: its number is free afterwards (until reused).
pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0)
        _exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// A writer killed with SIGKILL in the middle of its file leaves the folder as it was: nothing of
// the new file, named or unnamed, and the old file untouched; a named leftover goes with the
// next writer in that folder.
TEST(AtomicFile, AKilledWriterLeavesNothingBehind) {
    for (const bool unnamed : {true, false}) {
        for (const bool replacing : {false, true}) {
            SCOPED_TRACE(std::to_string(unnamed) + std::to_string(replacing));
            TempDir dir;
            const std::string target = dir.File("out.mp3");
            if (replacing)
                WriteFile(target, {1, 2, 3});
            int ready[2];
            ASSERT_EQ(::pipe(ready), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                AtomicFileWriter file(target, {0666, DataSync::WhenReplacing, unnamed}, Failure());
                file.Write(std::string(1 << 20, 'x'));
                const ssize_t signalled = ::write(ready[1], "r", 1);
                ::pause();
                _exit(signalled == 1 ? 0 : 1);
            }
            char byte = 0;
            ASSERT_EQ(::read(ready[0], &byte, 1), 1);
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            ::close(ready[0]);
            ::close(ready[1]);
            const std::vector<std::string> before =
                replacing ? std::vector<std::string>{"out.mp3"} : std::vector<std::string>{};
            if (unnamed) {
                EXPECT_EQ(Listing(dir.path()), before);
            }
            if (replacing) {
                EXPECT_EQ(ReadFile(target), (std::vector<std::uint8_t>{1, 2, 3}));
            }

            AtomicFileWriter next(dir.File("other.mp3"), {0666, DataSync::Always, false},
                                  Failure());
            next.Write("new");
            next.Commit();
            std::vector<std::string> after = before;
            after.insert(after.begin(), "other.mp3");
            EXPECT_EQ(Listing(dir.path()), after);
        }
    }
}

TEST(AtomicFile, OnlyTheTemporaryFilesOfGoneWritersAreRemoved) {
    TempDir dir;
    const std::string gone = std::to_string(GonePid());
    const std::string mine = std::to_string(::getpid());
    const std::vector<std::pair<std::string, bool>> files = {
        {".a.mp3." + gone + "-17.part", false},  // its writer is gone
        {".b.c.mp3." + gone + "-1.part", false}, // dots in the name
        {".c.mp3." + mine + "-18.part", true},   // this process's own
        {".d.mp3." + gone + "-19.part", true},   // locked: a writer elsewhere lives
        {"e.mp3." + gone + "-20.part", true},    // not hidden
        {".f.mp3." + gone + "-x1.part", true},   // not a number
        {".g.mp3." + gone + "-21", true},        // no ".part"
        {".h.mp3.part", true},
        {"." + gone + "-22.part", true}, // no name
    };
    for (const auto& [name, kept] : files)
        WriteFile(dir.File(name), {1});
    const int locked = ::open(dir.File(files[3].first).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(locked, LOCK_EX), 0);
    std::filesystem::create_directory(dir.File(".i.mp3." + gone + "-23.part"));

    RemoveStaleTemporaries(dir.path() + "/");
    ::close(locked);
    for (const auto& [name, kept] : files)
        EXPECT_EQ(std::filesystem::exists(dir.File(name)), kept) << name;
    EXPECT_TRUE(std::filesystem::is_directory(dir.File(".i.mp3." + gone + "-23.part")));
}

} // namespace
} // namespace velmora
