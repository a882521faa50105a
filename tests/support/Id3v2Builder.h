#pragma once

// ID3v2 tags built field by field for the reader's and the chapter mover's tests.

#include "ByteWriter.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::test {

using TagBytes = std::vector<std::uint8_t>;

// A version-3 or version-4 frame with format flags `flags` (the second flag byte).
inline TagBytes Id3Frame(int version, std::string_view id, const TagBytes& data,
                         std::uint8_t flags = 0) {
    ByteWriter w;
    w.Text(id); // identifier
    if (version == 4)
        w.Syncsafe32(std::uint32_t(data.size())); // data size, syncsafe
    else
        w.Be32(std::uint32_t(data.size())); // data size, big-endian
    w.Bytes({0, flags});                    // status and format flags
    w.Append(data);
    return w;
}

// A tag around `body` (frames, then `padding` zero bytes) with header flags `flags`.
inline TagBytes Id3Tag(int version, const TagBytes& body, std::size_t padding = 0,
                       std::uint8_t flags = 0) {
    TagBytes all = body;
    all.resize(all.size() + padding, 0);
    return ByteWriter()
        .Text("ID3")                           // identifier
        .Byte(std::uint8_t(version))           // major version
        .Byte(0)                               // revision
        .Byte(flags)                           // flags
        .Syncsafe32(std::uint32_t(all.size())) // size without the header
        .Append(all);
}

// A text frame's data: encoding byte, then the bytes.
inline TagBytes EncodedText(std::uint8_t encoding, std::string_view bytes) {
    return ByteWriter().Byte(encoding).Text(bytes);
}

// UTF-16LE with a byte-order mark, from ASCII.
inline std::string Utf16Le(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// The bytes with 0x00 after each 0xFF that precedes 0xE0 or more, 0x00 or the end.
inline TagBytes Unsynchronised(const TagBytes& bytes) {
    TagBytes out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF &&
            (i + 1 == bytes.size() || bytes[i + 1] >= 0xE0 || bytes[i + 1] == 0))
            out.push_back(0);
    }
    return out;
}

// CHAP: element ID, start, end, start offset, end offset, sub-frames.
inline TagBytes ChapData(std::string_view id, std::uint32_t start, std::uint32_t end,
                         const TagBytes& subFrames = {}, std::uint32_t startOffset = 0xFFFFFFFF,
                         std::uint32_t endOffset = 0xFFFFFFFF) {
    return ByteWriter()
        .Text(id)
        .Byte(0)           // element ID terminator
        .Be32(start)       // start time, ms
        .Be32(end)         // end time, ms
        .Be32(startOffset) // start offset
        .Be32(endOffset)   // end offset
        .Append(subFrames);
}

// CTOC: element ID, flags, entry count, entries, sub-frames.
inline TagBytes CtocData(std::string_view id, std::uint8_t flags,
                         const std::vector<std::string>& entries, const TagBytes& subFrames = {}) {
    ByteWriter w;
    w.Text(id).Byte(0);                   // element ID
    w.Byte(flags);                        // top-level 0x02, ordered 0x01
    w.Byte(std::uint8_t(entries.size())); // entry count
    for (const std::string& e : entries)
        w.Text(e).Byte(0); // child element IDs
    w.Append(subFrames);
    return w;
}

} // namespace velmora::test
