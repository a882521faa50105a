#include "UnitVolume.h"

#include "Progress.h"
#include "UnitAnalyserThread.h"
#include "UnitFileView.h"
#include "UnitGain.h"
#include "UnitLoudness.h"
#include "UnitMP3.h"
#include "UnitMessages.h"
#include "UnitMpg123.h"
#include "UnitOptions.h"
#include "UnitScanner.h"
#include "VelmoraError.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace velmora {

namespace {

constexpr std::size_t kSourceBufferSize = 4096; // every MPEG audio frame is shorter
constexpr int kProgressMinimumFrames = 1000;
constexpr int kPumpEvery = 128;
constexpr double kFullScaleLimit = 32957.0; // about 0.05 dB above full scale

std::string HexCodeText(int code) {
    char text[64];
    std::snprintf(text, sizeof text, "acmStreamConvert failed (0x%04X)",
                  static_cast<unsigned>(code) & 0xFFFFu);
    return text;
}

// The level counts while a pass runs: four interleaved 32-bit tables, so that runs of equal
// magnitudes (silence, square waves) do not wait on one counter, folded into the 64-bit
// histogram before any counter could overflow and at the end.
class LevelTally {
public:
    explicit LevelTally(std::vector<std::uint64_t>& histogram)
        : m_histogram(histogram), m_counts(kWays * kLevelCount) {}

    void Count(std::span<const std::int16_t> pcm) {
        if (m_pending + pcm.size() > kFoldAfter)
            Fold();
        m_pending += pcm.size();
        std::uint32_t* counts = m_counts.data();
        const std::size_t n = pcm.size();
        std::size_t i = 0;
        for (; i + kWays <= n; i += kWays)
            for (std::size_t w = 0; w < kWays; ++w)
                ++counts[w * kLevelCount + Magnitude(pcm[i + w])];
        for (; i < n; ++i)
            ++counts[Magnitude(pcm[i])];
    }

    void Fold() {
        for (std::size_t w = 0; w < kWays; ++w)
            for (std::size_t m = 0; m < kLevelCount; ++m) {
                m_histogram[m] += m_counts[w * kLevelCount + m];
                m_counts[w * kLevelCount + m] = 0;
            }
        m_pending = 0;
    }

private:
    static constexpr std::size_t kWays = 4;
    static constexpr std::size_t kFoldAfter = 0xFFFFFFFFu;
    static std::size_t Magnitude(std::int16_t s) {
        const int v = s;
        return static_cast<std::size_t>(v < 0 ? -v : v);
    }

    std::vector<std::uint64_t>& m_histogram;
    std::vector<std::uint32_t> m_counts;
    std::size_t m_pending = 0;
};

std::uint64_t SumOfSquares(std::span<const std::int16_t> pcm) {
    std::uint64_t sum = 0;
    for (const std::int16_t s : pcm)
        sum += static_cast<std::uint64_t>(static_cast<std::int32_t>(s) * s);
    return sum;
}

// Counts the frame's levels and returns its sum of squares.
std::uint64_t CountLevels(std::span<const std::int16_t> pcm, LevelTally& tally) {
    tally.Count(pcm);
    return SumOfSquares(pcm);
}

// Takes AnalysisAttenuation steps off the frame's global gains (and re-stamps its CRC); false
// for a frame without them (another layer, a cut side information). The fields lie where the
// frame's own header puts them (a stream may mix layouts).
bool AttenuateForAnalysis(std::uint8_t* frame, std::int64_t length) {
    MpegHeader own;
    if (!DecodeHeader(own, HeaderWordAt(frame)) || own.layerId != kLayer3 ||
        own.sideInfoEnd > length)
        return false;
    ApplyGain(frame + own.headerSize, own, -AnalysisAttenuation);
    if (own.hasCrc) {
        const std::uint16_t crc = FrameCrc(own, frame);
        frame[4] = static_cast<std::uint8_t>(crc & 0xFF);
        frame[5] = static_cast<std::uint8_t>(crc >> 8);
    }
    return true;
}

// The decoded samples of a frame that could not be attenuated, scaled as if they had been, so
// that every frame reaches the measures at one scale.
std::span<const std::int16_t> ScaleLikeAttenuated(std::span<const std::int16_t> pcm,
                                                  std::vector<std::int16_t>& scaled) {
    scaled.resize(pcm.size());
    for (std::size_t i = 0; i < pcm.size(); ++i)
        scaled[i] = static_cast<std::int16_t>(std::lround(pcm[i] * kAnalysisPcmScale));
    return scaled;
}

} // namespace

