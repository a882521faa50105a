#pragma once

// The byte layout of an ID3v2 tag and a walk over its frames, shared by the reader and by the
// writer that moves chapters.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct Id3v2Header {
    static constexpr std::int64_t kSize = 10; // the header, and the v2.4 footer
    static constexpr std::int64_t kVersionOffset = 3;
    static constexpr std::int64_t kRevisionOffset = 4;
    static constexpr std::int64_t kFlagsOffset = 5;
    static constexpr std::int64_t kSizeOffset = 6; // four syncsafe bytes
    static constexpr std::uint8_t kUnsynchronised = 0x80;
    static constexpr std::uint8_t kExtendedHeader = 0x40; // v2.2: compressed
    static constexpr std::uint8_t kFooter = 0x10;         // v2.4

    int version = 0;
    std::uint8_t flags = 0;
    std::int64_t bodySize = 0; // the syncsafe size: frames, padding and extended header
    std::int64_t tagSize = 0;  // header, body and footer

    bool HasFooter() const { return version == 4 && (flags & kFooter) != 0; }
    // Unsynchronisation of the whole body, which versions 2 and 3 undo before reading frames.
    bool BodyUnsynchronised() const { return version < 4 && (flags & kUnsynchronised) != 0; }
};

// The header at the start of `region`: "ID3", version and revision other than 0xFF, four size
// bytes below 0x80. The version is not checked here.
std::optional<Id3v2Header> ParseId3v2Header(std::span<const std::uint8_t> region);

std::int64_t Syncsafe32(const std::uint8_t* p);
void PutSyncsafe32(std::uint8_t* p, std::int64_t value);
std::int64_t BigEndian(const std::uint8_t* p, int bytes);
void PutBigEndian32(std::uint8_t* p, std::uint32_t value);

// Unsynchronisation and its reverse: 0xFF 0x00 stands for 0xFF wherever a 0xFF was followed by
// a byte of 0xE0 or more, or by 0x00, or ended the data.
std::vector<std::uint8_t> Deunsynchronise(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> Unsynchronise(std::span<const std::uint8_t> bytes);

// One frame met by the walk.
struct Id3v2Frame {
    std::string_view id;
    std::int64_t offset = 0;      // of its header, in the walked bytes
    std::int64_t total = 0;       // header and data as stored
    std::int64_t headerSize = 0;  // 6 or 10
    std::uint8_t formatFlags = 0; // the second flag byte (versions 3 and 4)
    // The frame's content: past group, encryption and length fields, unsynchronisation undone.
    std::span<const std::uint8_t> data;
    // Where `data` stands in the walked bytes; -1 when it had to be decoded elsewhere.
    std::int64_t dataOffset = -1;
    bool readable = true; // neither compressed nor encrypted
};

// Format flags of a version-4 frame.
inline constexpr std::uint8_t kFrameGrouped4 = 0x40, kFrameCompressed4 = 0x08,
                              kFrameEncrypted4 = 0x04, kFrameUnsynchronised4 = 0x02,
                              kFrameDataLength4 = 0x01;
// Format flags of a version-3 frame.
inline constexpr std::uint8_t kFrameCompressed3 = 0x80, kFrameEncrypted3 = 0x40,
                              kFrameGrouped3 = 0x20;

// Walks the frames of `bytes` (a tag's body, or a chapter frame's sub-frames) from `pos` to its
// end for tag version `version`: each frame whose header fits and whose identifier starts with
// A-Z. A frame larger than what is left ends the walk with a note. Returns where the walk stopped
// (padding starts there).
std::int64_t WalkId3v2Frames(std::span<const std::uint8_t> bytes, std::int64_t pos, int version,
                             const std::function<void(const Id3v2Frame&)>& visit,
                             std::vector<std::string>& notes);

// Where the frames start in a body (past an extended header), or nullopt when the extended
// header does not fit.
std::optional<std::int64_t> FramesStart(const Id3v2Header& header,
                                        std::span<const std::uint8_t> body);

} // namespace velmora
