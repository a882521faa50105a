#include "UnitID3v2.h"

#include "UnitTags.h"

#include <cstring>
#include <optional>
#include <string_view>

namespace velmora {

namespace {

// Tag header layout.
constexpr std::int64_t kTagHeaderSize = 10;
constexpr std::int64_t kVersionOffset = 3;
constexpr std::int64_t kRevisionOffset = 4;
constexpr std::int64_t kSizeOffset = 6; // four syncsafe bytes

enum class Target {
    Length,
    Title,
    Artist,
    Album,
    Comment,
    Composer,
    EncodedBy,
    Copyright,
    Language,
    Url
};

struct FrameRule {
    const char* id4;
    const char* id3; // the version-2 identifier
    Target target;
};

// Compared in this order; the first match is taken.
constexpr FrameRule kFrameRules[] = {
    {"TLEN", "TLE", Target::Length},    {"TIT1", "TT1", Target::Title},
    {"TIT2", "TT2", Target::Title},     {"TPE1", "TP1", Target::Artist},
    {"TOPE", "TOA", Target::Artist},    {"TALB", "TAL", Target::Album},
    {"TOAL", "TOT", Target::Album},     {"COMM", "COM", Target::Comment},
    {"TCOM", "TCM", Target::Composer},  {"TENC", "TEN", Target::EncodedBy},
    {"TCOP", "TCR", Target::Copyright}, {"TLAN", "TLA", Target::Language},
    {"WXXX", "WXX", Target::Url},
};

std::int64_t Syncsafe(const std::uint8_t* p) {
    return std::int64_t{p[0] & 0x7F} << 21 | std::int64_t{p[1] & 0x7F} << 14 |
           std::int64_t{p[2] & 0x7F} << 7 | std::int64_t{p[3] & 0x7F};
}

std::int64_t BigEndian(const std::uint8_t* p, int bytes) {
    std::int64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

std::string& TargetText(TID3v2& tag, Target target) {
    switch (target) {
    case Target::Length:
        return tag.lengthText;
    case Target::Title:
        return tag.title;
    case Target::Artist:
        return tag.artist;
    case Target::Album:
        return tag.album;
    case Target::Comment:
        return tag.comment;
    case Target::Composer:
        return tag.composer;
    case Target::EncodedBy:
        return tag.encodedBy;
    case Target::Copyright:
        return tag.copyright;
    case Target::Language:
        return tag.language;
    case Target::Url:
        break;
    }
    return tag.url;
}

struct EmbeddedObject {
    std::int64_t offset = 0, length = 0;
};

// The object of a GEOB frame whose body [begin, end) has exactly three NULs before clean text.
std::optional<EmbeddedObject> ExamineGeob(std::span<const std::uint8_t> tag, std::int64_t begin,
                                          std::int64_t end) {
    int nuls = 0;
    std::int64_t objectOffset = 0;
    for (std::int64_t i = begin; i < end; ++i) {
        const std::uint8_t b = tag[static_cast<std::size_t>(i)];
        if (b == 0) {
            if (++nuls == 3)
                objectOffset = i + 1;
        } else if (b < 32 && b != 10 && b != 13 && nuls >= 3) {
            return std::nullopt;
        }
    }
    if (nuls != 3)
        return std::nullopt;
    return EmbeddedObject{objectOffset, end - objectOffset};
}

} // namespace

void TID3v2::Read(std::span<const std::uint8_t> region) {
    *this = TID3v2{};
    const std::int64_t regionSize = static_cast<std::int64_t>(region.size());
    const std::uint8_t* p = region.data();
    if (regionSize < kTagHeaderSize || std::memcmp(p, "ID3", 3) != 0 || p[kVersionOffset] == 0xFF ||
        p[kRevisionOffset] == 0xFF)
        return;
    for (int i = 0; i < 4; ++i)
        if (p[kSizeOffset + i] >= 0x80)
            return;

    version = p[kVersionOffset];
    const std::int64_t size = Syncsafe(p + kSizeOffset) + kTagHeaderSize;
    if (version < 2 || version > 4 || size > regionSize)
        return;
    tagSize = size;

    const bool v2 = version == 2;
    const std::int64_t frameHeaderSize = v2 ? 6 : 10;
    std::int64_t pos = kTagHeaderSize;
    std::int64_t remaining = tagSize - kTagHeaderSize;
    while (remaining >= 6 && remaining >= frameHeaderSize && p[pos] >= 'A' && p[pos] <= 'Z') {
        const std::uint8_t* frame = p + pos;
        const std::int64_t dataSize = v2             ? BigEndian(frame + 3, 3)
                                      : version == 3 ? BigEndian(frame + 4, 4)
                                                     : Syncsafe(frame + 4);
        const std::int64_t total = dataSize + frameHeaderSize;
        if (total > remaining)
            break;
        if (dataSize > 0) {
            const std::string_view id(reinterpret_cast<const char*>(frame), v2 ? 3 : 4);
            const std::uint8_t* data = frame + frameHeaderSize;
            bool matched = false;
            for (const FrameRule& rule : kFrameRules) {
                if (id != (v2 ? rule.id3 : rule.id4))
                    continue;
                matched = true;
                if (rule.target == Target::Length) {
                    tlenOffset = pos + frameHeaderSize + 1;
                    tlenLength = dataSize - 1;
                }
                if (data[0] == 0)
                    TargetText(*this, rule.target) = StripBlanksAndControls(
                        std::string_view(reinterpret_cast<const char*>(data + 1),
                                         static_cast<std::size_t>(dataSize - 1)));
                break;
            }
            // A version-2 tag has no GEOB frame: its identifiers are three letters.
            if (!matched && !v2 && id == "GEOB") {
                if (const auto object = ExamineGeob(region, pos + 10, pos + total)) {
                    geobOffset = object->offset;
                    geobLength = object->length;
                }
            }
        }
        pos += total;
        remaining -= total;
    }
}

} // namespace velmora
