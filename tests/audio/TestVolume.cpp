#include "Fixtures.h"
#include "FrameList.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitMpg123.h"
#include "UnitOptions.h"
#include "UnitVolume.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// Records what it is given and answers from a script.
class ScriptedDecoder final : public IFrameDecoder {
public:
    std::function<int(std::int64_t)> status = [](std::int64_t) { return 0; };
    std::vector<std::int16_t> pcm = std::vector<std::int16_t>(2304, 1000);
    std::vector<std::vector<std::uint8_t>> seen;

    FrameDecodeResult DecodeFrame(std::span<const std::uint8_t> frame) override {
        seen.emplace_back(frame.begin(), frame.end());
        FrameDecodeResult r;
        r.status = status(static_cast<std::int64_t>(seen.size()) - 1);
        if (r.status == 0)
            r.pcm = pcm;
        return r;
    }
};

class ScriptedProgress final : public IProgress {
public:
    int stopAfterPumps = -1;
    int total = -1;
    std::vector<int> reports;
    int pumps = 0;

    void SetTotal(int t) override { total = t; }
    void Report(int position) override { reports.push_back(position); }
    void ProcessMessages() override { ++pumps; }
    bool StopRequested() const override { return stopAfterPumps >= 0 && pumps >= stopAfterPumps; }
};

VolumeAnalysis HistogramWith(std::initializer_list<std::pair<int, std::uint64_t>> counts) {
    VolumeAnalysis a;
    for (const auto& [magnitude, count] : counts) {
        a.LevelHistogram[static_cast<std::size_t>(magnitude)] += count;
        a.sampleCount += static_cast<std::int64_t>(count);
    }
    return a;
}

class FramesOnDisk : public testing::Test {
protected:
    // `count` frames built from `spec` in a file; the table lists them at file offsets.
    StreamInfo Write(const FrameSpec& spec, int count) {
        std::vector<std::uint8_t> bytes(10, 0); // frames need not start the file
        AppendFrames(bytes, spec, count);
        WriteFile(m_path, bytes);
        m_bytes = bytes;
        return ListFrames(bytes);
    }
    VolumeAnalysis Analyse(StreamInfo& info, std::int64_t begin, std::int64_t end,
                           VolumeScope scope = VolumeScope::Levels) {
        return AnalyseVolumeWith(m_decoder, m_path, info, begin, end, scope, m_messages,
                                 m_progress);
    }
    std::string ErrorOf(StreamInfo& info, std::int64_t begin, std::int64_t end) {
        try {
            Analyse(info, begin, end);
        } catch (const VelmoraError& e) {
            return e.what();
        }
        return "no error";
    }

    TempDir m_dir;
    std::string m_path = m_dir.File("frames.mp3");
    std::vector<std::uint8_t> m_bytes;
    MessageTable m_messages = MessageTable::English();
    ScriptedDecoder m_decoder;
    ScriptedProgress m_progress;
};

} // namespace

