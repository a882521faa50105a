// The in-place target: frames are moved inside one read/write view of the source file.

#include "Progress.h"
#include "UnitDescriptor.h"
#include "UnitIo.h"
#include "UnitMP3.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitSaveJournal.h"
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

// When the output is longer its space is reserved before any byte moves: a write into a mapped
// extension that the disk cannot hold would kill the process with the file half moved. A failed
// reservation leaves the file as it was, so its journal record goes too.
void GrowSource(FileView& view, std::int64_t size, InPlaceSaveRecord& record) {
    if (size > view.size()) {
        if (const int error = view.Grow(size); error != 0) {
            record.Finished();
            throw IoError(error);
        }
    }
}

// Changes frames that stay where they are through a small buffer: read a piece, change its
// frames, write it back. Writing every page of a shared mapping costs several times more (each
// page faults to become writable and dirty).
class PiecePatcher {
public:
    PiecePatcher(int fd, const std::string& path) : m_fd(fd), m_path(path), m_buffer(kPiece) {}
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
        if (m_length == 0)
            return;
        // A write past the end would grow a file that another program has cut meanwhile.
        if (IdentityOf(m_fd).size < m_start + m_length)
            ThrowSourceShrunk(m_path);
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
            ThrowSourceShrunk(m_path);
    }

    int m_fd;
    const std::string& m_path;
    std::vector<std::uint8_t> m_buffer;
    std::int64_t m_start = 0;
    std::int64_t m_length = 0;
};

// One in-place save over the read/write view of the source, in the order its steps must run.
class InPlaceRun {
public:
    InPlaceRun(const WriteParams& params, const StreamInfo& info, const Layout& layout,
               FileView& view)
        : m_params(params), m_info(info), m_layout(layout), m_view(view), m_data(view.data()),
          m_silent(info.SilentFrameTemplate.image),
          m_fading(layout.fades.fadeInIndex != 0 || layout.fades.fadeOutIndex != 0),
          m_changesFrames(layout.gainSteps != 0 || m_fading),
          m_framesStay(FramesStay(params, info, layout)) {
        // Frames that stay where they are get their gain through a piece buffer, not the mapping.
        if (m_changesFrames && m_framesStay)
            m_patcher.emplace(view.fd(), params.sourcePath);
    }

    // When every page of the frames will be written through the mapping (frames that all
    // shift), asking for the range writable at once costs far less than one write fault per
    // page; a failure only means the faults come one by one.
    void PrepareWritablePages() {
        if (m_layout.framesBytes <= 0 || m_patcher ||
            (m_layout.gainSteps == 0 &&
             m_info.frames[m_params.startFrame].offset == m_layout.framesStart))
            return;
        const std::int64_t page = ::sysconf(_SC_PAGESIZE);
        const std::int64_t from = m_layout.framesStart / page * page;
        IgnoreFailure(::madvise(m_data + from, static_cast<std::size_t>(m_layout.size - from),
                                MADV_POPULATE_WRITE));
    }

    // Everything that goes further towards the end moves first, last piece first, so that
    // nothing is overwritten before it has moved. Returns where the frames start.
    std::int64_t MoveBackward() {
        std::int64_t pos = m_layout.size - m_layout.id3v1Out;
        for (auto block = m_layout.blocks.rbegin(); block != m_layout.blocks.rend(); ++block) {
            pos -= block->size;
            VELMORA_ASSERT(pos == block->outputOffset, "UnitWriter");
            if (block->sourceOffset < pos)
                Move(pos, block->sourceOffset, block->size);
        }
        pos -= m_params.silenceEndFrames * m_layout.silentLength;
        if (m_framesStay)
            pos -= m_layout.framesBytes;
        for (std::int64_t i = m_framesStay ? -1 : m_params.frameCount - 1; i >= 0; --i) {
            const std::int64_t length = CopyLength(m_params, m_info, i);
            pos -= length;
            const std::int64_t offset = m_info.frames[m_params.startFrame + i].offset;
            if (offset < pos)
                Move(pos, offset, length);
        }
        return pos;
    }

