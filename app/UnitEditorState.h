#pragma once

// The editor's state and the commands each state allows (no Qt: tested as a table).

#include <cstdint>

namespace velmora {

enum class EditorState : std::uint8_t {
    NoFile,
    Opening,   // the first read of a file; no model yet
    Open,      // a model, nothing running
    Analysing, // a stoppable operation over the open file: the volume analysis, CUE generation
               // and split, reading the file again after the options changed
    Writing,   // a save; it is never stopped, and the window takes no input but Escape
    Batch,     // the batch window runs (application-modal), with or without an open file
    Closing,   // the window has accepted its close
};

enum class EditorCommand : std::uint8_t {
    Open,           // Open, a path from the command line, a drop
    Save,           // Save (in place)
    SaveAs,         // Save As
    Close,          // Close; while an analysis runs it stops the analysis instead
    Stop,           // stop the operation under way (Escape, Exit, Close, closing the window)
    Options,        // Options (F10); refused with a beep
    Batch,          // Batch (Ctrl+B); refused with a beep
    EditTrim,       // the trim fields' change handlers keep the other fields in step
    TrimSilence,    // the silence trim button
    EndOntoBegin,   // F5
    ToggleTags,     // Ctrl+T; refused with a beep
    AutoVolume,     // the volume analysis button
    FadeClick,      // a click on a fade picture sets its bar
    Preview,        // the preview buttons and keys
    PlayerPosition, // the media player's position into a trim field
    CueSheet,       // Ctrl+G and Ctrl+U; refused with a beep
};

inline constexpr int kEditorCommandCount = static_cast<int>(EditorCommand::CueSheet) + 1;

// Whether `command` may run in `state`: the one place the editor's handlers ask.
bool CommandAllowed(EditorState state, EditorCommand command);

const char* EditorStateName(EditorState state);

} // namespace velmora
