// A Save As that begins while the file is being opened. A command-line Save As would otherwise
// analyse the recording and only then copy it; here the kept frames are copied on a second core
// while the scan reads them, from the cache the scan has just filled.

#include "UnitOpen.h"
#include "UnitWriter.h"
#include "UnitWriterParts.h"

#include "UnitIo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

// The unit the file system keeps the new file in memory by.
std::int64_t PageBytes() {
    static const std::int64_t bytes = [] {
        const long size = ::sysconf(_SC_PAGESIZE);
        return size > 0 && (size & (size - 1)) == 0 ? std::int64_t{size} : std::int64_t{4096};
    }();
    return bytes;
}

// The copy's first frame lies within this many frames after the frame a frame cut would keep
// first (an exact cut starts a few frames earlier, for its warm-up, or up to eight later where the
// source's delay, at most 4095 + 529 samples, spans 576-sample frames): the copy is placed once
// the scan has reached that far.
constexpr std::int64_t kFramesAfter = 8;

} // namespace

EarlyCopy::EarlyCopy(std::string sourcePath, std::string outputPath, Forecast forecast)
    : m_sourcePath(std::move(sourcePath)), m_outputPath(std::move(outputPath)),
      m_forecast(std::move(forecast)) {}

EarlyCopy::~EarlyCopy() {
    Stop();
}

std::int64_t EarlyCopy::FrameToReach(const MpegHeader& first) {
    if (m_state != State::Waiting)
        return -1;
    try {
        const std::int64_t planned = m_forecast.startFrame ? m_forecast.startFrame(first) : -1;
        if (planned >= 0)
            return planned + kFramesAfter;
    } catch (...) {
        // A forecast that fails only means no early copy.
    }
    m_state = State::Off;
    return -1;
}

void EarlyCopy::FrameReached(const StreamInfo& partial, std::int64_t index, std::int64_t offset,
                             std::int64_t rangeEnd) {
    if (m_state != State::Waiting)
        return;
    // Whatever goes wrong here only costs the early start: the writer then works as usual.
    if (Begin(partial, index, offset, rangeEnd))
        m_state = State::Copying;
    else
        Stop();
}

bool EarlyCopy::Begin(const StreamInfo& partial, std::int64_t index, std::int64_t offset,
                      std::int64_t rangeEnd) {
    try {
        // Table offsets count from the scanned range's start.
        const std::int64_t rangeStart = offset - partial.frames[index].offset;
        StreamInfo forecast = ForecastStreamInfo(
            partial, index + 1, offset + partial.firstHeader.frameLength - rangeStart,
            rangeEnd - rangeStart);
        forecast.frames.Resize(index + 1);
        for (std::int64_t i = 0; i <= index; ++i) {
            forecast.frames[i] = partial.frames[i];
            forecast.frames[i].offset += rangeStart;
        }
        const Placement at = m_forecast.place ? m_forecast.place(forecast) : Placement{};
        if (at.frame < 0 || at.frame > index || at.outputOffset < 0)
            return false;
        m_sourceStart = forecast.frames[at.frame].offset;
        m_outputStart = at.outputOffset;
        m_source = Descriptor(::open(m_sourcePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (m_source.get() < 0 || ::fstat(m_source.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        m_output = writer::NewOutputFile(m_outputPath);
        // At most the rest of the range goes in after the head; the writer sets the length.
        const std::int64_t length = rangeEnd - m_sourceStart;
        writer::ReserveNewFileSpace(m_output->fd(), at.outputOffset + length);
        m_copier = std::thread([this, length] { Copy(length); });
    } catch (...) {
        m_output.reset();
        return false;
    }
    return true;
}

void EarlyCopy::Copy(std::int64_t length) {
    // Steps that end on the new file's page boundaries, so that no page is written twice.
    const std::int64_t page = PageBytes();
    const std::int64_t step = std::max(m_forecast.copyStep, page);
    std::int64_t done = 0;
    while (done < length && !m_cancel.load(std::memory_order_relaxed)) {
        const std::int64_t at = m_outputStart + done;
        const std::int64_t end = std::min(m_outputStart + length, (at + step) & ~(page - 1));
        const IoResult r =
            CopyRangeFully(m_source.get(), m_sourceStart + done, m_output->fd(), at, end - at);
        done += r.bytes;
        m_copyError = r.error;
        if (r.error != 0 || r.bytes < end - at)
            break;
    }
    m_copied = done;
}

void EarlyCopy::Stop() {
    m_cancel = true;
    if (m_copier.joinable())
        m_copier.join();
    if (m_state != State::Taken)
        m_state = State::Off;
    m_output.reset();
    m_source = Descriptor();
}

std::unique_ptr<AtomicFileWriter> EarlyCopy::Take(std::int64_t sourceStart, std::int64_t length,
                                                  std::int64_t outputStart) {
    if (m_state == State::Copying) {
        m_copier.join();
        // A full disk, say: the writer meets it again and reports it.
        if (m_copyError == 0 && sourceStart == m_sourceStart && outputStart == m_outputStart &&
            m_copied >= length) {
            m_state = State::Taken;
            m_source = Descriptor();
            return std::move(m_output);
        }
    }
    Stop();
    return nullptr;
}

} // namespace velmora
