#pragma once

#include <string>
#include <vector>

namespace velmora {

// The translatable texts of the main window: eleven dialog lists and the indexed strings.
struct MessageTable {
    using List = std::vector<std::string>;
    List MessageDlgWarnWhenMissingFH;
    List MessageDlgErrorMissingFH;
    List MessageDlgPreviewFailed;
    List MessageDlgAcmStreamOpenFailed;
    List MessageDlgRemovedBeginning;
    List MessageDlgUpdateWarning;
    List MessageDlgSaveWAVWithoutHeaderWarning;
    List MessageDlgAbortWriteWarning;
    List MessageDlgProcessingErrorAbortIgnore;
    List MessageDlgErrorCreatingLOGfile;
    List MessageDlg_mp3PROwarning;
    List MessageStrings;

    // The English built-in texts.
    static MessageTable English();
    // One dialog list shown as a message: items joined by line breaks.
    static std::string Join(const List& list);
};

// Indices into MessageStrings.
enum MessageIndex : int {
    kMsgNoFileOpened = 0,
    kMsgDone = 1,
    kMsgNoTagFound = 2,
    kMsgNone = 3,
    kMsgNoValidHeader = 4,
    kMsgAccessDenied = 8,
    kMsgFailedToOpen = 9,
    kMsgErrorAnalyzing = 10,
    kMsgYes = 11,
    kMsgNo = 12,
    kMsgBad = 13,
    kMsgErrorWriting = 14,
    kMsgNothingToPreview = 15,
    kMsgExitPrompt = 16,
    kMessageStringCount = 17,
};

// MessageStrings[index], or `fallback` where a translation lacks it.
std::string MessageOr(const MessageTable& messages, int index, const char* fallback);

} // namespace velmora
