#include "BatchFixtures.h"
#include "Progress.h"
#include "UnitCueSplit.h"
#include "UnitLoudness.h"
#include "UnitMessages.h"
#include "UnitOpenAudio.h"
#include "UnitOptions.h"

#include <gtest/gtest.h>

#include <regex>

using namespace velmora;
using namespace velmora::test;

namespace {

using O = BatchOutcome;

std::vector<BatchFileReport> RunFiles(const std::vector<std::string>& files, const Settings& s) {
    RecordingObserver observer;
    return RunBatch(ExpandBatchInputs(files, s), s, MessageTable::English(), {}, observer);
}

StreamInfo Open(const std::string& path) {
    NullProgress progress;
    return std::move(OpenWithTailAnalysis(path, Settings{}, MessageTable::English(), progress,
                                          {TailDecode::Skip})
                         .info);
}

// Runs the rest of a scope in another working directory.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) : m_caller(fs::current_path()) {
        fs::current_path(dir);
    }
    ~WorkingDirectory() { fs::current_path(m_caller); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    fs::path m_caller;
};

// The command line tool, on the defaults, as a user would run it.
std::string Cli(const TempDir& config, const std::string& args) {
    std::string output;
    const int status = RunCommand(
        "VELMORA_CONFIG_DIR=" + config.path() + " " VELMORA_CLI_PATH " " + args + " 2>&1", &output);
    EXPECT_EQ(status, 0) << args << "\n" << output;
    return output;
}

} // namespace

TEST(BatchSteps, RealRunGivesEachFileTheBytesOfTheCommandLineSave) {
    TempDir dir, config;
    const std::string tree = CopyBatchTree(dir);
    const std::string oracle = dir.File("oracle");
    fs::create_directory(oracle);
    const std::vector<std::string> names = {"quiet.mp3", "abrupt.mp3", "album.mp3", "bad.mp3"};
    for (const std::string& n : names)
        fs::copy_file(tree + "/" + n, oracle + "/" + n);
    Settings s;
    s.CheckBoxBatchRemoveSilence = true;
    s.CheckBoxBatchVolumeNormalize = true;
    s.TrackBarBatchFadeIn = 3;
    s.TrackBarBatchFadeOut = 5;
    std::vector<std::string> files;
    for (const std::string& n : names)
        files.push_back(tree + "/" + n);
    const auto reports = RunFiles(files, s);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string copy = oracle + "/" + names[i];
        const std::string normalized = Cli(config, "normalize --defaults --json " + copy);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(normalized, m, std::regex("\"step\": (-?[0-9]+|null)")));
        const std::string gain = m[1] == "null" ? "0" : m[1].str();
        Cli(config, "save --defaults " + copy + " --auto-trim --gain " + gain +
                        " --fade-in 3 --fade-out 5 --yes");
        EXPECT_EQ(reports[i].outcome, O::Changed) << names[i];
        EXPECT_EQ(std::to_string(reports[i].gainSteps), gain) << names[i];
        EXPECT_EQ(ReadFile(files[i]), ReadFile(copy)) << names[i];
    }
    EXPECT_GT(reports[0].trimmedBegin, 0);
    EXPECT_GT(reports[0].trimmedEnd, 0);
}

TEST(BatchSteps, ThumbnailCutsForEachLength) {
    const MpegHeader first = Open(BatchTemplate() + "/quiet.mp3").firstHeader;
    const std::int64_t s1 = SecondsToFrames(first, 1), s15 = SecondsToFrames(first, 15);
    const std::int64_t n = 2000;
    const struct {
        int item, start, end;
        std::optional<TrimPoints> cut;
    } cases[] = {
        {0, 0, 0, TrimPoints{0, n - s15}},
        {0, 1, 9, TrimPoints{s1, n - s1 - s15}}, // the end counts only for "variable"
        {5, 0, 0, TrimPoints{0, 0}},             // longer than the file
        {6, 1, 2, TrimPoints{s1, SecondsToFrames(first, 2)}},
        {6, 0, 0, TrimPoints{0, 0}},
        {1, 60, 0, std::nullopt}, // starts after the end
        {6, 26, 26, TrimPoints{996, 996}},
        {6, 27, 27, std::nullopt},
    };
    for (const auto& c : cases) {
        Settings s;
        s.ComboBoxLengthThumbnail = c.item;
        s.SpinEditStartThumbnail = c.start;
        s.SpinEditEndThumbnail = c.end;
        const std::optional<TrimPoints> cut = ComputeThumbnailCut(first, n, s);
        ASSERT_EQ(cut.has_value(), c.cut.has_value()) << c.item << " " << c.start;
        if (cut) {
            EXPECT_EQ(cut->beginFrames, c.cut->beginFrames) << c.item << " " << c.start;
            EXPECT_EQ(cut->endFrames, c.cut->endFrames) << c.item << " " << c.start;
        }
    }

    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    const std::int64_t frames = Open(tree + "/quiet.mp3").frameCount;
    Settings s;
    s.CheckBoxBatchCreateThumbnail = true;
    s.ComboBoxLengthThumbnail = 6;
    s.SpinEditStartThumbnail = 1;
    s.SpinEditEndThumbnail = 2;
    s.CheckBoxRemoveLastFrame = false;
    s.CheckBoxExactCut = false; // the frame count of the frame cut
    auto reports = RunFiles({tree + "/quiet.mp3"}, s);
    EXPECT_EQ(reports[0].outcome, O::Changed);
    EXPECT_EQ(Open(tree + "/quiet.mp3").frameCount, frames - s1 - SecondsToFrames(first, 2));
    s.SpinEditStartThumbnail = 30;
    const auto abrupt = ReadFile(tree + "/abrupt.mp3");
    reports = RunFiles({tree + "/abrupt.mp3"}, s);
    EXPECT_EQ(reports[0].outcome, O::Failed);
    EXPECT_EQ(reports[0].error, "too short for a thumbnail");
}

