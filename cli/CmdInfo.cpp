#include "CliCommon.h"
#include "UnitBatchLog.h"
#include "UnitPath.h"

#include "UnitInfo.h"
#include "UnitMP3.h"
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

// What the command reports for one file, already in display form.
struct InfoRecord {
    std::string file;
    std::string version, layer, channelMode, length;
    std::uint32_t sampleRate = 0;
    std::int64_t frames = 0;
    bool vbr = false;
    int bitrateKbps = 0;
    bool bitrateIsAverage = false; // VBR without a dominant bitrate
    std::int64_t missingHeaders = 0;
    std::vector<std::string> missingHeaderPositions;
    std::int64_t badCrcs = 0;
    bool leadingGarbage = false, lastFrameIncomplete = false;
    const char* extraInfo = nullptr; // "Xing", "Info" or none
    bool mp3Pro = false;
    std::int64_t silentBegin = 0, silentEnd = 0;

    // What the editor shows after the open, and the plan for saving with no trim.
    InformationTexts texts;
    std::int64_t audioStart = 0;
    bool retried = false;
    TagLayout tags;
    OutputPlanDisplay plan;
    std::vector<std::string> warnings;     // MessageTable list names
    std::vector<std::string> warningTexts; // the lists joined
};

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

InfoRecord Examine(const std::string& path, const CliContext& ctx) {
    TerminalProgress progress("reading " + BaseName(path));
    // The ending is judged from the decoded energies of the last frames, as the editor does.
    const OpenResult opened = OpenWithTailAnalysis(path, ctx.settings, ctx.messages, progress);
    const StreamInfo& info = opened.info;
    const MpegHeader& first = info.firstHeader;
    InfoRecord r;
    r.file = path;
    r.version = VersionText(first.versionId);
    r.layer = LayerText(first.layerId);
    r.sampleRate = first.sampleRate;
    r.channelMode = ChannelModeText(first.channelMode);
    r.frames = info.frameCount;
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
    r.missingHeaders = info.missingHeaderCount;
    // The list can hold one more index than the count: a break after the last frame is taken
    // back out of the count as an incomplete tail.
    const std::int64_t shown = std::min<std::int64_t>(
        {info.missingHeaderCount, 10, static_cast<std::int64_t>(info.MissingHeaderList.size())});
    for (std::int64_t i = 0; i < shown; ++i)
        r.missingHeaderPositions.push_back(
            FormatClock(first, info.MissingHeaderList[static_cast<std::size_t>(i)]));
    r.badCrcs = info.badCrcCount;
    r.leadingGarbage = info.leadingGarbage;
    r.lastFrameIncomplete = info.lastFrameIncomplete;
    if (info.extraInfoPresent)
        r.extraInfo = info.xingFound ? "Xing" : "Info";
    r.mp3Pro = info.mp3Pro;
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
    r.plan =
        ComputeOutputPlan(info, TrimPoints{}, ctx.settings,
                          {.tagsKept = TagsKept::Yes,
                           .outputIsWav = OutputIsWav(ctx.settings, first.layerId, std::nullopt),
                           .decimalSeparator = separator});
    for (const OpenWarning w : opened.warnings) {
        r.warnings.push_back(OpenWarningName(w));
        r.warningTexts.push_back(MessageTable::Join(OpenWarningText(ctx.messages, w)));
    }
    return r;
}

const char* Bool(bool b) {
    return b ? "true" : "false";
}
const char* YesNo(bool b) {
    return b ? "yes" : "no";
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string s = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        s += (i ? ", " : "") + JsonString(items[i]);
    return s + "]";
}

void AppendTagPage(std::string& s, const char* prefix, const TagPageTexts& page) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"Title", &page.title}, {"Artist", &page.artist},   {"Album", &page.album},
        {"Year", &page.year},   {"Comment", &page.comment}, {"Genre", &page.genre}};
    for (const auto& [name, value] : fields)
        s += std::string(", \"") + prefix + name + "\": " + JsonString(*value);
}

// The ID3v2 chapters by start time, and what the tag reader left out.
void AppendChaptersJson(std::string& s, const TID3v2& tag) {
    s += ", \"chapters\": [";
    const std::vector<Chapter> chapters = tag.ChaptersInOrder();
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        const Chapter& c = chapters[i];
        s += std::string(i ? ", " : "") + "{\"id\": " + JsonString(c.elementId) +
             ", \"title\": " + JsonString(c.title) + ", \"startMs\": " + std::to_string(c.startMs) +
             ", \"endMs\": " + std::to_string(c.endMs) + "}";
    }
    s += "], \"id3v2Notes\": " + JsonList(tag.notes);
}