    // The RIFF header or the ID3v2 tag, the extra-info frame and the added silence, built at the
    // start of the view; returns where they end.
    std::int64_t BuildHead(bool outputIsWav) {
        const MpegHeader& first = m_info.firstHeader;
        std::int64_t h = m_layout.riffLength;
        if (outputIsWav) {
            const RiffHeader riff = BuildRiffHeader(
                first.channelMode != kMono, first.sampleRate,
                FramesToMilliseconds(first, m_layout.headerFrames), m_layout.headerFrames,
                m_layout.size - static_cast<std::int64_t>(RiffHeader::kSize));
            std::memcpy(m_data, riff.bytes.data(), riff.bytes.size());
        } else if (!m_layout.id3v2Image.empty()) {
            const std::vector<std::uint8_t> tag = KeptTagWithLength(m_layout);
            std::memcpy(m_data, tag.data(), tag.size());
            h += m_layout.id3v2Out;
        } else if (m_layout.id3v2Out > 0) {
            Move(0, m_layout.id3v2Source, m_layout.id3v2Out);
            RewriteTrackLength({m_data, static_cast<std::size_t>(m_layout.id3v2Out)}, m_info,
                               m_layout.tlenMilliseconds);
            h += m_layout.id3v2Out;
        }
        if (m_layout.writeExtraInfo) {
            std::memcpy(m_data + h, m_layout.extraInfo.bytes.data(),
                        m_layout.extraInfo.bytes.size());
            h += static_cast<std::int64_t>(m_layout.extraInfo.bytes.size());
        }
        const std::vector<std::uint8_t>& carrier = m_params.reservoirFrame;
        std::copy(carrier.begin(), carrier.end(), m_data + h);
        h += static_cast<std::int64_t>(carrier.size());
        for (std::int64_t k = 0; k < m_params.silenceBeginFrames; ++k, h += m_layout.silentLength)
            PutSilentFrame(h);
        return h;
    }

    // Frames that go towards the start move now, and every frame gets its gain here. Returns
    // where the frames end.
    std::int64_t MoveForward(std::int64_t pos, InPlaceOutcome& outcome, bool updateModelAfter,
                             WriteProgress& meter, IProgress& progress) {
        if (updateModelAfter)
            outcome.frames.Resize(m_params.frameCount + 2);
        // Frames that neither move nor change need no visit (a cut at the end, new tags).
        const std::int64_t visited =
            m_framesStay && !m_changesFrames && !updateModelAfter ? 0 : m_params.frameCount;
        if (visited == 0)
            pos += m_layout.framesBytes;
        for (std::int64_t i = 0; i < visited; ++i) {
            const std::int64_t index = m_params.startFrame + i;
            const FrameEntry& entry = m_info.frames[index];
            const std::int64_t length = CopyLength(m_params, m_info, i);
            if (entry.offset > pos)
                Move(pos, entry.offset, length);
            ChangeGain(pos, i, entry, length);
            if (updateModelAfter) {
                outcome.frames[i] = entry;
                outcome.frames[i].offset = pos;
            }
            pos += length;
            meter.Show(i);
            CheckPoint(progress, i, 1024);
            if (i % 1024 == 0)
                ThrowIfShrunk();
        }
        if (updateModelAfter)
            outcome.frames[m_params.frameCount].offset = pos;
        if (m_patcher)
            m_patcher->Flush();
        return pos;
    }

    // The added silence and the tail blocks, in the order the blocks stood in the source, and
    // the ID3v1 tag; returns the output's end.
    std::int64_t BuildTail(std::int64_t pos) {
        for (std::int64_t k = 0; k < m_params.silenceEndFrames; ++k, pos += m_layout.silentLength)
            PutSilentFrame(pos);
        for (const TailBlock& block : m_layout.blocks) {
            if (block.sourceOffset > pos)
                Move(pos, block.sourceOffset, block.size);
            pos += block.size;
        }
        if (m_layout.id3v1Out > 0) {
            std::memcpy(m_data + pos, m_layout.id3v1.bytes.data(),
                        static_cast<std::size_t>(m_layout.id3v1Out));
            pos += m_layout.id3v1Out;
        }
        return pos;
    }

