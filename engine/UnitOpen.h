#pragma once

#include "UnitMessages.h"
#include "UnitScanner.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace velmora {

class IProgress;
struct Settings;

// Decodes frames beginFrame … endFrame - 1 of `info.frames` (file offsets) and writes their
// energies; the faces bind it to AnalyseVolume with energiesOnly on. Throws VelmoraError.
using TailAnalysis =
    std::function<void(StreamInfo& info, std::int64_t beginFrame, std::int64_t endFrame)>;

// What an open found that the user is told about while the file still opens.
enum class OpenWarning {
    RemovedBeginning, // more than 1000 bytes before the first frame were not audio
    InterruptedSave,  // the save journal holds an unfinished in-place save of the file
};
// The MessageTable list's name ("MessageDlgRemovedBeginning"), for machine-readable output.
const char* OpenWarningName(OpenWarning warning);
// The list shown for it.
const MessageTable::List& OpenWarningText(const MessageTable& messages, OpenWarning warning);

// A freshly analysed file. It replaces the face's model only when the open succeeded.
struct OpenResult {
    StreamInfo info;
    std::string fileName; // the path's last part, for EditName
    std::vector<OpenWarning> warnings;
    int attempts = 0; // scan attempts made (1 when the first was accepted)
};

// Raises a face's busy flag for its lifetime and lowers it on every path.
class OperationBusyScope {
public:
    explicit OperationBusyScope(bool* flag) : m_flag(flag) {
        if (m_flag)
            *m_flag = true;
    }
    ~OperationBusyScope() {
        if (m_flag)
            *m_flag = false;
    }
    OperationBusyScope(const OperationBusyScope&) = delete;
    OperationBusyScope& operator=(const OperationBusyScope&) = delete;

private:
    bool* m_flag;
};

inline constexpr int kMaxScanAttempts = 25;
inline constexpr std::int64_t kDamagedBeginningBytes = 1000;
inline constexpr std::uint32_t kQuietEnergy = 12; // below: a quiet frame

// The analysis of a whole file's bytes: trailing tags, RIFF header, ID3v2 tag, the scan attempts,
// smart CBR, absolute offsets, both frame templates, the tail analysis and the ending.
// `tailAnalysis` may be empty (no decoding: every energy stays 0). With `fd`, an open descriptor
// of the same file, the scans read the audio through it and `file` is touched only for the tags
// and headers at its ends. `listener`, when given, follows the first scan.
OpenResult AnalyseFile(std::span<const std::uint8_t> file, const Settings& settings,
                       const MessageTable& messages, IProgress& progress,
                       const TailAnalysis& tailAnalysis, int fd = -1,
                       IScanListener* listener = nullptr);

// Maps `path` read-only (with its last-write time), analyses it and unmaps it. `operationBusy`,
// when given, is raised for the duration. The face clears its stop request before calling.
OpenResult OpenSourceFile(const std::string& path, const Settings& settings,
                          const MessageTable& messages, IProgress& progress,
                          const TailAnalysis& tailAnalysis, bool* operationBusy = nullptr,
                          IScanListener* listener = nullptr);

// What an open is expected to find, from a scan still under way: the fields that decide the
// head of an output (tags, extra-info frame, templates) as they stand, and the frame count
// extrapolated from the `scannedBytes` of the range (`rangeBytes` long) that hold `scannedFrames`.
// Its frame table is empty.
StreamInfo ForecastStreamInfo(const StreamInfo& partial, std::int64_t scannedFrames,
                              std::int64_t scannedBytes, std::int64_t rangeBytes);

// The header of a new extra-info frame: the first frame's with the lowest bitrate that leaves
// room for the Xing data after the side information.
MpegHeader BuildSeekHeaderTemplate(const MpegHeader& first);
// One frame of digital silence matching the stream.
SilentFrameTemplateData BuildSilentFrameTemplate(const MpegHeader& first, bool vbr);

} // namespace velmora