VolumeAnalysis AnalyseVolumeWith(IFrameDecoder& decoder, const std::string& path,
                                 const StreamInfo& info, std::int64_t beginFrame,
                                 std::int64_t endFrame, VolumeScope scope,
                                 const MessageTable& messages, IProgress& progress,
                                 std::span<IVolumeAnalyser* const> analysers) {
    const bool energiesOnly = scope != VolumeScope::Levels;
    VELMORA_ASSERT(beginFrame >= 0 && beginFrame <= endFrame && endFrame <= info.frameCount,
                   "UnitVolume");
    // Energies alone need no level histogram (a quarter megabyte to clear): it stays empty.
    VolumeAnalysis result{std::vector<std::uint64_t>{}, 0, 0, 0, beginFrame, {}};
    if (!energiesOnly)
        result.LevelHistogram.assign(kLevelCount, 0);
    std::array<std::uint8_t, kSourceBufferSize> source{};
    std::vector<std::int16_t> scaled;
    std::optional<LevelTally> tally;
    if (!energiesOnly)
        tally.emplace(result.LevelHistogram);
    result.energies.resize(static_cast<std::size_t>(endFrame - beginFrame));
    const MpegHeader& first = info.firstHeader;
    // The decoder stands in for a Layer III codec: other layers give no samples, unless asked.
    const bool layer3 = first.layerId == kLayer3;
    const bool decodes = layer3 || scope == VolumeScope::EnergiesAnyLayer;

    std::optional<ProgressMeter> meter;
    if (endFrame - beginFrame >= kProgressMinimumFrames) {
        meter.emplace(progress, endFrame - beginFrame);
        meter->Show(0);
    }

    const FileView view = OpenFileView(path, FileAccess::ReadOnly, messages);
    // The analysers measure on a thread of their own while the decode goes on.
    std::optional<AnalyserThread> analysing;
    if (!analysers.empty() && decodes)
        analysing.emplace(analysers);
    for (std::int64_t j = beginFrame; j < endFrame; ++j) {
        const FrameEntry& entry = info.frames[j];
        const std::int64_t length = entry.length;
        if (entry.offset < 0 || length < 4 || length > static_cast<std::int64_t>(source.size()) ||
            entry.offset > view.size() - length)
            throw VelmoraError(std::string(std::strerror(EIO)) + " - " +
                               messages.MessageStrings[kMsgErrorAnalyzing]);
        std::memcpy(source.data(), view.data() + entry.offset, static_cast<std::size_t>(length));
        // Another program cut the file: the frame read as zeros.
        if (view.Shrunk())
            throw VelmoraError(std::string(std::strerror(EIO)) + " - " +
                               messages.MessageStrings[kMsgErrorAnalyzing]);

        std::uint64_t frameSum = 0;
        if (decodes) {
            const bool attenuated = AttenuateForAnalysis(source.data(), length);
            FrameDecodeResult decodedFrame =
                decoder.DecodeFrame({source.data(), static_cast<std::size_t>(length)});
            if (!attenuated)
                decodedFrame.pcm = ScaleLikeAttenuated(decodedFrame.pcm, scaled);
            if (decodedFrame.status == kDecodeRefused)
                ++result.refusedFrames;
            else if (decodedFrame.status != kDecodeOk)
                throw VelmoraError(HexCodeText(decodedFrame.status));
            result.sampleCount += static_cast<std::int64_t>(decodedFrame.pcm.size());
            frameSum =
                tally ? CountLevels(decodedFrame.pcm, *tally) : SumOfSquares(decodedFrame.pcm);
            if (analysing)
                analysing->Add(decodedFrame.pcm);
        }
        const auto energy = static_cast<std::int32_t>(static_cast<std::uint32_t>(frameSum >> 16));
        result.energies[static_cast<std::size_t>(j - beginFrame)] =
            static_cast<std::uint32_t>(energy);
        if (energy > result.maxEnergy)
            result.maxEnergy = energy;

        if (meter)
            meter->Show(j - beginFrame);
        CheckPoint(progress, j, kPumpEvery);
        ThrowIfStopped(progress);
    }
    if (view.Cut())
        throw VelmoraError(std::string(std::strerror(EIO)) + " - " +
                           messages.MessageStrings[kMsgErrorAnalyzing]);
    if (analysing)
        analysing->Finish();
    if (tally)
        tally->Fold();
    if (meter)
        meter->Show(endFrame - beginFrame);

    if (energiesOnly)
        return result;
    if (result.LevelHistogram[0] == static_cast<std::uint64_t>(result.sampleCount) ||
        result.maxEnergy == 0)
        throw VelmoraError(layer3 ? "Unable to determine the volume (the MP3 codec did not "
                                    "decode the file?)"
                                  : "Unable to determine the volume (the file needs to be MPEG "
                                    "layer III)");
    if (result.refusedFrames > 1)
        throw VelmoraError("acm codec had trouble decoding the file");
    return result;
}

