#include "CliCommon.h"
#include "InfoRecord.h"
#include "UnitBatchLog.h"
#include "UnitPath.h"

#include "UnitInfo.h"
#include "UnitLoudness.h"
#include "UnitMP3.h"
#include "UnitOpen.h"
#include "UnitOpenAudio.h"
#include "UnitOutputPlan.h"
#include "UnitScanner.h"
#include "UnitSilence.h"
#include "UnitVolume.h"
#include "Unit_MP3_RIFF.h"
#include "VelmoraError.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace velmora::cli {

namespace {

// The user's decimal separator, read without leaving the process locale changed (JSON numbers
// elsewhere must keep their point).
std::string UserDecimalSeparator() {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = current ? current : "C";
    std::string separator = ".";
    if (std::setlocale(LC_NUMERIC, "")) {
        const char* point = std::localeconv()->decimal_point;
        if (point && *point)
            separator = point;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    return separator;
}

int BitrateOfIndex(const MpegHeader& h, int index) {
    return kBitrateTable[h.versionId & 3][h.layerId & 3][index & 15];
}

// Every frame of a stream lasts the same time, so the mean of the frames' nominal bitrates is
// the stream's average bitrate.
int AverageBitrate(const StreamInfo& info) {
    if (info.frameCount <= 0)
        return info.firstHeader.bitrateKbps;
    std::int64_t sum = 0;
    for (int i = 0; i < 16; ++i)
        sum += info.BitrateHistogram[i] * BitrateOfIndex(info.firstHeader, i);
    return static_cast<int>((sum + info.frameCount / 2) / info.frameCount);
}

// Opens the file; with `loudness`, the open's tail decode covers every frame and feeds the
// EBU R128 analyser as well, so that the file is decoded once.
OpenResult Open(const std::string& path, const CliContext& ctx, IProgress& progress,
                std::optional<LoudnessResult>* loudness) {
    if (!loudness)
        return OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress);
    const TailAnalysis wholeFile = [&](StreamInfo& info, std::int64_t, std::int64_t end) {
        const MpegHeader& first = info.firstHeader;
        LoudnessAnalyser analyser = LoudnessAnalyser::ForAnalysis(first);
        IVolumeAnalyser* analysers[] = {&analyser};
        StoreEnergies(AnalyseVolume(path, info, 0, end, VolumeScope::EnergiesOnly, ctx.messages,
                                    progress, analysers),
                      info);
        *loudness = analyser.Result();
    };
    return OpenSourceFile(path, ctx.settings, ctx.messages, progress, wholeFile);
}

// Where each missing header was expected: the end of the frame before it.
std::vector<std::int64_t> MissingHeaderOffsets(const StreamInfo& info) {
    std::vector<std::int64_t> offsets;
    const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(
        info.missingHeaderCount, static_cast<std::int64_t>(info.MissingHeaderList.size())));
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t frame = info.MissingHeaderList[i];
        offsets.push_back(frame > 0 ? info.frames[frame - 1].offset + info.frames[frame - 1].length
                                    : info.audioStart);
    }
    return offsets;
}

void DescribeStream(InfoRecord& r, const StreamInfo& info) {
    const MpegHeader& first = info.firstHeader;
    r.version = VersionText(first.versionId);
    r.layer = LayerText(first.layerId);
    r.layerNumber = 4 - first.layerId;
    r.sampleRate = first.sampleRate;
    r.channelMode = ChannelModeText(first.channelMode);
    r.channels = first.channelMode == kMono ? 1 : 2;
    r.frames = info.frameCount;
    r.lengthSamples = info.frameCount * SamplesPerFrame(first);
    r.length = FormatLength(first, info.frameCount);
    r.vbr = info.IsVbr();
    if (!r.vbr) {
        r.bitrateKbps = first.bitrateKbps;
    } else if (const int dominant = info.DominantBitrateIndex(); dominant > 0) {
        r.bitrateKbps = BitrateOfIndex(first, dominant);
    } else {
        r.bitrateKbps = AverageBitrate(info);
        r.bitrateIsAverage = true;
    }
    r.averageBitrateKbps = AverageBitrateKbps(info);
}

