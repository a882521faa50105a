#pragma once

#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitScanner.h"

#include <cstdint>
#include <vector>

namespace velmora::test {

// Records what a scan shows and asks to stop after a given number of stop checks.
class RecordingProgress final : public IProgress {
public:
    explicit RecordingProgress(std::int64_t stopAfterChecks = -1) : m_stopAfter(stopAfterChecks) {}
    void SetTotal(int total) override { totals.push_back(total); }
    void Report(int position) override { reports.push_back(position); }
    void ProcessMessages() override { ++pumps; }
    bool StopRequested() const override { return m_stopAfter >= 0 && ++m_checks > m_stopAfter; }

    std::vector<int> totals;
    std::vector<int> reports;
    int pumps = 0;

private:
    std::int64_t m_stopAfter;
    mutable std::int64_t m_checks = 0;
};

inline StreamInfo Scan(const std::vector<std::uint8_t>& bytes, const Settings& settings = {},
                       int requiredBitrateIndex = 0, std::int64_t fileOffset = 0) {
    StreamInfo info;
    NullProgress progress;
    ScanStream(info, bytes, requiredBitrateIndex, settings, MessageTable::English(), progress,
               fileOffset);
    return info;
}

// The frame offsets 0 … count - 1.
inline std::vector<std::int64_t> Offsets(const StreamInfo& info) {
    std::vector<std::int64_t> out;
    for (std::int64_t i = 0; i < info.frameCount; ++i)
        out.push_back(info.frames[i].offset);
    return out;
}

} // namespace velmora::test
