#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

class IFrameDecoder;
class IVolumeAnalyser;
class IProgress;
struct MessageTable;
struct Settings;
struct StreamInfo;

// Global-gain steps taken off every granule before decoding, so that loud files do not clip.
inline constexpr int AnalysisAttenuation = 8;
inline constexpr int kLevelCount = 32769; // magnitudes 0 … 32768

// What a volume analysis measures: every level (the normalisation) or only each frame's energy
// (the ending, the CUE gaps), which needs no level histogram and cannot fail for want of sound.
// Both decode Layer III alone, the other layers giving no samples; EnergiesAnyLayer (the
// waveform) decodes Layer I and II as well. Frames without global gains to attenuate reach the
// analysers scaled to the same kAnalysisPcmScale.
enum class VolumeScope { Levels, EnergiesOnly, EnergiesAnyLayer };

struct VolumeAnalysis {
    // Samples per magnitude; empty after an energies-only pass.
    std::vector<std::uint64_t> LevelHistogram = std::vector<std::uint64_t>(kLevelCount);
    std::int64_t sampleCount = 0;   // decoded samples, all channels
    std::int64_t refusedFrames = 0; // frames the decoder could not take
    std::int32_t maxEnergy = 0;
    // Each decoded frame's energy (sum of squares >> 16), frames beginFrame … endFrame - 1.
    std::int64_t beginFrame = 0;
    std::vector<std::uint32_t> energies;
};

// What one decode scales its PCM by (AnalysisAttenuation steps of 2^(1/4) each): analysers that
// measure levels divide it out.
inline constexpr double kAnalysisPcmScale = 0.25;

// Decodes frames beginFrame … endFrame - 1 of `info.frames` (file offsets) from the file at
// `path`, measures their levels and energies, and feeds the decoded PCM to `analysers` as well
// (on a thread of their own, frame by frame; they are done when this returns).
// With VolumeScope::Levels, fails when the result cannot give a volume. Throws VelmoraError with
// the user's text.
VolumeAnalysis AnalyseVolume(const std::string& path, const StreamInfo& info,
                             std::int64_t beginFrame, std::int64_t endFrame, VolumeScope scope,
                             const MessageTable& messages, IProgress& progress,
                             std::span<IVolumeAnalyser* const> analysers = {});

// The same, with the decoder supplied (tests use a scripted one).
VolumeAnalysis AnalyseVolumeWith(IFrameDecoder& decoder, const std::string& path,
                                 const StreamInfo& info, std::int64_t beginFrame,
                                 std::int64_t endFrame, VolumeScope scope,
                                 const MessageTable& messages, IProgress& progress,
                                 std::span<IVolumeAnalyser* const> analysers = {});

// Puts the analysis's energies into the frame table (frames outside its range keep theirs).
void StoreEnergies(const VolumeAnalysis& analysis, StreamInfo& info);

inline constexpr int kAmplificationMax = 8; // TrackBarAmplification's range is -8 … +8
inline constexpr int kAmplificationMin = -8;

struct NormalizationResult {
    int peak = 0;                             // P, 1 … 32769
    double NormalizationValue = 0.0;          // G in dB
    std::string caption;                      // PanelVolumeMax
    std::optional<int> amplificationPosition; // where TrackBarAmplification goes
    bool markerMoves = false;                 // PanelVolumeNormalization is placed under the bar
};

// The normalisation of an analysis for ComboBoxNormlizeAt, ComboBoxNormalizeClippingThreshold
// and CheckBoxNormalizationIncOnly. `amplificationMax` is the bar's current maximum.
NormalizationResult ComputeNormalization(const VolumeAnalysis& analysis, const Settings& settings,
                                         int amplificationMax = kAmplificationMax);

// PanelVolumeNormalization's left edge for bar position `position`.
int NormalizationMarkerLeft(int position, int barLeft, int barWidth);

} // namespace velmora
