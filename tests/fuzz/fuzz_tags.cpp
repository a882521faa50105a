// libFuzzer target: the trailing-tag detectors and the RIFF/WAVE recogniser on any bytes stay
// inside the region they are given and report blocks that end it.
#include "UnitScanner.h"
#include "UnitTags.h"
#include "Unit_MP3_RIFF.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

using velmora::TagBlock;

void CheckBlock(const TagBlock& block, std::int64_t region) {
    if (block.size < 0 || block.size > region ||
        (block.size > 0 && block.offset + block.size != region))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    const std::span<const std::uint8_t> view(data, size);
    const std::int64_t length = static_cast<std::int64_t>(size);

    // Every detector on the whole view and on a region cut short by the first byte.
    const std::int64_t cut = size > 0 ? std::min<std::int64_t>(data[0], length) : 0;
    for (const std::int64_t region : {length, length - cut}) {
        CheckBlock(DetectId3v1(view, region), region);
        CheckBlock(DetectApe(view, region), region);
        CheckBlock(DetectLyrics3v2(view, region), region);
        CheckBlock(DetectLyrics3v1(view, region), region);
    }

    const TrailingTags tags = DetectTrailingTags(view);
    if (tags.regionEnd < 0 || tags.regionEnd > length)
        std::abort();
    // The blocks found lie between the region end and the file end, without overlapping.
    const std::int64_t total = tags.id3v1Size + tags.ape.size + tags.lyrics3.size;
    if (tags.regionEnd + total != length)
        std::abort();
    for (const TagBlock& b : {tags.ape, tags.lyrics3})
        if (b && (b.offset < tags.regionEnd || b.offset + b.size > length - tags.id3v1Size))
            std::abort();
    if (tags.ape && tags.lyrics3 && tags.ape.offset < tags.lyrics3.offset + tags.lyrics3.size &&
        tags.lyrics3.offset < tags.ape.offset + tags.ape.size)
        std::abort();

    StreamInfo info;
    if (StoreTrailingTags(info, view) != tags.regionEnd)
        std::abort();

    const std::int64_t audio =
        DetectRiffHeader(view.first(static_cast<std::size_t>(tags.regionEnd)));
    if (audio < 0 || audio > tags.regionEnd)
        std::abort();
    return 0;
}
