#pragma once

#include "IAudioOutput.h"

#include <cstdint>
#include <vector>

namespace velmora::test {

// A sound output that plays nothing: it records the clips, can refuse to start like a machine
// without a sound server, and lets a test end a clip, the current one or an old one, as a late
// signal of a real sink would.
class FakeAudioOutput final : public IAudioOutput {
public:
    bool startFails = false;
    std::vector<PcmClip> played;
    int stops = 0; // Stop calls that stopped a playing clip

    bool Play(const PcmClip& clip) override {
        Stop();
        if (startFails)
            return false;
        played.push_back(clip);
        m_generations.push_back(m_generation.Begin());
        return true;
    }
    void Stop() override {
        if (m_generation.Playing())
            ++stops;
        m_generation.Stop();
    }
    bool Playing() const override { return m_generation.Playing(); }
    void SetFinishedHandler(FinishedHandler handler) override { m_finished = std::move(handler); }

    // Clip `index` (0 for the first played) reports that it has reached its end.
    void ReportEnd(std::size_t index) {
        if (index < m_generations.size() && m_generation.End(m_generations[index]) && m_finished)
            m_finished();
    }
    void ReportEndOfLast() { ReportEnd(m_generations.size() - 1); }

private:
    ClipGeneration m_generation;
    std::vector<std::uint64_t> m_generations;
    FinishedHandler m_finished;
};

} // namespace velmora::test