void DescribeDamage(InfoRecord& r, const StreamInfo& info) {
    r.missingHeaders = info.missingHeaderCount;
    r.missingHeaderOffsets = MissingHeaderOffsets(info);
    for (std::size_t i = 0; i < std::min<std::size_t>(r.missingHeaderOffsets.size(), 10); ++i)
        r.missingHeaderTimes.push_back(FormatClock(info.firstHeader, info.MissingHeaderList[i]));
    r.badCrcs = info.badCrcCount;
    r.crc = info.firstHeader.hasCrc;
    r.leadingGarbage = info.leadingGarbage;
    r.lastFrameIncomplete = info.lastFrameIncomplete;
    if (info.extraInfoPresent)
        r.extraInfo = info.xingFound ? "Xing" : "Info";
    r.mp3Pro = info.mp3Pro;
    r.abruptEnding = info.abruptEnding;
    r.inconsistencies = InconsistentHeaderFields(info);
}

InfoRecord Examine(const std::string& path, const CliContext& ctx, bool loudness) {
    TerminalProgress progress(BaseName(path));
    InfoRecord r;
    // The ending is judged from the decoded energies of the last frames, as the editor does.
    const OpenResult opened = Open(path, ctx, progress, loudness ? &r.loudness : nullptr);
    const StreamInfo& info = opened.info;
    r.file = path;
    DescribeStream(r, info);
    DescribeDamage(r, info);
    const std::optional<TrimPoints> trim = AutoTrim(info, ctx.settings, OperationState::Idle);
    if (trim) {
        r.silentBegin = trim->beginFrames;
        r.silentEnd = trim->endFrames;
    }

    const std::string separator = UserDecimalSeparator();
    r.texts = BuildInformationTexts(info, TagsKept::Yes, ctx.messages, separator);
    r.audioStart = info.audioStart;
    r.retried = info.retried;
    r.tags = info;
    r.plan = ComputeOutputPlan(
        info, TrimPoints{}, ctx.settings,
        {.tagsKept = TagsKept::Yes,
         .outputIsWav = OutputIsWav(ctx.settings, info.firstHeader.layerId, std::nullopt),
         .decimalSeparator = separator});
    for (const OpenWarning w : opened.warnings) {
        r.warnings.push_back(OpenWarningName(w));
        r.warningTexts.push_back(MessageTable::Join(OpenWarningText(ctx.messages, w)));
    }
    return r;
}

const char* YesNo(bool b) {
    return b ? "yes" : "no";
}

void PrintLine(std::ostream& out, const char* label, const std::string& value) {
    constexpr std::size_t kValueColumn = 23;
    std::string line = std::string(label) + ":";
    line.resize(kValueColumn, ' ');
    out << line << value << "\n";
}

std::string Joined(const std::vector<std::string>& items) {
    std::string s;
    for (std::size_t i = 0; i < items.size(); ++i)
        s += (i ? ", " : "") + items[i];
    return s;
}

std::string BlockText(std::int64_t size, std::int64_t offset) {
    return size > 0 ? std::to_string(size) + " bytes at " + std::to_string(offset) : "none";
}

void PrintTagPage(std::ostream& out, const char* tag, const TagPageTexts& page) {
    if (!page.enabled) {
        PrintLine(out, tag, page.title);
        return;
    }
    const std::pair<const char*, const std::string*> fields[] = {
        {" title", &page.title}, {" artist", &page.artist},   {" album", &page.album},
        {" year", &page.year},   {" comment", &page.comment}, {" genre", &page.genre}};
    for (const auto& [name, value] : fields)
        if (!value->empty())
            PrintLine(out, (std::string(tag) + name).c_str(), *value);
}

