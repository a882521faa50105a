// libFuzzer target: the ID3v2 reader on any bytes accepts a tag only inside the region, and every
// position it records lies inside that tag.
#include "UnitID3v2.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::int64_t length = static_cast<std::int64_t>(size);
    velmora::TID3v2 tag;
    tag.Read(std::span<const std::uint8_t>(data, size));
    if (tag.tagSize < 0 || tag.tagSize > length || (tag.tagSize > 0 && tag.tagSize < 10))
        std::abort();
    if (tag.tagSize == 0 && (tag.tlenLength != 0 || tag.geobLength != 0 || !tag.title.empty()))
        std::abort();
    if (tag.tlenLength < 0 || tag.tlenOffset + tag.tlenLength > tag.tagSize)
        std::abort();
    if (tag.geobLength < 0 || tag.geobOffset + tag.geobLength > tag.tagSize)
        std::abort();
    // Texts come from frames inside the tag, so none can be longer than twice its size (a
    // single-byte character takes at most two bytes in UTF-8, a UTF-16 unit at most three).
    for (const std::string* text :
         {&tag.title, &tag.artist, &tag.album, &tag.comment, &tag.composer, &tag.encodedBy,
          &tag.copyright, &tag.language, &tag.url, &tag.lengthText})
        if (static_cast<std::int64_t>(text->size()) > 2 * tag.tagSize)
            std::abort();
    // Chapters moved by a cut read back as a whole tag.
    if (!tag.chapterTag.empty()) {
        velmora::ChapterCut cut;
        cut.keptBeginMs = size > 0 ? data[size - 1] * 100 : 0;
        cut.keptEndMs = cut.keptBeginMs + 60000;
        cut.endCut = size % 2 == 0;
        std::vector<std::string> notes;
        if (const auto moved = velmora::MoveChapters(tag.chapterTag, cut, notes)) {
            velmora::TID3v2 again;
            again.Read(*moved);
            if (again.tagSize != static_cast<std::int64_t>(moved->size()))
                std::abort();
        }
    }
    return 0;
}
