#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

// The leading ID3v2 tag: its size, a fixed set of texts, and where TLEN and a GEOB object lie.
// Offsets are from the tag start.
struct TID3v2 {
    std::int64_t tagSize = 0; // header included; 0 = no acceptable tag
    std::int64_t geobOffset = 0;
    std::int64_t geobLength = 0;
    int version = 0;
    std::string title, artist, album, comment, composer, encodedBy, copyright, language, url,
        lengthText;
    std::string year, genre; // shown on the advanced page; this reader leaves them empty
    std::int64_t tlenOffset = 0;
    std::int64_t tlenLength = 0;

    // Clears every field, then reads the tag at the start of `region` if there is one.
    void Read(std::span<const std::uint8_t> region);
};

} // namespace velmora
