#include "UnitID3v2Frames.h"

#include <cstring>

namespace velmora {

std::optional<Id3v2Header> ParseId3v2Header(std::span<const std::uint8_t> region) {
    using H = Id3v2Header;
    const std::uint8_t* p = region.data();
    if (static_cast<std::int64_t>(region.size()) < H::kSize || std::memcmp(p, "ID3", 3) != 0 ||
        p[H::kVersionOffset] == 0xFF || p[H::kRevisionOffset] == 0xFF)
        return std::nullopt;
    for (int i = 0; i < 4; ++i)
        if (p[H::kSizeOffset + i] >= 0x80)
            return std::nullopt;
    H header;
    header.version = p[H::kVersionOffset];
    header.flags = p[H::kFlagsOffset];
    header.bodySize = Syncsafe32(p + H::kSizeOffset);
    header.tagSize = header.bodySize + H::kSize + (header.HasFooter() ? H::kSize : 0);
    return header;
}

std::int64_t Syncsafe32(const std::uint8_t* p) {
    return std::int64_t{p[0] & 0x7F} << 21 | std::int64_t{p[1] & 0x7F} << 14 |
           std::int64_t{p[2] & 0x7F} << 7 | std::int64_t{p[3] & 0x7F};
}

void PutSyncsafe32(std::uint8_t* p, std::int64_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>((value >> (7 * (3 - i))) & 0x7F);
}

std::int64_t BigEndian(const std::uint8_t* p, int bytes) {
    std::int64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

void PutBigEndian32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

std::vector<std::uint8_t> Deunsynchronise(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00)
            ++i;
    }
    return out;
}

std::vector<std::uint8_t> Unsynchronise(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF &&
            (i + 1 == bytes.size() || bytes[i + 1] >= 0xE0 || bytes[i + 1] == 0))
            out.push_back(0x00);
    }
    return out;
}

namespace {

// The data of a version-3 or version-4 frame past the fields its flags add.
void Content(Id3v2Frame& frame, std::span<const std::uint8_t> raw, int version,
             std::vector<std::uint8_t>& scratch) {
    const std::uint8_t f = frame.formatFlags;
    std::size_t skip = 0;
    bool unsynchronised = false;
    if (version == 3) {
        skip = (f & kFrameCompressed3 ? 4 : 0) + (f & kFrameEncrypted3 ? 1 : 0) +
               (f & kFrameGrouped3 ? 1 : 0);
        frame.readable = (f & (kFrameCompressed3 | kFrameEncrypted3)) == 0;
    } else {
        skip = (f & kFrameGrouped4 ? 1 : 0) + (f & kFrameEncrypted4 ? 1 : 0) +
               (f & kFrameDataLength4 ? 4 : 0);
        frame.readable = (f & (kFrameCompressed4 | kFrameEncrypted4)) == 0;
        unsynchronised = (f & kFrameUnsynchronised4) != 0;
    }
    if (skip > raw.size()) {
        frame.readable = false;
        return;
    }
    raw = raw.subspan(skip);
    if (unsynchronised) {
        scratch = Deunsynchronise(raw);
        if (scratch.size() != raw.size()) {
            frame.data = scratch;
            frame.dataOffset = -1;
            return;
        }
    }
    frame.data = raw;
    frame.dataOffset = frame.offset + frame.headerSize + static_cast<std::int64_t>(skip);
}

} // namespace

std::int64_t WalkId3v2Frames(std::span<const std::uint8_t> bytes, std::int64_t pos, int version,
                             const std::function<void(const Id3v2Frame&)>& visit,
                             std::vector<std::string>& notes) {
    const bool v2 = version == 2;
    const std::int64_t headerSize = v2 ? 6 : 10;
    const std::uint8_t* p = bytes.data();
    std::int64_t remaining = static_cast<std::int64_t>(bytes.size()) - pos;
    std::vector<std::uint8_t> scratch;
    while (remaining >= 6 && remaining >= headerSize && p[pos] >= 'A' && p[pos] <= 'Z') {
        const std::uint8_t* header = p + pos;
        const std::int64_t dataSize = v2             ? BigEndian(header + 3, 3)
                                      : version == 3 ? BigEndian(header + 4, 4)
                                                     : Syncsafe32(header + 4);
        const std::int64_t total = dataSize + headerSize;
        Id3v2Frame frame;
        frame.id = std::string_view(reinterpret_cast<const char*>(header), v2 ? 3 : 4);
        if (total > remaining) {
            notes.push_back("ID3v2 frame " + std::string(frame.id) + " of " +
                            std::to_string(dataSize) + " bytes is larger than the tag; ignored");
            break;
        }
        frame.offset = pos;
        frame.total = total;
        frame.headerSize = headerSize;
        if (dataSize > 0) {
            const std::span<const std::uint8_t> raw = bytes.subspan(
                static_cast<std::size_t>(pos + headerSize), static_cast<std::size_t>(dataSize));
            if (v2) {
                frame.data = raw;
                frame.dataOffset = pos + headerSize;
            } else {
                frame.formatFlags = header[9];
                Content(frame, raw, version, scratch);
            }
            visit(frame);
        }
        pos += total;
        remaining -= total;
    }
    return pos;
}

std::optional<std::int64_t> FramesStart(const Id3v2Header& header,
                                        std::span<const std::uint8_t> body) {
    if (header.version < 3 || (header.flags & Id3v2Header::kExtendedHeader) == 0)
        return 0;
    if (body.size() < 4)
        return std::nullopt;
    // Version 3 counts the extended header without its size field, version 4 with it.
    const std::int64_t size =
        header.version == 3 ? BigEndian(body.data(), 4) + 4 : Syncsafe32(body.data());
    if (size < 4 || size > static_cast<std::int64_t>(body.size()))
        return std::nullopt;
    return size;
}

} // namespace velmora
