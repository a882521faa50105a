#pragma once

#include "UnitMP3.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

struct OutputPlan;
struct Settings;
struct StreamInfo;
struct TrimPoints;
struct ExtraInfoOut;

// Samples every Layer III decoder puts out before the first encoded one (filter bank and
// granule overlap); gapless players drop it together with the encoder delay.
inline constexpr int kDecoderDelay = 529;
// The encoder delay and padding fields of the extra-info extension are 12 bits wide.
inline constexpr int kMaxGaplessField = 4095;

// The encoder delay and padding the source's extra-info extension declares.
struct GaplessFields {
    int delay = 0;
    int padding = 0;
};
std::optional<GaplessFields> SourceGapless(const StreamInfo& info);
// The same of the extra-info frame at the start of `mp3`, when there is one.
std::optional<GaplessFields> GaplessFieldsOf(std::span<const std::uint8_t> mp3);

// The samples per channel a gapless decoder plays from the source's complete frames.
std::int64_t DecodedSamples(const StreamInfo& info);

// The whole seconds a gapless player plays of the file, less `removedFrames` frames' samples: the
// length of what an exact cut of that many frames keeps.
std::int64_t PlayedSeconds(const StreamInfo& info, std::int64_t removedFrames = 0);

// A cut that keeps the decoded samples [begin, end) of the source, counted as a gapless decoder
// plays it: the frames to copy (warm-up frames included) and the delay and padding that make a
// gapless decoder drop everything else.
struct ExactCut {
    std::int64_t startFrame = 0;
    std::int64_t frameCount = 0;
    GaplessFields fields;
    // A silent frame that goes before the copied ones and carries, at the end of its main data,
    // the bit-reservoir bytes the first copied frame reads; empty when the output starts with
    // the source's first frame.
    std::vector<std::uint8_t> reservoirFrame;
};

// Why a cut cannot be exact; the writer then cuts on frame boundaries as the option off does.
enum class ExactCutProblem {
    None,
    NotLayer3,
    MixedStream,        // missing headers, or frames of another version or sample rate
    DamagedReservoir,   // main data points before the first frame or past what the frames hold
    SmallFrames,        // the frames carrying the bit reservoir do not fit the decoders' preroll
    BeforeDecoderDelay, // a source without delay information, cut inside its first 529 samples
    AddedSilence,
};

struct ExactCutPlan {
    std::optional<ExactCut> cut;
    ExactCutProblem problem = ExactCutProblem::None;
};

// The start of an exact cut that keeps the decoded samples from `begin` on: the first copied
// frame and the carrier frames before it. It reads no frame after the first copied one, so it can
// be planned on a scan still under way.
struct ExactStartPlan {
    ExactCutProblem problem = ExactCutProblem::None;
    std::int64_t copiedFrame = 0;
    std::int64_t outputStart = 0; // the first output frame, carriers included, as a source index
    std::int64_t shift = 0;       // where the source's played samples start in its raw output
    std::int64_t rawBegin = 0;    // the first kept sample in the raw output
    std::vector<std::uint8_t> reservoirFrame;
};
ExactStartPlan PlanExactStart(const StreamInfo& info, std::span<const std::uint8_t> file,
                              std::int64_t begin);

// How many frames ExactCut::reservoirFrame holds.
std::int64_t CarrierFrameCount(const std::vector<std::uint8_t>& carrier);

// Plans the exact cut of the samples [begin, end); `file` holds the whole source file.
ExactCutPlan PlanExactCut(const StreamInfo& info, std::span<const std::uint8_t> file,
                          std::int64_t begin, std::int64_t end);

// The warning text of a cut made on frame boundaries instead; empty for None.
std::string ExactCutProblemText(ExactCutProblem problem);

// The header of an extra-info frame with room for the Xing data and the encoder's extension.
MpegHeader GaplessHeaderTemplate(const MpegHeader& first);

// Writes the encoder's extension with `fields` and the music length into `frame` (an extra-info
// frame whose Xing data stands at `sideInfoEnd`). An extension already there keeps its other
// fields; otherwise the Xing data is written afresh (frames, bytes, the TOC when given) and an
// extension follows it. Returns false when the frame has no room.
bool StampGaplessFields(std::span<std::uint8_t> frame, int sideInfoEnd, bool vbr,
                        std::uint32_t frames, std::uint32_t bytes,
                        const std::array<std::uint8_t, 100>& toc, GaplessFields fields);

// The extra-info frame of an exact cut: the source's own, when it is kept and has the encoder's
// extension already, otherwise one built afresh; its length comes first.
std::int64_t GaplessExtraInfoLength(const StreamInfo& info, const Settings& settings);
// `carriers`: the carrier frames that go out before the copied ones.
ExtraInfoOut BuildGaplessExtraInfoFrame(const StreamInfo& info, const Settings& settings,
                                        const OutputPlan& plan, const TrimPoints& trim,
                                        std::int64_t id3v2BytesOut, GaplessFields fields,
                                        const std::vector<std::uint8_t>& carriers);

// The music CRC the source's encoder extension declares (of every byte after its extra-info
// frame, up to `end` bytes from the file start), when it describes the scanned stream.
struct SourceMusic {
    std::int64_t begin = 0; // the first byte after the extra-info frame
    std::int64_t end = 0;
    std::uint16_t crc = 0;
};
std::optional<SourceMusic> SourceMusicCrc(const StreamInfo& info);

// Writes `musicCrc` into the encoder extension of `frame` and its own CRC after it; false when
// the frame has no extension.
bool StampMusicCrc(std::span<std::uint8_t> frame, int sideInfoEnd, std::uint16_t musicCrc);

} // namespace velmora
