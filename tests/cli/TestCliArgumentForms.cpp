#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>

using namespace velmora;
using namespace velmora::test;

namespace {

// One command as the table drives it: its operands, an option with a good value (and a value
// it refuses) and a flag, all of which leave the output as it is.
struct Command {
    std::string name;
    std::vector<std::string> operands;
    std::string option, value, badValue;
    std::string flag;
};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A private settings store for the run of the test.
class ConfigDir {
public:
    explicit ConfigDir(const std::string& path) {
        if (const char* v = std::getenv("VELMORA_CONFIG_DIR"))
            m_saved = v;
        ::setenv("VELMORA_CONFIG_DIR", path.c_str(), 1);
    }
    ~ConfigDir() {
        if (m_saved)
            ::setenv("VELMORA_CONFIG_DIR", m_saved->c_str(), 1);
        else
            ::unsetenv("VELMORA_CONFIG_DIR");
    }

private:
    std::optional<std::string> m_saved;
};

} // namespace

// Every command takes the same forms the same way: --name=value and --name value, "--", the
// global options before or after the command, -h/--help/help NAME on stdout with 0, and one
// "velmora-cli: NAME: ..." line with status 2 for what it refuses.
TEST(CliArgumentForms, EveryCommandTakesAndRefusesTheSameForms) {
    TempDir dir;
    ConfigDir config(dir.File("config"));
    std::vector<std::uint8_t> frames;
    AppendFrames(frames, FrameSpec{}, 60);
    const std::string file = dir.File("a.mp3");
    WriteFile(file, frames);
    const std::string sheet = dir.File("sheet.cue");
    const std::string cue = "FILE \"a.mp3\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    WriteFile(sheet, {cue.begin(), cue.end()});
    const std::string testRun = "--option=CheckBoxBatchTestRun=on";

    const Command commands[] = {
        {"info", {file}, "--shard", "1/1", "3/2", "--json"},
        {"normalize", {file}, "--lufs", "-16", "-80", "--album"},
        {"undo", {file}, "--files-from", dir.File("none.list"), "", "--json"},
        {"save", {file}, "--begin", "30ms", "-1", "--dry-run"},
        {"cue", {file}, "--min-track", "5", "5x", "--json"},
        {"split", {file}, "--gain", "1", "9", "--overwrite"},
        {"chapters", {file}, "--from-cue", sheet, "", ""},
        {"batch", {file}, "--jobs", "2", "0", testRun},
        {"settings", {}, "--set", "CheckBoxCleanup=on", "CheckBoxCleanup=maybe", ""},
    };
    WriteFile(dir.File("none.list"), {});
    for (const Command& c : commands) {
        const std::vector<std::string> value = {c.option, c.value};
        const std::vector<std::string> flag =
            c.flag.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.flag};
        const CliRun base = RunCliCaptured(Join({{c.name, "--defaults"}, value, flag, c.operands}));
        ASSERT_NE(base.status, 2) << c.name << ": " << base.err;
        const std::vector<std::string> operands =
            c.operands.empty() ? std::vector<std::string>{} : Join({{"--"}, c.operands});
        const std::vector<std::vector<std::string>> accepted = {
            Join({{c.name, "--defaults", c.option + "=" + c.value}, flag, c.operands}),
            Join({{"--defaults", c.name}, c.operands, flag, value}),
            Join({{c.name}, flag, value, {"--defaults"}, operands}),
            Join({{"-q", "--option", "CheckBoxCleanup=on", c.name},
                  value,
                  flag,
                  c.operands,
                  {"--defaults"}}),
        };
        for (std::size_t k = 0; k < accepted.size(); ++k) {
            const CliRun r = RunCliCaptured(accepted[k]);
            EXPECT_EQ(r.status, base.status) << c.name << " form " << k << ": " << r.err;
            if (c.name != "settings") {
                EXPECT_EQ(r.out, base.out) << c.name << " form " << k;
            }
        }

        const std::string see = " (see \"velmora-cli " + c.name + " --help\")\n";
        struct Refusal {
            std::vector<std::string> args;
            std::string line;
        };
        std::vector<Refusal> refused = {
            {Join({{c.name, "--defaults", "--bogus"}, c.operands}), "unknown option \"--bogus\""},
            {Join({{c.name, "--defaults"}, c.operands, {c.option}}), c.option + " needs a value"},
            {Join({{"--option", "Nope=1", c.name, "--defaults"}, c.operands}),
             "Unknown option \"Nope\""},
        };
        if (!c.badValue.empty())
            refused.push_back(
                {Join({{c.name, "--defaults", c.option, c.badValue}, c.operands}), ""});
        if (!c.operands.empty() && c.name != "batch")
            refused.push_back({{c.name, "--defaults"}, ""});
        for (const Refusal& f : refused) {
            const CliRun r = RunCliCaptured(f.args);
            EXPECT_EQ(r.status, 2) << c.name << " " << f.line;
            EXPECT_EQ(r.out, "") << c.name;
            ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
            EXPECT_EQ(r.err.rfind("velmora-cli: " + c.name + ": ", 0), 0u) << r.err;
            EXPECT_TRUE(r.err.ends_with(see)) << r.err;
            if (!f.line.empty()) {
                EXPECT_NE(r.err.find(f.line), std::string::npos) << r.err;
            }
        }

        const CliRun help = RunCliCaptured({c.name, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: velmora-cli " + c.name + " ", 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");
        for (const std::vector<std::string>& same : {std::vector<std::string>{c.name, "-h"},
                                                     {"help", c.name},
                                                     Join({{c.name}, c.operands, {"-h"}}),
                                                     {"--defaults", c.name, "--help"}}) {
            const CliRun again = RunCliCaptured(same);
            EXPECT_EQ(again.status, 0);
            EXPECT_EQ(again.out, help.out) << c.name;
        }
    }
}

