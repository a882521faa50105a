#include "UnitChapterSplit.h"

#include "UnitCueParse.h"
#include "UnitOptions.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <cstdio>

namespace velmora {

namespace {

std::string Number(std::size_t n, std::size_t count) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*zu", count >= 100 ? 3 : 2, n);
    return text;
}

// The frame whose start lies nearest to `milliseconds`.
std::int64_t NearestFrame(const MpegHeader& h, std::int64_t milliseconds) {
    const std::int64_t perFrame = std::int64_t{SamplesPerFrame(h)} * 1000;
    return (milliseconds * h.sampleRate + perFrame / 2) / perFrame;
}

} // namespace

CueTrackTable ChapterTrackTable(const TID3v2& tag, const MpegHeader& header,
                                std::int64_t totalFrames, bool outputIsWav) {
    CueTrackTable table;
    const std::vector<Chapter> chapters = tag.ChaptersInOrder();
    for (const Chapter& chapter : chapters) {
        const std::int64_t start = NearestFrame(header, chapter.startMs);
        if (start >= totalFrames ||
            (!table.tracks.empty() && start <= table.tracks.back().startFrame))
            continue;
        const std::string number = Number(table.tracks.size() + 1, chapters.size());
        const std::string title = chapter.title.empty() ? "Chapter " + number : chapter.title;
        std::string name = number + " " + title + (outputIsWav ? ".wav" : ".mp3");
        // The exact cut starts the track at the chapter's own time, to the sample.
        const std::int64_t sample =
            (std::int64_t{chapter.startMs} * header.sampleRate + 500) / 1000;
        table.tracks.push_back(
            {FitFileNameLength(SanitizeFileName(std::move(name))), start, chapter.title, sample});
    }
    return table;
}

SplitResult SplitByChapters(const std::string& mp3Path, StreamInfo& info,
                            const SplitControls& controls, const Settings& settings,
                            const MessageTable& messages, IProgress& progress,
                            const TrackWritten& onTrackWritten) {
    SplitResult result;
    const bool outputIsWav = OutputIsWav(settings, info.firstHeader.layerId, std::nullopt);
    const CueTrackTable table =
        ChapterTrackTable(info.id3v2, info.firstHeader, info.frameCount, outputIsWav);
    if (table.tracks.empty())
        return result;
    result.found = true;
    SplitByTrackTable(mp3Path, info, table, controls, settings, messages, progress, onTrackWritten,
                      result);
    return result;
}

SplitResult SplitBySheetOrChapters(const std::string& mp3Path, StreamInfo& info,
                                   const SplitControls& controls, const Settings& settings,
                                   const MessageTable& messages, IProgress& progress) {
    SplitResult result = SplitByCueSheet(mp3Path, info, controls, settings, messages, progress);
    if (!result.found)
        result = SplitByChapters(mp3Path, info, controls, settings, messages, progress);
    return result;
}

} // namespace velmora
