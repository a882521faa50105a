#include "UnitWriter.h"

#include "UnitID3v1.h"
#include "UnitMP3.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitTrackLength.h"
#include "UnitWriterParts.h"
#include "UnitXing.h"
#include "Unit_MP3_RIFF.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace writer {

namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What goes before the first copied frame.
struct Head {
    std::int64_t riffLength = 0;
    std::int64_t id3v2Out = 0;
    bool writeExtraInfo = false;
    std::int64_t extraLength = 0;
    std::int64_t silentLength = 0;

    std::int64_t Length(const WriteParams& params) const {
        return riffLength + id3v2Out + extraLength +
               static_cast<std::int64_t>(params.reservoirFrame.size()) +
               params.silenceBeginFrames * silentLength;
    }
};

Head HeadOf(const WriteParams& params, const StreamInfo& info, const WriteContext& context) {
    const bool memory = TargetOf(params) == OutputTarget::ToMemory;
    Head head;
    head.riffLength = !memory && context.outputIsWav ? std::int64_t{RiffHeader::kSize} : 0;
    if (!memory && !context.outputIsWav && !params.id3v2Image.empty())
        head.id3v2Out = static_cast<std::int64_t>(params.id3v2Image.size());
    else if (!memory && params.keepId3v2 && !context.outputIsWav && context.tagsKept)
        head.id3v2Out = info.id3v2.tagSize;
    head.writeExtraInfo = params.writeExtraInfo && WantExtraInfo(info, context.settings);
    if (head.writeExtraInfo)
        head.extraLength = ExtraInfoLength(info, context.settings);
    if (params.gapless) {
        head.writeExtraInfo = true;
        head.extraLength = GaplessExtraInfoLength(info, context.settings);
    }
    head.silentLength = info.SilentFrameTemplate.header.frameLength;
    return head;
}

// The ID3v1 tag and the APE and Lyrics3 blocks the output carries at its end.
void PlanTailTags(Layout& layout, const WriteParams& params, const StreamInfo& info,
                  const WriteContext& context) {
    const Settings& settings = context.settings;
    std::int64_t id3v1Out = settings.RadioButtonID3Remove != kId3v1Remove && context.tagsKept
                                ? info.id3v1Size
                                : std::int64_t{0};
    layout.id3v1.bytes = info.id3v1Bytes;
    if (params.writeId3v1)
        id3v1Out = PrepareId3v1(layout.id3v1, id3v1Out, settings, FileNameOf(params.sourcePath));
    layout.id3v1Out = params.writeId3v1 ? id3v1Out : 0;

    if (context.tagsKept) {
        if (info.apeSize > 0)
            layout.blocks.push_back({info.apeOffset, info.apeSize, 0});
        if (info.lyrics3Size > 0)
            layout.blocks.push_back({info.lyrics3Offset, info.lyrics3Size, 0});
        // They go out in the order they stood in the source, whichever tool wrote them.
        std::sort(
            layout.blocks.begin(), layout.blocks.end(),
            [](const TailBlock& a, const TailBlock& b) { return a.sourceOffset < b.sourceOffset; });
    }
}

} // namespace

// A kept or rebuilt frame that differs from the source's (or appears or vanishes) is a change.
bool ExtraInfoChanged(const Layout& layout, const StreamInfo& info) {
    if (layout.writeExtraInfo != info.extraInfoPresent)
        return true;
    if (!layout.writeExtraInfo)
        return false;
    const std::vector<std::uint8_t>& now = layout.extraInfo.bytes;
    const std::vector<std::uint8_t>& before = info.ExtraInfoFrame.bytes;
    if (static_cast<std::int64_t>(now.size()) != info.ExtraInfoFrame.header.frameLength)
        return true;
    return before.size() < now.size() || !std::equal(now.begin(), now.end(), before.begin());
}