// The forms people bring from other tools, each on the command that has the option.
TEST(CliArgumentForms, GnuFormsOfOneOptionMeanTheSame) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    AppendFrames(frames, FrameSpec{}, 80);
    const std::string file = dir.File("a.mp3");
    WriteFile(file, frames);
    const std::string out = dir.File("b.mp3");
    const CliRun plan = RunCliCaptured(
        {"save", "--defaults", file, "-o", out, "--begin", "10", "--gain", "-2", "-n"});
    ASSERT_EQ(plan.status, 0) << plan.err;
    const std::vector<std::string> same[] = {
        {"save", file, "--output=" + out, "--begin=10", "--gain=-2", "--dry-run", "--defaults"},
        {"save", "-no" + out, "--begin", "10", "--gain", "-2", "--defaults", "--", file},
        {"--defaults", "save", "--dry-run", "-o", out, "--gain", "3", "--gain", "-2", "--begin",
         "10", file},
    };
    for (const auto& args : same) {
        const CliRun r = RunCliCaptured(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, plan.out) << args[1];
    }

    const struct {
        std::vector<std::string> args;
        int status;
        const char* text; // on stdout for 0, else the one line on stderr
    } cases[] = {
        {{}, 2, "velmora-cli: no command given (see \"velmora-cli --help\")\n"},
        {{"frobnicate"}, 2, "velmora-cli: unknown command \"frobnicate\""},
        {{"help", "frobnicate"}, 2, "velmora-cli: unknown command \"frobnicate\""},
        {{"--help"}, 0, "Usage: velmora-cli [GLOBAL OPTIONS] COMMAND"},
        {{"help"}, 0, "Usage: velmora-cli [GLOBAL OPTIONS] COMMAND"},
        {{"--version"}, 0, "velmora-cli "},
        {{"save", file, "--wav"}, 2, "velmora-cli: save: --wav and --mp3 choose"},
        {{"save", file, "-o", out, "--wav", "--mp3"},
         2,
         "velmora-cli: save: --wav and --mp3 exclude each other"},
        {{"save", file, "extra.mp3"}, 2, "velmora-cli: save: unexpected argument \"extra.mp3\""},
        {{"split", file, "--min-gap", "1"},
         2,
         "velmora-cli: split: --min-gap works with --silence only"},
        {{"split", file, "--names", "../{title}"}, 2, "velmora-cli: split: --names: the name"},
        {{"split", file, "--names", "{year}"}, 2, "velmora-cli: split: --names: the name"},
        {{"split", file, "--chapters", "--silence"}, 2, "velmora-cli: split: --chapters excludes"},
        {{"settings", "--json", "--set", "CheckBoxCleanup=on"}, 2, "velmora-cli: settings: --json"},
    };
    for (const auto& c : cases) {
        const CliRun r = RunCliCaptured(c.args);
        EXPECT_EQ(r.status, c.status) << c.text;
        const std::string& shown = c.status == 0 ? r.out : r.err;
        EXPECT_EQ(shown.rfind(c.text, 0), 0u) << shown;
        if (c.status != 0) {
            EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        }
    }
}