TEST(BatchSteps, AbruptEndingsMoveToTheirFolderUnlessTheNameIsTaken) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    Settings s;
    s.CheckBoxBatchMoveAbrupt = true;
    s.CheckBoxBatchTestRun = true;
    EXPECT_EQ(RunFiles({tree}, s)[0].notes.back(), "would move to Abrupt endings");
    EXPECT_TRUE(fs::exists(tree + "/abrupt.mp3"));
    s.CheckBoxBatchTestRun = false;
    const auto reports = RunFiles({tree + "/abrupt.mp3", tree + "/quiet.mp3"}, s);
    EXPECT_EQ(reports[0].outcome, O::Changed);
    EXPECT_EQ(reports[0].savedPath, tree + "/Abrupt endings/abrupt.mp3");
    EXPECT_TRUE(fs::exists(tree + "/Abrupt endings/abrupt.mp3"));
    EXPECT_FALSE(fs::exists(tree + "/abrupt.mp3"));
    EXPECT_TRUE(fs::exists(tree + "/quiet.mp3"));

    fs::copy_file(BatchTemplate() + "/abrupt.mp3", tree + "/abrupt.mp3");
    const auto again = RunFiles({tree + "/abrupt.mp3"}, s);
    EXPECT_EQ(again[0].outcome, O::Failed);
    EXPECT_NE(again[0].error.find("already exists"), std::string::npos);
    EXPECT_TRUE(fs::exists(tree + "/abrupt.mp3"));
}

TEST(BatchSteps, CueSplitWritesTheTracksAndAnUnwritableFolderFailsTheFileOnly) {
    TempDir dir;
    const std::string tree = CopyBatchTree(dir);
    Settings s;
    s.CheckBoxBatchSplitCUE = true;
    auto reports = RunFiles({tree + "/album.mp3", tree + "/quiet.mp3"}, s);
    ASSERT_EQ(reports[0].splitTracks.size(), 2u) << reports[0].error;
    EXPECT_EQ(reports[0].outcome, O::Changed);
    for (const std::string& track : reports[0].splitTracks)
        EXPECT_GT(Open(track).frameCount, 150) << track;
    EXPECT_EQ(reports[1].notes, std::vector<std::string>{"no CUE sheet to split by"});

    // The tracks' folder is taken by a file: the album fails, the batch goes on.
    fs::remove_all(tree + "/album");
    WriteFile(tree + "/album", {'x'});
    reports = RunFiles({tree + "/album.mp3", tree + "/quiet.mp3"}, s);
    EXPECT_EQ(reports[0].outcome, O::Failed);
    EXPECT_NE(reports[0].error.find("Could not create folder"), std::string::npos)
        << reports[0].error;
    EXPECT_GT(Open(tree + "/album.mp3").frameCount, 300); // saved whole before the split
    EXPECT_EQ(reports[1].outcome, O::Unchanged);
}

