#pragma once

// ID3v2 chapters (CHAP) and tables of contents (CTOC): reading them, and moving them with the
// audio when a save cuts the start or the end.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

inline constexpr std::uint32_t kNoChapterOffset = 0xFFFFFFFF;

// CHAP: element ID, start and end in ms, start and end byte offsets (from the file start;
// kNoChapterOffset when unset), then sub-frames, of which the title is read.
struct Chapter {
    static constexpr std::size_t kTimesSize = 16; // the four fields after the element ID

    std::string elementId;
    std::uint32_t startMs = 0, endMs = 0;
    std::uint32_t startOffset = kNoChapterOffset, endOffset = kNoChapterOffset;
    std::string title; // UTF-8

    bool operator==(const Chapter&) const = default;
};

// CTOC: element ID, flags, the entry count, the element IDs it lists, sub-frames.
struct TableOfContents {
    static constexpr std::uint8_t kTopLevel = 0x02, kOrdered = 0x01;

    std::string elementId;
    std::uint8_t flags = 0;
    std::vector<std::string> entries;
    std::string title;
};

// The content of a CHAP frame of tag version `version`; nullopt with a note when it is not one
// (no element ID, the times cut short, an end before the start).
std::optional<Chapter> ParseChapterFrame(std::span<const std::uint8_t> data, int version,
                                         std::vector<std::string>& notes);
std::optional<TableOfContents> ParseTocFrame(std::span<const std::uint8_t> data, int version,
                                             std::vector<std::string>& notes);

// What a save keeps of the audio, for moving chapters with it. Times are ms from the start of
// the audio, byte positions file offsets.
struct ChapterCut {
    std::int64_t keptBeginMs = 0, keptEndMs = 0; // the source's audio that is kept
    std::int64_t leadMs = 0;                     // audio the output adds before it (silence)
    std::int64_t keptBeginByte = 0, keptEndByte = 0;
    std::int64_t outputBeginByte = 0; // where the kept audio starts in the output
    // Whether audio is cut at the end: only then are chapters running past the kept end cut
    // short (tools often end the last chapter a little past the audio).
    bool endCut = false;
};

// A chapter time as "m:ss.mmm", or "h:mm:ss.mmm" from an hour on.
std::string FormatChapterTime(std::int64_t milliseconds);

// A chapter as it stands after `cut`, or nullopt when the cut takes it away whole.
std::optional<Chapter> MoveChapter(const Chapter& chapter, const ChapterCut& cut);

// The ID3v2 tag `tag` with its chapters moved by `cut`: times and set byte offsets shifted,
// chapters cut away removed with their entries in every table of contents. Every other frame
// keeps its bytes; the tag keeps its size when the frames fit, the room they leave becoming
// padding. nullopt when no chapter changes (or the tag cannot be rewritten: a note says why).
std::optional<std::vector<std::uint8_t>> MoveChapters(std::span<const std::uint8_t> tag,
                                                      const ChapterCut& cut,
                                                      std::vector<std::string>& notes);

} // namespace velmora
