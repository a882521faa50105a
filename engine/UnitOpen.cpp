#include "UnitOpen.h"

#include "Progress.h"
#include "UnitFileView.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitPath.h"
#include "UnitSaveJournal.h"
#include "UnitTags.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr std::uint32_t kBitrateIndexOne = 0x00100000;
// Identifier, flags, frame count, byte count, seek table and quality value.
constexpr int kXingRoom = 4 + 4 + 4 + 4 + 100 + 4;

std::string ErrorAnalyzingText(const MessageTable& messages) {
    return MessageOr(messages, kMsgErrorAnalyzing,
                     "Error analyzing this file - probably not an MPEG audio file");
}

bool AttemptAccepted(const StreamInfo& info, std::int64_t regionSize) {
    return info.frameCount > regionSize / 2000 && info.frameCount >= 5 &&
           info.missingHeaderCount * 9 < info.frameCount * 8;
}

void RunTailAnalysis(StreamInfo& info, const Settings& settings, const TailAnalysis& tail) {
    const std::int64_t count = info.frameCount;
    const bool veryAggressive = settings.RadioGroupTrimAggressivity == 2 && count >= 510;
    if (tail)
        tail(info, veryAggressive ? count - 505 : std::max<std::int64_t>(0, count - 105), count);
    if (veryAggressive)
        for (std::int64_t i = count - 500; i < count; ++i)
            if (info.frames[i].energy < kQuietEnergy)
                info.frames[i].silent = true;
    bool abrupt = true;
    for (std::int64_t i = std::max<std::int64_t>(0, count - 100); i < count; ++i)
        if (info.frames[i].energy < kQuietEnergy)
            abrupt = false;
    info.abruptEnding = abrupt;
}

} // namespace

const char* OpenWarningName(OpenWarning warning) {
    switch (warning) {
    case OpenWarning::RemovedBeginning:
        return "MessageDlgRemovedBeginning";
    case OpenWarning::InterruptedSave:
        return "InterruptedSave";
    }
    return "";
}

const MessageTable::List& OpenWarningText(const MessageTable& messages, OpenWarning warning) {
    switch (warning) {
    case OpenWarning::RemovedBeginning:
        return messages.MessageDlgRemovedBeginning;
    case OpenWarning::InterruptedSave: {
        static const MessageTable::List kText = {kInterruptedSaveText};
        return kText;
    }
    }
    AssertFailed("UnitMain", "a known warning", __LINE__);
}

MpegHeader BuildSeekHeaderTemplate(const MpegHeader& first) {
    std::uint32_t word = (first.headerWord & 0xCF0FFFFF) | 0x00100100;
    MpegHeader h;
    bool ok = DecodeHeader(h, word);
    while (ok && h.frameLength < h.sideInfoEnd + kXingRoom) {
        const std::uint32_t index = ((word >> 20) + 1) & 15;
        VELMORA_ASSERT(index != 0, "UnitMain");
        word = (word & ~kBitrateMask) | (index << 20);
        ok = DecodeHeader(h, word);
    }
    VELMORA_ASSERT(ok && h.frameLength <= 1728, "UnitMain");
    return h;
}

SilentFrameTemplateData BuildSilentFrameTemplate(const MpegHeader& first, bool vbr) {
    std::uint32_t word = first.headerWord & 0xFFFDFFFF;
    SilentFrameTemplateData t;
    if (vbr)
        word = (word & 0xFF0FFFFF) | kBitrateIndexOne;
    // A frame no longer than its side information (Layer I at 32 kbit/s) is no frame to a reader:
    // the next bitrate up then.
    while (DecodeHeader(t.header, word) && t.header.frameLength <= t.header.sideInfoEnd &&
           ((word >> 20) & 15) < 14)
        word += kBitrateIndexOne;
    VELMORA_ASSERT(DecodeHeader(t.header, word), "UnitMain");
    // The image is sized to the frame, so a long Layer II frame at 8 kHz needs no limit here.
    const auto length = static_cast<std::size_t>(std::max(t.header.frameLength, 6));
    t.image.assign(length, 0xFF);
    for (int i = 0; i < 4; ++i)
        t.image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(word >> (8 * i));
    const auto sideEnd = std::min(static_cast<std::size_t>(t.header.sideInfoEnd), length);
    std::fill(t.image.begin() + t.header.headerSize, t.image.begin() + sideEnd, 0);
    if (t.header.hasCrc && static_cast<std::size_t>(t.header.sideInfoEnd) <= length) {
        const std::uint16_t crc = FrameCrc(t.header, t.image.data());
        t.image[4] = static_cast<std::uint8_t>(crc);
        t.image[5] = static_cast<std::uint8_t>(crc >> 8);
    }
    return t;
}