// -o - streams the new file to standard output, byte for byte what -o FILE writes; on a terminal
// the real program refuses it.
TEST(CliArgumentForms, SaveToStandardOutputStreamsTheSameBytes) {
    TempDir dir;
    std::vector<std::uint8_t> frames;
    AppendFrames(frames, FrameSpec{}, 80);
    const std::string file = dir.File("a.mp3");
    WriteFile(file, frames);
    const CliRun saved =
        RunCliCaptured({"save", "--defaults", file, "-o", dir.File("b.mp3"), "--begin", "5"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    const CliRun streamed = RunCliCaptured({"save", "--defaults", file, "-o", "-", "--begin", "5"});
    ASSERT_EQ(streamed.status, 0) << streamed.err;
    const std::vector<std::uint8_t> written = ReadFile(dir.File("b.mp3"));
    EXPECT_EQ(std::vector<std::uint8_t>(streamed.out.begin(), streamed.out.end()), written);
    // What was written is told on stderr, as -o FILE tells it on stdout.
    EXPECT_EQ("saved as " + dir.File("b.mp3") + streamed.err.substr(24), saved.out);
    EXPECT_EQ(streamed.err.rfind("saved as standard output: ", 0), 0u) << streamed.err;
    EXPECT_EQ(RunCliCaptured({"-q", "save", "--defaults", file, "-o", "-"}).err.find("saved as"),
              std::string::npos);

    if (!HaveProgram("script"))
        GTEST_SKIP() << "script (util-linux) is missing";
    std::string output;
    const int status = RunCommand("script -qec \"'" VELMORA_CLI_PATH "' save --defaults '" + file +
                                      "' -o -\" /dev/null",
                                  &output);
    EXPECT_EQ(status, 2) << output;
    EXPECT_NE(output.find("velmora-cli: save: -o - writes the audio to standard output, which is "
                          "a terminal"),
              std::string::npos)
        << output;
}

// On a terminal: one bar per phase with its label, each taken off the line before a result line
// is written; --quiet draws none.
TEST(CliArgumentForms, ProgressBarsMakeWayForResults) {
    if (!HaveProgram("script") || !HaveProgram("lame"))
        GTEST_SKIP() << "script (util-linux) or lame is missing";
    TempDir dir;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, PcmSpec{44100, 1}, 60.0, 440, 9000);
    EncodeWithLame(pcm, PcmSpec{44100, 1}, "-b 64", dir.File("a.mp3"));
    const auto run = [&](const std::string& options) {
        std::string output;
        RunCommand("cd '" + dir.path() + "' && script -qec \"'" VELMORA_CLI_PATH "' " + options +
                       " normalize --defaults a.mp3\" /dev/null",
                   &output);
        return output;
    };
    const std::string shown = run("");
    const std::string clear = "\r\033[K";
    const std::size_t reading = shown.find("reading a.mp3 [");
    const std::size_t measuring = shown.find("measuring a.mp3 [");
    const std::size_t result = shown.find("a.mp3: ");
    ASSERT_NE(reading, std::string::npos) << shown;
    ASSERT_NE(measuring, std::string::npos) << shown;
    ASSERT_NE(result, std::string::npos) << shown;
    EXPECT_LT(reading, measuring);
    EXPECT_EQ(shown.find("reading a.mp3 [", measuring), std::string::npos) << "one bar per phase";
    EXPECT_EQ(shown.rfind(clear, result), result - clear.size()) << "the bar is cleared first";
    EXPECT_EQ(shown.find('[', result), std::string::npos) << "no bar after the result";
    const std::string quiet = run("-q");
    EXPECT_EQ(quiet.find("measuring"), std::string::npos) << quiet;
    EXPECT_EQ(quiet.rfind("a.mp3: ", 0), 0u) << quiet;
}
