// Saves arbitrary files with settings, trims, gain, fades, added silence and tags picked by the
// first bytes, to a file, to memory and in place, and checks that the three agree with each
// other, with the plan and with the source bytes they were cut from.
#include "Progress.h"
#include "UnitMP3.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitTags.h"
#include "UnitWriter.h"
#include "UnitXing.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace velmora;

namespace {

constexpr std::size_t kKnobBytes = 5;
constexpr std::size_t kMaxFileBytes = 64 * 1024;
// The output must have this many frames before its own analysis is held to the plan's count:
// shorter streams are judged by the open's acceptance rules, not by what they contain.
constexpr std::int64_t kCountedFrames = 8;
// Header, CRC and the longest side information: the bytes a gain change may touch.
constexpr std::int64_t kGainBytes = 6 + 32;

// The per-process folder: in memory where the system has one.
class Scratch {
public:
    Scratch() {
        struct stat st {};
        std::string base =
            ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/velmora-fuzz-write-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_root = pattern;
        if (::mkdir((m_root + "/a").c_str(), 0700) != 0 ||
            ::mkdir((m_root + "/b").c_str(), 0700) != 0)
            std::abort();
        // The file name feeds the recreated ID3v1 tag, so both copies carry the same one.
        source = m_root + "/a/Artist - Title.mp3";
        copy = m_root + "/b/Artist - Title.mp3";
        output = m_root + "/out.mp3";
        early = m_root + "/early.mp3";
    }
    ~Scratch() { Remove(); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // Leaves the folders empty for the next input.
    void Clear() const {
        for (const std::string* path : {&source, &copy, &output, &early})
            ::unlink(path->c_str());
    }
    void Remove() const {
        Clear();
        ::rmdir((m_root + "/a").c_str());
        ::rmdir((m_root + "/b").c_str());
        ::rmdir(m_root.c_str());
    }

    std::string source, copy, output, early;

private:
    std::string m_root;
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

[[noreturn]] void Fail() {
    TheScratch().Remove();
    __builtin_trap();
}

void Check(bool condition) {
    if (!condition)
        Fail();
}

bool WriteBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 && done == bytes.size();
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return bytes;
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fd);
    return bytes;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsAssertion(const VelmoraError& e) {
    return std::string_view(e.what()).starts_with("Assertion failed");
}

bool Same(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// Whether `frame` has an extra-info identifier at `at`. The open takes a frame for one on its
// identifier alone: a frame of 26 bytes (MPEG-2, 8 kbit/s, stereo) has no room for the flags.
bool HoldsIdentifier(std::span<const std::uint8_t> frame, std::int64_t at) {
    if (at < 0 || at + 4 > static_cast<std::int64_t>(frame.size()))
        return false;
    return std::memcmp(frame.data() + at, "Xing", 4) == 0 ||
           std::memcmp(frame.data() + at, "Info", 4) == 0;
}

struct Knobs {
    Settings settings;
    bool tagsKept = true;
    bool wav = false;
    int trimBegin = 0, trimEnd = 0; // 0 … 7 frames, 8 … 15 eighths of the stream
    int gain = 0;
    int fadeIn = 0, fadeOut = 0;
};

Knobs ReadKnobs(const std::uint8_t* k) {
    Knobs knobs;
    Settings& s = knobs.settings;
    // The assembly checks below describe the frame cut, whose layout the plan predicts.
    s.CheckBoxExactCut = false;
    s.CheckBoxCleanup = k[0] & 1;
    s.CheckBoxKeepExtraInfo = k[0] & 2;
    s.CheckBoxRemoveLastFrame = k[0] & 4;
    s.CheckBoxKeepID3v2 = k[0] & 8;
    s.CheckBoxSmartCBR = k[0] & 16;
    s.CheckBoxAllowPatchedStreams = k[0] & 32;
    knobs.tagsKept = !(k[0] & 64);
    knobs.wav = k[0] & 128;
    knobs.trimBegin = k[1] & 15;
    knobs.trimEnd = k[1] >> 4;
    knobs.gain = (k[2] & 15) - 8;
    const int id3v1 = (k[2] >> 4) & 3;
    s.RadioButtonID3Remove = static_cast<std::uint8_t>(id3v1 == 3 ? kId3v1Keep : id3v1);
    if (id3v1 == 3) {
        // Every field rewritten from the options, the comment only where it is empty.
        s.CheckBoxID3UpdateTrackName = s.CheckBoxID3UpdateArtistName = 1;
        s.CheckBoxID3UpdateAlbumName = s.CheckBoxID3UpdateAlbumYear = 1;
        s.CheckBoxID3UpdateGenre = 1;
        s.CheckBoxID3UpdateCommentName = 2;
        s.EditID3Track = "A track name that is longer than thirty characters";
        s.EditID3Artist = "Artist";
        s.EditID3Album = "";
        s.EditID3Comment = "Comment";
        s.SpinEditID3Year = 1999;
        s.ComboBoxID3Genre = 17;
    }
    s.ComboBoxFadeDepth = k[2] >> 6;
    // Short silences only: a long one makes every run slow and finds nothing new.
    s.ComboBoxAddSilenceBeginning = k[3] & 7;
    s.ComboBoxAddSilenceEnd = (k[3] >> 3) & 7;
    s.CheckBoxNoExtraInfoInMPEG2 = k[3] & 64;
    s.CheckBoxCloseAfterSave = k[3] & 128;
    knobs.fadeIn = (k[4] & 15) * 32 / 15;
    knobs.fadeOut = (k[4] >> 4) * 32 / 15;
    s.CheckBoxSave_WithTime = false; // a renamed file has no place in the comparison
    s.CheckBoxPreserveDate = false;
    return knobs;
}

std::int64_t TrimFrames(int knob, std::int64_t frames) {
    return knob < 8 ? knob : frames * (knob - 7) / 8;
}

// Where the parts of an output lie, as the source and the knobs say.
struct Expected {
    std::int64_t id3v2 = 0;
    std::int64_t extraInfo = 0;
    std::int64_t firstFrame = 0; // the first audio frame, added silence included
    std::int64_t ape = 0, lyrics3 = 0;
    std::int64_t id3v1 = 0;
};

// The output as it must come out, assembled from the source's bytes. Gain and fades may change
// only the first kGainBytes of each frame. Of what the writer builds itself (the ID3v2 tag's
// length value, the extra-info frame, the ID3v1 tag) only the place is checked here.
Expected CheckAssembly(std::span<const std::uint8_t> out, std::span<const std::uint8_t> src,
                       const StreamInfo& info, const Knobs& knobs, const WriteParams& params,
                       bool framesChange) {
    const Settings& s = knobs.settings;
    Expected expected;
    std::int64_t at = 0;
    if (knobs.wav) {
        Check(std::memcmp(out.data(), "RIFF", 4) == 0);
        at = 58;
    } else if (s.CheckBoxKeepID3v2 && knobs.tagsKept && info.id3v2.tagSize > 0) {
        const std::int64_t size = info.id3v2.tagSize;
        // A tag with chapters is the writer's own: they move with the cut (their own tests
        // check how), and it keeps its size.
        const bool chapters = !info.id3v2.chapterTag.empty();
        Check(std::memcmp(out.data() + at, "ID3", 3) == 0);
        for (std::int64_t i = 0; i < size && !chapters; ++i) {
            const bool lengthValue = info.id3v2.tlenLength > 0 && i >= info.id3v2.tlenOffset &&
                                     i < info.id3v2.tlenOffset + info.id3v2.tlenLength;
            Check(lengthValue || out[at + i] == src[info.riffHeaderSize + i]);
        }
        at += size;
        expected.id3v2 = size;
    }
    if (WantExtraInfo(info, s))
        expected.extraInfo = ExtraInfoLength(info, s);
    at += expected.extraInfo;
    expected.firstFrame = at;
    const std::vector<std::uint8_t>& silent = info.SilentFrameTemplate.image;
    const auto silentLength = static_cast<std::int64_t>(silent.size());
    for (std::int64_t k = 0; k < params.silenceBeginFrames; ++k, at += silentLength)
        Check(Same(out.subspan(at, silent.size()), silent));
    for (std::int64_t i = 0; i < params.frameCount; ++i) {
        const std::int64_t index = params.startFrame + i;
        const FrameEntry& e = info.frames[index];
        const std::int64_t length = s.CheckBoxCleanup || i == params.frameCount - 1
                                        ? std::int64_t{e.length}
                                        : info.frames[index + 1].offset - e.offset;
        const std::int64_t from = framesChange ? std::min(length, kGainBytes) : 0;
        Check(Same(out.subspan(at + from, length - from),
                   src.subspan(e.offset + from, length - from)));
        at += length;
    }
    for (std::int64_t k = 0; k < params.silenceEndFrames; ++k, at += silentLength)
        Check(Same(out.subspan(at, silent.size()), silent));
    if (knobs.tagsKept) {
        struct Block {
            std::int64_t offset, size;
        } blocks[2] = {{info.apeOffset, info.apeSize}, {info.lyrics3Offset, info.lyrics3Size}};
        if (blocks[1].offset < blocks[0].offset)
            std::swap(blocks[0], blocks[1]);
        for (const Block& b : blocks) {
            if (b.size <= 0)
                continue;
            Check(Same(out.subspan(at, b.size), src.subspan(b.offset, b.size)));
            at += b.size;
        }
        expected.ape = info.apeSize;
        expected.lyrics3 = info.lyrics3Size;
    }
    expected.id3v1 = static_cast<std::int64_t>(out.size()) - at;
    Check(expected.id3v1 == 0 || expected.id3v1 == 128);
    if (expected.id3v1 == 128)
        Check(std::memcmp(out.data() + at, "TAG", 3) == 0);
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size <= kKnobBytes || size - kKnobBytes > kMaxFileBytes)
        return 0;
    const Knobs knobs = ReadKnobs(data);
    const Settings& settings = knobs.settings;
    const std::span file(data + kKnobBytes, size - kKnobBytes);

    static const MessageTable messages = MessageTable::English();
    NullProgress progress;
    const Scratch& scratch = TheScratch();
    struct ClearOnExit {
        const Scratch& scratch;
        ~ClearOnExit() { scratch.Clear(); }
    } clear{scratch};

    if (!WriteBytes(scratch.source, file))
        return 0;
    OpenResult opened;
    try {
        opened = OpenSourceFile(scratch.source, settings, messages, progress, {});
    } catch (const VelmoraError&) {
        return 0;
    }
    StreamInfo& info = opened.info;
    const std::int64_t n = info.frameCount;
    TrimPoints trim;
    trim.beginFrames = std::min(TrimFrames(knobs.trimBegin, n), n);
    trim.endFrames = std::min(TrimFrames(knobs.trimEnd, n), n - trim.beginFrames);
    const OutputPlanDisplay display = ComputeOutputPlan(
        info, trim, settings, {.tagsKept = TagsKept{knobs.tagsKept}, .outputIsWav = knobs.wav});
    Check(display.valid);
    const OutputPlan& plan = display.plan;
    const WriteContext context{settings, messages, knobs.wav, knobs.tagsKept};
    const bool layer3 = info.firstHeader.layerId == kLayer3;
    const bool framesChange =
        layer3 && (knobs.gain != 0 || knobs.fadeIn != 0 || knobs.fadeOut != 0);

    // A failed save is acceptable when it leaves the source as it was; a broken internal
    // invariant never is.
    auto failedCleanly = [&](const VelmoraError& e, const std::string& path) {
        Check(!IsAssertion(e));
        Check(Same(ReadBytes(path), file));
    };

    // To a file.
    WriteParams params = MakeSaveParams(scratch.source, scratch.output, info, trim, plan, settings,
                                        knobs.gain, knobs.fadeIn, knobs.fadeOut);
    WriteResult toFile;
    try {
        toFile = WriteOutput(params, info, context, progress);
    } catch (const VelmoraError& e) {
        failedCleanly(e, scratch.source);
        Check(!Exists(scratch.output));
        return 0;
    }
    const std::vector<std::uint8_t> out = ReadBytes(scratch.output);
    Check(Same(ReadBytes(scratch.source), file));
    Check(toFile.outputSize == plan.predictedSize);
    Check(static_cast<std::int64_t>(out.size()) == plan.predictedSize);
    Check(toFile.outputFrames == plan.outputFrames);
    const Expected expected = CheckAssembly(out, file, info, knobs, params, framesChange);

    // To a file again, its frames copied while the source was opened (where the forecast made
    // from the first frames puts them): the same bytes, whether the copy was used or not.
    {
        EarlyCopy::Forecast forecast;
        forecast.copyStep = 4096; // several steps even for small inputs
        forecast.startFrame = [&](const MpegHeader&) { return trim.beginFrames; };
        forecast.place = [&](const StreamInfo& f) {
            const OutputPlan fp =
                ComputeOutputPlan(f, trim, settings,
                                  {.tagsKept = TagsKept{knobs.tagsKept}, .outputIsWav = knobs.wav})
                    .plan;
            const WriteParams p = MakeSaveParams(scratch.source, scratch.early, f, trim, fp,
                                                 settings, knobs.gain, knobs.fadeIn, knobs.fadeOut);
            return PlaceEarlyCopy(p, f, context);
        };
        EarlyCopy early(scratch.source, scratch.early, forecast);
        OpenResult again;
        try {
            again =
                OpenSourceFile(scratch.source, settings, messages, progress, {}, nullptr, &early);
        } catch (const VelmoraError&) {
            Fail();
        }
        Check(again.info.frameCount == n);
        WriteParams earlyParams =
            MakeSaveParams(scratch.source, scratch.early, again.info, trim, plan, settings,
                           knobs.gain, knobs.fadeIn, knobs.fadeOut);
        earlyParams.earlyCopy = &early;
        try {
            WriteOutput(earlyParams, again.info, context, progress);
        } catch (const VelmoraError&) {
            Fail();
        }
        Check(Same(ReadBytes(scratch.early), out));
        Check(!early.Used() || !framesChange);
    }

    // To memory: the same bytes without the RIFF header and the ID3v2 tag. The extra-info frame
    // describes a file of another size then, so it is left out of the comparison.
    const std::int64_t head = (knobs.wav ? 58 : 0) + expected.id3v2;
    std::vector<std::uint8_t> memory(3, 0xAA);
    WriteParams toMemoryParams = params;
    toMemoryParams.outputPath.clear();
    toMemoryParams.memoryTarget = &memory;
    try {
        const WriteResult r = WriteOutput(toMemoryParams, info, context, progress);
        Check(r.value == static_cast<std::int64_t>(memory.size()));
        Check(r.outputSize == plan.predictedSize - head);
        Check(r.outputFrames == plan.outputFrames);
    } catch (const VelmoraError& e) {
        failedCleanly(e, scratch.source);
        return 0;
    }
    Check(static_cast<std::int64_t>(memory.size()) == plan.predictedSize - head);
    const std::span<const std::uint8_t> fileTail = std::span(out).subspan(head);
    const std::int64_t extra =
        head > 0 && WantExtraInfo(info, settings) ? ExtraInfoLength(info, settings) : 0;
    Check(Same(std::span(memory).subspan(extra), fileTail.subspan(extra)));

    // In place, on a fresh copy opened as the face opens it.
    if (!WriteBytes(scratch.copy, file))
        return 0;
    OpenResult reopened;
    try {
        reopened = OpenSourceFile(scratch.copy, settings, messages, progress, {});
    } catch (const VelmoraError&) {
        Fail(); // the same bytes opened a moment ago
    }
    StreamInfo& copyInfo = reopened.info;
    Check(copyInfo.frameCount == n && copyInfo.audioStart == info.audioStart);
    const WriteParams inPlaceParams = MakeSaveParams(
        scratch.copy, "", copyInfo, trim, plan, settings, knobs.gain, knobs.fadeIn, knobs.fadeOut);
    WriteResult inPlace;
    try {
        inPlace = WriteOutput(inPlaceParams, copyInfo, context, progress);
    } catch (const VelmoraError& e) {
        failedCleanly(e, scratch.copy);
        return 0;
    }
    const std::vector<std::uint8_t> saved = ReadBytes(scratch.copy);
    Check(inPlace.outputFrames == plan.outputFrames);
    if (inPlace.nothingToDo) {
        Check(Same(saved, file));
        // Nothing to do means the saved file would have been the source itself.
        Check(Same(out, file));
    } else {
        Check(inPlace.value == static_cast<std::int64_t>(saved.size()));
        Check(inPlace.outputSize == plan.predictedSize);
        Check(Same(saved, out));
    }

    // The output opens again and holds the frames the plan counts, where only frames were copied
    // (clean-up on) and no incomplete last frame stands before added silence, whose first bytes
    // it would take for its own.
    if (plan.outputFrames < kCountedFrames || !settings.CheckBoxCleanup ||
        (plan.keepIncompleteLast && plan.silenceEndFrames > 0))
        return 0;
    // A kept extra-info frame goes out as the open copied it: its identifier must stand where the
    // copy's header says, or the output would begin with a frame of another kind.
    const ExtraInfoFrameCopy& kept = info.ExtraInfoFrame;
    Check(!(info.extraInfoPresent && settings.CheckBoxKeepExtraInfo &&
            !HoldsIdentifier(kept.bytes, kept.header.sideInfoEnd)));
    // Smart CBR judges the output's bitrates afresh, and a trim can leave one bitrate dominant
    // that was not before: the frames of the others would then count as missing.
    Settings reopen = settings;
    reopen.CheckBoxSmartCBR = false;
    // Audio that merely looks like a tag's end, now that it stands at the file's end, is taken
    // for the tag. The frames it swallows can leave too few to open, or make the open look for
    // the stream further on, past the extra-info frame; the count says nothing then.
    const TrailingTags found = DetectTrailingTags(out);
    const bool tagsAsWritten = found.id3v1Size == expected.id3v1 &&
                               found.ape.size == expected.ape &&
                               found.lyrics3.size == expected.lyrics3;
    OpenResult again;
    try {
        again = OpenSourceFile(scratch.output, reopen, messages, progress, {});
    } catch (const VelmoraError&) {
        Check(!tagsAsWritten);
        return 0;
    }
    const StreamInfo& a = again.info;
    // What the writer put at the ends is found again.
    Check(a.riffHeaderSize == (knobs.wav ? 58 : 0));
    Check(a.id3v2.tagSize == expected.id3v2);
    Check(expected.id3v1 == 0 || a.id3v1Size == 128);
    Check(!tagsAsWritten || expected.extraInfo == 0 || a.extraInfoPresent);
    // Audio that looks like an extra-info frame, now that it stands first, is taken for one.
    if (!tagsAsWritten || a.extraInfoPresent != (expected.extraInfo > 0))
        return 0;
    Check(a.frameCount == plan.outputFrames);
    Check(a.frames[0].offset == expected.firstFrame);

    // A model brought up to date by the in-place save describes the saved file (the same bytes
    // as the output) as a fresh open does.
    if (inPlace.windowAction == WindowAction::RefreshOpenFile) {
        Check(copyInfo.frameCount == a.frameCount);
        for (std::int64_t i = 0; i < a.frameCount; ++i)
            Check(copyInfo.frames[i].offset == a.frames[i].offset &&
                  copyInfo.frames[i].length == a.frames[i].length);
        Check(copyInfo.sourceSize == a.sourceSize && copyInfo.audioStart == a.audioStart);
        Check(copyInfo.id3v2.tagSize == a.id3v2.tagSize && copyInfo.id3v1Size == a.id3v1Size);
        Check(copyInfo.apeOffset == a.apeOffset && copyInfo.apeSize == a.apeSize);
        Check(copyInfo.lyrics3Offset == a.lyrics3Offset && copyInfo.lyrics3Size == a.lyrics3Size);
        Check(copyInfo.extraInfoPresent == a.extraInfoPresent);
    }
    return 0;
}