StreamInfo ForecastStreamInfo(const StreamInfo& partial, std::int64_t scannedFrames,
                              std::int64_t scannedBytes, std::int64_t rangeBytes) {
    StreamInfo f;
    static_cast<StreamShape&>(f) = partial;
    static_cast<TagLayout&>(f) = partial;
    f.sourceSize = partial.sourceSize;
    f.frameCount = scannedBytes > 0 ? static_cast<std::int64_t>(static_cast<double>(scannedFrames) *
                                                                static_cast<double>(rangeBytes) /
                                                                static_cast<double>(scannedBytes))
                                    : scannedFrames;
    f.audioStart = partial.riffHeaderSize + partial.id3v2.tagSize;
    f.SeekHeaderTemplate = BuildSeekHeaderTemplate(f.firstHeader);
    f.SilentFrameTemplate = BuildSilentFrameTemplate(f.firstHeader, f.IsVbr());
    return f;
}

OpenResult AnalyseFile(std::span<const std::uint8_t> file, const Settings& settings,
                       const MessageTable& messages, IProgress& progress,
                       const TailAnalysis& tailAnalysis, int fd, IScanListener* listener) {
    OpenResult result;
    StreamInfo& info = result.info;
    info.sourceSize = static_cast<std::int64_t>(file.size());

    const std::int64_t regionEnd = StoreTrailingTags(info, file);
    const auto head = file.first(static_cast<std::size_t>(regionEnd));
    info.riffHeaderSize = DetectRiffHeader(head);
    info.id3v2.Read(head.subspan(static_cast<std::size_t>(info.riffHeaderSize)));

    std::int64_t regionStart = info.riffHeaderSize + info.id3v2.tagSize;
    std::int64_t regionSize = regionEnd - regionStart;
    auto region = [&] {
        if (fd >= 0)
            return ScanSource::File(fd, regionStart, regionSize);
        return ScanSource::Memory(file.subspan(static_cast<std::size_t>(regionStart),
                                               static_cast<std::size_t>(regionSize)),
                                  regionStart);
    };
    for (int attempt = 1;; ++attempt) {
        result.attempts = attempt;
        info.retried = attempt > 1;
        try {
            ScanSource source = region();
            if (attempt == 1)
                source.listener = listener;
            ScanStream(info, source, 0, settings, messages, progress);
        } catch (const VelmoraError& e) {
            // After the first attempt, a region with no header left means the skips ran out.
            if (attempt == 1 || e.kind() != ErrorKind::NoHeader)
                throw;
            throw VelmoraError(ErrorAnalyzingText(messages));
        }
        if (AttemptAccepted(info, regionSize))
            break;
        std::int64_t skip = (info.frames.size() > 0 ? info.frames[0].offset : 0) + 4;
        if (attempt >= 4)
            skip += std::int64_t{4} << (attempt - 4);
        regionStart += skip;
        if (regionSize < skip + 100 || attempt == kMaxScanAttempts)
            throw VelmoraError(ErrorAnalyzingText(messages));
        regionSize -= skip;
    }
    info.audioStart = regionStart;

    const bool sourceXing = info.extraInfoPresent && info.xingFound;
    const int dominant = info.DominantBitrateIndex();
    if (info.IsVbr() && settings.CheckBoxSmartCBR && !sourceXing && dominant != 0)
        ScanStream(info, region(), dominant, settings, messages, progress);

    if (info.audioStart > info.riffHeaderSize + info.id3v2.tagSize + kDamagedBeginningBytes)
        result.warnings.push_back(OpenWarning::RemovedBeginning);

    for (std::int64_t i = 0; i < info.frames.size(); ++i)
        info.frames[i].offset += info.audioStart;
    DropChaptersOutside(info.id3v2, FramesToMilliseconds(info.firstHeader, info.frameCount));

    info.SeekHeaderTemplate = BuildSeekHeaderTemplate(info.firstHeader);
    info.SilentFrameTemplate = BuildSilentFrameTemplate(info.firstHeader, info.IsVbr());
    RunTailAnalysis(info, settings, tailAnalysis);
    return result;
}

OpenResult OpenSourceFile(const std::string& path, const Settings& settings,
                          const MessageTable& messages, IProgress& progress,
                          const TailAnalysis& tailAnalysis, bool* operationBusy,
                          IScanListener* listener) {
    // The mapping serves the tags at both ends; the scans read the audio through the descriptor.
    const FileView view = OpenFileView(path, FileAccess::ReadOnly, messages);
    const OperationBusyScope busy(operationBusy);
    OpenResult result =
        AnalyseFile(view.bytes(), settings, messages, progress, tailAnalysis, view.fd(), listener);
    // The tags were read through the mapping: a file that shrank meanwhile gave zeros there.
    if (view.Cut())
        throw VelmoraError(std::string(std::strerror(EIO)) + " - " + ErrorAnalyzingText(messages));
    result.info.sourceTimeNs = view.lastWriteTimeNs();
    result.info.sourceIdentity = view.identity();
    // First, so that it is the first thing the user reads about the file.
    if (SaveWasInterrupted(view.fd(), path, view.identity()))
        result.warnings.insert(result.warnings.begin(), OpenWarning::InterruptedSave);
    result.fileName = BaseName(path);
    return result;
}

} // namespace velmora