VolumeAnalysis AnalyseVolume(const std::string& path, const StreamInfo& info,
                             std::int64_t beginFrame, std::int64_t endFrame, VolumeScope scope,
                             const MessageTable& messages, IProgress& progress,
                             std::span<IVolumeAnalyser* const> analysers) {
    MpegFrameDecoder decoder(static_cast<std::int32_t>(info.firstHeader.sampleRate),
                             info.firstHeader.channelMode == kMono ? 1 : 2,
                             MessageTable::Join(messages.MessageDlgAcmStreamOpenFailed));
    return AnalyseVolumeWith(decoder, path, info, beginFrame, endFrame, scope, messages, progress,
                             analysers);
}

void StoreEnergies(const VolumeAnalysis& analysis, StreamInfo& info) {
    for (std::size_t i = 0; i < analysis.energies.size(); ++i)
        info.frames[analysis.beginFrame + static_cast<std::int64_t>(i)].energy =
            analysis.energies[i];
}

NormalizationResult ComputeNormalization(const VolumeAnalysis& analysis, const Settings& settings,
                                         int amplificationMax) {
    NormalizationResult r;
    const std::vector<std::uint64_t>& histogram = analysis.LevelHistogram;
    const int k = settings.ComboBoxNormalizeClippingThreshold;
    int m = kLevelCount - 1;
    if (k <= 0) {
        while (m > 0 && histogram[static_cast<std::size_t>(m)] == 0)
            --m;
    } else {
        std::int64_t running = 0;
        for (; m > 0; --m) {
            running += static_cast<std::int64_t>(histogram[static_cast<std::size_t>(m)]);
            if (MulDiv(running, 1000, analysis.sampleCount) >= k)
                break;
        }
    }
    r.peak = m + 1;

    const int a = settings.ComboBoxNormlizeAt;
    r.NormalizationValue = -(20.0 * std::log10(r.peak / 32768.0) + 12.0) - 3.0 * a;
    if (r.NormalizationValue < 0 && settings.CheckBoxNormalizationIncOnly) {
        r.caption = "-0dB";
        r.amplificationPosition = 0;
        return r;
    }
    char text[64];
    std::snprintf(text, sizeof text, r.NormalizationValue >= 0 ? "+%.1fdB" : "%.1fdB",
                  r.NormalizationValue);
    r.caption = text;
    if (amplificationMax < kAmplificationMin)
        return r;
    int v = amplificationMax;
    while (v > kAmplificationMin &&
           r.peak * std::pow(2.0, (v + AnalysisAttenuation + 2 * a) / 4.0) >= kFullScaleLimit)
        --v;
    r.amplificationPosition = v;
    r.markerMoves = true;
    return r;
}

int NormalizationMarkerLeft(int position, int barLeft, int barWidth) {
    return (position - kAmplificationMin) * (barWidth - 24) / 16 + barLeft + 11;
}

} // namespace velmora
