#pragma once

#include "UnitFileView.h"
#include "UnitFrameTable.h"
#include "UnitID3v2.h"
#include "UnitMP3.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

namespace velmora {

class IProgress;
struct MessageTable;
struct Settings;
struct ApeItem;

// The leading extra-info ("Xing"/"Info") frame as found in the source.
struct ExtraInfoFrameCopy {
    MpegHeader header;               // decoded as if it had no CRC
    std::vector<std::uint8_t> bytes; // up to 2881; identifier moved to the no-CRC place
};

struct SilentFrameTemplateData {
    MpegHeader header;
    std::vector<std::uint8_t> image; // one frame of digital silence, at most 1728 bytes
};

// What decides the head of an output: the first header, the bitrate statistics and the leading
// extra-info frame. A forecast copies it from a scan under way.
struct StreamShape {
    MpegHeader firstHeader;
    std::array<std::int64_t, 16> BitrateHistogram{};
    std::uint32_t ConstantBitsMask = 0;
    std::uint32_t ConstantBitsValue = 0;
    bool extraInfoPresent = false;
    bool xingFound = false;
    ExtraInfoFrameCopy ExtraInfoFrame;
};

// Everything one scan sets; each scan starts from a default one.
struct ScanResult : StreamShape {
    std::int64_t frameCount = 0;
    FrameTable frames; // frameCount entries plus the two end entries
    std::int64_t missingHeaderCount = 0;
    std::vector<std::int64_t> MissingHeaderList; // every one (the display shows the first 10)
    std::int64_t badCrcCount = 0;
    bool leadingGarbage = false;
    bool lastFrameIncomplete = false;
    bool mp3Pro = false;
};

// The tags and the RIFF header around the audio (offsets from the file start), found by the open
// before it scans.
struct TagLayout {
    std::int64_t id3v1Size = 0;
    std::array<std::uint8_t, 128> id3v1Bytes{};
    std::int64_t apeSize = 0, apeOffset = 0;
    std::shared_ptr<const std::vector<ApeItem>> apeItems; // when the tag can be read
    std::int64_t lyrics3Size = 0, lyrics3Offset = 0;
    std::int64_t riffHeaderSize = 0;
    TID3v2 id3v2;
};

struct StreamInfo : ScanResult, TagLayout {
    // Set by the open pipeline (offsets from the file start).
    std::int64_t sourceSize = 0;
    std::int64_t sourceTimeNs = 0; // last-write time, nanoseconds since the epoch
    FileIdentity sourceIdentity;   // the file as it was analysed
    std::int64_t audioStart = 0;
    bool retried = false;
    MpegHeader SeekHeaderTemplate;
    SilentFrameTemplateData SilentFrameTemplate;
    bool abruptEnding = false;

    bool IsVbr() const { return (ConstantBitsMask & kBitrateMask) != kBitrateMask; }
    int DominantBitrateIndex() const;
};

// Told when a scan reaches one chosen frame (a Save As from the command line starts copying the
// kept frames while the file is still being analysed). Offsets are file offsets.
class IScanListener {
public:
    virtual ~IScanListener() = default;
    // Asked once the stream's first header is known: the index of the frame to report, or -1.
    virtual std::int64_t FrameToReach(const MpegHeader& first) = 0;
    // Frame `index` lies complete at `offset`. `partial` is the scan so far (its counts and
    // templates are not yet set); `rangeEnd` is where the scanned range ends.
    virtual void FrameReached(const StreamInfo& partial, std::int64_t index, std::int64_t offset,
                              std::int64_t rangeEnd) = 0;
};

// The range a scan reads: bytes held in memory, or a stretch of an open file that the scan reads
// piece by piece through a small reused buffer (a recording is never held whole, and reading it
// costs less than walking it through a mapping page by page).
struct ScanSource {
    std::span<const std::uint8_t> memory; // the range itself, when fd < 0
    int fd = -1;
    std::int64_t fileOffset = 0; // where the range starts in the file
    std::int64_t size = 0;
    IScanListener* listener = nullptr;

    static ScanSource Memory(std::span<const std::uint8_t> bytes, std::int64_t fileOffset = 0) {
        return {bytes, -1, fileOffset, static_cast<std::int64_t>(bytes.size()), nullptr};
    }
    static ScanSource File(int fd, std::int64_t offset, std::int64_t size) {
        return {{}, fd, offset, size, nullptr};
    }
};

// Scans the range into `info` (offsets in the table are from the range's start).
// requiredBitrateIndex: 0 for none. The silence tests compare file-aligned words, hence the
// range's file offset. Throws VelmoraError on failure (a file that cannot be read, or one cut
// short while it is read, included); `info` is then unusable.
void ScanStream(StreamInfo& info, const ScanSource& source, int requiredBitrateIndex,
                const Settings& settings, const MessageTable& messages, IProgress& progress);

// The same for a range in memory that starts at `fileOffset` in the file.
inline void ScanStream(StreamInfo& info, std::span<const std::uint8_t> data,
                       int requiredBitrateIndex, const Settings& settings,
                       const MessageTable& messages, IProgress& progress,
                       std::int64_t fileOffset = 0) {
    ScanStream(info, ScanSource::Memory(data, fileOffset), requiredBitrateIndex, settings, messages,
               progress);
}

} // namespace velmora
