// A Save As that begins while the file is being opened. A command-line Save As would otherwise
// read the recording twice, once to analyse it and once to copy it; here the kept frames go to
// the new file from the bytes the scan reads anyway, while they are still in the cache.

#include "UnitOpen.h"
#include "UnitWriter.h"
#include "UnitWriterParts.h"

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

} // namespace

EarlyCopy::EarlyCopy(std::string outputPath, Forecast forecast)
    : m_outputPath(std::move(outputPath)), m_forecast(std::move(forecast)) {}

EarlyCopy::~EarlyCopy() = default;

std::int64_t EarlyCopy::FrameToReach(const MpegHeader& first) {
    if (m_state != State::Waiting)
        return -1;
    try {
        const std::int64_t index = m_forecast.startFrame ? m_forecast.startFrame(first) : -1;
        if (index >= 0)
            return index;
    } catch (...) {
        // A forecast that fails only means no early copy.
    }
    m_state = State::Off;
    return -1;
}

void EarlyCopy::FrameReached(const StreamInfo& partial, std::int64_t index, std::int64_t offset,
                             std::int64_t rangeEnd, const std::uint8_t* bytes, std::int64_t count) {
    if (m_state != State::Waiting)
        return;
    m_state = State::Off;
    std::int64_t at = -1;
    // Whatever goes wrong here only costs the early start: the writer then works as usual.
    try {
        const std::int64_t rangeStart = partial.riffHeaderSize + partial.id3v2.tagSize;
        const StreamInfo forecast = ForecastStreamInfo(
            partial, index + 1, offset + partial.firstHeader.frameLength - rangeStart,
            rangeEnd - rangeStart);
        at = m_forecast.outputOffset ? m_forecast.outputOffset(forecast) : -1;
        if (at < 0)
            return;
        m_output = writer::NewOutputFile(m_outputPath);
        // At most the rest of the range goes in after the head; the writer sets the length.
        writer::ReserveNewFileSpace(m_output->fd(), at + (rangeEnd - offset));
    } catch (...) {
        m_output.reset();
        return;
    }
    m_sourceStart = m_frontier = offset;
    m_outputStart = at;
    m_state = State::Copying;
    Append(offset, bytes, count);
}

void EarlyCopy::BytesRead(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count) {
    if (m_state == State::Copying)
        Append(offset, bytes, count);
}

void EarlyCopy::Append(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count) {
    // Bytes come in file order; a gap (which a scan does not leave) ends the copy.
    if (offset > m_frontier) {
        Stop();
        return;
    }
    const std::int64_t end = offset + count;
    const std::int64_t known = m_frontier - offset;
    if (known >= count)
        return;
    bytes += known;
    count -= known;
    // Whole pages only: a write that starts or ends inside a page makes the file system prepare
    // that page twice. The part of the last page waits for the next bytes.
    const std::int64_t at = m_outputStart + (m_frontier - m_sourceStart);
    const std::int64_t whole = ((at + count) & ~(PageBytes() - 1)) - at;
    if (whole > 0) {
        const std::int64_t pending = static_cast<std::int64_t>(m_pending.size());
        try {
            writer::PWriteTwo(m_output->fd(), m_pending.data(), pending, bytes, whole,
                              at - pending);
        } catch (...) {
            // A full disk, say: the writer meets it again and reports it.
            Stop();
            return;
        }
        m_pending.clear();
        bytes += whole;
        count -= whole;
    }
    m_pending.insert(m_pending.end(), bytes, bytes + count);
    m_frontier = end;
}

void EarlyCopy::Stop() {
    m_state = State::Off;
    m_output.reset();
}

std::unique_ptr<AtomicFileWriter> EarlyCopy::Take(std::int64_t sourceStart, std::int64_t length,
                                                  std::int64_t outputStart) {
    if (m_state == State::Copying && sourceStart == m_sourceStart && outputStart == m_outputStart &&
        m_frontier - m_sourceStart >= length) {
        const std::int64_t pending = static_cast<std::int64_t>(m_pending.size());
        try {
            writer::PWriteAll(m_output->fd(), m_pending.data(), pending,
                              m_outputStart + (m_frontier - m_sourceStart) - pending);
        } catch (...) {
            Stop();
            return nullptr;
        }
        m_state = State::Taken;
        return std::move(m_output);
    }
    Stop();
    return nullptr;
}

} // namespace velmora
