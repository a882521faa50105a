#include "DecoderOracle.h"
#include "LevelSteps.h"
#include "Progress.h"
#include "UnitMP3.h"
#include "UnitOpenAudio.h"
#include "UnitOptions.h"
#include "UnitSettingsStore.h"
#include "UnitVolume.h"
#include "UnitWaveform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <future>
#include <sys/resource.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

class WaveformTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.File("steps.mp3");
        MakeLevelSteps(path);
        LoadDefaults(settings);
        NullProgress quiet;
        info = std::move(
            OpenWithTailAnalysis(path, settings, MessageTable::English(), quiet, {TailDecode::Skip})
                .info);
    }

    // Runs a worker to its end; returns the error it ended with.
    std::string RunWorker(WaveformStore& store, WaveformWorkerHooks hooks = {}) {
        std::promise<std::string> ended;
        WaveformWorker worker(
            path, info, store, MessageTable::English(),
            [&](const std::string& error) { ended.set_value(error); }, std::move(hooks));
        return ended.get_future().get();
    }

    TempDir dir;
    std::string path;
    Settings settings;
    StreamInfo info;
};

double PeakDb(const std::vector<std::int16_t>& pcm, std::size_t from, std::size_t to) {
    int peak = 0;
    for (std::size_t i = from; i < std::min(to, pcm.size()); ++i)
        peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
    return 20 * std::log10(peak / 32768.0);
}

} // namespace

// Every layer refines: Layer III decodes attenuated, Layer II (ffmpeg's) at full scale, and both
// store the same peaks for the same sound.
TEST_F(WaveformTest, RefinedPeaksMatchTheDecodedPeaksOfEachSection) {
    const bool layer2 = HaveProgram("ffmpeg");
    for (const bool mp2 : {false, true}) {
        if (mp2) {
            if (!layer2)
                continue;
            path = dir.File("steps.mp2");
            MakeLevelStepsLayer2(path);
            NullProgress quiet;
            info = std::move(OpenWithTailAnalysis(path, settings, MessageTable::English(), quiet,
                                                  {TailDecode::Skip})
                                 .info);
            ASSERT_EQ(info.firstHeader.layerId, kLayer2);
        }
        WaveformStore store(info.frameCount);
        EXPECT_EQ(RunWorker(store), "") << path;
        EXPECT_EQ(store.RefinedCount(), info.frameCount) << path;
        EXPECT_TRUE(store.Missing().empty()) << path;
        EXPECT_LE(store.MemoryBytes(), 16 * info.frameCount);
        const std::vector<std::int16_t> decoded =
            DecodeWith("mpg123 -q -s '" + path + "'", path + ".raw");
        for (int k = 0; k < 3; ++k) {
            const auto [first, last] = LevelStepCore(k);
            int low = 0, high = 0;
            for (std::int64_t i = first; i < last; ++i) {
                low = std::min<int>(low, store.Get(i)->low);
                high = std::max<int>(high, store.Get(i)->high);
            }
            // The same stretch of the decode (2 channels, 1152 samples a frame; a Layer II
            // decoder delays by less than a frame).
            const double expected = PeakDb(decoded, static_cast<std::size_t>(first) * 2304,
                                           static_cast<std::size_t>(last) * 2304);
            EXPECT_NEAR(SamplePeakDb(high), expected, 0.5) << path << " " << kLevelStepsDb[k];
            EXPECT_NEAR(SamplePeakDb(low), expected, 0.5) << path << " " << kLevelStepsDb[k];
        }
    }
    if (!layer2)
        GTEST_SKIP() << "ffmpeg needed for the Layer II file";
}

