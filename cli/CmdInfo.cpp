#include "CliCommon.h"

#include "UnitFileView.h"
#include "UnitMP3.h"
#include "UnitScanner.h"
#include "UnitSilence.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace velmora::cli {

namespace {

constexpr const char* kInfoUsage =
    "Usage: velmora-cli info [--json] FILE...\n"
    "  Scans each file from its first byte and prints what the scan finds.\n"
    "  --json  one JSON object per file, one per line (JSON Lines); a file that fails gives\n"
    "          {\"file\": ..., \"error\": ...}\n";

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
};

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

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

InfoRecord Examine(const std::string& path, const CliContext& ctx) {
    const FileView view = OpenFileView(path, FileAccess::ReadOnly, ctx.messages);
    StreamInfo info;
    {
        TerminalProgress progress(BaseName(path));
        ScanStream(info, view.bytes(), 0, ctx.settings, ctx.messages, progress);
    }
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
    const std::optional<TrimPoints> trim = AutoTrim(info, ctx.settings, false);
    if (trim) {
        r.silentBegin = trim->beginFrames;
        r.silentEnd = trim->endFrames;
    }
    return r;
}

const char* Bool(bool b) {
    return b ? "true" : "false";
}
const char* YesNo(bool b) {
    return b ? "yes" : "no";
}

std::string Json(const InfoRecord& r) {
    std::string s = "{\"file\": " + JsonString(r.file);
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
    return s + "}";
}

void PrintLine(std::ostream& out, const char* label, const std::string& value) {
    constexpr std::size_t kValueColumn = 23;
    std::string line = std::string(label) + ":";
    line.resize(kValueColumn, ' ');
    out << line << value << "\n";
}

void PrintPlain(std::ostream& out, const InfoRecord& r) {
    PrintLine(out, "File", r.file);
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
}

} // namespace

int CmdInfo(CliContext& ctx, std::ostream& out, std::ostream& err) {
    bool json = false;
    bool optionsEnded = false;
    std::vector<std::string> files;
    for (const std::string& a : ctx.args) {
        if (!optionsEnded && a == "--json") {
            json = true;
        } else if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (a == "--help" || a == "-h")) {
            out << kInfoUsage;
            return 0;
        } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
            err << "velmora-cli: unknown option \"" << a << "\"\n" << kInfoUsage;
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        err << kInfoUsage;
        return 2;
    }

    int status = 0;
    bool firstBlock = true;
    for (const std::string& file : files) {
        try {
            const InfoRecord r = Examine(file, ctx);
            if (json) {
                out << Json(r) << "\n";
            } else {
                if (!firstBlock)
                    out << "\n";
                PrintPlain(out, r);
                firstBlock = false;
            }
            out.flush();
        } catch (const std::exception& e) {
            status = 1;
            if (json)
                out << "{\"file\": " << JsonString(file) << ", \"error\": " << JsonString(e.what())
                    << "}\n";
            else
                err << file << ": " << e.what() << "\n";
            out.flush();
            // Ctrl+C ends the whole command, not just the file being scanned.
            if (std::string(e.what()) == "Stopped at user request")
                break;
        }
    }
    return status;
}

} // namespace velmora::cli
