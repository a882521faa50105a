#pragma once

#include "FrameBuilder.h"
#include "UnitMP3.h"
#include "UnitScanner.h"

#include <cstring>
#include <string>
#include <vector>

namespace velmora::test {

// The frames of a clean stream as file offsets, by following frame lengths from the first
// header and stepping over a leading "Xing"/"Info" frame (the encoder's files need no more).
inline StreamInfo ListFrames(const std::vector<std::uint8_t>& file) {
    StreamInfo info;
    std::size_t p = 0;
    while (p + 4 <= file.size() && !(file[p] == 0xFF && (file[p + 1] & 0xE0) == 0xE0))
        ++p;
    bool first = true;
    std::int64_t n = 0;
    while (p + 4 <= file.size()) {
        MpegHeader h;
        if ((HeaderWordAt(&file[p]) & kSyncMask) != kSyncMask ||
            !DecodeHeader(h, HeaderWordAt(&file[p])) ||
            p + static_cast<std::size_t>(h.frameLength) > file.size())
            break;
        const std::size_t tag = p + static_cast<std::size_t>(h.sideInfoEnd);
        if (first && tag + 4 <= file.size() &&
            (std::memcmp(&file[tag], "Xing", 4) == 0 || std::memcmp(&file[tag], "Info", 4) == 0)) {
            p += static_cast<std::size_t>(h.frameLength);
            first = false;
            continue;
        }
        if (n == 0)
            info.firstHeader = h;
        first = false;
        FrameEntry& e = info.frames.At(n++);
        e.offset = static_cast<std::int64_t>(p);
        e.length = static_cast<std::uint32_t>(h.frameLength);
        e.headerSize = static_cast<std::uint8_t>(h.headerSize);
        p += static_cast<std::size_t>(h.frameLength);
    }
    info.frameCount = n;
    info.frames.At(n + 1);
    info.frames[n].offset = static_cast<std::int64_t>(p);
    return info;
}

} // namespace velmora::test
