#include "UnitWaveform.h"

#include "Progress.h"
#include "UnitIo.h"
#include "UnitMP3.h"
#include "UnitScanner.h"
#include "UnitVolume.h"
#include "VelmoraError.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <sys/resource.h>
#include <unistd.h>

namespace velmora {

namespace {

// The refinement yields to the window and to the user's other work by this much (the decoder's
// analyser thread, started from it, inherits it).
constexpr int kWorkerNice = 5;

// A low above its high marks a frame not decoded yet.
constexpr std::uint32_t kNotDecoded = 0x80007FFFu;

std::uint32_t Pack(SamplePeaks p) {
    return (std::uint32_t{static_cast<std::uint16_t>(p.high)} << 16) |
           static_cast<std::uint16_t>(p.low);
}

SamplePeaks Unpack(std::uint32_t word) {
    return {static_cast<std::int16_t>(word & 0xFFFFu), static_cast<std::int16_t>(word >> 16)};
}

} // namespace

double SamplePeakDb(int value) {
    const double magnitude = std::abs(value) / kAnalysisPcmScale;
    return magnitude <= 0 ? kNoLevelDb : 20.0 * std::log10(magnitude / 32768.0);
}

WaveformStore::WaveformStore(std::int64_t frames)
    : m_entries(std::make_unique<std::atomic<std::uint32_t>[]>(
          static_cast<std::size_t>(std::max<std::int64_t>(frames, 0)))),
      m_count(std::max<std::int64_t>(frames, 0)) {
    for (std::int64_t i = 0; i < m_count; ++i)
        m_entries[static_cast<std::size_t>(i)].store(kNotDecoded, std::memory_order_relaxed);
}

void WaveformStore::Set(std::int64_t frame, SamplePeaks peaks) {
    if (frame < 0 || frame >= m_count)
        return;
    const std::uint32_t old =
        m_entries[static_cast<std::size_t>(frame)].exchange(Pack(peaks), std::memory_order_relaxed);
    if (old == kNotDecoded)
        m_refined.fetch_add(1, std::memory_order_relaxed);
}

std::optional<SamplePeaks> WaveformStore::Get(std::int64_t frame) const {
    const std::uint32_t word =
        m_entries[static_cast<std::size_t>(frame)].load(std::memory_order_relaxed);
    if (word == kNotDecoded)
        return std::nullopt;
    return Unpack(word);
}

std::int64_t WaveformStore::MemoryBytes() const {
    return m_count * static_cast<std::int64_t>(sizeof(std::atomic<std::uint32_t>));
}

std::vector<FrameRange> WaveformStore::Missing() const {
    std::vector<FrameRange> runs;
    std::int64_t begin = -1;
    for (std::int64_t i = 0; i <= m_count; ++i) {
        const bool missing = i < m_count && !Get(i);
        if (missing && begin < 0)
            begin = i;
        else if (!missing && begin >= 0) {
            runs.push_back({begin, i});
            begin = -1;
        }
    }
    return runs;
}

void WaveformAnalyser::Add(std::span<const std::int16_t> pcm) {
    // A plain loop the compiler turns into vector code.
    std::int16_t low = 0;
    std::int16_t high = 0;
    for (const std::int16_t s : pcm) {
        low = std::min(low, s);
        high = std::max(high, s);
    }
    m_store.Set(m_next++, {low, high});
}

// The worker's side of the analysis: no window to pump, a stop flag, and the test hold.
class WaveformWorker::Progress final : public IProgress {
public:
    explicit Progress(WaveformWorker& worker) : m_worker(worker) {}
    void SetTotal(int) override {}
    void Report(int) override {}
    void ProcessMessages() override { m_worker.Pause(); }
    bool StopRequested() const override { return m_worker.m_stop.load(); }

private:
    WaveformWorker& m_worker;
};

WaveformWorker::WaveformWorker(std::string path, const StreamInfo& info, WaveformStore& store,
                               MessageTable messages,
                               std::function<void(const std::string&)> finished, Hooks hooks)
    : m_store(store), m_finished(std::move(finished)), m_hooks(std::move(hooks)) {
    m_thread = std::thread(
        [this, path = std::move(path), &info, messages = std::move(messages)]() mutable {
            Run(std::move(path), info, std::move(messages));
        });
}

void WaveformWorker::Run(std::string path, const StreamInfo& info, MessageTable messages) {
    // On Linux a thread has a nice value of its own, starting at its creator's; raising it is
    // always allowed.
    const auto self = static_cast<id_t>(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0)
        IgnoreFailure(::setpriority(PRIO_PROCESS, self, std::min(nice + kWorkerNice, 19)));
    std::string error;
    try {
        Progress progress(*this);
        for (const FrameRange& run : m_store.Missing()) {
            WaveformAnalyser analyser(m_store, run.begin);
            IVolumeAnalyser* analysers[] = {&analyser};
            AnalyseVolume(path, info, run.begin, std::min(run.end, info.frameCount),
                          VolumeScope::EnergiesAnyLayer, messages, progress, analysers);
        }
    } catch (const VelmoraError& e) {
        if (e.kind() != ErrorKind::Stopped)
            error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    }
    m_running.store(false);
    if (m_finished)
        m_finished(error);
}

void WaveformWorker::Pause() {
    // The analysis pumps every 128 frames.
    m_decoded += 128;
    if (m_hooks.pauseAfterFrames < 0 || m_decoded < m_hooks.pauseAfterFrames)
        return;
    m_hooks.pauseAfterFrames = -1;
    if (m_hooks.atPause)
        m_hooks.atPause();
    if (!m_hooks.waitForStop)
        return;
    std::unique_lock lock(m_mutex);
    m_stopped.wait(lock, [this] { return m_stop.load(); });
}

void WaveformWorker::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_stopped.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

PreviewClip ClipAround(const MpegHeader& first, int lengthSeconds, std::int64_t frame,
                       std::int64_t totalFrames, int gainSteps) {
    const std::int64_t length =
        std::min(totalFrames, SecondsToFrames(first, std::max(lengthSeconds, 1)));
    PreviewClip clip;
    clip.startFrame = std::clamp<std::int64_t>(frame - length / 2, 0, totalFrames - length);
    clip.frameCount = length;
    clip.gainSteps = gainSteps;
    if (length <= 0)
        clip.outcome = PreviewOutcome::NothingToPreview;
    return clip;
}

} // namespace velmora
