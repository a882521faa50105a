#pragma once

#include "UnitDescriptor.h"
#include "UnitExactCut.h"
#include "UnitScanner.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace velmora {

class IProgress;
class EarlyCopy;
struct MessageTable;
struct OutputPlan;
struct Settings;
struct TrimPoints;

class AtomicFileWriter;

enum class OutputTarget { InPlace, ToFile, ToMemory };

// The writer's parameters, in their documented order.
struct WriteParams {
    std::string sourcePath;                            // the open file
    std::string outputPath;                            // not empty: ToFile
    std::vector<std::uint8_t>* memoryTarget = nullptr; // set: ToMemory (filled from its start)
    bool closeAfterSave = false;
    bool writeExtraInfo = false;
    bool writeId3v1 = false;
    bool keepId3v2 = false;
    // ToFile as MP3: this ID3v2 tag goes at the head instead of the source's (a split's track
    // tags); its length frame, if any, is rewritten as the kept tag's is.
    std::vector<std::uint8_t> id3v2Image;
    bool cleanup = true; // copy frames only, without the bytes between them
    std::int64_t silenceBeginFrames = 0;
    std::int64_t silenceEndFrames = 0;
    int fadeInIndex = 0; // into FadeDurationTable
    int fadeOutIndex = 0;
    std::int64_t startFrame = 0; // FrameTable index of the first copied frame
    std::int64_t frameCount = 0; // entries copied (an incomplete last frame included)
    std::int64_t fadeSpan = 0;   // frames the fades are measured against
    bool showProgress = false;
    int gainSteps = 0; // global-gain steps added to every copied frame
    // Sample-exact cut: a gapless decoder plays exactly the source's decoded samples
    // [beginSample, endSample). The writer adds the warm-up frames before them and the delay and
    // padding that drop the rest; where that cannot hold it cuts as startFrame and frameCount
    // say and reports why.
    bool exactCut = false;
    std::int64_t beginSample = 0;
    std::int64_t endSample = 0;
    // Set by the writer once the exact cut is planned: the delay and padding, and the frame that
    // carries the bit reservoir of the first copied frame (written after the extra-info frame).
    std::optional<GaplessFields> gapless;
    std::vector<std::uint8_t> reservoirFrame;
    // ToFile: the kept frames copied to the new file while it was analysed, used when they lie
    // where this run puts them.
    EarlyCopy* earlyCopy = nullptr;
    // The R128 loudness of the copied frames before the gain, when measured: with
    // CheckBoxWriteReplayGainTags the output gets ReplayGain 2.0 track tags from it.
    struct Loudness {
        double lufs = 0;
        double truePeakDbtp = 0;
    };
    std::optional<Loudness> measuredLoudness;
    // Leave an MP3GAIN_UNDO item that takes the gain back (the faces' saves ask for it); the
    // gain is then kept short of taking a global_gain to 0 or 255, which no undo could reverse.
    bool recordGainUndo = false;
};

// What the writer reads besides its parameters and the open file's model.
struct WriteContext {
    const Settings& settings;
    const MessageTable& messages;
    bool outputIsWav = false; // OutputIsWav for this run, a Save As type override included
    bool tagsKept = true;     // the Ctrl+T toggle
};

// What the main window does once the writer is done.
enum class WindowAction {
    None,             // nothing was disabled (nothing to do, file kept open)
    CloseFile,        // run the close command
    ReenableCommands, // enable Save, Save As and Close again
    RefreshOpenFile,  // the model describes the saved file: refresh the information display,
                      // SetFileOpenState(true) and the space-saving display
};

struct WriteResult {
    // ToMemory: bytes placed in the buffer; InPlace: the new file size; ToFile: 0.
    std::int64_t value = 0;
    bool nothingToDo = false; // InPlace only: the file was left untouched
    WindowAction windowAction = WindowAction::None;
    std::string savedPath;     // where the output is now (an in-place save may rename it)
    std::string renameProblem; // why the rename with the track length was not made
    std::int64_t outputSize = 0;
    std::int64_t outputFrames = 0;
    int gainSteps = 0;                 // the steps every frame got (see LimitGainSteps)
    std::vector<std::string> tagNotes; // gain tags that could not be kept true
    std::string exactCutWarning;       // why an exact cut was made on frame boundaries instead
};

OutputTarget TargetOf(const WriteParams& params);