TEST(BatchSteps, TwoSheetsOfOneAlbumNeverWriteOverEachOthersTracks) {
    const std::string sheet =
        "PERFORMER \"Perf\"\nTITLE \"Alb\"\nFILE \"x.mp3\" MP3\n"
        "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:02:00\n";
    for (const int jobs : {1, 2}) {
        TempDir dir;
        const std::string tree = CopyBatchTree(dir);
        // The album folder lies in the current directory.
        const WorkingDirectory cwd(tree);
        WriteFile(tree + "/album.cue", {sheet.begin(), sheet.end()});
        WriteFile(tree + "/quiet.cue", {sheet.begin(), sheet.end()});
        Settings s;
        s.CheckBoxBatchSplitCUE = true;
        s.TrackBarDefaultAmplification = 1; // each file is saved, then split
        BatchRunOptions options;
        options.jobs = jobs;
        RecordingObserver observer;
        const auto reports =
            RunBatch(ExpandBatchInputs({tree + "/album.mp3", tree + "/quiet.mp3"}, s), s,
                     MessageTable::English(), options, observer);
        std::string winner;
        for (const BatchFileReport& r : reports) {
            if (r.outcome == O::Changed) {
                EXPECT_EQ(winner, "") << jobs;
                winner = r.path;
                EXPECT_EQ(r.splitTracks,
                          (std::vector<std::string>{"Perf - Alb/01.mp3", "Perf - Alb/02.mp3"}));
            } else {
                EXPECT_EQ(r.outcome, O::Failed) << jobs;
                EXPECT_NE(r.error.find("is written by another file of this batch"),
                          std::string::npos)
                    << r.error;
                EXPECT_TRUE(r.splitTracks.empty());
                EXPECT_EQ(r.notes, std::vector<std::string>{
                                       "the file was saved with its changes before this error"});
            }
        }
        ASSERT_NE(winner, "") << jobs;
        // The two tracks there are the winner's, whole: what a split of it alone gives.
        fs::create_directory(dir.File("alone"));
        fs::current_path(dir.File("alone"));
        NullProgress progress;
        StreamInfo info = Open(winner);
        SplitByCueSheet(winner, info, {}, s, MessageTable::English(), progress);
        for (const char* track : {"/Perf - Alb/01.mp3", "/Perf - Alb/02.mp3"})
            EXPECT_EQ(ReadFile(tree + track), ReadFile(dir.File("alone") + track)) << jobs << track;
        EXPECT_EQ(std::distance(fs::directory_iterator(tree + "/Perf - Alb"), {}), 2);
    }
}

TEST(BatchSteps, AlbumModeGivesEachFolderTheStepOfItsFilesJoined) {
    TempDir dir, config;
    const PcmSpec spec;
    struct Folder {
        const char* name;
        std::vector<int> amplitudes; // one file each: a tone, then a little noise
    } folders[] = {{"loud", {2800, 14900, 8400}}, {"quiet", {3000, 1800}}};
    Settings s;
    s.CheckBoxBatchVolumeNormalize = true;
    s.CheckBoxBatchAlbumGain = true;
    s.CheckBoxBatchCreateLOG = true;
    s.CheckBoxBatchLOGStatistics = true;
    std::vector<std::string> inputs;
    std::vector<int> oracleSteps;
    std::vector<double> oracleLoudness;
    for (const Folder& f : folders) {
        fs::create_directory(dir.File(f.name));
        inputs.push_back(dir.File(f.name));
        std::vector<std::int16_t> joined;
        for (std::size_t i = 0; i < f.amplitudes.size(); ++i) {
            std::vector<std::int16_t> pcm;
            AppendTone(pcm, spec, 3, 440 + 110.0 * i, f.amplitudes[i]);
            AppendNoise(pcm, spec, 1, f.amplitudes[i] / 2, static_cast<std::uint32_t>(i + 1));
            EncodeWithLame(pcm, spec, "-b 160",
                           dir.File(std::string(f.name) + "/" + std::to_string(i) + ".mp3"));
            joined.insert(joined.end(), pcm.begin(), pcm.end());
        }
        const std::string whole = dir.File(std::string(f.name) + ".joined");
        EncodeWithLame(joined, spec, "-b 160", whole);
        const std::string json = Cli(config, "normalize --defaults --json " + whole);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(json, m,
                                      std::regex("\"loudness\": (-?[0-9.]+).*"
                                                 "\"loudnessStep\": (-?[0-9]+)")));
        oracleLoudness.push_back(std::stod(m[1]));
        oracleSteps.push_back(std::stoi(m[2]));
    }
    ASSERT_NE(oracleSteps[0], oracleSteps[1]);
    const std::string log = dir.File("batch.log");
    RecordingObserver observer;
    BatchRunOptions options;
    options.logPath = log;
    const auto reports =
        RunBatch(ExpandBatchInputs(inputs, s), s, MessageTable::English(), options, observer);
    ASSERT_EQ(reports.size(), 5u);
    const std::string logText = LogBody(log);
    for (const BatchFileReport& r : reports) {
        const std::size_t folder = r.path.find("/quiet/") != std::string::npos ? 1 : 0;
        EXPECT_EQ(r.outcome, O::Changed) << r.path << " " << r.error;
        EXPECT_EQ(r.gainSteps, oracleSteps[folder]) << r.path;
        ASSERT_TRUE(r.albumLoudness) << r.path;
        // The seams of the separate files add encoder padding and straddling blocks.
        EXPECT_NEAR(*r.albumLoudness, oracleLoudness[folder], 0.2) << r.path;
        // Each file's own loudness moved by the one step: the levels within the folder stay.
        const std::string after = Cli(config, "normalize --defaults --json " + r.path);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(after, m, std::regex("\"loudness\": (-?[0-9.]+)")));
        EXPECT_NEAR(std::stod(m[1]), *r.loudnessBefore + r.gainSteps * GainStepDb(), 0.05)
            << r.path;
        EXPECT_NE(logText.find("album loudness " + LufsText(*r.albumLoudness) + " -> "),
                  std::string::npos)
            << logText;
    }
}
