// Feeds arbitrary bytes through the whole open pipeline (tags, RIFF header, ID3v2, scan attempts,
// smart CBR, templates, tail marks), then the information texts, the output plan and the
// extra-info frame for a few trims.
#include "Progress.h"
#include "UnitInfo.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitSilence.h"
#include "UnitXing.h"
#include "VelmoraError.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <span>
#include <string>
#include <unistd.h>

using namespace velmora;

namespace {

constexpr std::size_t kDescriptorCheckBytes = 256 * 1024;

void CheckThroughDescriptor(std::span<const std::uint8_t> file, const Settings& settings,
                            const TailAnalysis& tail, const OpenResult& inMemory,
                            const std::string& memoryError) {
    static const std::string path = [] {
        const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/velmora-fuzz-open-" + std::to_string(::getpid()) + ".mp3";
    }();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const bool written = ::write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size());
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        return;
    }
    static const MessageTable messages = MessageTable::English();
    NullProgress progress;
    OpenResult read;
    std::string error;
    try {
        read = OpenSourceFile(path, settings, messages, progress, tail);
    } catch (const VelmoraError& e) {
        error = e.what();
    }
    ::unlink(path.c_str());
    if (error != memoryError)
        __builtin_trap();
    if (!error.empty())
        return;
    const StreamInfo& a = inMemory.info;
    const StreamInfo& b = read.info;
    if (a.frameCount != b.frameCount || a.audioStart != b.audioStart ||
        a.missingHeaderCount != b.missingHeaderCount || a.badCrcCount != b.badCrcCount ||
        a.leadingGarbage != b.leadingGarbage || a.lastFrameIncomplete != b.lastFrameIncomplete ||
        a.extraInfoPresent != b.extraInfoPresent || a.mp3Pro != b.mp3Pro ||
        a.ExtraInfoFrame.bytes != b.ExtraInfoFrame.bytes || a.abruptEnding != b.abruptEnding ||
        inMemory.attempts != read.attempts)
        __builtin_trap();
    for (std::int64_t i = 0; i < a.frames.size(); ++i) {
        const FrameEntry& x = a.frames[i];
        const FrameEntry& y = b.frames[i];
        if (x.offset != y.offset || x.length != y.length || x.silent != y.silent ||
            x.computedCrc != y.computedCrc || x.reservoirDepth != y.reservoirDepth)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the settings; the rest is the file.
    const std::uint8_t knobs = data[0];
    Settings settings;
    settings.CheckBoxAllowPatchedStreams = knobs & 1;
    settings.CheckBoxFastSilenceDetection = knobs & 2;
    settings.RadioGroupTrimAggressivity = (knobs >> 2) & 3; // 3 probes an out-of-range item
    settings.CheckBoxSmartCBR = knobs & 16;
    settings.CheckBoxKeepExtraInfo = knobs & 32;
    settings.CheckBoxCleanup = knobs & 64;
    settings.CheckBoxRemoveLastFrame = knobs & 128;
    settings.ComboBoxAddSilenceBeginning = knobs & 7;
    settings.ComboBoxAddSilenceEnd = (knobs >> 3) & 7;
    const std::span file(data + 1, size - 1);
    const auto fileSize = static_cast<std::int64_t>(file.size());

    static const MessageTable messages = MessageTable::English();
    NullProgress progress;
    // Energies from the file's own bytes, so that the quiet-frame marks and the ending vary.
    auto tail = [&](StreamInfo& info, std::int64_t begin, std::int64_t end) {
        if (begin < 0 || end > info.frameCount || begin > end)
            __builtin_trap();
        for (std::int64_t i = begin; i < end; ++i)
            info.frames[i].energy = file[static_cast<std::size_t>(i) % file.size()] & 31;
    };
    OpenResult opened;
    std::string error;
    try {
        opened = AnalyseFile(file, settings, messages, progress, tail);
    } catch (const VelmoraError& e) {
        error = e.what();
    }
    // The same bytes in a file, whose scans read them through the descriptor piece by piece:
    // the same result or the same error.
    if (!file.empty() && file.size() <= kDescriptorCheckBytes)
        CheckThroughDescriptor(file, settings, tail, opened, error);
    if (!error.empty())
        return 0;
    const StreamInfo& info = opened.info;
    std::int64_t previousEnd = info.audioStart;
    for (std::int64_t i = 0; i < info.frameCount; ++i) {
        const FrameEntry& e = info.frames[i];
        if (e.offset < previousEnd || e.offset + e.length > fileSize)
            __builtin_trap();
        previousEnd = e.offset + e.length;
    }
    if (info.SilentFrameTemplate.image.size() !=
        static_cast<std::size_t>(info.SilentFrameTemplate.header.frameLength))
        __builtin_trap();

    const InformationTexts texts =
        BuildInformationTexts(info, TagsKept{(knobs & 1) != 0}, messages, ",");
    if (texts.EditType.empty() || texts.ListBoxMissingFH.empty())
        __builtin_trap();

    const std::int64_t n = info.frameCount;
    const TrimPoints trims[] = {{0, 0}, {n / 3, n / 4}, {n, 0}, {0, n}, {-1, 0}};
    for (const TrimPoints& trim : trims) {
        const OutputPlanDisplay d = ComputeOutputPlan(
            info, trim, settings,
            {.tagsKept = TagsKept{(knobs & 2) != 0}, .outputIsWav = (knobs & 4) != 0});
        if (!d.valid || d.plan.outputFrames < 0)
            continue;
        if (d.plan.predictedSize < 0 || d.plan.predictedSize > fileSize + (1 << 30))
            __builtin_trap();
        if (!WantExtraInfo(info, settings))
            continue;
        const ExtraInfoOut x = BuildExtraInfoFrame(info, settings, d.plan, trim, 0);
        if (static_cast<std::int64_t>(x.bytes.size()) != ExtraInfoLength(info, settings) &&
            x.header.frameLength >= 4)
            __builtin_trap();
        const auto toc =
            BuildToc(info, d.plan, trim.beginFrames, static_cast<std::int64_t>(x.bytes.size()));
        for (int i = 1; i < 100; ++i)
            if (toc[static_cast<std::size_t>(i)] < toc[static_cast<std::size_t>(i - 1)])
                __builtin_trap();
    }
    return 0;
}