Layout ComputeLayout(const WriteParams& params, const StreamInfo& info,
                     const WriteContext& context) {
    const Settings& settings = context.settings;
    Layout layout;
    layout.target = TargetOf(params);
    const std::int64_t entries = info.frameCount + (info.lastFrameIncomplete ? 1 : 0);
    VELMORA_ASSERT(params.startFrame >= 0 && params.frameCount >= 0 &&
                       params.startFrame + params.frameCount <= entries &&
                       params.startFrame + params.frameCount < info.frames.size(),
                   "UnitWriter");
    VELMORA_ASSERT(params.silenceBeginFrames >= 0 && params.silenceEndFrames >= 0, "UnitWriter");

    // Gain fields exist only in Layer III side information.
    const bool layer3 = info.firstHeader.layerId == kLayer3;
    layout.gainSteps = AppliedGainSteps(info, params.frameCount, params.gainSteps);
    layout.fades = {layer3 ? params.fadeInIndex : 0, layer3 ? params.fadeOutIndex : 0,
                    params.fadeSpan, params.frameCount, settings.ComboBoxFadeDepth};

    Head head = HeadOf(params, info, context);
    if (head.id3v2Out > 0 && !params.id3v2Image.empty()) {
        layout.id3v2Image = params.id3v2Image;
    } else if (head.id3v2Out > 0) {
        layout.id3v2Image = KeptTagImage(
            params, info, head.extraLength + params.silenceBeginFrames * head.silentLength);
        if (!layout.id3v2Image.empty())
            head.id3v2Out = static_cast<std::int64_t>(layout.id3v2Image.size());
    }
    layout.riffLength = head.riffLength;
    layout.id3v2Source = info.riffHeaderSize;
    layout.id3v2Out = head.id3v2Out;
    layout.writeExtraInfo = head.writeExtraInfo;
    const std::int64_t extraLength = head.extraLength;

    PlanTailTags(layout, params, info, context);

    layout.silentLength = head.silentLength;
    VELMORA_ASSERT(params.silenceBeginFrames + params.silenceEndFrames == 0 ||
                       static_cast<std::int64_t>(info.SilentFrameTemplate.image.size()) ==
                           layout.silentLength,
                   "UnitWriter");
    for (std::int64_t i = 0; i < params.frameCount; ++i) {
        const std::int64_t length = CopyLength(params, info, i);
        VELMORA_ASSERT(length >= 0, "UnitWriter");
        layout.framesBytes += length;
    }

    layout.framesStart = head.Length(params);
    std::int64_t pos =
        layout.framesStart + layout.framesBytes + params.silenceEndFrames * layout.silentLength;
    for (TailBlock& block : layout.blocks) {
        block.outputOffset = pos;
        pos += block.size;
    }
    layout.size = pos + layout.id3v1Out;

    const bool incompleteCopied =
        info.lastFrameIncomplete && params.startFrame + params.frameCount > info.frameCount;
    const std::int64_t silence = params.silenceBeginFrames + params.silenceEndFrames;
    const std::int64_t carrier = CarrierFrameCount(params.reservoirFrame);
    layout.outputFrames = params.frameCount - (incompleteCopied ? 1 : 0) + silence + carrier;
    layout.headerFrames = params.frameCount + silence + carrier;
    layout.tlenMilliseconds = FramesToMilliseconds(info.firstHeader, layout.outputFrames);
    if (params.gapless) {
        const std::int64_t played = layout.outputFrames * SamplesPerFrame(info.firstHeader) -
                                    params.gapless->delay - params.gapless->padding;
        layout.tlenMilliseconds = MulDiv(played, 1000, info.firstHeader.sampleRate);
    }

    if (layout.writeExtraInfo) {
        OutputPlan plan;
        plan.silenceBeginFrames = params.silenceBeginFrames;
        plan.silenceEndFrames = params.silenceEndFrames;
        plan.outputFrames = layout.outputFrames;
        plan.keepIncompleteLast = incompleteCopied ? 1 : 0;
        plan.predictedSize = layout.size;
        const TrimPoints trim{
            params.startFrame,
            std::max<std::int64_t>(0, info.frameCount - params.startFrame - params.frameCount)};
        layout.extraInfo =
            params.gapless ? BuildGaplessExtraInfoFrame(info, settings, plan, trim, layout.id3v2Out,
                                                        *params.gapless, params.reservoirFrame)
                           : BuildExtraInfoFrame(info, settings, plan, trim, layout.id3v2Out);
        VELMORA_ASSERT(static_cast<std::int64_t>(layout.extraInfo.bytes.size()) == extraLength,
                       "UnitWriter");
    }
    layout.extraInfoChanged = ExtraInfoChanged(layout, info);
    return layout;
}

void RewriteTrackLengthDigits(std::uint8_t* digits, std::int64_t width, std::int64_t milliseconds) {
    // The width comes from the file, so any width is served: high positions get zeros.
    std::uint64_t value = static_cast<std::uint64_t>(std::max<std::int64_t>(milliseconds, 0));
    for (std::int64_t k = width - 1; k >= 0; --k) {
        digits[k] = static_cast<std::uint8_t>('0' + value % 10);
        value /= 10;
    }
}

