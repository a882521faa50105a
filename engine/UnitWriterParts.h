#pragma once

// Pieces shared by the writer's units; not for use outside the writer.

#include "Progress.h"
#include "UnitAtomicFile.h"
#include "UnitFileView.h"
#include "UnitGain.h"
#include "UnitScanner.h"
#include "UnitTags.h"
#include "UnitWriter.h"
#include "UnitXing.h"
#include "VelmoraError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velmora::writer {

// An APE tag or Lyrics3 block carried to the tail.
struct TailBlock {
    std::int64_t sourceOffset = 0;
    std::int64_t size = 0;
    std::int64_t outputOffset = 0;
};

// Everything a run decides before it touches a byte.
struct Layout {
    OutputTarget target = OutputTarget::InPlace;
    std::int64_t riffLength = 0;
    std::int64_t id3v2Source = 0; // where the ID3v2 tag starts in the source
    std::int64_t id3v2Out = 0;
    std::vector<std::uint8_t> id3v2Image; // the kept tag with its chapters moved; empty: as it is
    bool writeExtraInfo = false;
    bool extraInfoChanged = false;
    ExtraInfoOut extraInfo;
    std::int64_t silentLength = 0;
    std::int64_t framesStart = 0; // output offset of the first copied frame
    std::int64_t framesBytes = 0;
    std::vector<TailBlock> blocks; // in source order
    std::int64_t id3v1Out = 0;     // bytes of ID3v1 written (0 or 128)
    Id3v1Tag id3v1;
    std::int64_t size = 0;         // the whole output
    std::int64_t outputFrames = 0; // audio frames, as the plan counts them
    std::int64_t headerFrames = 0; // frames counted by a RIFF header
    std::int64_t tlenMilliseconds = 0;
    FadeParams fades;
    int gainSteps = 0;
};

// The writer's progress bar. A new bar stands at 0, so at most its 62 further steps are drawn.
class WriteProgress {
public:
    WriteProgress(IProgress& progress, std::int64_t total, bool shown)
        : m_progress(progress), m_total(shown ? total : 0) {
        if (m_total > 0)
            m_progress.SetTotal(ProgressMeter::kSteps);
    }
    void Show(std::int64_t done) {
        if (m_total <= 0)
            return;
        const int position = static_cast<int>(done * ProgressMeter::kSteps / m_total);
        if (position != m_last) {
            m_last = position;
            m_progress.Report(position);
        }
    }

private:
    IProgress& m_progress;
    std::int64_t m_total;
    int m_last = 0;
};

Layout ComputeLayout(const WriteParams& params, const StreamInfo& info,
                     const WriteContext& context);

// Whether the extra-info frame of `layout` differs from the source's (or appears or vanishes).
bool ExtraInfoChanged(const Layout& layout, const StreamInfo& info);

// An exact cut's extra-info frame gets the music CRC of the audio as written: the carrier frames
// and the copied frames with their gain and fades. Reads the source file.
void StampOutputMusicCrc(const WriteParams& params, const StreamInfo& info, Layout& layout,
                         const WriteContext& context);

// Bytes a copied entry takes in the output: the frame, or with cleanup off the distance to the
// next entry (the last copied entry always its own length).
inline std::int64_t CopyLength(const WriteParams& params, const StreamInfo& info, std::int64_t i) {
    const std::int64_t index = params.startFrame + i;
    if (params.cleanup || i == params.frameCount - 1)
        return info.frames[index].length;
    return info.frames[index + 1].offset - info.frames[index].offset;
}

// The duration digits, right-aligned in the existing width; excess high digits are dropped.
void RewriteTrackLengthDigits(std::uint8_t* digits, std::int64_t width, std::int64_t milliseconds);

// Rewrites the TLEN value of the kept tag `tag` with the output's duration.
void RewriteTrackLength(std::span<std::uint8_t> tag, const StreamInfo& info,
                        std::int64_t milliseconds);