// Writes the edited audio. For InPlace, `info` is brought up to date with the saved file when
// the file stays open (RefreshOpenFile); otherwise it is not changed. Throws VelmoraError; the
// face then applies WindowActionAfterError.
WriteResult WriteOutput(const WriteParams& params, StreamInfo& info, const WriteContext& context,
                        IProgress& progress);

// The parameters an exact cut turns `params` into (unchanged when it asks for none), and the
// warning when it falls back to frame boundaries. Reads the source file.
WriteParams PlanExactWrite(const WriteParams& params, const StreamInfo& info,
                           const WriteContext& context, std::string& warning);

// After a failed write: stream targets re-enable the commands; an in-place file is closed, as
// its model can no longer be trusted.
WindowAction WindowActionAfterError(const WriteParams& params);

// Where the first copied frame goes: after the RIFF header or ID3v2 tag, the extra-info frame and
// the added silence.
std::int64_t OutputHeadLength(const WriteParams& params, const StreamInfo& info,
                              const WriteContext& context);

// A Save As begun while the file is still being opened: once the scan has passed the first
// copied frame, a thread copies the source from there on into the new file (under its temporary
// name, within the kernel where it can), where a forecast made from the first frames puts it,
// while the scan goes on. The writer finishes that file only when the completed analysis puts the
// same bytes in the same place, and otherwise writes the output as usual; the copy never makes an
// open or a save fail.
class EarlyCopy final : public IScanListener {
public:
    // Where the copy begins: the first copied frame and where it goes in the output; -1: none.
    struct Placement {
        std::int64_t frame = -1;
        std::int64_t outputOffset = -1;
    };
    struct Forecast {
        // The first frame the output keeps as a frame cut counts it, or -1 for no early copy.
        // The copy may begin a few frames before or after it (warm-up and carrier frames).
        std::function<std::int64_t(const MpegHeader& first)> startFrame;
        // The placement (PlaceEarlyCopy) from ForecastStreamInfo, whose frame table holds the
        // frames scanned so far (file offsets).
        std::function<Placement(const StreamInfo& forecast)> place;
        // The copier's step in bytes (at least a page): a stop waits for one step at most.
        std::int64_t copyStep = std::int64_t{8} << 20;
    };

    EarlyCopy(std::string sourcePath, std::string outputPath, Forecast forecast);
    ~EarlyCopy() override;
    EarlyCopy(const EarlyCopy&) = delete;
    EarlyCopy& operator=(const EarlyCopy&) = delete;

    std::int64_t FrameToReach(const MpegHeader& first) override;
    void FrameReached(const StreamInfo& partial, std::int64_t index, std::int64_t offset,
                      std::int64_t rangeEnd) override;

    // The new file, when it holds the source's `length` bytes from `sourceStart` at
    // `outputStart`; otherwise null, and the copy is dropped.
    std::unique_ptr<AtomicFileWriter> Take(std::int64_t sourceStart, std::int64_t length,
                                           std::int64_t outputStart);
    // Whether the writer finished its output from this copy.
    bool Used() const { return m_state == State::Taken; }

private:
    enum class State { Waiting, Copying, Off, Taken };
    bool Begin(const StreamInfo& partial, std::int64_t index, std::int64_t offset,
               std::int64_t rangeEnd);
    // The copier thread: `length` bytes from m_sourceStart to m_outputStart.
    void Copy(std::int64_t length);
    void Stop();

    std::string m_sourcePath;
    std::string m_outputPath;
    Forecast m_forecast;
    State m_state = State::Waiting;
    std::unique_ptr<AtomicFileWriter> m_output;
    Descriptor m_source;
    std::int64_t m_sourceStart = 0;
    std::int64_t m_outputStart = 0;
    std::thread m_copier;
    std::atomic<bool> m_cancel{false};
    // Set by the copier, read once it has ended.
    std::int64_t m_copied = 0;
    int m_copyError = 0;
};

// Where an early copy for the save `params` begins, planned on `forecast` as WriteOutput will
// plan it (an exact cut starts with its warm-up frames, and its carrier frames lengthen the
// head). Reads the source file.
EarlyCopy::Placement PlaceEarlyCopy(const WriteParams& params, const StreamInfo& forecast,
                                    const WriteContext& context);

// The parameters Save (outputPath empty) and Save As use for `trim` and its plan.
WriteParams MakeSaveParams(const std::string& sourcePath, const std::string& outputPath,
                           const StreamInfo& info, const TrimPoints& trim, const OutputPlan& plan,
                           const Settings& settings, int gainSteps, int fadeInIndex,
                           int fadeOutIndex);

} // namespace velmora
