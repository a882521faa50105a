#pragma once

#include "UnitChapters.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

// The leading ID3v2 tag: its size, a fixed set of texts (UTF-8), its chapters, and where TLEN and
// a GEOB object lie. Offsets are from the tag start.
struct TID3v2 {
    std::int64_t tagSize = 0; // header (and a version-4 footer) included; 0 = no acceptable tag
    std::int64_t geobOffset = 0;
    std::int64_t geobLength = 0;
    int version = 0;
    std::string title, artist, album, comment, composer, encodedBy, copyright, language, url,
        lengthText;
    std::string year, genre; // shown on the advanced page; this reader leaves them empty
    std::int64_t tlenOffset = 0;
    std::int64_t tlenLength = 0;
    // CHAP frames in tag order and the CTOC frames that list them.
    std::vector<Chapter> chapters;
    std::vector<TableOfContents> tables;
    // The tag's bytes, kept while it has chapters so that a save can move them with the audio.
    std::vector<std::uint8_t> chapterTag;
    // Frames the reader could not take, one line each ("ID3v2 TIT2: invalid UTF-8; ignored").
    std::vector<std::string> notes;

    // Clears every field, then reads the tag at the start of `region` if there is one.
    void Read(std::span<const std::uint8_t> region);

    // The chapters a player would offer, by start time: those listed by the top-level table
    // when one names them all, else every chapter.
    std::vector<Chapter> ChaptersInOrder() const;
};

} // namespace velmora

namespace velmora {

// Tools round a chapter's end to their own idea of the duration.
inline constexpr std::int64_t kChapterEndSlackMs = 1000;

// Chapters that start at or after the end of the audio, or end more than kChapterEndSlackMs
// past it, are dropped with a note.
void DropChaptersOutside(TID3v2& tag, std::int64_t durationMs);

} // namespace velmora
