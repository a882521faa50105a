#include "UnitMessages.h"

namespace velmora {

MessageTable MessageTable::English() {
    MessageTable t;
    t.MessageDlgWarnWhenMissingFH = {
        "This file has one or more missing frame headers and might be corrupted.",
        "Make sure to check the trimmed result (using 'save as') before committing any changes.",
        "",
        "Note: to disable this warning in the future, uncheck the option 'Display a warning when "
        "opening a file with missing frame header(s)'."};
    t.MessageDlgErrorMissingFH = {
        "This file appears to be seriously corrupted.",
        "Make sure to check the result (using 'save as') before committing any changes."};
    t.MessageDlgPreviewFailed = {"The preview failed - the sound server might be busy or out of "
                                 "reach, or your system might be missing the MPEG audio decoder "
                                 "(libmpg123).",
                                 "Do you want to try to use an external player instead?"};
    t.MessageDlgAcmStreamOpenFailed = {
        "The MPEG audio decoder could not be started", "",
        "Try (re)installing libmpg123 (the Debian package libmpg123-0)"};
    t.MessageDlgRemovedBeginning = {
        "This file seems heavily damaged, at least at the beginning.", "",
        "Velmora will automatically skip part of the beginning when editing and permanently "
        "delete that part if the file is saved."};
    t.MessageDlgUpdateWarning = {"The file '%s' is going to be updated.",
                                 "Do you want to continue?", "",
                                 "Note: to disable this warning in the future, uncheck the option "
                                 "'Ask before overwriting a file'."};
    t.MessageDlgSaveWAVWithoutHeaderWarning = {
        "The file '%s' is going to be saved without WAV header, since the option setting 'Save "
        "with .WAV extension' is currently un-checked.",
        "Such a file may need to be renamed manually from '.WAV' to '.MP3' before playback is "
        "possible.",
        "", "Do you want to continue anyway?"};
    t.MessageDlgAbortWriteWarning = {"Aborting the write process might leave the MP3 file in an "
                                     "unknown state and is not recommended.",
                                     "Abort anyway?"};
    t.MessageDlgProcessingErrorAbortIgnore = {
        "Error processing '%s'", "%s", "",
        "Do you want to 'Abort' (i.e. stop the batch processing) or 'Ignore' the error (i.e. skip "
        "this file and continue the batch)?"};
    t.MessageDlgErrorCreatingLOGfile = {"Error creating LOG file '%s'"};
    t.MessageDlg_mp3PROwarning = {
        "mp3PRO files are not completely streamable, so trimming the beginning can prevent an "
        "mp3PRO aware decoder to sync-up with the mp3PRO info. The file will still play but "
        "quality may be slightly degraded at the beginning, so make sure you check the result.",
        "",
        "Note: to disable this warning in the future, uncheck the option 'Display a warning when "
        "trimming the beginning of mp3PRO files' in Options/Silence."};
    t.MessageStrings = {"- no file opened -",
                        "- done -",
                        "- no tag found -",
                        "- none -",
                        "Failed to find a valid MPEG header - this is not an MP3 file!",
                        "",
                        "",
                        "",
                        "Access to file is denied (read only?)",
                        "Failed to open the file",
                        "Error analyzing this file - probably not an MPEG audio file",
                        "yes",
                        "no",
                        "bad",
                        "Error writing file!",
                        "Nothing to preview.",
                        "Do you want to exit Velmora?"};
    return t;
}

std::string MessageTable::Join(const List& list) {
    std::string text;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += list[i];
    }
    return text;
}

std::string MessageOr(const MessageTable& messages, int index, const char* fallback) {
    if (index >= 0 && index < static_cast<int>(messages.MessageStrings.size()) &&
        !messages.MessageStrings[static_cast<std::size_t>(index)].empty())
        return messages.MessageStrings[static_cast<std::size_t>(index)];
    return fallback;
}

} // namespace velmora
