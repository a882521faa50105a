#include "CliCommon.h"
#include "Progress.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

using namespace velmora;
using namespace velmora::cli;

namespace {

// Each file gets its own progress, as the commands give it; Ctrl+C arrives during `interrupted`.
struct Interrupting {
    std::string interrupted;
    std::vector<std::string> done;
    void operator()(const std::string& file) {
        TerminalProgress progress(file);
        if (file == interrupted)
            std::raise(SIGINT);
        ThrowIfStopped(progress);
        done.push_back(file);
    }
};

} // namespace

TEST(FileBatch, CtrlCDuringTheFirstOfThreeFilesStopsTheWholeCommand) {
    struct Case {
        bool json;
        const char* prefix;
        std::string out, err;
    };
    const Case cases[] = {
        {false, "velmora-cli: ", "", "velmora-cli: a.mp3: Stopped at user request\n"},
        {false, "", "", "a.mp3: Stopped at user request\n"},
        {true, "", "{\"schema\": 1, \"file\": \"a.mp3\", \"error\": \"Stopped at user request\"}\n",
         ""},
    };
    for (const Case& c : cases) {
        BeginCommand();
        Interrupting job{"a.mp3", {}};
        std::ostringstream out, err;
        const int status = RunFileBatch({"a.mp3", "b.mp3", "c.mp3"}, {c.json, c.prefix}, out, err,
                                        [&](const std::string& f) { job(f); });
        EXPECT_EQ(status, 1);
        EXPECT_TRUE(job.done.empty());
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
    BeginCommand();
}

TEST(FileBatch, AFailedFileIsReportedAndTheNextOneFollows) {
    BeginCommand();
    std::vector<std::string> done;
    std::ostringstream out, err;
    const int status = RunFileBatch(
        {"a.mp3", "b.mp3"}, {false, "velmora-cli: "}, out, err, [&](const std::string& f) {
            if (f == "a.mp3")
                throw VelmoraError("Access to file is denied (read only?)");
            done.push_back(f);
        });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(done, std::vector<std::string>{"b.mp3"});
    EXPECT_EQ(err.str(), "velmora-cli: a.mp3: Access to file is denied (read only?)\n");
}

TEST(FileBatch, CtrlCStandsForTheNextFileUntilTheNextCommand) {
    BeginCommand();
    {
        TerminalProgress first("a.mp3");
        std::raise(SIGINT);
        EXPECT_TRUE(first.StopRequested());
    }
    EXPECT_TRUE(TerminalProgress("b.mp3").StopRequested());
    BeginCommand();
    EXPECT_FALSE(TerminalProgress("c.mp3").StopRequested());
}
