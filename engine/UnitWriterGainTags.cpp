// The tags that describe the volume, kept true after the writer changed it.
#include "UnitGainTags.h"
#include "UnitID3v2.h"
#include "UnitMP3.h"
#include "UnitOptions.h"
#include "UnitWriterParts.h"

#include <algorithm>

namespace velmora::writer {

namespace {

// The least non-zero and the greatest global_gain of the frames a write copies.
struct GainRange {
    int least = 256;
    int greatest = -1;
};

void AddFrameGains(const std::uint8_t* sideInfo, const MpegHeader& own, GainRange& range) {
    const GainFieldLayout fields = GainFieldsFor(own);
    for (int field = 0; field < fields.count; ++field) {
        const int pos = fields.firstBit + field * fields.distance;
        const std::uint8_t* p = sideInfo + pos / 8;
        const int value =
            static_cast<int>((((unsigned{p[0]} << 8) | p[1]) >> (8 - pos % 8)) & 0xFF);
        if (value != 0)
            range.least = std::min(range.least, value);
        range.greatest = std::max(range.greatest, value);
    }
}

} // namespace

int StepsWithoutClipping(const WriteParams& params, const StreamInfo& info, int steps,
                         const MessageTable& messages) {
    if (steps == 0 || TargetOf(params) == OutputTarget::ToMemory)
        return steps;
    const FileView view = OpenFileView(params.sourcePath, FileAccess::ReadOnly, messages);
    GainRange range;
    for (std::int64_t i = 0; i < params.frameCount; ++i) {
        const FrameEntry& entry = info.frames[params.startFrame + i];
        if (entry.offset < 0 || entry.offset + 4 > view.size())
            continue;
        // The fields lie where the frame's own header puts them, as the writer finds them.
        const std::uint8_t* frame = view.data() + entry.offset;
        MpegHeader own;
        if (!DecodeHeader(own, HeaderWordAt(frame)) || own.layerId != kLayer3 ||
            entry.offset + own.sideInfoEnd > view.size() ||
            static_cast<std::int64_t>(entry.length) < own.sideInfoEnd)
            continue;
        AddFrameGains(frame + own.headerSize, own, range);
    }
    if (view.Shrunk() || range.greatest < 0)
        return steps;
    // A field that reaches 255 or 0 would not come back by the opposite change.
    const int lowest = range.least <= 255 ? 1 - range.least : -255;
    return std::clamp(steps, lowest, 255 - range.greatest);
}

void KeepOutputGainTagsTrue(const WriteParams& params, const std::string& path,
                            const Layout& layout, const WriteContext& context, StreamInfo* model,
                            const FileIdentity* keepTimes, WriteResult& result) {
    GainTagChange change{layout.gainSteps, params.recordGainUndo && !context.outputIsWav, {}};
    if (params.measuredLoudness && context.settings.CheckBoxWriteReplayGainTags)
        change.set = ReplayGainTrackValues(params.measuredLoudness->lufs,
                                           params.measuredLoudness->truePeakDbtp, layout.gainSteps);
    if ((change.steps == 0 && change.set.empty()) || layout.target == OutputTarget::ToMemory)
        return;
    const GainTagOutcome tags =
        KeepGainTagsTrue(path, layout.riffLength, layout.id3v2Out, change, keepTimes);
    result.tagNotes = tags.notes;
    result.outputSize = tags.size;
    if (model == nullptr || !tags.changed)
        return;
    // The model describes the file as the tags now stand.
    const FileView view = OpenFileView(path, FileAccess::ReadOnly, context.messages);
    StoreTrailingTags(*model, view.bytes());
    if (layout.id3v2Out > 0)
        model->id3v2.Read(view.bytes().first(static_cast<std::size_t>(layout.id3v2Out)));
    model->sourceSize = view.size();
    model->sourceIdentity = view.identity();
    model->sourceTimeNs = view.identity().modifiedNs;
}

} // namespace velmora::writer
