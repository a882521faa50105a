#pragma once

#include "UnitBatchInputs.h"
#include "UnitLoudness.h"

#include <atomic>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct MessageTable;
struct Settings;

// The loudness of one folder's files measured as one programme, and the one step for them all.
struct AlbumGain {
    LoudnessGain gain;
    std::size_t files = 0; // the files measured
};

// A file of an album: its own loudness and its folder's step.
struct AlbumMember {
    LoudnessResult track;
    const AlbumGain* album = nullptr;
};

// Every album of a batch, found by a file's path.
class BatchAlbums {
public:
    const AlbumMember* Find(const std::string& path) const;

private:
    friend BatchAlbums MeasureAlbums(const std::vector<BatchInput>&, const Settings&,
                                     const MessageTable&, const std::vector<std::string>&, int,
                                     const std::atomic<bool>&, const std::function<bool()>&);
    std::map<std::string, AlbumGain> m_albums; // by folder
    std::map<std::string, AlbumMember> m_members;
};

// With CheckBoxBatchVolumeNormalize and CheckBoxBatchAlbumGain: decodes the files of each folder
// once (`workers` at a time, at idle priority with CheckBoxBatchRunInIdlePriority; `refused`
// paths left out) and gives each folder the one loudness step that brings its files, joined,
// nearest the loudness target under the true-peak ceiling.
// A file that cannot be measured is left out of its album (its own processing reports why).
// `idle` is called about every 50 ms on the calling thread; true from it, or `stop`, ends the
// measuring early (the albums then hold what was measured).
BatchAlbums MeasureAlbums(const std::vector<BatchInput>& inputs, const Settings& settings,
                          const MessageTable& messages, const std::vector<std::string>& refused,
                          int workers, const std::atomic<bool>& stop,
                          const std::function<bool()>& idle);

} // namespace velmora
