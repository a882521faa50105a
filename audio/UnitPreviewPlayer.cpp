#include "UnitPreviewPlayer.h"

#include "UnitMessages.h"
#include "UnitOptions.h"
#include "UnitPreviewRender.h"
#include "UnitSpecialFolder.h"

namespace velmora {

PreviewPlayer::PreviewPlayer(IAudioOutput& output, PreviewFiles& files, PreviewSeams seams)
    : m_output(output), m_files(files), m_seams(std::move(seams)) {
    m_output.SetFinishedHandler([this] {
        if (m_seams.finished)
            m_seams.finished();
    });
}

bool PreviewPlayer::ButtonClick(bool down, const PreviewRequest& request,
                                const PreviewSource& source, Settings& settings,
                                const MessageTable& messages) {
    if (!down) {
        StopPreview();
        return false;
    }
    const PreviewClip clip = ComputePreviewClip(source.info.firstHeader, settings, request);
    if (clip.outcome == PreviewOutcome::InvalidTrim)
        return false;
    const bool started = PlayPreview(clip, source, settings, messages);
    return started && settings.CheckBoxStickyPreviewButtons;
}

bool PreviewPlayer::PlayPreview(const PreviewClip& clip, const PreviewSource& source,
                                Settings& settings, const MessageTable& messages) {
    if (clip.outcome == PreviewOutcome::InvalidTrim)
        return false;
    if (clip.outcome == PreviewOutcome::NothingToPreview || clip.frameCount <= 0) {
        m_seams.inform(NothingToPreviewText(messages));
        return false;
    }
    if (settings.RadioGroupPreviewMode && source.info.firstHeader.layerId != 1) {
        if (!m_seams.ask(kInternalPlayerLayer3Only, false))
            return false;
        settings.RadioGroupPreviewMode = false;
    }
    if (settings.RadioGroupPreviewMode) {
        StopPreview();
        const WriteContext context{settings, messages, source.outputIsWav, source.tagsKept};
        const PcmClip pcm = RenderPreviewClip(source.path, source.info, clip, context);
        if (m_output.Play(pcm))
            return true;
        if (!m_seams.ask(MessageTable::Join(messages.MessageDlgPreviewFailed), true))
            return false;
        settings.RadioGroupPreviewMode = false;
    }
    PlayExternal(clip, source, settings, messages);
    return false; // the shell's player sends no end notice
}

void PreviewPlayer::PlayExternal(const PreviewClip& clip, const PreviewSource& source,
                                 const Settings& settings, const MessageTable& messages) {
    StopPreview();
    const WriteContext context{settings, messages, source.outputIsWav, source.tagsKept};
    const std::string name = WritePreviewFile(source.path, source.info, clip, context, m_files);
    m_seams.openWithShell(name);
}

void PreviewPlayer::DeletePreviewFiles() const {
    m_files.DeletePreviewFiles();
}

} // namespace velmora
