// Chapters from a CUE sheet, written into the ID3v2 tag through TagLib.

#include "UnitChapterSplit.h"

#include "UnitCueParse.h"
#include "UnitOptions.h"
#include "VelmoraError.h"

#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>
#include <taglib/textidentificationframe.h>

namespace velmora {

namespace {

TagLib::ByteVector Id(const std::string& text) {
    return TagLib::ByteVector(text.data(), static_cast<unsigned int>(text.size()));
}

TagLib::ID3v2::Frame* TitleFrame(const std::string& title) {
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF8);
    frame->setText(TagLib::String(title, TagLib::String::UTF8));
    return frame;
}

} // namespace

std::vector<Chapter> ChaptersFromCueSheet(const std::string& cuePath, const StreamInfo& info) {
    const std::int64_t total = info.frameCount;
    const CueTrackTable table = ParseCueSheet(cuePath, {info.firstHeader, total, false});
    if (table.tracks.empty())
        throw VelmoraError("invalid CUE file");
    std::vector<Chapter> chapters;
    for (std::size_t k = 0; k < table.tracks.size(); ++k) {
        const std::int64_t end =
            k + 1 < table.tracks.size() ? table.tracks[k + 1].startFrame : total;
        Chapter chapter;
        chapter.elementId = "chp" + std::to_string(k);
        chapter.startMs = static_cast<std::uint32_t>(
            FramesToMilliseconds(info.firstHeader, table.tracks[k].startFrame));
        chapter.endMs = static_cast<std::uint32_t>(FramesToMilliseconds(info.firstHeader, end));
        chapter.title = table.tracks[k].title;
        chapters.push_back(std::move(chapter));
    }
    return chapters;
}

void WriteChapters(const std::string& mp3Path, const std::vector<Chapter>& chapters,
                   int tagVersion) {
    TagLib::MPEG::File file(mp3Path.c_str(), false);
    if (!file.isValid() || file.readOnly())
        throw VelmoraError("Could not open " + mp3Path + " for writing");
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tag->removeFrames("CHAP");
    tag->removeFrames("CTOC");
    auto* toc = new TagLib::ID3v2::TableOfContentsFrame("toc");
    toc->setIsTopLevel(true);
    toc->setIsOrdered(true);
    for (const Chapter& c : chapters) {
        TagLib::ID3v2::FrameList sub;
        if (!c.title.empty())
            sub.append(TitleFrame(c.title));
        tag->addFrame(new TagLib::ID3v2::ChapterFrame(Id(c.elementId), c.startMs, c.endMs,
                                                      c.startOffset, c.endOffset, sub));
        toc->addChildElement(Id(c.elementId));
    }
    tag->addFrame(toc);
    const auto version = tagVersion == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, version,
                   TagLib::File::DoNotDuplicate))
        throw VelmoraError("Could not write the chapters into " + mp3Path);
}

} // namespace velmora
