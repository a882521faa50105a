// The stream targets: a new file (written beside the target and renamed over it) or a buffer.

#include "Progress.h"
#include "UnitIo.h"
#include "UnitMP3.h"
#include "UnitWriterParts.h"
#include "Unit_MP3_RIFF.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace velmora::writer {

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;
constexpr std::int64_t kDirectWrite = std::int64_t{1} << 16;
constexpr std::size_t kWorkBufferSize = 65536;

// Collects the output. Runs of the view that follow each other go out in one write straight from
// the mapping; small and changed pieces are gathered in a buffer first.
class StreamSink {
public:
    // `view` and `viewFd`: the source mapping and its descriptor, for copies made in the kernel.
    StreamSink(std::vector<std::uint8_t>* memory, int fd, const FileView& view,
               const std::string& sourcePath)
        : m_memory(memory), m_fd(fd), m_view(view.data()), m_viewFd(view.fd()),
          m_sourcePath(sourcePath) {
        if (!m_memory)
            m_buffer.reserve(kBufferSize);
    }

    // Bytes that may change after the call.
    void Put(const std::uint8_t* p, std::int64_t n) {
        FlushPending();
        Append(p, n);
    }
    // Bytes of the view, valid until Finish.
    void PutView(const std::uint8_t* p, std::int64_t n) {
        if (n <= 0)
            return;
        if (m_pending && m_pending + m_pendingLength == p) {
            m_pendingLength += n;
            return;
        }
        FlushPending();
        m_pending = p;
        m_pendingLength = n;
    }
    void Finish() {
        FlushPending();
        FlushBuffer();
    }
    std::int64_t written() const { return m_written; }

private:
    void Append(const std::uint8_t* p, std::int64_t n) {
        m_written += n;
        if (m_memory) {
            m_memory->insert(m_memory->end(), p, p + n);
            return;
        }
        if (m_buffer.size() + static_cast<std::size_t>(n) > kBufferSize)
            FlushBuffer();
        if (static_cast<std::size_t>(n) > kBufferSize) {
            Write(p, n);
            return;
        }
        m_buffer.insert(m_buffer.end(), p, p + n);
    }
    void FlushPending() {
        if (!m_pending)
            return;
        const std::uint8_t* p = std::exchange(m_pending, nullptr);
        const std::int64_t n = std::exchange(m_pendingLength, 0);
        if (m_memory || n < kDirectWrite) {
            Append(p, n);
            return;
        }
        FlushBuffer();
        CopyFromView(p, n);
        m_written += n;
    }
    // Long runs are copied file to file by the kernel, as cp does, without touching the mapping.
    void CopyFromView(const std::uint8_t* p, std::int64_t n) {
        if (m_kernelCopy) {
            const IoResult r = CopyRangeInKernel(m_viewFd, p - m_view, m_fd, m_fileEnd, n);
            p += r.bytes;
            n -= r.bytes;
            m_fileEnd += r.bytes;
            if (r.error != 0 && !KernelCopyRefused(r.error))
                throw IoError(r.error);
            m_kernelCopy = r.error == 0;
            if (m_kernelCopy && n > 0) // another program cut the source
                ThrowSourceShrunk(m_sourcePath);
        }
        Write(p, n);
    }
    void Write(const std::uint8_t* p, std::int64_t n) {
        PWriteAll(m_fd, p, n, m_fileEnd);
        m_fileEnd += n;
    }
    void FlushBuffer() {
        if (m_memory || m_buffer.empty())
            return;
        Write(m_buffer.data(), static_cast<std::int64_t>(m_buffer.size()));
        m_buffer.clear();
    }

    std::vector<std::uint8_t>* m_memory;
    int m_fd;
    const std::uint8_t* m_view;
    int m_viewFd;
    const std::string& m_sourcePath;
    bool m_kernelCopy = true;
    std::vector<std::uint8_t> m_buffer;
    const std::uint8_t* m_pending = nullptr;
    std::int64_t m_pendingLength = 0;
    std::int64_t m_written = 0;
    loff_t m_fileEnd = 0; // bytes in the file so far
};

} // namespace

std::unique_ptr<AtomicFileWriter> NewOutputFile(const std::string& outputPath) {
    return std::make_unique<AtomicFileWriter>(outputPath,
                                              AtomicFileOptions{0666, DataSync::WhenReplacing},
                                              [outputPath](int error, AtomicFileStep) {
                                                  return IoError(error, "\"" + outputPath + "\"");
                                              });
}

