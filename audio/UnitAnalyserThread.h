#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace velmora {

class IVolumeAnalyser;

// Feeds analysers on a thread of their own, frame by frame and in order, so that the decode goes
// on while they measure. Add copies the frame; Finish waits until every frame is measured and
// rethrows what an analyser threw. Leaving without Finish (a failed or stopped decode) drops the
// frames not yet measured.
class AnalyserThread {
public:
    explicit AnalyserThread(std::span<IVolumeAnalyser* const> analysers);
    ~AnalyserThread();
    AnalyserThread(const AnalyserThread&) = delete;
    AnalyserThread& operator=(const AnalyserThread&) = delete;

    void Add(std::span<const std::int16_t> pcm);
    void Finish();

private:
    struct Chunk {
        std::vector<std::int16_t> samples;
        std::vector<std::uint32_t> frameSizes;
    };
    void HandOff();
    void Work();
    void Measure(const Chunk& chunk);

    std::vector<IVolumeAnalyser*> m_analysers;
    std::vector<Chunk> m_chunks;
    std::size_t m_filling = 0;        // the chunk Add fills
    std::vector<std::size_t> m_ready; // chunks waiting for the analysers, oldest first
    std::vector<std::size_t> m_free;  // chunks Add may fill next
    bool m_closing = false;           // no chunk comes any more
    bool m_dropping = false;          // measure nothing more: the decode failed
    std::exception_ptr m_error;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

} // namespace velmora
