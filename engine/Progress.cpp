#include "Progress.h"

#include "VelmoraError.h"

namespace velmora {

ProgressMeter::ProgressMeter(IProgress& progress, std::int64_t total)
    : m_progress(progress), m_total(total) {
    m_progress.SetTotal(kSteps);
}

void ProgressMeter::Move(std::int64_t done) {
    if (m_total <= 0) {
        m_low = INT64_MIN;
        m_high = INT64_MAX;
        return;
    }
    const auto start = [this](std::int64_t position) {
        return static_cast<std::int64_t>((static_cast<__int128>(position) * m_total + kSteps - 1) /
                                         kSteps);
    };
    const int position = static_cast<int>(static_cast<__int128>(done) * kSteps / m_total);
    m_low = start(position);
    m_high = start(position + 1);
    if (position == m_last)
        return;
    m_last = position;
    m_progress.Report(position);
}

void ThrowIfStopped(IProgress& progress) {
    if (progress.StopRequested())
        throw VelmoraError("Stopped at user request", ErrorKind::Stopped);
}

} // namespace velmora