// The information box, the advanced pages and the plan, as the editor shows them.
void PrintDisplay(std::ostream& out, const InfoRecord& r) {
    const InformationTexts& t = r.texts;
    PrintLine(out, "Display type", t.EditType);
    PrintLine(out, "Display length", t.EditLength);
    PrintLine(out, "ID3", t.EditID3);
    PrintLine(out, "CRC", t.EditCRC);
    PrintLine(out, "Display bitrate", t.EditBitrate);
    PrintLine(out, "Ending", t.EditEnding);
    PrintLine(out, "Average bitrate", t.LabelNumberAverageBitrate);
    PrintLine(out, "WAV-embedded", t.LabelWAVembedded);
    PrintLine(out, "First frames invalid", t.LabelFirstFrameInvalid);
    PrintLine(out, "Audio start", std::to_string(r.audioStart));
    PrintLine(out, "Inconsistencies", Joined(t.ListBoxInconsistent));
    PrintTagPage(out, "ID3v1", t.id3v1);
    PrintTagPage(out, "ID3v2", t.id3v2);
    for (const auto& row : t.ListViewChapters)
        PrintLine(out, "Chapter", row.start + " - " + row.end + "  " + row.title);
    for (const std::string& note : t.ListBoxTagNotes)
        PrintLine(out, "ID3v2 note", note);
    PrintLine(out, "APE tag", BlockText(r.tags.apeSize, r.tags.apeOffset));
    PrintLine(out, "Lyrics3 block", BlockText(r.tags.lyrics3Size, r.tags.lyrics3Offset));
    PrintLine(out, "Saving recovers",
              r.plan.LabelSpaceSaved + " (" + std::to_string(r.plan.plan.predictedSize) +
                  " bytes out)");
    PrintLine(out, "Length after saving", r.plan.LabelTimeRemain);
    for (const std::string& warning : r.warningTexts) {
        std::string oneLine = warning;
        std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
        PrintLine(out, "Warning", oneLine);
    }
}

void PrintLoudness(std::ostream& out, const LoudnessResult& l) {
    if (!l.Measured()) {
        PrintLine(out, "Loudness", "not measured (silence, or shorter than 400 ms)");
        return;
    }
    char range[32];
    std::snprintf(range, sizeof range, "%.1f LU", l.rangeLu);
    PrintLine(out, "Loudness", LufsText(l.integratedLufs));
    PrintLine(out, "Loudness range", range);
    PrintLine(out, "True peak", DbtpText(l.truePeakDbtp));
}

void PrintPlain(std::ostream& out, const InfoRecord& r) {
    PrintLine(out, "File", EscapeControls(r.file));
    PrintLine(out, "Type", "MPEG " + r.version + " layer " + r.layer);
    PrintLine(out, "Sample rate", std::to_string(r.sampleRate) + " Hz");
    PrintLine(out, "Channel mode", r.channelMode);
    PrintLine(out, "Frames", std::to_string(r.frames));
    PrintLine(out, "Length", r.length);
    std::string bitrate = r.vbr ? "VBR, " : "CBR, ";
    bitrate += std::to_string(r.bitrateKbps) + " kbit/s";
    if (r.vbr)
        bitrate += r.bitrateIsAverage ? " average" : " dominant";
    PrintLine(out, "Bitrate", bitrate);
    std::string missing = std::to_string(r.missingHeaders);
    for (std::size_t i = 0; i < r.missingHeaderTimes.size(); ++i)
        missing += (i ? ", " : " at ") + r.missingHeaderTimes[i];
    if (r.missingHeaders > static_cast<std::int64_t>(r.missingHeaderTimes.size()))
        missing += ", ...";
    PrintLine(out, "Missing headers", missing);
    PrintLine(out, "Bad CRCs", std::to_string(r.badCrcs));
    PrintLine(out, "Leading garbage", YesNo(r.leadingGarbage));
    PrintLine(out, "Last frame incomplete", YesNo(r.lastFrameIncomplete));
    PrintLine(out, "Extra-info frame", r.extraInfo ? r.extraInfo : "none");
    PrintLine(out, "mp3PRO", YesNo(r.mp3Pro));
    PrintLine(out, "Silent frames",
              std::to_string(r.silentBegin) + " at the start, " + std::to_string(r.silentEnd) +
                  " at the end");
    if (r.loudness)
        PrintLoudness(out, *r.loudness);
    PrintDisplay(out, r);
}

} // namespace

int CmdInfo(CliContext& ctx, const InfoArgs& a, std::ostream& out, std::ostream& err) {
    const FileListArgs& parsed = a.files;
    bool firstBlock = true;
    return RunFileBatch(SelectedFiles(parsed), {parsed.json, ""}, out, err,
                        [&](const std::string& file) {
                            const InfoRecord r = Examine(file, ctx, a.loudness);
                            if (parsed.json) {
                                out << InfoJsonLine(r, parsed.jsonDisplay) << "\n";
                                return;
                            }
                            if (!firstBlock)
                                out << "\n";
                            PrintPlain(out, r);
                            firstBlock = false;
                        });
}

} // namespace velmora::cli
