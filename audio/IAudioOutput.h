#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace velmora {

// A decoded preview clip: 16-bit interleaved PCM.
struct PcmClip {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;
    int channels = 0;

    std::int64_t Milliseconds() const {
        if (sampleRate <= 0 || channels <= 0)
            return 0;
        return static_cast<std::int64_t>(samples.size()) / channels * 1000 / sampleRate;
    }
    std::int64_t Microseconds() const {
        if (sampleRate <= 0 || channels <= 0)
            return 0;
        return static_cast<std::int64_t>(samples.size()) / channels * 1000000 / sampleRate;
    }
};

// The sound output of the internal preview player. One clip plays at a time: Play stops the
// clip before it. The finished handler runs, on the caller's thread, once the current clip has
// played to its end; never for a clip that was stopped or replaced.
class IAudioOutput {
public:
    using FinishedHandler = std::function<void()>;

    virtual ~IAudioOutput() = default;
    // False when the output could not start (no sound server, a busy device); nothing plays then.
    virtual bool Play(const PcmClip& clip) = 0;
    // Safe to call when nothing plays.
    virtual void Stop() = 0;
    virtual bool Playing() const = 0;
    virtual void SetFinishedHandler(FinishedHandler handler) = 0;
};

// Numbers the clips of one output so that an end reported late by a clip that was already
// stopped or replaced is recognised and dropped.
class ClipGeneration {
public:
    // A new clip starts; its number.
    std::uint64_t Begin() {
        m_playing = true;
        return ++m_current;
    }
    // The current clip is stopped; its late end signals are dropped.
    void Stop() {
        m_playing = false;
        ++m_current;
    }
    bool Playing() const { return m_playing; }
    // Clip `generation` has ended: true (and nothing plays any more) when it is the current one.
    bool End(std::uint64_t generation) {
        if (!m_playing || generation != m_current)
            return false;
        m_playing = false;
        return true;
    }

private:
    std::uint64_t m_current = 0;
    bool m_playing = false;
};

} // namespace velmora