void ReserveNewFileSpace(int fd, std::int64_t size) {
    // The system call, not posix_fallocate: where it is not supported, the library would write
    // the whole file with zeros first.
    if (size > 0 && ::fallocate(fd, 0, 0, static_cast<off_t>(size)) != 0 &&
        (errno == ENOSPC || errno == EFBIG || errno == EDQUOT))
        throw IoError(errno);
}

void PWriteAll(int fd, const std::uint8_t* p, std::int64_t n, std::int64_t offset) {
    if (const IoResult r = PwriteFully(fd, p, n, offset); r.error != 0)
        throw IoError(r.error);
}

namespace {

// The RIFF header or ID3v2 tag, the extra-info frame and the added silence.
void PutHead(StreamSink& sink, const WriteParams& params, const StreamInfo& info,
             const Layout& layout, const WriteContext& context, const FileView& view) {
    const MpegHeader& first = info.firstHeader;
    const bool file = layout.target == OutputTarget::ToFile;
    if (file && context.outputIsWav) {
        const RiffHeader riff =
            BuildRiffHeader(first.channelMode != kMono, first.sampleRate,
                            FramesToMilliseconds(first, layout.headerFrames), layout.headerFrames,
                            layout.size - static_cast<std::int64_t>(RiffHeader::kSize));
        sink.Put(riff.bytes.data(), static_cast<std::int64_t>(riff.bytes.size()));
    } else if (file && layout.id3v2Out > 0) {
        // A given tag need not fit in the source.
        const std::vector<std::uint8_t> tag =
            !layout.id3v2Image.empty()
                ? KeptTagWithLength(layout)
                : OutputId3v2(view.bytes().subspan(static_cast<std::size_t>(layout.id3v2Source),
                                                   static_cast<std::size_t>(layout.id3v2Out)),
                              layout, info);
        sink.Put(tag.data(), static_cast<std::int64_t>(tag.size()));
    }
    if (layout.writeExtraInfo)
        sink.Put(layout.extraInfo.bytes.data(),
                 static_cast<std::int64_t>(layout.extraInfo.bytes.size()));
    sink.Put(params.reservoirFrame.data(), static_cast<std::int64_t>(params.reservoirFrame.size()));
    const std::vector<std::uint8_t>& silent = info.SilentFrameTemplate.image;
    for (std::int64_t k = 0; k < params.silenceBeginFrames; ++k)
        sink.Put(silent.data(), layout.silentLength);
}

// The added silence, the APE and Lyrics3 blocks and the ID3v1 tag.
void PutTail(StreamSink& sink, const WriteParams& params, const StreamInfo& info,
             const Layout& layout, const std::uint8_t* data) {
    const std::vector<std::uint8_t>& silent = info.SilentFrameTemplate.image;
    for (std::int64_t k = 0; k < params.silenceEndFrames; ++k)
        sink.Put(silent.data(), layout.silentLength);
    for (const TailBlock& block : layout.blocks)
        sink.PutView(data + block.sourceOffset, block.size);
    if (layout.id3v1Out > 0)
        sink.Put(layout.id3v1.bytes.data(), layout.id3v1Out);
}

// The new file the early copy began, when it holds exactly the frames this run copies: they
// follow each other in the source (no bytes between them dropped) and none of them changes.
std::unique_ptr<AtomicFileWriter> TakeEarlyCopy(const WriteParams& params, const StreamInfo& info,
                                                const Layout& layout) {
    if (!params.earlyCopy || layout.target != OutputTarget::ToFile)
        return nullptr;
    const bool unchanged =
        layout.gainSteps == 0 && layout.fades.fadeInIndex == 0 && layout.fades.fadeOutIndex == 0;
    std::int64_t first = -1;
    if (unchanged && params.frameCount > 0) {
        const std::int64_t last = params.frameCount - 1;
        first = info.frames[params.startFrame].offset;
        const std::int64_t end =
            info.frames[params.startFrame + last].offset + CopyLength(params, info, last);
        if (end - first != layout.framesBytes)
            first = -1;
    }
    return params.earlyCopy->Take(first, layout.framesBytes, layout.framesStart);
}

// Completes a file whose frames are in place already: the head before them, the tail after.
void FinishEarlyCopy(AtomicFileWriter& file, const WriteParams& params, const StreamInfo& info,
                     const Layout& layout, const WriteContext& context, const FileView& view) {
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> tail;
    {
        StreamSink sink(&head, -1, view, params.sourcePath);
        PutHead(sink, params, info, layout, context, view);
        sink.Finish();
        StreamSink tailSink(&tail, -1, view, params.sourcePath);
        PutTail(tailSink, params, info, layout, view.data());
        tailSink.Finish();
    }
    VELMORA_ASSERT(static_cast<std::int64_t>(head.size()) == layout.framesStart &&
                       layout.framesStart + layout.framesBytes +
                               static_cast<std::int64_t>(tail.size()) ==
                           layout.size,
                   "UnitWriter");
    PWriteAll(file.fd(), head.data(), static_cast<std::int64_t>(head.size()), 0);
    PWriteAll(file.fd(), tail.data(), static_cast<std::int64_t>(tail.size()),
              layout.framesStart + layout.framesBytes);
    // The copy ran on past the last kept frame.
    if (::ftruncate(file.fd(), static_cast<off_t>(layout.size)) != 0)
        throw IoError(errno);
}

} // namespace

