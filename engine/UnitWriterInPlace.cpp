// The in-place target: frames are moved inside one read/write view of the source file.

#include "Progress.h"
#include "UnitDescriptor.h"
#include "UnitIo.h"
#include "UnitMP3.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitWriterParts.h"
#include "Unit_MP3_RIFF.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora::writer {

namespace {

std::int64_t TimeNs(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

VelmoraError AccessDenied(int error, const MessageTable& messages) {
    const std::string text = kMsgAccessDenied < static_cast<int>(messages.MessageStrings.size())
                                 ? messages.MessageStrings[kMsgAccessDenied]
                                 : std::string("Access to file is denied (read only?)");
    return VelmoraError(std::string(std::strerror(error)) + " - " + text);
}

// Gives a grown file its old size back unless the save got as far as moving data.
class GrowthUndo {
public:
    GrowthUndo(std::string path, std::int64_t oldSize, bool grown)
        : m_path(std::move(path)), m_oldSize(oldSize), m_active(grown) {}
    ~GrowthUndo() {
        if (!m_active)
            return;
        // Best effort on the way out of a failure that is being reported already.
        const Descriptor fd(::open(m_path.c_str(), O_WRONLY | O_CLOEXEC));
        if (fd.get() >= 0)
            IgnoreFailure(::ftruncate(fd.get(), m_oldSize));
    }
    GrowthUndo(const GrowthUndo&) = delete;
    GrowthUndo& operator=(const GrowthUndo&) = delete;
    void Release() { m_active = false; }

private:
    std::string m_path;
    std::int64_t m_oldSize;
    bool m_active;
};

// Checks that the file is still the analysed one and, when the output is longer, reserves the
// space before any byte moves: a write into a mapped extension that the disk cannot hold would
// kill the process with the file half moved. Returns whether the file grew.
bool CheckAndGrowSource(const std::string& path, const StreamInfo& info, std::int64_t size,
                        const MessageTable& messages) {
    const Descriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        throw AccessDenied(errno, messages);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw AccessDenied(errno, messages);
    if (!S_ISREG(st.st_mode))
        throw AccessDenied(EINVAL, messages);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        throw AccessDenied(errno, messages);
    CheckSourceUnchanged(path, st.st_size, TimeNs(st), info);
    if (size <= st.st_size)
        return false;
    const int error = ::posix_fallocate(fd.get(), st.st_size, size - st.st_size);
    if (error != 0) {
        // A failed reservation can still have grown the file; the reservation's error is the
        // one to report.
        IgnoreFailure(::ftruncate(fd.get(), st.st_size));
        throw IoError(error);
    }
    return true;
}

// Changes frames that stay where they are through a small buffer: read a piece, change its
// frames, write it back. Writing every page of a shared mapping costs several times more (each
// page faults to become writable and dirty).
class PiecePatcher {
public:
    explicit PiecePatcher(int fd) : m_fd(fd), m_buffer(kPiece) {}
    ~PiecePatcher() = default;
    PiecePatcher(const PiecePatcher&) = delete;
    PiecePatcher& operator=(const PiecePatcher&) = delete;

    // The `n` bytes at file offset `pos`, to change in place; valid until the next call.
    std::uint8_t* Bytes(std::int64_t pos, std::int64_t n) {
        if (pos < m_start || pos + n > m_start + m_length) {
            Flush();
            Load(pos, n);
        }
        return m_buffer.data() + (pos - m_start);
    }
    void Flush() {
        if (const IoResult r = PwriteFully(m_fd, m_buffer.data(), m_length, m_start); r.error != 0)
            throw IoError(r.error);
        m_length = 0;
    }

private:
    static constexpr std::int64_t kPiece = 128 * 1024;

    void Load(std::int64_t pos, std::int64_t n) {
        VELMORA_ASSERT(n <= kPiece, "UnitWriter");
        m_start = pos;
        const IoResult r = PreadFully(m_fd, m_buffer.data(), kPiece, m_start);
        if (r.error != 0)
            throw IoError(r.error);
        m_length = r.bytes;
        if (m_length < n) // the file is shorter than its model says
            throw IoError(EIO);
    }

    int m_fd;
    std::vector<std::uint8_t> m_buffer;
    std::int64_t m_start = 0;
    std::int64_t m_length = 0;
};

} // namespace

InPlaceOutcome WriteInPlace(const WriteParams& params, const StreamInfo& info, Layout& layout,
                            const WriteContext& context, IProgress& progress,
                            bool updateModelAfter) {
    const std::string& path = params.sourcePath;
    const bool grown = CheckAndGrowSource(path, info, layout.size, context.messages);
    GrowthUndo undo(path, info.sourceSize, grown);
    FileView view = OpenFileView(path, FileAccess::ReadWrite, context.messages);
    if (view.size() != std::max(info.sourceSize, layout.size))
        ThrowSourceChanged(path);
    undo.Release();

    std::uint8_t* data = view.data();
    const MpegHeader& first = info.firstHeader;
    const std::vector<std::uint8_t>& silent = info.SilentFrameTemplate.image;
    auto move = [&](std::int64_t to, std::int64_t from, std::int64_t n) {
        std::memmove(data + to, data + from, static_cast<std::size_t>(n));
    };

    const bool fading = layout.fades.fadeInIndex != 0 || layout.fades.fadeOutIndex != 0;
    // Frames that stay where they are get their gain through a piece buffer, not the mapping.
    const bool changesFrames = layout.gainSteps != 0 || fading;
    const bool framesStay = FramesStay(params, info, layout);
    std::optional<PiecePatcher> patcher;
    if (changesFrames && framesStay)
        patcher.emplace(view.fd());

    // When every page of the frames will be written through the mapping (frames that all shift),
    // asking for the range writable at once costs far less than one write fault per page; a
    // failure only means the faults come one by one.
    if (layout.framesBytes > 0 && !patcher &&
        (layout.gainSteps != 0 || info.frames[params.startFrame].offset != layout.framesStart)) {
        const std::int64_t page = ::sysconf(_SC_PAGESIZE);
        const std::int64_t from = layout.framesStart / page * page;
        (void)::madvise(data + from, static_cast<std::size_t>(layout.size - from),
                        MADV_POPULATE_WRITE);
    }

    // Backward pass: everything that goes further towards the end moves first, last piece first,
    // so that nothing is overwritten before it has moved.
    std::int64_t pos = layout.size - layout.id3v1Out;
    for (auto block = layout.blocks.rbegin(); block != layout.blocks.rend(); ++block) {
        pos -= block->size;
        VELMORA_ASSERT(pos == block->outputOffset, "UnitWriter");
        if (block->sourceOffset < pos)
            move(pos, block->sourceOffset, block->size);
    }
    pos -= params.silenceEndFrames * layout.silentLength;
    if (framesStay)
        pos -= layout.framesBytes;
    for (std::int64_t i = framesStay ? -1 : params.frameCount - 1; i >= 0; --i) {
        const std::int64_t length = CopyLength(params, info, i);
        pos -= length;
        const std::int64_t offset = info.frames[params.startFrame + i].offset;
        if (offset < pos)
            move(pos, offset, length);
    }

    // The head, built at the start of the view.
    std::int64_t h = layout.riffLength;
    if (context.outputIsWav) {
        const RiffHeader riff =
            BuildRiffHeader(first.channelMode != kMono, first.sampleRate,
                            FramesToMilliseconds(first, layout.headerFrames), layout.headerFrames,
                            layout.size - static_cast<std::int64_t>(RiffHeader::kSize));
        std::memcpy(data, riff.bytes.data(), riff.bytes.size());
    } else if (layout.id3v2Out > 0) {
        move(0, layout.id3v2Source, layout.id3v2Out);
        RewriteTrackLength({data, static_cast<std::size_t>(layout.id3v2Out)}, info,
                           layout.tlenMilliseconds);
        h += layout.id3v2Out;
    }
    if (layout.writeExtraInfo) {
        std::memcpy(data + h, layout.extraInfo.bytes.data(), layout.extraInfo.bytes.size());
        h += static_cast<std::int64_t>(layout.extraInfo.bytes.size());
    }
    for (std::int64_t k = 0; k < params.silenceBeginFrames; ++k, h += layout.silentLength)
        std::memcpy(data + h, silent.data(), static_cast<std::size_t>(layout.silentLength));
    VELMORA_ASSERT(h == pos && pos == layout.framesStart, "UnitWriter");

    // Forward pass: frames that go towards the start move now; every frame gets its gain here.
    InPlaceOutcome outcome;
    if (updateModelAfter)
        outcome.frames.Resize(params.frameCount + 2);
    WriteProgress meter(progress, params.frameCount, params.showProgress);
    // Frames that neither move nor change need no visit (a cut at the end, new tags).
    const std::int64_t visited =
        framesStay && !changesFrames && !updateModelAfter ? 0 : params.frameCount;
    if (visited == 0)
        pos += layout.framesBytes;
    for (std::int64_t i = 0; i < visited; ++i) {
        const std::int64_t index = params.startFrame + i;
        const FrameEntry& entry = info.frames[index];
        const std::int64_t length = CopyLength(params, info, i);
        if (entry.offset > pos)
            move(pos, entry.offset, length);
        const int delta = (fading ? FadeOffset(layout.fades, first, i) : 0) + layout.gainSteps;
        if (delta != 0) {
            const std::int64_t own = std::min<std::int64_t>(entry.length, length);
            ApplyFrameDelta(patcher ? patcher->Bytes(pos, own) : data + pos, own, delta,
                            index < info.frameCount ? std::optional(entry.computedCrc)
                                                    : std::nullopt);
        }
        if (updateModelAfter) {
            outcome.frames[i] = entry;
            outcome.frames[i].offset = pos;
        }
        pos += length;
        meter.Show(i);
        CheckPoint(progress, i, 1024);
    }
    if (updateModelAfter)
        outcome.frames[params.frameCount].offset = pos;
    if (patcher)
        patcher->Flush();

    // Tail, in the order the blocks stood in the source.
    for (std::int64_t k = 0; k < params.silenceEndFrames; ++k, pos += layout.silentLength)
        std::memcpy(data + pos, silent.data(), static_cast<std::size_t>(layout.silentLength));
    for (const TailBlock& block : layout.blocks) {
        if (block.sourceOffset > pos)
            move(pos, block.sourceOffset, block.size);
        pos += block.size;
    }
    if (layout.id3v1Out > 0) {
        std::memcpy(data + pos, layout.id3v1.bytes.data(),
                    static_cast<std::size_t>(layout.id3v1Out));
        pos += layout.id3v1Out;
    }
    VELMORA_ASSERT(pos == layout.size, "UnitWriter");
    meter.Show(params.frameCount);
    if (updateModelAfter && layout.id3v2Out > 0)
        outcome.id3v2.Read({data, static_cast<std::size_t>(layout.id3v2Out)});

    // Finish: flush, cut the file to its new length, give it back its date.
    if (::ftruncate(view.fd(), pos) != 0)
        throw IoError(errno);
    // Unmapping leaves the changed pages to the kernel's write-back, as for any written file;
    // waiting for the disk here (msync MS_SYNC) would cost more than the whole save and make an
    // in-place move no safer, since it cannot be undone half-way anyway.
    view.Close();
    if (context.settings.CheckBoxPreserveDate) {
        const timespec time{static_cast<time_t>(info.sourceTimeNs / 1000000000),
                            static_cast<long>(info.sourceTimeNs % 1000000000)};
        const timespec times[2] = {time, time};
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
            throw VelmoraError(std::strerror(errno));
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        outcome.newTimeNs = TimeNs(st);
    outcome.size = pos;
    return outcome;
}

} // namespace velmora::writer