    // Pages past the end of a file that another program has cut read as zeros; the move stops
    // at the next check rather than spreading them further.
    void ThrowIfShrunk() const {
        if (m_view.Shrunk())
            ThrowSourceShrunk(m_params.sourcePath);
    }

private:
    void Move(std::int64_t to, std::int64_t from, std::int64_t n) {
        std::memmove(m_data + to, m_data + from, static_cast<std::size_t>(n));
    }
    void PutSilentFrame(std::int64_t at) {
        std::memcpy(m_data + at, m_silent.data(), static_cast<std::size_t>(m_layout.silentLength));
    }
    void ChangeGain(std::int64_t pos, std::int64_t i, const FrameEntry& entry,
                    std::int64_t length) {
        const int delta =
            (m_fading ? FadeOffset(m_layout.fades, m_info.firstHeader, i) : 0) + m_layout.gainSteps;
        if (delta == 0)
            return;
        const std::int64_t index = m_params.startFrame + i;
        const std::int64_t own = std::min<std::int64_t>(entry.length, length);
        ApplyFrameDelta(m_patcher ? m_patcher->Bytes(pos, own) : m_data + pos, own, delta,
                        index < m_info.frameCount ? std::optional(entry.computedCrc)
                                                  : std::nullopt);
    }

    const WriteParams& m_params;
    const StreamInfo& m_info;
    const Layout& m_layout;
    const FileView& m_view;
    std::uint8_t* m_data;
    const std::vector<std::uint8_t>& m_silent;
    const bool m_fading;
    const bool m_changesFrames;
    const bool m_framesStay;
    std::optional<PiecePatcher> m_patcher;
};

// The file cut to its new length, unmapped, and given back its date when the user asks for it.
void FinishInPlace(const std::string& path, const StreamInfo& info, FileView& view,
                   std::int64_t size, const Settings& settings, InPlaceOutcome& outcome,
                   InPlaceSaveRecord& record) {
    // Cutting a file that another program has cut shorter still would grow it again.
    if (view.Cut())
        ThrowSourceShrunk(path);
    if (::ftruncate(view.fd(), size) != 0)
        throw IoError(errno);
    // Every byte is in place (the kernel holds what the disk has yet to get): the file is whole.
    record.Finished();
    // Unmapping leaves the changed pages to the kernel's write-back, as for any written file;
    // waiting for the disk here (msync MS_SYNC) would cost more than the whole save and make an
    // in-place move no safer, since it cannot be undone half-way anyway. The times are set after
    // the last write through the mapping, which would stamp them again.
    view.Unmap();
    if (settings.CheckBoxPreserveDate) {
        FileIdentity times = info.sourceIdentity;
        times.modifiedNs = info.sourceTimeNs;
        times.accessedNs = info.sourceTimeNs;
        if (!PutTimesBack(view.fd(), times))
            throw VelmoraError(std::strerror(errno));
    }
    outcome.identity = IdentityOf(view.fd());
    outcome.size = size;
    view.Close();
}

} // namespace

InPlaceOutcome WriteInPlace(const WriteParams& params, const StreamInfo& info, Layout& layout,
                            const WriteContext& context, IProgress& progress,
                            bool updateModelAfter) {
    const std::string& path = params.sourcePath;
    FileView view = OpenFileView(path, FileAccess::ReadWrite, context.messages);
    // The file must still be the one that was analysed, now that nobody else may write it.
    CheckSourceUnchanged(path, view.identity(), info);
    InPlaceSaveRecord record(path, view.identity());
    GrowSource(view, layout.size, record);

    InPlaceRun run(params, info, layout, view);
    run.PrepareWritablePages();
    const std::int64_t framesStart = run.MoveBackward();
    const std::int64_t headEnd = run.BuildHead(context.outputIsWav);
    VELMORA_ASSERT(headEnd == framesStart && framesStart == layout.framesStart, "UnitWriter");

    InPlaceOutcome outcome;
    WriteProgress meter(progress, params.frameCount, params.showProgress);
    const std::int64_t framesEnd =
        run.MoveForward(framesStart, outcome, updateModelAfter, meter, progress);
    const std::int64_t end = run.BuildTail(framesEnd);
    VELMORA_ASSERT(end == layout.size, "UnitWriter");
    meter.Show(params.frameCount);
    run.ThrowIfShrunk();
    if (updateModelAfter && layout.id3v2Out > 0)
        outcome.id3v2.Read({view.data(), static_cast<std::size_t>(layout.id3v2Out)});
    FinishInPlace(path, info, view, end, context.settings, outcome, record);
    return outcome;
}

} // namespace velmora::writer