void PWriteTwo(int fd, const std::uint8_t* p1, std::int64_t n1, const std::uint8_t* p2,
               std::int64_t n2, std::int64_t offset) {
    while (n1 > 0) {
        iovec parts[2] = {{const_cast<std::uint8_t*>(p1), static_cast<std::size_t>(n1)},
                          {const_cast<std::uint8_t*>(p2), static_cast<std::size_t>(n2)}};
        const ssize_t done = ::pwritev(fd, parts, n2 > 0 ? 2 : 1, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            throw IoError(done < 0 ? errno : ENOSPC);
        offset += done;
        const std::int64_t first = std::min<std::int64_t>(done, n1);
        p1 += first;
        n1 -= first;
        p2 += done - first;
        n2 -= done - first;
    }
    PWriteAll(fd, p2, n2, offset);
}

std::int64_t WriteStream(const WriteParams& params, const StreamInfo& info, Layout& layout,
                         const WriteContext& context, IProgress& progress) {
    const FileView view = OpenFileView(params.sourcePath, FileAccess::ReadOnly, context.messages);
    CheckSourceUnchanged(params.sourcePath, view.identity(), info);
    const std::uint8_t* data = view.data();
    const MpegHeader& first = info.firstHeader;
    WriteProgress meter(progress, params.frameCount, params.showProgress);

    if (std::unique_ptr<AtomicFileWriter> early = TakeEarlyCopy(params, info, layout)) {
        FinishEarlyCopy(*early, params, info, layout, context, view);
        meter.Show(params.frameCount);
        if (view.Cut())
            ThrowSourceShrunk(params.sourcePath);
        // The copy read the source on its own thread until now: it must still be the file the
        // scan analysed.
        CheckSourceUnchanged(params.sourcePath, IdentityOf(view.fd()), info);
        early->Commit();
        return 0;
    }

    std::unique_ptr<AtomicFileWriter> file;
    if (layout.target == OutputTarget::ToFile) {
        file = NewOutputFile(params.outputPath);
        ReserveNewFileSpace(file->fd(), layout.size);
    }
    if (params.memoryTarget) {
        params.memoryTarget->clear();
        params.memoryTarget->reserve(static_cast<std::size_t>(layout.size));
    }
    StreamSink sink(params.memoryTarget, file ? file->fd() : -1, view, params.sourcePath);
    PutHead(sink, params, info, layout, context, view);

    std::vector<std::uint8_t> work(kWorkBufferSize);
    const bool fading = layout.fades.fadeInIndex != 0 || layout.fades.fadeOutIndex != 0;
    for (std::int64_t i = 0; i < params.frameCount; ++i) {
        const std::int64_t index = params.startFrame + i;
        const FrameEntry& entry = info.frames[index];
        const std::int64_t length = CopyLength(params, info, i);
        const int delta = (fading ? FadeOffset(layout.fades, first, i) : 0) + layout.gainSteps;
        const std::uint8_t* source = data + entry.offset;
        if (delta != 0) {
            // Only the frame's own bytes can change; what follows it goes out as it is.
            const std::int64_t own = std::min<std::int64_t>(
                {std::int64_t{entry.length}, length, static_cast<std::int64_t>(work.size())});
            std::memcpy(work.data(), source, static_cast<std::size_t>(own));
            ApplyFrameDelta(work.data(), own, delta,
                            index < info.frameCount ? std::optional(entry.computedCrc)
                                                    : std::nullopt);
            sink.Put(work.data(), own);
            sink.PutView(source + own, length - own);
        } else {
            sink.PutView(source, length);
        }
        meter.Show(i);
        CheckPoint(progress, i, 1024);
    }

    PutTail(sink, params, info, layout, data);
    meter.Show(params.frameCount);
    sink.Finish();
    VELMORA_ASSERT(sink.written() == layout.size, "UnitWriter");
    if (view.Cut())
        ThrowSourceShrunk(params.sourcePath);
    if (file)
        file->Commit();
    return file ? 0 : sink.written();
}

} // namespace velmora::writer
