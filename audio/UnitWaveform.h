#pragma once

#include "UnitLoudness.h"
#include "UnitMessages.h"
#include "UnitOverview.h"
#include "UnitPreviewClip.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace velmora {

struct StreamInfo;

// A frame's lowest and highest decoded sample over all channels, at the volume analysis's scale.
struct SamplePeaks {
    std::int16_t low = 0;
    std::int16_t high = 0;
};

// The peak of a stored sample value in dB of full scale (the analysis's scale undone).
double SamplePeakDb(int value);

// The refined waveform: SamplePeaks per frame, four bytes each. A worker thread fills it while the
// window draws it, so every entry is one atomic word.
class WaveformStore {
public:
    explicit WaveformStore(std::int64_t frames);
    std::int64_t FrameCount() const { return m_count; }
    void Set(std::int64_t frame, SamplePeaks peaks);
    // Nothing for a frame not decoded yet.
    std::optional<SamplePeaks> Get(std::int64_t frame) const;
    std::int64_t RefinedCount() const { return m_refined.load(std::memory_order_relaxed); }
    std::int64_t MemoryBytes() const;
    // The runs of frames not decoded yet.
    std::vector<FrameRange> Missing() const;

private:
    std::unique_ptr<std::atomic<std::uint32_t>[]> m_entries;
    std::int64_t m_count = 0;
    std::atomic<std::int64_t> m_refined{0};
};

// Fills the store from the PCM the volume analysis decodes, one call per frame from `firstFrame`
// on (an Auto run and the worker use the same one).
class WaveformAnalyser final : public IVolumeAnalyser {
public:
    WaveformAnalyser(WaveformStore& store, std::int64_t firstFrame)
        : m_store(store), m_next(firstFrame) {}
    void Add(std::span<const std::int16_t> pcm) override;

private:
    WaveformStore& m_store;
    std::int64_t m_next;
};

// Test seams of the worker: once `pauseAfterFrames` frames are decoded it calls `atPause` on its
// thread, then waits until asked to stop when `waitForStop` is set.
struct WaveformWorkerHooks {
    std::int64_t pauseAfterFrames = -1;
    std::function<void()> atPause;
    bool waitForStop = false;
};

// Decodes the frames the store lacks on a thread of its own, through the volume analysis.
// `info` must stay unchanged until the worker has stopped.
class WaveformWorker {
public:
    using Hooks = WaveformWorkerHooks;
    // `finished` runs on the worker's thread when it ends: an empty text when every frame is
    // decoded or it was stopped, else the error that stopped it.
    WaveformWorker(std::string path, const StreamInfo& info, WaveformStore& store,
                   MessageTable messages, std::function<void(const std::string&)> finished,
                   Hooks hooks = {});
    ~WaveformWorker() { Stop(); }
    WaveformWorker(const WaveformWorker&) = delete;
    WaveformWorker& operator=(const WaveformWorker&) = delete;

    // Asks the thread to stop and waits for it.
    void Stop();
    bool Running() const { return m_running.load(); }

private:
    class Progress;
    void Run(std::string path, const StreamInfo& info, MessageTable messages);
    void Pause();

    WaveformStore& m_store;
    std::function<void(const std::string&)> m_finished;
    Hooks m_hooks;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{true};
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    std::int64_t m_decoded = 0;
    std::thread m_thread;
};

// The clip a Shift+click on the waveform plays: `lengthSeconds` centred on `frame`, inside the
// file, with the volume bar's steps.
PreviewClip ClipAround(const MpegHeader& first, int lengthSeconds, std::int64_t frame,
                       std::int64_t totalFrames, int gainSteps);

} // namespace velmora
