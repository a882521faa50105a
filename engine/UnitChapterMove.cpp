// Moving the chapters of a kept ID3v2 tag with the audio a save cuts.

#include "UnitChapters.h"
#include "UnitID3v2Frames.h"

#include <algorithm>
#include <set>

namespace velmora {

namespace {

using Bytes = std::vector<std::uint8_t>;

// A frame of the walk, with what the move makes of it.
struct FramePiece {
    std::int64_t offset = 0, total = 0;
    bool chapterFrame = false; // CHAP or CTOC whose content can be rebuilt
    std::string id;
    Bytes data; // content, for CHAP and CTOC
    bool removed = false;
    std::optional<Bytes> rebuilt; // the whole new frame
};

// Flags under which a frame's content can be rebuilt: unsynchronisation and a data length.
bool Rebuildable(const Id3v2Frame& frame, int version) {
    if (!frame.readable)
        return false;
    if (version == 3)
        return (frame.formatFlags & (kFrameGrouped3)) == 0;
    return (frame.formatFlags & ~(kFrameUnsynchronised4 | kFrameDataLength4)) == 0;
}

// The frame at `header` (10 bytes as stored) around new content `data`.
Bytes RenderFrame(const std::uint8_t* header, const Bytes& data, int version) {
    Bytes content;
    const std::uint8_t flags = header[9];
    if (version == 4 && (flags & kFrameDataLength4)) {
        content.resize(4);
        PutSyncsafe32(content.data(), static_cast<std::int64_t>(data.size()));
    }
    if (version == 4 && (flags & kFrameUnsynchronised4)) {
        const Bytes unsynchronised = Unsynchronise(data);
        content.insert(content.end(), unsynchronised.begin(), unsynchronised.end());
    } else {
        content.insert(content.end(), data.begin(), data.end());
    }
    Bytes frame(header, header + 10);
    if (version == 3)
        PutBigEndian32(frame.data() + 4, static_cast<std::uint32_t>(content.size()));
    else
        PutSyncsafe32(frame.data() + 4, static_cast<std::int64_t>(content.size()));
    frame.insert(frame.end(), content.begin(), content.end());
    return frame;
}

// The CHAP content with its four fields replaced.
Bytes ChapterContent(const Bytes& data, const Chapter& moved) {
    Bytes out = data;
    const std::size_t at = moved.elementId.size() + 1;
    PutBigEndian32(out.data() + at, moved.startMs);
    PutBigEndian32(out.data() + at + 4, moved.endMs);
    PutBigEndian32(out.data() + at + 8, moved.startOffset);
    PutBigEndian32(out.data() + at + 12, moved.endOffset);
    return out;
}

// The CTOC content without the entries in `removed`; nullopt when it lists none of them.
std::optional<Bytes> TableContent(const Bytes& data, const std::set<std::string>& removed) {
    const auto nul = std::find(data.begin(), data.end(), std::uint8_t{0});
    std::size_t at = static_cast<std::size_t>(nul - data.begin()) + 1;
    Bytes out(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(at + 2));
    const int count = data[at + 1];
    at += 2;
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const auto end =
            std::find(data.begin() + static_cast<std::ptrdiff_t>(at), data.end(), std::uint8_t{0});
        const std::string entry(data.begin() + static_cast<std::ptrdiff_t>(at), end);
        const std::size_t next = static_cast<std::size_t>(end - data.begin()) + 1;
        if (!removed.contains(entry)) {
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(next));
            ++kept;
        }
        at = next;
    }
    if (kept == count)
        return std::nullopt;
    out[static_cast<std::size_t>(nul - data.begin()) + 2] = static_cast<std::uint8_t>(kept);
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.end());
    return out;
}

// Decides each chapter frame's fate; returns whether anything changes.
bool PlanMoves(std::vector<FramePiece>& pieces, std::span<const std::uint8_t> bytes, int version,
               const ChapterCut& cut) {
    std::set<std::string> removed;
    bool changed = false;
    for (FramePiece& piece : pieces) {
        if (!piece.chapterFrame || piece.id != "CHAP")
            continue;
        std::vector<std::string> ignored;
        const auto chapter = ParseChapterFrame(piece.data, version, ignored);
        if (!chapter)
            continue; // a bad frame stays as it was
        const auto moved = MoveChapter(*chapter, cut);
        if (!moved) {
            piece.removed = true;
            removed.insert(chapter->elementId);
            changed = true;
        } else if (*moved != *chapter) {
            piece.rebuilt = RenderFrame(bytes.data() + piece.offset,
                                        ChapterContent(piece.data, *moved), version);
            changed = true;
        }
    }
    for (FramePiece& piece : pieces) {
        if (!piece.chapterFrame || piece.id != "CTOC" || removed.empty())
            continue;
        std::vector<std::string> ignored;
        if (!ParseTocFrame(piece.data, version, ignored))
            continue;
        if (const auto content = TableContent(piece.data, removed))
            piece.rebuilt = RenderFrame(bytes.data() + piece.offset, *content, version);
    }
    return changed;
}

} // namespace

