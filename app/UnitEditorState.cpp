#include "UnitEditorState.h"

namespace velmora {

namespace {

constexpr int kStateCount = static_cast<int>(EditorState::Closing) + 1;

// clang-format off
constexpr bool kAllowed[kEditorCommandCount][kStateCount] = {
    //                   NoFile Opening Open Analysing Writing Batch Closing
    /* Open           */ {1,    0,      0,   0,        0,      0,    0},
    /* Save           */ {0,    0,      1,   0,        0,      0,    0},
    /* SaveAs         */ {0,    0,      1,   0,        0,      0,    0},
    /* Close          */ {0,    0,      1,   1,        0,      0,    0},
    /* Stop           */ {0,    1,      0,   1,        0,      1,    0},
    /* Options        */ {1,    0,      1,   0,        0,      0,    0},
    /* Batch          */ {1,    0,      1,   0,        0,      0,    0},
    // Typing during an analysis keeps the fields in step; the analysis took its points before.
    /* EditTrim       */ {0,    0,      1,   1,        0,      0,    0},
    /* TrimSilence    */ {0,    0,      1,   0,        0,      0,    0},
    /* EndOntoBegin   */ {0,    0,      1,   0,        0,      0,    0},
    // The tags' choice changes what a save writes, so never during one.
    /* ToggleTags     */ {1,    1,      1,   1,        0,      1,    0},
    /* AutoVolume     */ {0,    0,      1,   0,        0,      0,    0},
    /* FadeClick      */ {0,    0,      1,   1,        0,      0,    0},
    /* Preview        */ {0,    0,      1,   0,        0,      0,    0},
    /* PlayerPosition */ {0,    0,      1,   0,        0,      0,    0},
    /* CueSheet       */ {0,    0,      1,   0,        0,      0,    0},
};
// clang-format on

} // namespace

bool CommandAllowed(EditorState state, EditorCommand command) {
    return kAllowed[static_cast<int>(command)][static_cast<int>(state)];
}

const char* EditorStateName(EditorState state) {
    constexpr const char* kNames[kStateCount] = {"no file", "opening", "open",   "analysing",
                                                 "writing", "batch",   "closing"};
    return kNames[static_cast<int>(state)];
}

} // namespace velmora