TEST_F(WaveformTest, WorkerStopsWhenAskedAndWhenTheFileShrinks) {
    const struct {
        const char* name;
        bool waitForStop;
        bool shrink;
        bool errorExpected;
    } cases[] = {{"stopped while decoding", true, false, false},
                 {"file cut short", false, true, true}};
    const int ownNice = ::getpriority(PRIO_PROCESS, 0);
    for (const auto& c : cases) {
        WaveformStore store(info.frameCount);
        std::promise<void> paused;
        std::promise<std::string> ended;
        WaveformWorkerHooks hooks{
            128,
            [&] {
                // The worker yields to the window: niced.
                EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())),
                          std::min(ownNice + 5, 19));
                if (c.shrink) {
                    EXPECT_EQ(::truncate(path.c_str(), 20000), 0);
                }
                paused.set_value();
            },
            c.waitForStop};
        WaveformWorker worker(
            path, info, store, MessageTable::English(),
            [&](const std::string& error) { ended.set_value(error); }, hooks);
        paused.get_future().get();
        if (c.waitForStop) {
            EXPECT_TRUE(worker.Running()) << c.name;
            worker.Stop();
        }
        const std::string error = ended.get_future().get();
        EXPECT_FALSE(worker.Running()) << c.name;
        EXPECT_EQ(error.empty(), !c.errorExpected) << c.name << ": " << error;
        // The analysers measure on their own thread behind the decode: a stop drops the frames
        // still queued for them, so only the upper bound holds.
        EXPECT_LT(store.RefinedCount(), info.frameCount) << c.name;
    }
}

TEST_F(WaveformTest, AnAutoRunFillsItsRangeAndTheWorkerTheRest) {
    WaveformStore store(info.frameCount);
    WaveformAnalyser analyser(store, 40);
    IVolumeAnalyser* analysers[] = {&analyser};
    NullProgress quiet;
    AnalyseVolume(path, info, 40, 100, VolumeScope::Levels, MessageTable::English(), quiet,
                  analysers);
    EXPECT_EQ(store.RefinedCount(), 60);
    EXPECT_EQ(store.Missing(), (std::vector<FrameRange>{{0, 40}, {100, info.frameCount}}));
    EXPECT_EQ(RunWorker(store), "");
    EXPECT_EQ(store.RefinedCount(), info.frameCount);
}

TEST(WaveformClip, ClipAroundAPointStaysInsideTheFile) {
    const MpegHeader h = Mpeg1Layer3Header(); // 38.28 frames a second
    const struct {
        int seconds;
        std::int64_t frame, total;
        std::int64_t start, count;
    } cases[] = {
        {5, 1000, 5000, 904, 192},                        // centred
        {5, 10, 5000, 0, 192},                            // pushed in at the start
        {5, 4990, 5000, 4808, 192}, {5, 50, 100, 0, 100}, // longer than the file: all of it
        {0, 500, 5000, 481, 39},                          // at least a second
    };
    for (const auto& c : cases) {
        const PreviewClip clip = ClipAround(h, c.seconds, c.frame, c.total, 3);
        EXPECT_EQ(clip.startFrame, c.start) << c.frame;
        EXPECT_EQ(clip.frameCount, c.count) << c.frame;
        EXPECT_EQ(clip.gainSteps, 3);
    }
}

// A rate change in the middle (the scan ends the stream there), and frames damaged by random
// bytes: the worker ends and keeps what it decoded.
TEST(WaveformBadInput, WorkerEndsOnChangingAndDamagedStreams) {
    TempDir dir;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, PcmSpec{}, 1.0, 440, 8000);
    EncodeWithLame(pcm, PcmSpec{}, "-b 128", dir.File("a.mp3"));
    pcm.clear();
    AppendTone(pcm, PcmSpec{48000, 1}, 1.0, 440, 8000);
    EncodeWithLame(pcm, PcmSpec{48000, 1}, "-b 128", dir.File("b.mp3"));
    std::vector<std::uint8_t> changing = ReadFile(dir.File("a.mp3"));
    const std::vector<std::uint8_t> second = ReadFile(dir.File("b.mp3"));
    changing.insert(changing.end(), second.begin(), second.end());
    std::vector<std::uint8_t> damaged = ReadFile(dir.File("a.mp3"));
    for (std::size_t i = 2000; i < damaged.size(); i += 997)
        damaged[i] ^= 0x5A;
    Settings settings;
    LoadDefaults(settings);
    for (const auto& bytes : {changing, damaged}) {
        const std::string path = dir.File("bad.mp3");
        WriteFile(path, bytes);
        NullProgress quiet;
        const StreamInfo info = std::move(
            OpenWithTailAnalysis(path, settings, MessageTable::English(), quiet, {TailDecode::Skip})
                .info);
        WaveformStore store(info.frameCount);
        std::promise<std::string> ended;
        WaveformWorker worker(path, info, store, MessageTable::English(),
                              [&](const std::string& error) { ended.set_value(error); });
        const std::string error = ended.get_future().get();
        EXPECT_FALSE(worker.Running());
        EXPECT_EQ(store.RefinedCount(), info.frameCount) << error;
    }
}