// The ID3v2 tag as it goes out: the source's bytes with the TLEN value rewritten.
std::vector<std::uint8_t> OutputId3v2(std::span<const std::uint8_t> source, const Layout& layout,
                                      const StreamInfo& info);

// The kept ID3v2 tag with its chapters moved with the audio the save keeps (`leadBytes`: what
// goes between the tag and the first kept frame); empty when no chapter changes.
std::vector<std::uint8_t> KeptTagImage(const WriteParams& params, const StreamInfo& info,
                                       std::int64_t leadBytes);
// layout.id3v2Image with its TLEN value rewritten.
std::vector<std::uint8_t> KeptTagWithLength(const Layout& layout);

// Adds `delta` gain steps to the Layer III frame at `frame` (`available` bytes of it are
// present; the fields are placed by its own header) and re-stamps its CRC only where the stored
// one was right: equal to `computedCrc` when known, else to the CRC of the unchanged bytes.
// Bytes that do not hold a whole side information stay as they are.
void ApplyFrameDelta(std::uint8_t* frame, std::int64_t available, int delta,
                     std::optional<std::uint16_t> computedCrc);

// The new file of a Save As, written under a temporary name beside the target and renamed over
// it only when complete, so a failure never harms a file that was there before. Failures throw
// IoError naming `outputPath`.
std::unique_ptr<AtomicFileWriter> NewOutputFile(const std::string& outputPath);

// Reserves the disk space of a new file of `size` bytes, so that a full disk shows before the
// file is written and the writes need not allocate block by block. Throws IoError when the space
// is not there; a file system that cannot reserve is left to find out as it writes.
void ReserveNewFileSpace(int fd, std::int64_t size);

// Writes all `n` bytes at `offset`; throws IoError.
void PWriteAll(int fd, const std::uint8_t* p, std::int64_t n, std::int64_t offset);
// Writes `n1` bytes from `p1` and then `n2` from `p2`, from `offset` on, in one call where it can.
void PWriteTwo(int fd, const std::uint8_t* p1, std::int64_t n1, const std::uint8_t* p2,
               std::int64_t n2, std::int64_t offset);

// Whether every copied frame goes out where it already stands (a save that only changes gain,
// cuts the end or rewrites tags in place).
bool FramesStay(const WriteParams& params, const StreamInfo& info, const Layout& layout);

// The system's text for `error`, the detail, and the hint for a full disk.
VelmoraError IoError(int error, const std::string& detail = {});

[[noreturn]] void ThrowSourceChanged(const std::string& path);
// The input/output error of a source that another program cut while it was being read.
[[noreturn]] void ThrowSourceShrunk(const std::string& path);
// Fails when the file, as it is now under the lock, is no longer the one that was analysed.
void CheckSourceUnchanged(const std::string& path, const FileIdentity& now, const StreamInfo& info);

// The two target families. Both return the result value.
std::int64_t WriteStream(const WriteParams& params, const StreamInfo& info, Layout& layout,
                         const WriteContext& context, IProgress& progress);
struct InPlaceOutcome {
    std::int64_t size = 0;
    FrameTable frames; // new offsets, when the model is to be updated
    FileIdentity identity;
    TID3v2 id3v2;
};
InPlaceOutcome WriteInPlace(const WriteParams& params, const StreamInfo& info, Layout& layout,
                            const WriteContext& context, IProgress& progress,
                            bool updateModelAfter);

// `steps`, or the nearest number of steps that takes no copied frame's global_gain to 255, nor
// a non-zero one to 0, so that the opposite change restores every byte.
int StepsWithoutClipping(const WriteParams& params, const StreamInfo& info, int steps,
                         const MessageTable& messages);

// After a gain change: the ReplayGain values and the undo item of the output at `path` (see
// KeepGainTagsTrue); `model`, when set, is brought up to date with the tags as they now stand.
void KeepOutputGainTagsTrue(const WriteParams& params, const std::string& path,
                            const Layout& layout, const WriteContext& context, StreamInfo* model,
                            const FileIdentity* keepTimes, WriteResult& result);

} // namespace velmora::writer
