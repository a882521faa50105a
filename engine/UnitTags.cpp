#include "UnitTags.h"

#include "UnitApeTag.h"
#include "UnitScanner.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

static_assert(std::all_of(GenreTable.begin(), GenreTable.end(),
                          [](std::string_view name) { return name.size() <= 22; }),
              "a genre name must fit its 22-character slot");

// APE footer layout (the last 32 bytes of an APE tag).
constexpr std::int64_t kApeFooterSize = 32;
constexpr std::int64_t kApeSizeOffset = 12; // little-endian, items and footer, no header
constexpr std::int64_t kApeFlagsByte = 23;  // the flags' top byte
constexpr std::uint8_t kApeIsHeaderBit = 0x20;
constexpr std::int64_t kApeMinimumRegion = 4096;

constexpr std::int64_t kLyrics3v2MinimumRegion = 26;
constexpr std::int64_t kLyrics3v1MinimumRegion = 20;
constexpr std::int64_t kLyrics3v1LastDistance = 5099;

bool BytesAre(std::span<const std::uint8_t> view, std::int64_t offset, std::string_view text) {
    return offset >= 0 &&
           offset + static_cast<std::int64_t>(text.size()) <=
               static_cast<std::int64_t>(view.size()) &&
           std::memcmp(view.data() + offset, text.data(), text.size()) == 0;
}

std::int64_t RegionOf(std::span<const std::uint8_t> view, std::int64_t regionLength) {
    VELMORA_ASSERT(regionLength >= 0 && regionLength <= static_cast<std::int64_t>(view.size()),
                   "UnitTags");
    return regionLength;
}

} // namespace

Id3v1Tag Id3v1Tag::FromBytes(std::span<const std::uint8_t> src) {
    VELMORA_ASSERT(src.size() >= kSize, "UnitTags");
    Id3v1Tag tag;
    std::memcpy(tag.bytes.data(), src.data(), kSize);
    return tag;
}

bool Id3v1Tag::HasIdentifier() const {
    return std::memcmp(bytes.data(), "TAG", 3) == 0;
}

std::string Id3v1Tag::Field(std::size_t offset, std::size_t size) const {
    VELMORA_ASSERT(offset + size <= kSize, "UnitTags");
    const char* text = reinterpret_cast<const char*>(bytes.data() + offset);
    const void* nul = std::memchr(text, 0, size);
    const std::size_t length = nul ? static_cast<const char*>(nul) - text : size;
    return StripBlanksAndControls(std::string_view(text, length));
}

std::string StripBlanksAndControls(std::string_view text) {
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

TagBlock DetectId3v1(std::span<const std::uint8_t> view, std::int64_t regionLength) {
    const std::int64_t region = RegionOf(view, regionLength);
    const std::int64_t size = Id3v1Tag::kSize;
    if (region < size || !BytesAre(view, region - size, "TAG"))
        return {};
    return {size, region - size};
}

TagBlock DetectApe(std::span<const std::uint8_t> view, std::int64_t regionLength) {
    const std::int64_t region = RegionOf(view, regionLength);
    if (region < kApeMinimumRegion)
        return {};
    const std::int64_t footer = region - kApeFooterSize;
    if (!BytesAre(view, footer, "APETAGEX") || (view[footer + kApeFlagsByte] & kApeIsHeaderBit))
        return {};
    const std::uint8_t* s = view.data() + footer + kApeSizeOffset;
    const std::int64_t tagSize = std::int64_t{s[0]} | std::int64_t{s[1]} << 8 |
                                 std::int64_t{s[2]} << 16 | std::int64_t{s[3]} << 24;
    // The stored size counts the footer, so anything smaller cannot be an APE tag.
    if (tagSize < kApeFooterSize || tagSize > region)
        return {};
    // Count the 32-byte header only where one stands: a header-less tag must not take the
    // last 32 bytes of audio with it.
    std::int64_t size = tagSize;
    const std::int64_t headerAt = region - tagSize - kApeFooterSize;
    if (headerAt >= 0 && BytesAre(view, headerAt, "APETAGEX"))
        size += kApeFooterSize;
    return {size, region - size};
}

TagBlock DetectLyrics3v2(std::span<const std::uint8_t> view, std::int64_t regionLength) {
    const std::int64_t region = RegionOf(view, regionLength);
    if (region < kLyrics3v2MinimumRegion || !BytesAre(view, region - 9, "LYRICS200"))
        return {};
    std::int64_t s = 0;
    for (std::int64_t i = region - 15; i < region - 9; ++i) {
        if (view[i] < '0' || view[i] > '9')
            return {};
        s = s * 10 + (view[i] - '0');
    }
    const std::int64_t size = s + 15;
    if (size > region || !BytesAre(view, region - size, "LYRICSBEGIN"))
        return {};
    return {size, region - size};
}

TagBlock DetectLyrics3v1(std::span<const std::uint8_t> view, std::int64_t regionLength) {
    const std::int64_t region = RegionOf(view, regionLength);
    if (region < kLyrics3v1MinimumRegion || !BytesAre(view, region - 9, "LYRICSEND"))
        return {};
    for (std::int64_t i = 11; i <= kLyrics3v1LastDistance && region - 9 - i >= 0; ++i) {
        if (BytesAre(view, region - 9 - i, "LYRICSBEGIN"))
            return {i + 9, region - 9 - i};
    }
    return {};
}

TrailingTags DetectTrailingTags(std::span<const std::uint8_t> view) {
    TrailingTags tags;
    std::int64_t end = static_cast<std::int64_t>(view.size());
    if (const TagBlock id3v1 = DetectId3v1(view, end)) {
        tags.id3v1Size = id3v1.size;
        tags.id3v1 = Id3v1Tag::FromBytes(view.subspan(static_cast<std::size_t>(id3v1.offset)));
        end -= id3v1.size;
    }
    tags.ape = DetectApe(view, end);
    end -= tags.ape.size;
    tags.lyrics3 = DetectLyrics3v2(view, end);
    if (!tags.lyrics3)
        tags.lyrics3 = DetectLyrics3v1(view, end);
    end -= tags.lyrics3.size;
    // A gain tool puts its APE tag in front of an existing Lyrics3 block; left unfound it would
    // be scanned as garbage and lost on the next save.
    if (tags.lyrics3 && !tags.ape) {
        tags.ape = DetectApe(view, end);
        end -= tags.ape.size;
    }
    tags.regionEnd = end;
    return tags;
}

std::int64_t StoreTrailingTags(StreamInfo& info, std::span<const std::uint8_t> view) {
    const TrailingTags tags = DetectTrailingTags(view);
    info.id3v1Size = tags.id3v1Size;
    info.id3v1Bytes = tags.id3v1.bytes;
    info.apeSize = tags.ape.size;
    info.apeOffset = tags.ape.offset;
    info.apeItems.reset();
    if (tags.ape)
        if (auto tag = ParseApeTag(view, tags.ape.offset + tags.ape.size))
            info.apeItems = std::make_shared<const std::vector<ApeItem>>(std::move(tag->items));
    info.lyrics3Size = tags.lyrics3.size;
    info.lyrics3Offset = tags.lyrics3.offset;
    return tags.regionEnd;
}

} // namespace velmora
