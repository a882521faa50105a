#include "UnitAnalyserThread.h"

#include "UnitLoudness.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr std::size_t kChunkSamples = 1 << 16; // about 0.7 s of stereo at 44.1 kHz
constexpr std::size_t kChunkCount = 4;

} // namespace

AnalyserThread::AnalyserThread(std::span<IVolumeAnalyser* const> analysers)
    : m_analysers(analysers.begin(), analysers.end()), m_chunks(kChunkCount) {
    for (Chunk& chunk : m_chunks)
        chunk.samples.reserve(kChunkSamples);
    for (std::size_t i = 1; i < kChunkCount; ++i)
        m_free.push_back(i);
    m_thread = std::thread([this] { Work(); });
}

AnalyserThread::~AnalyserThread() {
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        m_dropping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void AnalyserThread::Add(std::span<const std::int16_t> pcm) {
    Chunk& chunk = m_chunks[m_filling];
    if (!chunk.frameSizes.empty() && chunk.samples.size() + pcm.size() > kChunkSamples)
        HandOff();
    Chunk& next = m_chunks[m_filling];
    next.samples.insert(next.samples.end(), pcm.begin(), pcm.end());
    next.frameSizes.push_back(static_cast<std::uint32_t>(pcm.size()));
}

void AnalyserThread::HandOff() {
    std::unique_lock lock(m_mutex);
    m_ready.push_back(m_filling);
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return !m_free.empty(); });
    m_filling = m_free.front();
    m_free.erase(m_free.begin());
}

void AnalyserThread::Finish() {
    if (!m_chunks[m_filling].frameSizes.empty())
        HandOff();
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);
}

void AnalyserThread::Work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [&] { return !m_ready.empty() || m_closing; });
        if (m_ready.empty() || m_dropping)
            return;
        const std::size_t index = m_ready.front();
        m_ready.erase(m_ready.begin());
        lock.unlock();
        if (!m_error) {
            try {
                Measure(m_chunks[index]);
            } catch (...) {
                m_error = std::current_exception();
            }
        }
        m_chunks[index].samples.clear();
        m_chunks[index].frameSizes.clear();
        lock.lock();
        m_free.push_back(index);
        m_changed.notify_all();
    }
}

void AnalyserThread::Measure(const Chunk& chunk) {
    std::size_t at = 0;
    for (const std::uint32_t size : chunk.frameSizes) {
        const std::span<const std::int16_t> frame(chunk.samples.data() + at, size);
        for (IVolumeAnalyser* analyser : m_analysers)
            analyser->Add(frame);
        at += size;
    }
}

} // namespace velmora
