// A Save As that begins while the file is being opened. A command-line Save As would otherwise
// read the recording twice, once to analyse it and once to copy it; here the kept frames go to
// the new file from the bytes the scan reads anyway, while they are still in the cache.

#include "UnitOpen.h"
#include "UnitWriter.h"
#include "UnitWriterParts.h"

#include <algorithm>
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

// The copy's first frame lies within these of the frame a frame cut would keep first: an exact
// cut starts up to three frames earlier (warm-up, and a start the decoders' preroll allows), and
// up to eight later where the source's delay (at most 4095 + 529 samples) spans 576-sample
// frames. The bytes between are kept until the start is known.
constexpr std::int64_t kFramesBefore = 3;
constexpr std::int64_t kFramesAfter = 8;
constexpr std::int64_t kGatherBytes = (kFramesBefore + kFramesAfter + 1) * 2881;

} // namespace

EarlyCopy::EarlyCopy(std::string outputPath, Forecast forecast)
    : m_outputPath(std::move(outputPath)), m_forecast(std::move(forecast)) {}

EarlyCopy::~EarlyCopy() = default;

std::int64_t EarlyCopy::FrameToReach(const MpegHeader& first) {
    if (m_state != State::Waiting)
        return -1;
    try {
        m_planned = m_forecast.startFrame ? m_forecast.startFrame(first) : -1;
        if (m_planned >= 0) {
            m_firstReached = std::max<std::int64_t>(0, m_planned - kFramesBefore);
            return m_firstReached;
        }
    } catch (...) {
        // A forecast that fails only means no early copy.
    }
    m_state = State::Off;
    return -1;
}

std::int64_t EarlyCopy::FrameReached(const StreamInfo& partial, std::int64_t index,
                                     std::int64_t offset, std::int64_t rangeEnd,
                                     const std::uint8_t* bytes, std::int64_t count) {
    if (m_state == State::Waiting) {
        m_state = State::Gathering;
        m_sourceStart = m_frontier = offset;
        Gather(offset, bytes, count);
        return m_planned + kFramesAfter;
    }
    if (m_state != State::Gathering)
        return -1;
    // Whatever goes wrong here only costs the early start: the writer then works as usual.
    if (!Begin(partial, index, offset, rangeEnd)) {
        Stop();
        return -1;
    }
    m_state = State::Copying;
    Append(offset, bytes, count);
    return -1;
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
        if (at.frame < m_firstReached || at.frame > index || at.outputOffset < 0)
            return false;
        const std::int64_t start = forecast.frames[at.frame].offset;
        // The gathered bytes must reach the frame this call reports, which brings the rest.
        if (m_frontier < offset)
            return false;
        m_pending.erase(m_pending.begin(), m_pending.begin() + (start - m_sourceStart));
        m_pending.resize(static_cast<std::size_t>(offset - start));
        m_sourceStart = start;
        m_frontier = offset;
        m_outputStart = at.outputOffset;
        m_output = writer::NewOutputFile(m_outputPath);
        // At most the rest of the range goes in after the head; the writer sets the length.
        writer::ReserveNewFileSpace(m_output->fd(), at.outputOffset + (rangeEnd - start));
    } catch (...) {
        m_output.reset();
        return false;
    }
    return true;
}

void EarlyCopy::BytesRead(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count) {
    if (m_state == State::Gathering)
        Gather(offset, bytes, count);
    else if (m_state == State::Copying)
        Append(offset, bytes, count);
}

void EarlyCopy::Gather(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count) {
    const std::int64_t limit = m_sourceStart + kGatherBytes;
    if (m_frontier >= limit)
        return;
    if (offset > m_frontier) {
        Stop();
        return;
    }
    const std::int64_t end = std::min(offset + count, limit);
    if (end <= m_frontier)
        return;
    m_pending.insert(m_pending.end(), bytes + (m_frontier - offset), bytes + (end - offset));
    m_frontier = end;
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
    m_pending.clear();
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