void RewriteTrackLength(std::span<std::uint8_t> tag, const StreamInfo& info,
                        std::int64_t milliseconds) {
    const std::int64_t at = info.id3v2.tlenOffset;
    const std::int64_t width = info.id3v2.tlenLength;
    if (width <= 0 || at < 1 || at + width > static_cast<std::int64_t>(tag.size()))
        return;
    // ASCII digits are text only in the single-byte encodings; UTF-16 text would become garbage.
    const std::uint8_t encoding = tag[static_cast<std::size_t>(at - 1)];
    if (encoding == 0 || encoding == 3)
        RewriteTrackLengthDigits(tag.data() + at, width, milliseconds);
}

std::vector<std::uint8_t> OutputId3v2(std::span<const std::uint8_t> source, const Layout& layout,
                                      const StreamInfo& info) {
    if (!layout.id3v2Image.empty())
        return KeptTagWithLength(layout);
    std::vector<std::uint8_t> tag(source.begin(), source.end());
    RewriteTrackLength(tag, info, layout.tlenMilliseconds);
    return tag;
}

void ApplyFrameDelta(std::uint8_t* frame, std::int64_t available, int delta,
                     std::optional<std::uint16_t> computedCrc) {
    if (available < 4)
        return;
    const std::uint32_t word = HeaderWordAt(frame);
    MpegHeader h;
    // A tail without a header, or one cut inside its side information, is copied as it is.
    if ((word & kSyncMask) != kSyncMask || !DecodeHeader(h, word) || available < h.sideInfoEnd)
        return;
    // The gain fields are where the frame's own header puts them: a stream may mix in frames of
    // another version or channel mode, whose side information is laid out (and sized)
    // differently from the first frame's. Frames of another layer have no such fields.
    if (h.layerId != kLayer3)
        return;
    bool crcWasRight = false;
    if (h.hasCrc)
        crcWasRight = StoredCrc(frame) == (computedCrc ? *computedCrc : FrameCrc(h, frame));
    ApplyGain(frame + h.headerSize, h, delta);
    if (crcWasRight) {
        const std::uint16_t crc = FrameCrc(h, frame);
        frame[4] = static_cast<std::uint8_t>(crc);
        frame[5] = static_cast<std::uint8_t>(crc >> 8);
    }
}

// Whether every copied frame goes out where it already stands (a save that only changes gain,
// cuts the end or rewrites tags in place). Frames follow each other without overlapping, so
// they stay exactly when the first does and the bytes they take add up to their span (with
// clean-up on, no gaps between them; with it off every gap is carried anyway).
bool FramesStay(const WriteParams& params, const StreamInfo& info, const Layout& layout) {
    if (params.frameCount == 0)
        return true;
    const std::int64_t first = info.frames[params.startFrame].offset;
    const std::int64_t last = params.frameCount - 1;
    const std::int64_t end =
        info.frames[params.startFrame + last].offset + CopyLength(params, info, last);
    return first == layout.framesStart && end - first == layout.framesBytes;
}

VelmoraError IoError(int error, const std::string& detail) {
    std::string text = std::strerror(error);
    if (!detail.empty())
        text += " - " + detail;
    return VelmoraError(text + "\nIs your disk full?");
}

void ThrowSourceChanged(const std::string& path) {
    throw VelmoraError("The file \"" + path +
                       "\" was changed on disk after it was opened - open it again before saving");
}

void ThrowSourceShrunk(const std::string& path) {
    throw IoError(EIO, "The file \"" + path +
                           "\" was changed on disk after it was opened - open it again before "
                           "saving");
}

void CheckSourceUnchanged(const std::string& path, const FileIdentity& now,
                          const StreamInfo& info) {
    if (!now.SameFileState(info.sourceIdentity))
        ThrowSourceChanged(path);
}

} // namespace writer

std::int64_t OutputHeadLength(const WriteParams& params, const StreamInfo& info,
                              const WriteContext& context) {
    return writer::HeadOf(params, info, context).Length(params);
}

OutputTarget TargetOf(const WriteParams& params) {
    if (!params.outputPath.empty())
        return OutputTarget::ToFile;
    if (params.memoryTarget != nullptr)
        return OutputTarget::ToMemory;
    return OutputTarget::InPlace;
}

WindowAction WindowActionAfterError(const WriteParams& params) {
    if (params.closeAfterSave || TargetOf(params) == OutputTarget::InPlace)
        return WindowAction::CloseFile;
    return WindowAction::ReenableCommands;
}