// The keys that show what the editor shows, after the scan's own.
void AppendDisplayJson(std::string& s, const InfoRecord& r) {
    const InformationTexts& t = r.texts;
    auto text = [&](const char* key, const std::string& value) {
        s += std::string(", \"") + key + "\": " + JsonString(value);
    };
    auto number = [&](const char* key, std::int64_t value) {
        s += std::string(", \"") + key + "\": " + std::to_string(value);
    };
    text("type", t.EditType);
    text("lengthText", t.EditLength);
    text("id3", t.EditID3);
    text("crc", t.EditCRC);
    text("bitrateText", t.EditBitrate);
    text("ending", t.EditEnding);
    text("averageBitrateText", t.LabelNumberAverageBitrate);
    s += ", \"inconsistencies\": " + JsonList(t.ListBoxInconsistent);
    number("audioStart", r.audioStart);
    s += std::string(", \"retried\": ") + Bool(r.retried);
    number("riffHeaderSize", r.tags.riffHeaderSize);
    number("id3v2Size", r.tags.id3v2.tagSize);
    number("id3v1Size", r.tags.id3v1Size);
    number("apeSize", r.tags.apeSize);
    number("lyrics3Size", r.tags.lyrics3Size);
    AppendTagPage(s, "id3v1", t.id3v1);
    AppendTagPage(s, "id3v2", t.id3v2);
    const std::pair<const char*, const std::string*> more[] = {
        {"id3v2Composer", &r.tags.id3v2.composer},
        {"id3v2EncodedBy", &r.tags.id3v2.encodedBy},
        {"id3v2Copyright", &r.tags.id3v2.copyright},
        {"id3v2Language", &r.tags.id3v2.language},
        {"id3v2Url", &r.tags.id3v2.url},
        {"id3v2LengthText", &r.tags.id3v2.lengthText}};
    for (const auto& [key, value] : more)
        text(key, *value);
    AppendChaptersJson(s, r.tags.id3v2);
    text("spaceSavedText", r.plan.LabelSpaceSaved);
    text("outputLengthText", r.plan.LabelTimeRemain);
    number("predictedSize", r.plan.plan.predictedSize);
    number("bytesSaved", r.plan.plan.bytesSaved);
    s += ", \"warnings\": " + JsonList(r.warnings);
}

std::string Json(const InfoRecord& r) {
    std::string s = "{" + JsonFileFields(r.file);
    s += ", \"version\": " + JsonString(r.version);
    s += ", \"layer\": " + JsonString(r.layer);
    s += ", \"sampleRate\": " + std::to_string(r.sampleRate);
    s += ", \"channelMode\": " + JsonString(r.channelMode);
    s += ", \"frames\": " + std::to_string(r.frames);
    s += ", \"length\": " + JsonString(r.length);
    s += std::string(", \"vbr\": ") + Bool(r.vbr);
    s += ", \"bitrateKbps\": " + std::to_string(r.bitrateKbps);
    s += ", \"missingHeaders\": " + std::to_string(r.missingHeaders);
    s += ", \"missingHeaderPositions\": [";
    for (std::size_t i = 0; i < r.missingHeaderPositions.size(); ++i)
        s += (i ? ", " : "") + JsonString(r.missingHeaderPositions[i]);
    s += "], \"badCrcs\": " + std::to_string(r.badCrcs);
    s += std::string(", \"leadingGarbage\": ") + Bool(r.leadingGarbage);
    s += std::string(", \"lastFrameIncomplete\": ") + Bool(r.lastFrameIncomplete);
    s += ", \"extraInfo\": " + (r.extraInfo ? JsonString(r.extraInfo) : std::string("null"));
    s += std::string(", \"mp3Pro\": ") + Bool(r.mp3Pro);
    s += ", \"silentBegin\": " + std::to_string(r.silentBegin);
    s += ", \"silentEnd\": " + std::to_string(r.silentEnd);
    AppendDisplayJson(s, r);
    return s + "}";
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
    for (std::size_t i = 0; i < r.missingHeaderPositions.size(); ++i)
        missing += (i ? ", " : " at ") + r.missingHeaderPositions[i];
    if (r.missingHeaders > static_cast<std::int64_t>(r.missingHeaderPositions.size()))
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
    PrintDisplay(out, r);
}

} // namespace

int CmdInfo(CliContext& ctx, const InfoArgs& a, std::ostream& out, std::ostream& err) {
    const FileListArgs& parsed = a.files;
    bool firstBlock = true;
    return RunFileBatch(SelectedFiles(parsed), {parsed.json, ""}, out, err,
                        [&](const std::string& file) {
                            const InfoRecord r = Examine(file, ctx);
                            if (parsed.json) {
                                out << Json(r) << "\n";
                                return;
                            }
                            if (!firstBlock)
                                out << "\n";
                            PrintPlain(out, r);
                            firstBlock = false;
                        });
}

} // namespace velmora::cli
