#include "UnitID3v2.h"

#include "UnitID3v2Frames.h"
#include "UnitTags.h"
#include "UnitTextEncoding.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>

namespace velmora {

namespace {

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

constexpr std::size_t kCommentLanguageSize = 3;

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

// The text of a frame in one of the Unicode encodings, laid out as a single-byte text of the
// same frame would be: a comment's language, description, NUL and text; a URL frame's
// description, NUL and address (always single-byte); strings of a text frame joined by "/".
std::optional<std::string> UnicodeText(Target target, std::uint8_t encoding,
                                       std::span<const std::uint8_t> text, std::string& problem) {
    std::string prefix;
    if (target == Target::Comment) {
        const std::size_t n = std::min(text.size(), kCommentLanguageSize);
        prefix = Latin1ToUtf8({reinterpret_cast<const char*>(text.data()), n});
        text = text.subspan(n);
        const auto rest = DecodeId3Strings(encoding, text, problem, '\0');
        return rest ? std::optional(prefix + *rest) : std::nullopt;
    }
    if (target == Target::Url) {
        std::size_t next = 0;
        const std::size_t end = Id3StringEnd(encoding, text, next);
        auto description = DecodeId3Strings(encoding, text.first(end), problem, '/');
        if (!description)
            return std::nullopt;
        if (next < text.size() || end < text.size())
            *description += '\0';
        const auto address = text.subspan(next);
        return *description +
               Latin1ToUtf8({reinterpret_cast<const char*>(address.data()), address.size()});
    }
    return DecodeId3Strings(encoding, text, problem, '/');
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

// One walk over the frames of a tag whose bytes (header first) are `bytes`; `exact` when
// positions in them are positions in the file's tag.
class FrameReader {
public:
    FrameReader(TID3v2& tag, std::span<const std::uint8_t> bytes, bool exact)
        : m_tag(tag), m_bytes(bytes), m_exact(exact) {}

    void Visit(const Id3v2Frame& frame) {
        if (!frame.readable || frame.data.empty())
            return;
        const bool v2 = m_tag.version == 2;
        for (const FrameRule& rule : kFrameRules) {
            if (frame.id != (v2 ? rule.id3 : rule.id4))
                continue;
            TakeText(frame, rule.target);
            return;
        }
        if (v2)
            return; // a version-2 tag has no GEOB or chapter frames: its identifiers are 3 letters
        if (frame.id == "GEOB" && m_exact) {
            if (const auto object =
                    ExamineGeob(m_bytes, frame.offset + 10, frame.offset + frame.total)) {
                m_tag.geobOffset = object->offset;
                m_tag.geobLength = object->length;
            }
        } else if (frame.id == "CHAP") {
            if (auto chapter = ParseChapterFrame(frame.data, m_tag.version, m_tag.notes))
                m_tag.chapters.push_back(std::move(*chapter));
        } else if (frame.id == "CTOC") {
            if (auto table = ParseTocFrame(frame.data, m_tag.version, m_tag.notes))
                m_tag.tables.push_back(std::move(*table));
        }
    }

private:
    void TakeText(const Id3v2Frame& frame, Target target) {
        const std::span<const std::uint8_t> data = frame.data;
        if (target == Target::Length && m_exact && frame.dataOffset >= 0) {
            m_tag.tlenOffset = frame.dataOffset + 1;
            m_tag.tlenLength = static_cast<std::int64_t>(data.size()) - 1;
        }
        const std::span<const std::uint8_t> text = data.subspan(1);
        if (data[0] == kEncodingLatin1) {
            TargetText(m_tag, target) = StripBlanksAndControls(
                Latin1ToUtf8({reinterpret_cast<const char*>(text.data()), text.size()}));
            return;
        }
        std::string problem;
        if (const auto decoded = UnicodeText(target, data[0], text, problem))
            TargetText(m_tag, target) = StripBlanksAndControls(*decoded);
        else
            m_tag.notes.push_back("ID3v2 " + std::string(frame.id) + ": " + problem + "; ignored");
    }

    TID3v2& m_tag;
    std::span<const std::uint8_t> m_bytes;
    bool m_exact;
};

// Tables that name a chapter the tag does not hold are ignored.
void CheckTables(TID3v2& tag) {
    std::set<std::string> ids;
    for (const Chapter& chapter : tag.chapters)
        ids.insert(chapter.elementId);
    for (const TableOfContents& table : tag.tables)
        ids.insert(table.elementId);
    std::erase_if(tag.tables, [&](const TableOfContents& table) {
        for (const std::string& entry : table.entries) {
            if (!ids.contains(entry)) {
                tag.notes.push_back("ID3v2 CTOC \"" + table.elementId + "\" names \"" + entry +
                                    "\", which the tag does not hold; ignored");
                return true;
            }
        }
        return false;
    });
}

} // namespace

void TID3v2::Read(std::span<const std::uint8_t> region) {
    *this = TID3v2{};
    const auto header = ParseId3v2Header(region);
    if (!header)
        return;
    version = header->version;
    const std::int64_t size = header->tagSize;
    if (version < 2 || version > 4 || size > static_cast<std::int64_t>(region.size()))
        return;
    tagSize = size;
    // Version 2.2's compression flag: no scheme was ever defined, so the frames cannot be read.
    if (version == 2 && (header->flags & Id3v2Header::kExtendedHeader) != 0)
        return;

    const std::int64_t bodyEnd = Id3v2Header::kSize + header->bodySize;
    std::span<const std::uint8_t> bytes = region.first(static_cast<std::size_t>(bodyEnd));
    std::vector<std::uint8_t> decoded;
    if (header->BodyUnsynchronised()) {
        decoded.assign(bytes.begin(), bytes.begin() + Id3v2Header::kSize);
        const auto body = Deunsynchronise(bytes.subspan(Id3v2Header::kSize));
        decoded.insert(decoded.end(), body.begin(), body.end());
        bytes = decoded;
    }
    const bool exact = bytes.size() == static_cast<std::size_t>(bodyEnd);
    const auto start = FramesStart(*header, bytes.subspan(Id3v2Header::kSize));
    if (!start) {
        notes.push_back("ID3v2 extended header larger than the tag; frames not read");
        return;
    }
    FrameReader reader(*this, bytes, exact);
    WalkId3v2Frames(
        bytes, Id3v2Header::kSize + *start, version,
        [&](const Id3v2Frame& frame) { reader.Visit(frame); }, notes);
    CheckTables(*this);
    if (!chapters.empty())
        chapterTag.assign(region.begin(), region.begin() + tagSize);
}

std::vector<Chapter> TID3v2::ChaptersInOrder() const {
    std::vector<Chapter> ordered = chapters;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Chapter& a, const Chapter& b) { return a.startMs < b.startMs; });
    return ordered;
}

void DropChaptersOutside(TID3v2& tag, std::int64_t durationMs) {
    std::erase_if(tag.chapters, [&](const Chapter& chapter) {
        if (chapter.startMs < durationMs && chapter.endMs <= durationMs + kChapterEndSlackMs)
            return false;
        tag.notes.push_back("ID3v2 CHAP \"" + chapter.elementId +
                            "\" lies beyond the end of the audio; ignored");
        return true;
    });
}

} // namespace velmora
