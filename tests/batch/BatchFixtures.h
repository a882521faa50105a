#pragma once

#include "Fixtures.h"
#include "FrameBuilder.h"
#include "UnitBatchRun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace velmora::test {

namespace fs = std::filesystem;

// The tree every batch test starts from, encoded once per test program:
//   abrupt.mp3   a loud tone to the last sample (an abrupt ending)
//   album.mp3    two tones with album.cue beside it
//   bad.mp3      a frame header lost in the middle (missing headers)
//   corrupt.mp3  a real beginning followed by noise bytes
//   notes.mp3    text, not MPEG
//   quiet.mp3    noise between digital silence at both ends
//   readme.txt   not matched by the patterns
//   sub/deep.mp3 a copy of quiet.mp3, sub/loop a link back to the top folder
inline const std::string& BatchTemplate() {
    static const std::unique_ptr<TempDir> dir = [] {
        auto d = std::make_unique<TempDir>();
        const PcmSpec format;
        const std::string raw = d->File("pcm");
        std::vector<std::int16_t> quiet, loud, album;
        AppendSilence(quiet, format, 1.0);
        AppendNoise(quiet, format, 4.0, 12000, 7);
        AppendSilence(quiet, format, 2.0);
        AppendTone(loud, format, 5.0, 440, 12000);
        AppendTone(album, format, 5.0, 330, 9000);
        AppendTone(album, format, 5.0, 550, 9000);
        EncodeWithLame(quiet, format, "-b 128", d->File("quiet.mp3"));
        EncodeWithLame(loud, format, "-b 128", d->File("abrupt.mp3"));
        EncodeWithLame(album, format, "-b 128", d->File("album.mp3"));
        std::vector<std::uint8_t> bytes = ReadFile(d->File("quiet.mp3"));
        std::vector<std::uint8_t> bad = bytes;
        bad.insert(bad.begin() + 40000, 7, 0);
        WriteFile(d->File("bad.mp3"), bad);
        std::vector<std::uint8_t> corrupt(bytes.begin(), bytes.begin() + 4000);
        for (std::uint32_t i = 0, x = 12345; i < 30000; ++i) {
            x = x * 1103515245u + 12345u;
            corrupt.push_back(static_cast<std::uint8_t>(x >> 16));
        }
        WriteFile(d->File("corrupt.mp3"), corrupt);
        WriteFile(d->File("notes.mp3"), {'n', 'o', 't', 'e', 's', '\n'});
        WriteFile(d->File("readme.txt"), {'r', '\n'});
        const std::string sheet =
            "FILE \"album.mp3\" MP3\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n    INDEX 01 00:05:00\n";
        WriteFile(d->File("album.cue"), {sheet.begin(), sheet.end()});
        fs::create_directory(d->File("sub"));
        fs::copy_file(d->File("quiet.mp3"), d->File("sub/deep.mp3"));
        fs::create_directory_symlink("..", d->File("sub/loop"));
        return d;
    }();
    return dir->path();
}

// A fresh copy of the template tree in `dir`/tree; returns its path.
inline std::string CopyBatchTree(const TempDir& dir) {
    const std::string tree = dir.File("tree");
    fs::copy(BatchTemplate(), tree, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    return tree;
}

// Every regular file under `root` (links not followed): its bytes and modification time.
struct FileState {
    std::vector<std::uint8_t> bytes;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileState&) const = default;
};
inline std::map<std::string, FileState> Snapshot(const std::string& root) {
    std::map<std::string, FileState> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_symlink() || !e.is_regular_file())
            continue;
        struct stat st {};
        ::lstat(e.path().c_str(), &st);
        files[fs::relative(e.path(), root).string()] = {
            ReadFile(e.path().string()), st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
    return files;
}

// Records what a batch delivers and can ask for a stop after some files.
struct RecordingObserver final : IBatchObserver {
    std::vector<std::size_t> order;
    std::vector<BatchFileReport> reports;
    std::size_t stopAfter = SIZE_MAX;
    void FileDone(std::size_t index, const BatchFileReport& r) override {
        order.push_back(index);
        reports.push_back(r);
    }
    bool StopRequested() override { return reports.size() >= stopAfter; }
};

// The outcome of every file by its name relative to `root`.
inline std::map<std::string, BatchOutcome> Outcomes(const std::vector<BatchFileReport>& reports,
                                                    const std::string& root) {
    std::map<std::string, BatchOutcome> m;
    for (const BatchFileReport& r : reports)
        m[fs::relative(r.path, root).string()] = r.outcome;
    return m;
}

// The log without its first line, which carries the date.
inline std::string LogBody(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    const std::string text(bytes.begin(), bytes.end());
    return text.substr(text.find('\n') + 1);
}

} // namespace velmora::test
