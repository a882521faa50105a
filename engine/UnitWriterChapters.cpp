// The kept ID3v2 tag of a save that cuts audio: its chapters move with the audio.

#include "UnitChapters.h"
#include "UnitExactCut.h"
#include "UnitMP3.h"
#include "UnitWriterParts.h"

namespace velmora::writer {

namespace {

ChapterCut CutOf(const WriteParams& params, const StreamInfo& info, std::int64_t leadBytes,
                 std::int64_t tagOut) {
    const MpegHeader& h = info.firstHeader;
    const std::int64_t end = params.startFrame + params.frameCount;
    ChapterCut cut;
    cut.keptBeginMs = FramesToMilliseconds(h, params.startFrame);
    cut.keptEndMs = FramesToMilliseconds(h, end);
    cut.leadMs = FramesToMilliseconds(h, params.silenceBeginFrames);
    cut.keptBeginByte = info.frames[params.startFrame].offset;
    cut.keptEndByte = info.frames[end].offset;
    cut.outputBeginByte = tagOut + leadBytes;
    cut.endCut = end < info.frameCount;
    if (params.gapless) {
        // An exact cut keeps the played samples [beginSample, endSample), whatever frames
        // carry them.
        const std::int64_t rate = h.sampleRate;
        cut.keptBeginMs = (params.beginSample * 1000 + rate / 2) / rate;
        cut.keptEndMs = (params.endSample * 1000 + rate / 2) / rate;
        cut.endCut = params.endSample < DecodedSamples(info);
    }
    return cut;
}

} // namespace

std::vector<std::uint8_t> KeptTagImage(const WriteParams& params, const StreamInfo& info,
                                       std::int64_t leadBytes) {
    const std::vector<std::uint8_t>& source = info.id3v2.chapterTag;
    if (source.empty() || static_cast<std::int64_t>(source.size()) != info.id3v2.tagSize)
        return {};
    std::vector<std::string> notes;
    auto image = MoveChapters(source, CutOf(params, info, leadBytes, info.id3v2.tagSize), notes);
    if (!image)
        return {};
    // A tag that changes size moves the audio behind it, and the byte offsets with it.
    const auto size = static_cast<std::int64_t>(image->size());
    if (size != info.id3v2.tagSize)
        image = MoveChapters(source, CutOf(params, info, leadBytes, size), notes);
    return image && static_cast<std::int64_t>(image->size()) == size ? *image
                                                                     : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> KeptTagWithLength(const Layout& layout) {
    std::vector<std::uint8_t> tag = layout.id3v2Image;
    TID3v2 moved;
    moved.Read(tag);
    const std::int64_t at = moved.tlenOffset, width = moved.tlenLength;
    if (width > 0 && at >= 1 && at + width <= static_cast<std::int64_t>(tag.size())) {
        const std::uint8_t encoding = tag[static_cast<std::size_t>(at - 1)];
        if (encoding == 0 || encoding == 3)
            RewriteTrackLengthDigits(tag.data() + at, width, layout.tlenMilliseconds);
    }
    return tag;
}

} // namespace velmora::writer
