#pragma once

#include <cstdint>

namespace velmora {

// Whether the face is in the middle of an operation (OperationBusy): some actions then do nothing.
enum class OperationState : bool { Idle, Busy };

// What a long operation needs from the face that runs it.
class IProgress {
public:
    virtual ~IProgress() = default;
    // A new bar of `total` positions (the position runs 0 … total).
    virtual void SetTotal(int total) = 0;
    // Called only when the position changes.
    virtual void Report(int position) = 0;
    // Let the face handle pending user input (repaint, Escape, Ctrl+C).
    virtual void ProcessMessages() = 0;
    virtual bool StopRequested() const = 0;
};

class NullProgress final : public IProgress {
public:
    void SetTotal(int) override {}
    void Report(int) override {}
    void ProcessMessages() override {}
    bool StopRequested() const override { return false; }
};

// The main window's bar: 63 positions (0 … 62), redrawn only when the position moves.
class ProgressMeter {
public:
    static constexpr int kSteps = 62;
    ProgressMeter(IProgress& progress, std::int64_t total);
    // Called for every frame: the common case, a position that has not moved, is one compare.
    void Show(std::int64_t done) {
        if (done >= m_low && done < m_high)
            return;
        Move(done);
    }

private:
    void Move(std::int64_t done);
    IProgress& m_progress;
    std::int64_t m_total;
    int m_last = -1;
    // The range of `done` that keeps the bar at m_last.
    std::int64_t m_low = 0;
    std::int64_t m_high = 0;
};

// Throws "Stopped at user request" when the face asked to stop.
void ThrowIfStopped(IProgress& progress);

// Pumps messages once every `every` items (when index % every == every - 1).
inline void CheckPoint(IProgress& progress, std::int64_t index, int every) {
    if (index % every == every - 1)
        progress.ProcessMessages();
}

} // namespace velmora
