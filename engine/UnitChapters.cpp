#include "UnitChapters.h"

#include "UnitID3v2Frames.h"
#include "UnitTags.h"
#include "UnitTextEncoding.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string_view>

namespace velmora {

namespace {

// The NUL-terminated element ID at the start of `data`; nullopt when there is no NUL.
std::optional<std::string> ElementId(std::span<const std::uint8_t> data, std::size_t& next) {
    const auto nul = std::find(data.begin(), data.end(), std::uint8_t{0});
    if (nul == data.end())
        return std::nullopt;
    next = static_cast<std::size_t>(nul - data.begin()) + 1;
    return std::string(data.begin(), nul);
}

std::uint32_t Field32(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::uint32_t>(BigEndian(data.data() + at, 4));
}

// The title (TIT2) among a chapter's or table's sub-frames.
std::string SubFrameTitle(std::span<const std::uint8_t> subFrames, int version,
                          const std::string& owner, std::vector<std::string>& notes) {
    std::string title;
    WalkId3v2Frames(
        subFrames, 0, version,
        [&](const Id3v2Frame& frame) {
            if (frame.id != "TIT2" || !frame.readable || frame.data.empty())
                return;
            std::string problem;
            if (const auto text =
                    DecodeId3Strings(frame.data[0], frame.data.subspan(1), problem, '/'))
                title = StripBlanksAndControls(*text);
            else
                notes.push_back("ID3v2 " + owner + " TIT2: " + problem + "; ignored");
        },
        notes);
    return title;
}

std::int64_t Clamp(std::int64_t value, std::int64_t low, std::int64_t high, bool capHigh) {
    value = std::max(value, low);
    return capHigh ? std::min(value, high) : value;
}

std::uint32_t Field(std::int64_t value) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, 0xFFFFFFFE));
}

std::uint32_t MoveOffset(std::uint32_t offset, const ChapterCut& cut) {
    if (offset == kNoChapterOffset)
        return offset;
    return Field(Clamp(offset, cut.keptBeginByte, cut.keptEndByte, cut.endCut) - cut.keptBeginByte +
                 cut.outputBeginByte);
}

} // namespace

std::optional<Chapter> ParseChapterFrame(std::span<const std::uint8_t> data, int version,
                                         std::vector<std::string>& notes) {
    std::size_t at = 0;
    const auto id = ElementId(data, at);
    if (!id || data.size() - at < Chapter::kTimesSize) {
        notes.push_back("ID3v2 CHAP frame cut short; ignored");
        return std::nullopt;
    }
    Chapter chapter;
    chapter.elementId = *id;
    chapter.startMs = Field32(data, at);
    chapter.endMs = Field32(data, at + 4);
    chapter.startOffset = Field32(data, at + 8);
    chapter.endOffset = Field32(data, at + 12);
    if (chapter.endMs < chapter.startMs) {
        notes.push_back("ID3v2 CHAP \"" + chapter.elementId + "\" ends before it starts; ignored");
        return std::nullopt;
    }
    chapter.title = SubFrameTitle(data.subspan(at + Chapter::kTimesSize), version,
                                  "CHAP \"" + chapter.elementId + "\"", notes);
    return chapter;
}

std::optional<TableOfContents> ParseTocFrame(std::span<const std::uint8_t> data, int version,
                                             std::vector<std::string>& notes) {
    std::size_t at = 0;
    const auto id = ElementId(data, at);
    if (!id || data.size() - at < 2) {
        notes.push_back("ID3v2 CTOC frame cut short; ignored");
        return std::nullopt;
    }
    TableOfContents table;
    table.elementId = *id;
    table.flags = data[at];
    const int count = data[at + 1];
    at += 2;
    for (int i = 0; i < count; ++i) {
        std::size_t next = 0;
        const auto entry = ElementId(data.subspan(at), next);
        if (!entry) {
            notes.push_back("ID3v2 CTOC \"" + table.elementId + "\" cut short; ignored");
            return std::nullopt;
        }
        table.entries.push_back(*entry);
        at += next;
    }
    table.title =
        SubFrameTitle(data.subspan(at), version, "CTOC \"" + table.elementId + "\"", notes);
    return table;
}

std::string FormatChapterTime(std::int64_t milliseconds) {
    const std::int64_t seconds = milliseconds / 1000;
    char text[40];
    if (seconds >= 3600)
        std::snprintf(
            text, sizeof text, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(seconds / 3600),
            static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60),
            static_cast<long long>(milliseconds % 1000));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60),
                      static_cast<long long>(milliseconds % 1000));
    return text;
}

std::optional<Chapter> MoveChapter(const Chapter& chapter, const ChapterCut& cut) {
    const std::int64_t start = chapter.startMs, end = chapter.endMs;
    const bool empty = start == end;
    if (start >= cut.keptEndMs || end < cut.keptBeginMs || (!empty && end == cut.keptBeginMs))
        return std::nullopt;
    Chapter moved = chapter;
    moved.startMs =
        Field(Clamp(start, cut.keptBeginMs, cut.keptEndMs, true) - cut.keptBeginMs + cut.leadMs);
    moved.endMs = Field(Clamp(end, cut.keptBeginMs, cut.keptEndMs, cut.endCut) - cut.keptBeginMs +
                        cut.leadMs);
    moved.startOffset = MoveOffset(chapter.startOffset, cut);
    moved.endOffset = MoveOffset(chapter.endOffset, cut);
    return moved;
}

} // namespace velmora