std::optional<Bytes> MoveChapters(std::span<const std::uint8_t> tag, const ChapterCut& cut,
                                  std::vector<std::string>& notes) {
    using H = Id3v2Header;
    const auto header = ParseId3v2Header(tag);
    if (!header || header->version < 3 || header->version > 4 ||
        header->tagSize > static_cast<std::int64_t>(tag.size()))
        return std::nullopt;
    const int version = header->version;
    const std::int64_t bodyEnd = H::kSize + header->bodySize;
    std::span<const std::uint8_t> bytes = tag.first(static_cast<std::size_t>(bodyEnd));
    Bytes decoded;
    if (header->BodyUnsynchronised()) {
        decoded.assign(bytes.begin(), bytes.begin() + H::kSize);
        const Bytes body = Deunsynchronise(bytes.subspan(H::kSize));
        decoded.insert(decoded.end(), body.begin(), body.end());
        bytes = decoded;
    }
    const auto start = FramesStart(*header, bytes.subspan(H::kSize));
    if (!start)
        return std::nullopt;
    const std::int64_t framesBegin = H::kSize + *start;

    std::vector<FramePiece> pieces;
    WalkId3v2Frames(
        bytes, framesBegin, version,
        [&](const Id3v2Frame& frame) {
            FramePiece piece;
            piece.offset = frame.offset;
            piece.total = frame.total;
            piece.id = std::string(frame.id);
            piece.chapterFrame =
                (frame.id == "CHAP" || frame.id == "CTOC") && Rebuildable(frame, version);
            if (piece.chapterFrame)
                piece.data.assign(frame.data.begin(), frame.data.end());
            pieces.push_back(std::move(piece));
        },
        notes);
    if (!PlanMoves(pieces, bytes, version, cut))
        return std::nullopt;

    // The body again: extended header, frames, and the bytes after them (padding) as they were.
    Bytes body(bytes.begin() + H::kSize, bytes.begin() + framesBegin);
    std::int64_t covered = framesBegin;
    for (const FramePiece& piece : pieces) {
        // Frames of zero size are stepped over by the walk but kept.
        body.insert(body.end(), bytes.begin() + covered, bytes.begin() + piece.offset);
        covered = piece.offset + piece.total;
        if (piece.removed)
            continue;
        if (piece.rebuilt)
            body.insert(body.end(), piece.rebuilt->begin(), piece.rebuilt->end());
        else
            body.insert(body.end(), bytes.begin() + piece.offset, bytes.begin() + covered);
    }
    body.insert(body.end(), bytes.begin() + covered, bytes.end());
    if (header->BodyUnsynchronised())
        body = Unsynchronise(body);

    std::int64_t bodySize = static_cast<std::int64_t>(body.size());
    if (bodySize <= header->bodySize && !header->HasFooter()) {
        const std::int64_t added = header->bodySize - bodySize;
        // A version-3 extended header counts the padding.
        if (version == 3 && *start >= 10 && !header->BodyUnsynchronised())
            PutBigEndian32(body.data() + 6,
                           static_cast<std::uint32_t>(BigEndian(body.data() + 6, 4) + added));
        body.resize(static_cast<std::size_t>(header->bodySize), 0);
        bodySize = header->bodySize;
    }
    Bytes out(tag.begin(), tag.begin() + H::kSize);
    PutSyncsafe32(out.data() + H::kSizeOffset, bodySize);
    out.insert(out.end(), body.begin(), body.end());
    if (header->HasFooter()) {
        Bytes footer(out.begin(), out.begin() + H::kSize);
        std::copy_n("3DI", 3, footer.begin());
        out.insert(out.end(), footer.begin(), footer.end());
    }
    return out;
}

} // namespace velmora
