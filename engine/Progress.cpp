#include "Progress.h"

#include "VelmoraError.h"

namespace velmora {

ProgressMeter::ProgressMeter(IProgress& progress, std::int64_t total)
    : m_progress(progress), m_total(total) {
    m_progress.SetTotal(kSteps);
}

void ProgressMeter::Show(std::int64_t done) {
    if (m_total <= 0)
        return;
    const int position = static_cast<int>(static_cast<__int128>(done) * kSteps / m_total);
    if (position == m_last)
        return;
    m_last = position;
    m_progress.Report(position);
}

void ThrowIfStopped(IProgress& progress) {
    if (progress.StopRequested())
        throw VelmoraError("Stopped at user request");
}

} // namespace velmora
