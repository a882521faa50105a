#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

class IProgress;
struct MessageTable;
struct OutputPlan;
struct Settings;
struct StreamInfo;
struct TrimPoints;

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
};

OutputTarget TargetOf(const WriteParams& params);

// Writes the edited audio. For InPlace, `info` is brought up to date with the saved file when
// the file stays open (RefreshOpenFile); otherwise it is not changed. Throws VelmoraError; the
// face then applies WindowActionAfterError.
WriteResult WriteOutput(const WriteParams& params, StreamInfo& info, const WriteContext& context,
                        IProgress& progress);

// After a failed write: stream targets re-enable the commands; an in-place file is closed, as
// its model can no longer be trusted.
WindowAction WindowActionAfterError(const WriteParams& params);

// The parameters Save (outputPath empty) and Save As use for `trim` and its plan.
WriteParams MakeSaveParams(const std::string& sourcePath, const std::string& outputPath,
                           const StreamInfo& info, const TrimPoints& trim, const OutputPlan& plan,
                           const Settings& settings, int gainSteps, int fadeInIndex,
                           int fadeOutIndex);

} // namespace velmora