namespace {

// The frames an exact cut put before the copied ones (they end at `end`), as the table's first
// entries.
void PrependFrames(StreamInfo& info, const std::vector<std::uint8_t>& frames, std::int64_t end) {
    const std::int64_t count = CarrierFrameCount(frames);
    FrameTable table;
    table.Resize(info.frames.size() + count);
    for (std::int64_t i = info.frames.size() - 1; i >= 0; --i)
        table[i + count] = info.frames[i];
    MpegHeader h;
    DecodeHeader(h, HeaderWordAt(frames.data()));
    for (std::int64_t k = 0; k < count; ++k) {
        FrameEntry& entry = table[k];
        entry = FrameEntry{};
        entry.length = static_cast<std::uint32_t>(h.frameLength);
        entry.offset = end - (count - k) * h.frameLength;
        entry.headerSize = static_cast<std::uint8_t>(h.headerSize);
        entry.silent = true;
        if (h.hasCrc)
            entry.computedCrc = FrameCrc(h, frames.data() + k * h.frameLength);
    }
    info.frames = std::move(table);
    info.frameCount += count;
}

void UpdateModel(StreamInfo& info, const WriteParams& params, const writer::Layout& layout,
                 writer::InPlaceOutcome& outcome) {
    // A kept incomplete last frame stays the incomplete entry after the frames, as a fresh scan
    // finds it.
    const bool incompleteKept = info.lastFrameIncomplete && params.frameCount > 0 &&
                                params.startFrame + params.frameCount - 1 == info.frameCount;
    info.frameCount = params.frameCount - (incompleteKept ? 1 : 0);
    info.frames = std::move(outcome.frames);
    if (!params.reservoirFrame.empty())
        PrependFrames(info, params.reservoirFrame, layout.framesStart);
    info.sourceSize = outcome.size;
    info.sourceTimeNs = outcome.identity.modifiedNs;
    info.sourceIdentity = outcome.identity;
    info.audioStart = layout.riffLength + layout.id3v2Out;
    // The tags as they now stand, built whole so that none keeps a value from before the save.
    TagLayout tags;
    tags.riffHeaderSize = layout.riffLength;
    tags.id3v2 = std::move(outcome.id3v2);
    tags.id3v1Size = layout.id3v1Out;
    tags.id3v1Bytes = layout.id3v1Out > 0 ? layout.id3v1.bytes : info.id3v1Bytes;
    const bool hadApe = info.apeSize > 0;
    for (const writer::TailBlock& block : layout.blocks) {
        const bool ape = hadApe && block.sourceOffset == info.apeOffset && tags.apeSize == 0;
        (ape ? tags.apeOffset : tags.lyrics3Offset) = block.outputOffset;
        (ape ? tags.apeSize : tags.lyrics3Size) = block.size;
        // The block is copied byte for byte: its items are the ones read at the open.
        if (ape)
            tags.apeItems = info.apeItems;
    }
    static_cast<TagLayout&>(info) = std::move(tags);
    info.extraInfoPresent = layout.writeExtraInfo;
    info.ExtraInfoFrame = {};
    info.xingFound = false;
    if (layout.writeExtraInfo) {
        info.ExtraInfoFrame.header = layout.extraInfo.header;
        info.ExtraInfoFrame.bytes = layout.extraInfo.bytes;
        const std::int64_t at = layout.extraInfo.header.sideInfoEnd;
        const auto& bytes = layout.extraInfo.bytes;
        info.xingFound = at + 4 <= static_cast<std::int64_t>(bytes.size()) &&
                         std::memcmp(bytes.data() + at, "Xing", 4) == 0;
    }
    info.leadingGarbage = false;
    info.lastFrameIncomplete = incompleteKept;
    info.missingHeaderCount = 0;
    info.MissingHeaderList.clear();
    info.retried = false;
}

// Renames without ever replacing another file of that name.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string& problem) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return true;
        }
    }
    problem = std::string(std::strerror(errno)) + " - \"" + to + "\"";
    return false;
}

} // namespace

