#include "UnitBatchAlbum.h"

#include "UnitBatchWorker.h"
#include "UnitMP3.h"
#include "UnitOptions.h"
#include "UnitPath.h"
#include "UnitVolume.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora {

namespace {

// One file's loudness from one decode; nothing for a file that is not Layer III or fails.
std::unique_ptr<LoudnessAnalyser> Measure(const std::string& path, const Settings& settings,
                                          const MessageTable& messages, IProgress& progress) {
    try {
        const StreamInfo info = Reopen(path, settings, messages, progress);
        const MpegHeader& first = info.firstHeader;
        if (first.layerId != kLayer3)
            return nullptr;
        auto analyser = std::make_unique<LoudnessAnalyser>(LoudnessAnalyser::ForAnalysis(first));
        IVolumeAnalyser* analysers[] = {analyser.get()};
        AnalyseVolume(path, info, 0, info.frameCount, VolumeScope::EnergiesOnly, messages, progress,
                      analysers);
        return analyser;
    } catch (const std::exception&) {
        return nullptr;
    }
}

} // namespace

const AlbumMember* BatchAlbums::Find(const std::string& path) const {
    const auto it = m_members.find(path);
    return it == m_members.end() ? nullptr : &it->second;
}

BatchAlbums MeasureAlbums(const std::vector<BatchInput>& inputs, const Settings& settings,
                          const MessageTable& messages, const std::vector<std::string>& refused,
                          int workers, const std::atomic<bool>& stop,
                          const std::function<bool()>& idle) {
    BatchAlbums albums;
    if (!settings.CheckBoxBatchVolumeNormalize || !settings.CheckBoxBatchAlbumGain)
        return albums;
    std::vector<std::string> paths;
    for (const BatchInput& input : inputs) {
        bool skip = !input.error.empty();
        for (const std::string& r : refused)
            skip = skip || SameFile(r, input.path);
        if (!skip)
            paths.push_back(input.path);
    }
    std::vector<std::unique_ptr<LoudnessAnalyser>> measured(paths.size());
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> next{0};
    std::size_t finished = 0;
    std::mutex mutex;
    std::condition_variable changed;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < std::max(workers, 1); ++t)
            threads.emplace_back([&] {
                EnterBatchWorker(settings);
                WorkerProgress progress(stopping, &stop);
                for (std::size_t i; !progress.StopRequested() && (i = next++) < paths.size();)
                    measured[i] = Measure(paths[i], settings, messages, progress);
                std::lock_guard lock(mutex);
                ++finished;
                changed.notify_all();
            });
        std::unique_lock lock(mutex);
        while (finished < threads.size()) {
            changed.wait_for(lock, kIdleInterval);
            if (stop.load() || idle())
                stopping = true;
        }
    }

    std::map<std::string, std::vector<const LoudnessAnalyser*>> folders;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (measured[i])
            folders[FolderOf(paths[i])].push_back(measured[i].get());
    for (const auto& [folder, parts] : folders) {
        AlbumGain& album = albums.m_albums[folder];
        album.files = parts.size();
        album.gain = ComputeLoudnessGain(
            LoudnessAnalyser::Joined(parts), LoudnessTargetLufs(settings),
            TruePeakCeilingDbtp(settings), kAmplificationMin, kAmplificationMax);
    }
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (measured[i])
            albums.m_members[paths[i]] = {measured[i]->Result(),
                                          &albums.m_albums[FolderOf(paths[i])]};
    return albums;
}

} // namespace velmora
