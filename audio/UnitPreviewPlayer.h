#pragma once

#include "IAudioOutput.h"
#include "UnitPreviewClip.h"

#include <functional>
#include <string>

namespace velmora {

class PreviewFiles;

inline constexpr const char* kInternalPlayerLayer3Only =
    "The internal player can only be used for layer III files.\n\nDo you want to use the external "
    "player instead?";

// What a preview asks of the face that shows it.
struct PreviewSeams {
    // A question with Yes and No (the error icon when `error`); true for Yes.
    std::function<bool(const std::string& text, bool error)> ask;
    // An information box with OK.
    std::function<void(const std::string& text)> inform;
    // Opens the file with the user's player for MP3 files, the hourglass shown meanwhile.
    std::function<void(const std::string& path)> openWithShell;
    // The clip played to its end: both preview buttons go up.
    std::function<void()> finished;
};

// The open file a preview is made from.
struct PreviewSource {
    std::string path;
    StreamInfo& info;
    bool outputIsWav = false;
    bool tagsKept = true;
};

// The two preview buttons' player: the internal player through an IAudioOutput, the external one
// through preview files handed to the shell. One clip plays at a time.
class PreviewPlayer {
public:
    PreviewPlayer(IAudioOutput& output, PreviewFiles& files, PreviewSeams seams);

    // BitBtnTestBeginClick / BitBtnTestEndClick once the busy check has passed; `down` is the
    // button's state after the click. Returns whether the button stays down. `settings` is the
    // editor's option set: a switch to the external player changes RadioGroupPreviewMode.
    // Throws VelmoraError (a failed external preview ends in " - Preview failed.").
    bool ButtonClick(bool down, const PreviewRequest& request, const PreviewSource& source,
                     Settings& settings, const MessageTable& messages);

    // PlayPreview: true only when the internal player has started.
    bool PlayPreview(const PreviewClip& clip, const PreviewSource& source, Settings& settings,
                     const MessageTable& messages);

    // Safe when nothing plays: before another preview, a volume analysis, a save, Close and
    // window close.
    void StopPreview() { m_output.Stop(); }
    bool Playing() const { return m_output.Playing(); }
    // Before the Options window, at Close and at exit.
    void DeletePreviewFiles() const;

private:
    void PlayExternal(const PreviewClip& clip, const PreviewSource& source,
                      const Settings& settings, const MessageTable& messages);

    IAudioOutput& m_output;
    PreviewFiles& m_files;
    PreviewSeams m_seams;
};

} // namespace velmora