WriteResult WriteOutput(const WriteParams& asked, StreamInfo& info, const WriteContext& context,
                        IProgress& progress) {
    VELMORA_ASSERT(asked.outputPath.empty() || asked.memoryTarget == nullptr, "UnitWriter");
    WriteResult result;
    const WriteParams params = PlanExactWrite(asked, info, context, result.exactCutWarning);
    const Settings& settings = context.settings;
    writer::Layout layout = writer::ComputeLayout(params, info, context);
    if (params.recordGainUndo)
        layout.gainSteps =
            writer::StepsWithoutClipping(params, info, layout.gainSteps, context.messages);
    if (params.gapless && layout.writeExtraInfo) {
        writer::StampOutputMusicCrc(params, info, layout, context);
        layout.extraInfoChanged = writer::ExtraInfoChanged(layout, info);
    }

    result.outputSize = layout.size;
    result.outputFrames = layout.outputFrames;
    result.gainSteps = layout.gainSteps;

    if (layout.target != OutputTarget::InPlace) {
        result.value = writer::WriteStream(params, info, layout, context, progress);
        result.savedPath = params.outputPath;
        if (layout.target == OutputTarget::ToFile)
            writer::KeepOutputGainTagsTrue(params, params.outputPath, layout, context, nullptr,
                                           nullptr, result);
        result.windowAction =
            params.closeAfterSave ? WindowAction::CloseFile : WindowAction::ReenableCommands;
        return result;
    }

    result.savedPath = params.sourcePath;
    // An equal size alone does not mean equal bytes: trimmed frames can be made up by added
    // silence, or dropped leading junk by a new extra-info frame. Nothing is to be done only when
    // no silence is added and every kept frame stays where it is.
    const bool nothingToDo = layout.size == info.sourceSize && layout.gainSteps == 0 &&
                             layout.fades.fadeInIndex == 0 && layout.fades.fadeOutIndex == 0 &&
                             settings.RadioButtonID3Remove == kId3v1Remove && info.id3v1Size == 0 &&
                             (info.id3v2.tagSize == 0 || params.keepId3v2) &&
                             !settings.CheckBoxSave_WithTime && !layout.extraInfoChanged &&
                             params.silenceBeginFrames == 0 && params.silenceEndFrames == 0 &&
                             writer::FramesStay(params, info, layout);
    if (nothingToDo) {
        result.nothingToDo = true;
        result.windowAction = params.closeAfterSave ? WindowAction::CloseFile : WindowAction::None;
        return result;
    }

    const bool updateModelAfter = !params.closeAfterSave && params.silenceBeginFrames == 0 &&
                                  params.silenceEndFrames == 0 && !settings.CheckBoxSave_WithTime;
    writer::InPlaceOutcome outcome =
        writer::WriteInPlace(params, info, layout, context, progress, updateModelAfter);
    result.value = outcome.size;

    if (params.closeAfterSave)
        result.windowAction = WindowAction::CloseFile;
    else if (updateModelAfter)
        result.windowAction = WindowAction::RefreshOpenFile;
    else
        result.windowAction = WindowAction::CloseFile;

    if (updateModelAfter)
        UpdateModel(info, params, layout, outcome);
    FileIdentity times = info.sourceIdentity;
    times.modifiedNs = times.accessedNs = info.sourceTimeNs;
    writer::KeepOutputGainTagsTrue(params, params.sourcePath, layout, context,
                                   updateModelAfter ? &info : nullptr,
                                   settings.CheckBoxPreserveDate ? &times : nullptr, result);

    if (settings.CheckBoxSave_WithTime) {
        const TrackLengthName named = InsertTrackLength(
            params.sourcePath, FormatLengthWords(info.firstHeader, layout.outputFrames));
        if (named.inserted && named.name != params.sourcePath &&
            RenameNoReplace(params.sourcePath, named.name, result.renameProblem))
            result.savedPath = named.name;
    }
    return result;
}

WriteParams MakeSaveParams(const std::string& sourcePath, const std::string& outputPath,
                           const StreamInfo& info, const TrimPoints& trim, const OutputPlan& plan,
                           const Settings& settings, int gainSteps, int fadeInIndex,
                           int fadeOutIndex) {
    const std::int64_t kept = info.frameCount - trim.beginFrames - trim.endFrames;
    WriteParams p;
    p.sourcePath = sourcePath;
    p.outputPath = outputPath;
    p.closeAfterSave = settings.CheckBoxCloseAfterSave;
    p.writeExtraInfo = true;
    p.writeId3v1 = true;
    p.keepId3v2 = settings.CheckBoxKeepID3v2;
    p.cleanup = settings.CheckBoxCleanup;
    p.silenceBeginFrames = plan.silenceBeginFrames;
    p.silenceEndFrames = plan.silenceEndFrames;
    p.fadeInIndex = fadeInIndex;
    p.fadeOutIndex = fadeOutIndex;
    p.startFrame = trim.beginFrames;
    p.frameCount = kept + plan.keepIncompleteLast;
    p.fadeSpan = kept;
    p.showProgress = true;
    p.gainSteps = gainSteps;
    p.exactCut = settings.CheckBoxExactCut;
    const std::int64_t spf = SamplesPerFrame(info.firstHeader);
    p.beginSample = trim.beginFrames * spf;
    p.endSample =
        std::max<std::int64_t>(p.beginSample, DecodedSamples(info) - trim.endFrames * spf);
    return p;
}

} // namespace velmora