TEST(ComputeNormalization, PeakTargetAndTheFullScaleRule) {
    const struct {
        const char* name;
        int peak, target, threshold;
        bool incOnly;
        const char* caption;
        double value;
        int position;
        bool marker;
    } cases[] = {
        {"full scale decoded 12 dB lower", 8192, 0, 0, false, "+0.0dB", 0.041, 0, true},
        {"-6 dBFS stops at step three", 4126, 0, 0, false, "+6.0dB", 5.998, 3, true},
        {"just above zero with increase only", 8230, 0, 0, true, "+0.0dB", 0.001, 0, true},
        {"a decrease with increase only", 8231, 0, 0, true, "-0dB", -0.0001, 0, false},
        {"a decrease shown", 9000, 0, 0, false, "-0.8dB", -0.776, -1, true},
        {"quiet, target 0dB", 3000, 0, 0, false, "+8.8dB", 8.767, 5, true},
        {"quiet, target -6dB", 3000, 2, 0, false, "+2.8dB", 2.767, 1, true},
        {"very quiet stops at the top", 100, 0, 0, false, "+38.3dB", 38.309, 8, true},
        {"clipping", 32769, 0, 0, false, "-12.0dB", -12.000, -8, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Settings s;
        s.ComboBoxNormlizeAt = c.target;
        s.ComboBoxNormalizeClippingThreshold = c.threshold;
        s.CheckBoxNormalizationIncOnly = c.incOnly;
        const NormalizationResult r =
            ComputeNormalization(HistogramWith({{0, 500}, {c.peak / 2, 50}, {c.peak - 1, 1}}), s);
        EXPECT_EQ(r.peak, c.peak);
        EXPECT_EQ(r.caption, c.caption);
        EXPECT_NEAR(r.NormalizationValue, c.value, 0.001);
        EXPECT_EQ(r.amplificationPosition, c.position);
        EXPECT_EQ(r.markerMoves, c.marker);
    }
}

TEST(ComputeNormalization, ClippingThresholdIgnoresThatShareOfTheLoudestSamples) {
    // 1000 samples: 5 at 9000, 10 at 5000, the rest at 100.
    const VolumeAnalysis a = HistogramWith({{9000, 5}, {5000, 10}, {100, 985}});
    const struct {
        int threshold, peak;
    } cases[] = {{0, 9001}, {1, 9001}, {5, 9001}, {6, 5001}, {10, 5001}};
    for (const auto& c : cases) {
        Settings s;
        s.ComboBoxNormalizeClippingThreshold = c.threshold;
        EXPECT_EQ(ComputeNormalization(a, s).peak, c.peak) << "threshold " << c.threshold;
    }
}

TEST(ComputeNormalization, TargetMinusSixLowersValueBySixAndStepByFour) {
    for (int peak : {1500, 2600, 4126, 6000}) {
        Settings s;
        s.ComboBoxNormlizeAt = 0;
        const NormalizationResult at0 = ComputeNormalization(HistogramWith({{peak - 1, 1}}), s);
        s.ComboBoxNormlizeAt = 2;
        const NormalizationResult at6 = ComputeNormalization(HistogramWith({{peak - 1, 1}}), s);
        EXPECT_NEAR(at0.NormalizationValue - at6.NormalizationValue, 6.0, 1e-9);
        if (*at0.amplificationPosition < 8) { // the top of the bar caps the louder target
            EXPECT_EQ(*at0.amplificationPosition - *at6.amplificationPosition, 4) << peak;
        }
    }
}

TEST(ComputeNormalization, NoBarToMoveAndTheMarkerPosition) {
    const NormalizationResult r = ComputeNormalization(HistogramWith({{4125, 1}}), Settings{}, -9);
    EXPECT_FALSE(r.amplificationPosition.has_value());
    EXPECT_FALSE(r.markerMoves);
    EXPECT_EQ(NormalizationMarkerLeft(-8, 10, 200), 21);
    EXPECT_EQ(NormalizationMarkerLeft(3, 10, 200), 11 * 176 / 16 + 21);
    EXPECT_EQ(NormalizationMarkerLeft(8, 10, 200), 176 + 21);
}

TEST_F(FramesOnDisk, DecodesAnAttenuatedCopyWithItsCrcRestamped) {
    FrameSpec spec;
    spec.crc = true;
    spec.globalGain = {200, 150, 5, 0};
    spec.part23Length = {100, 200, 300, 400};
    StreamInfo info = Write(spec, 3);
    const std::vector<std::uint8_t> before = ReadFile(m_path);
    Analyse(info, 0, 3);
    ASSERT_EQ(m_decoder.seen.size(), 3u);
    for (const auto& frame : m_decoder.seen) {
        MpegHeader h;
        ASSERT_TRUE(DecodeHeader(h, HeaderWordAt(frame.data())));
        EXPECT_EQ(StoredCrc(frame.data()), FrameCrc(h, frame.data()));
        const int expected[4] = {192, 142, 0, 0};
        for (int slot = 0; slot < 4; ++slot)
            EXPECT_EQ(GetBits(frame.data() + 6, Part23Position(spec, slot) + 21, 8),
                      static_cast<std::uint32_t>(expected[slot]));
        EXPECT_EQ(GetBits(frame.data() + 6, Part23Position(spec, 1), 12), 200u);
    }
    EXPECT_EQ(ReadFile(m_path), before);
}

TEST_F(FramesOnDisk, EnergiesGoIntoTheAnalysedEntriesOnly) {
    StreamInfo info = Write(FrameSpec{}, 6);
    for (std::int64_t i = 0; i < 6; ++i)
        info.frames[i].energy = 7;
    m_decoder.pcm.assign(2304, -1000);
    m_decoder.pcm[0] = -32768;
    const VolumeAnalysis a = Analyse(info, 2, 5);
    for (std::int64_t i = 0; i < 6; ++i)
        EXPECT_EQ(info.frames[i].energy, 7u) << "the analysis leaves the table alone: " << i;
    StoreEnergies(a, info);
    const std::uint64_t sum = 2303ull * 1000 * 1000 + 32768ull * 32768;
    const std::uint32_t energies[6] = {
        7, 7, std::uint32_t(sum >> 16), std::uint32_t(sum >> 16), std::uint32_t(sum >> 16), 7};
    for (std::int64_t i = 0; i < 6; ++i)
        EXPECT_EQ(info.frames[i].energy, energies[i]) << i;
    EXPECT_EQ(a.maxEnergy, static_cast<std::int32_t>(sum >> 16));
    EXPECT_EQ(a.sampleCount, 3 * 2304);
    EXPECT_EQ(a.LevelHistogram[1000], 3u * 2303);
    EXPECT_EQ(a.LevelHistogram[32768], 3u);
}

// Another program cuts the file while it is decoded (normalize, cue): an input/output error
// within a page of the new end (the rest of the last page reads as zeros), never SIGBUS; a cut
// within the last page shows in the file's size at the end.
TEST_F(FramesOnDisk, ACutDuringTheDecodingIsAnInputOutputError) {
    StreamInfo info = Write(FrameSpec{}, 3000);
    const std::int64_t cut = info.frames[1000].offset + 5;
    m_decoder.status = [&](std::int64_t index) {
        if (index == 500) {
            EXPECT_EQ(::truncate(m_path.c_str(), cut), 0);
        }
        return 0;
    };
    EXPECT_EQ(ErrorOf(info, 0, 3000),
              "Input/output error - Error analyzing this file - probably not an MPEG audio file");
    EXPECT_LT(m_decoder.seen.size(), 1012u);

    info = Write(FrameSpec{}, 3000);
    m_decoder.seen.clear();
    m_decoder.status = [&](std::int64_t index) {
        if (index == 500) {
            EXPECT_EQ(::truncate(m_path.c_str(), static_cast<off_t>(m_bytes.size() - 10)), 0);
        }
        return 0;
    };
    EXPECT_EQ(ErrorOf(info, 0, 3000),
              "Input/output error - Error analyzing this file - probably not an MPEG audio file");
}

TEST_F(FramesOnDisk, FailureTexts) {
    const MessageTable english = MessageTable::English();
    StreamInfo info = Write(FrameSpec{}, 10);
    const std::set<std::int64_t> refuseOne = {4}, refuseTwo = {4, 7};

    m_decoder.status = [&](std::int64_t i) { return refuseOne.count(i) ? kDecodeRefused : 0; };
    EXPECT_EQ(Analyse(info, 0, 10).refusedFrames, 1);

    m_decoder.seen.clear();
    m_decoder.status = [&](std::int64_t i) { return refuseTwo.count(i) ? kDecodeRefused : 0; };
    EXPECT_EQ(ErrorOf(info, 0, 10), "acm codec had trouble decoding the file");
    m_decoder.seen.clear();
    EXPECT_EQ(Analyse(info, 0, 10, VolumeScope::EnergiesOnly).refusedFrames, 2);

    m_decoder.seen.clear();
    m_decoder.status = [](std::int64_t i) { return i == 3 ? 27 : 0; };
    EXPECT_EQ(ErrorOf(info, 0, 10), "acmStreamConvert failed (0x001B)");
    EXPECT_EQ(m_decoder.seen.size(), 4u);

    m_decoder.status = [](std::int64_t) { return 0; };
    m_decoder.pcm.assign(2304, 0);
    EXPECT_EQ(ErrorOf(info, 0, 10),
              "Unable to determine the volume (the MP3 codec did not decode the file?)");
    EXPECT_NO_THROW(Analyse(info, 0, 10, VolumeScope::EnergiesOnly));
    EXPECT_EQ(ErrorOf(info, 3, 3),
              "Unable to determine the volume (the MP3 codec did not decode the file?)");

    FrameSpec layer2;
    layer2.layerId = 2;
    StreamInfo info2 = Write(layer2, 5);
    m_decoder.seen.clear();
    m_decoder.pcm.assign(2304, 1000);
    EXPECT_EQ(ErrorOf(info2, 0, 5),
              "Unable to determine the volume (the file needs to be MPEG layer III)");
    EXPECT_TRUE(m_decoder.seen.empty());

    // The file shrank since it was scanned.
    StreamInfo info3 = Write(FrameSpec{}, 10);
    info3.frames[9].offset = static_cast<std::int64_t>(m_bytes.size()) - 100;
    EXPECT_NE(ErrorOf(info3, 0, 10).find(english.MessageStrings[kMsgErrorAnalyzing]),
              std::string::npos);
    EXPECT_NE(ErrorOf(info3, 0, 10).find("Failed to open"), 0u);
}

TEST_F(FramesOnDisk, ProgressForLongRangesPumpEvery128FramesAndStop) {
    StreamInfo info = Write(FrameSpec{}, 1300);
    Analyse(info, 0, 999);
    EXPECT_EQ(m_progress.total, -1);
    EXPECT_TRUE(m_progress.reports.empty());
    EXPECT_EQ(m_progress.pumps, 7); // after frames 127, 255, … 895

    m_progress = ScriptedProgress{};
    Analyse(info, 300, 1300);
    EXPECT_EQ(m_progress.total, ProgressMeter::kSteps);
    ASSERT_EQ(m_progress.reports.size(), 63u);
    for (int i = 0; i <= 62; ++i)
        EXPECT_EQ(m_progress.reports[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(m_progress.pumps, 8); // frame indices 383 … 1279

    m_progress = ScriptedProgress{};
    m_progress.stopAfterPumps = 2;
    m_decoder.seen.clear();
    EXPECT_EQ(ErrorOf(info, 0, 1300), "Stopped at user request");
    EXPECT_EQ(m_decoder.seen.size(), 256u);
}

TEST(AnalyseVolume, LameToneOfKnownLevelGivesItsPeakAttenuatedByTwelveDecibels) {
    TempDir dir;
    const Settings settings; // 0dB-independent: the peak alone is checked here
    Settings fullScale;
    fullScale.ComboBoxNormalizeClippingThreshold = 0;
    for (int amplitude : {2000, 8000, 20000}) {
        SCOPED_TRACE(amplitude);
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, {44100, 2}, 3.0, 440.0, amplitude);
        const std::string path = dir.File("tone.mp3");
        EncodeWithLame(pcm, {44100, 2}, "-b 192", path);
        StreamInfo info = ListFrames(ReadFile(path));
        NullProgress progress;
        const VolumeAnalysis a = AnalyseVolume(path, info, 0, info.frameCount, VolumeScope::Levels,
                                               MessageTable::English(), progress);
        EXPECT_EQ(a.refusedFrames, 0);
        EXPECT_EQ(a.sampleCount, info.frameCount * 2304);
        const int peak = ComputeNormalization(a, fullScale).peak;
        EXPECT_LT(std::abs(20 * std::log10(peak / (amplitude / 4.0))), 1.5) << peak;
    }
}

TEST(AnalyseVolume, LameSilenceAndGarbageFrames) {
    TempDir dir;
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, {44100, 2}, 2.0);
    const std::string path = dir.File("silence.mp3");
    EncodeWithLame(pcm, {44100, 2}, "-b 128", path);
    std::vector<std::uint8_t> bytes = ReadFile(path);
    StreamInfo info = ListFrames(bytes);
    NullProgress progress;
    const MessageTable messages = MessageTable::English();
    const auto errorOf = [&](StreamInfo& i) -> std::string {
        try {
            AnalyseVolume(path, i, 0, i.frameCount, VolumeScope::Levels, messages, progress);
        } catch (const VelmoraError& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(errorOf(info),
              "Unable to determine the volume (the MP3 codec did not decode the file?)");

    pcm.clear();
    AppendTone(pcm, {44100, 2}, 2.0, 440.0, 8000);
    EncodeWithLame(pcm, {44100, 2}, "-b 128", path);
    bytes = ReadFile(path);
    info = ListFrames(bytes);
    for (std::int64_t j : {5, 9})
        for (int k = 0; k < 4; ++k)
            bytes[static_cast<std::size_t>(info.frames[j].offset + k)] = 0x21;
    WriteFile(path, bytes); // two frames whose headers are overwritten: the decoder refuses them
    EXPECT_EQ(errorOf(info), "acm codec had trouble decoding the file");
}
