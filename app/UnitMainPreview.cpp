// The preview buttons, the media player's position on the "W" buttons, and the CUE keys.
#include "UnitMain.h"

#include "MprisClient.h"
#include "TSpinEdit.h"
#include "UnitChapterSplit.h"
#include "UnitCueSheet.h"
#include "UnitCueSplit.h"
#include "UnitMP3.h"
#include "UnitPlayerPosition.h"
#include "UnitPreviewPlayer.h"
#include "UnitSpecialFolder.h"
#include "UnitStatusLine.h"
#include "UnitVolume.h"
#include "UnitWaveformPanel.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

using namespace velmora;

namespace {

int ClampFrames(std::int64_t frames, std::int64_t total) {
    return static_cast<int>(
        std::clamp<std::int64_t>(frames, 0, std::min<std::int64_t>(total, INT32_MAX)));
}

} // namespace

void TFormMain::AttachPlayers(IAudioOutput& output, std::function<PreviewFolder()> chooseFolder,
                              MprisClient* mpris) {
    m_previewPlayer.reset();
    m_previewFiles = std::make_unique<PreviewFiles>(std::move(chooseFolder));
    m_audioOutput = &output;
    PreviewSeams seams;
    seams.ask = [this](const std::string& text, bool) {
        return m_dialogs.AskYesNo(this, QStringLiteral("Velmora"), QString::fromStdString(text)) ==
               IDialogs::Answer::Yes;
    };
    seams.inform = [this](const std::string& text) {
        m_dialogs.Message(this, IDialogs::Kind::Information, QStringLiteral("Velmora"),
                          QString::fromStdString(text));
    };
    seams.openWithShell = [this](const std::string& path) {
        BusyScope hourglass(nullptr);
        m_shell.OpenUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    seams.finished = [this] { PreviewFinished(); };
    m_previewPlayer = std::make_unique<PreviewPlayer>(output, *m_previewFiles, std::move(seams));
    m_mpris = mpris;
    if (m_mpris)
        connect(m_mpris, &MprisClient::PollFinished, this,
                [this](bool available) { ShowPlayerAvailable(available); });
}

void TFormMain::ConnectPreviewControls() {
    connect(BitBtnTestBegin, &QToolButton::clicked, this,
            [this] { RunCommand([this] { PreviewButtonClick(false); }); });
    connect(BitBtnTestEnd, &QToolButton::clicked, this,
            [this] { RunCommand([this] { PreviewButtonClick(true); }); });
    connect(BitBtnWinAmpGetTrimBegin, &QToolButton::clicked, this,
            [this] { RunCommand([this] { PlayerGetTrimClick(false); }); });
    connect(BitBtnWinAmpGetTrimEnd, &QToolButton::clicked, this,
            [this] { RunCommand([this] { PlayerGetTrimClick(true); }); });
    connect(Timer, &QTimer::timeout, this, [this] { TimerTimer(); });
}

// A stopped clip sends no end: its button goes up here.
void TFormMain::StopPreview() {
    if (m_previewPlayer)
        m_previewPlayer->StopPreview();
    PreviewFinished();
}

void TFormMain::DeletePreviewFiles() {
    if (m_previewPlayer)
        m_previewPlayer->DeletePreviewFiles();
}

// BitBtnTestBeginClick, BitBtnTestEndClick: the button's down state has already flipped.
void TFormMain::PreviewButtonClick(bool endButton) {
    QToolButton* button = endButton ? BitBtnTestEnd : BitBtnTestBegin;
    QToolButton* other = endButton ? BitBtnTestBegin : BitBtnTestEnd;
    const bool down = button->isChecked();
    if (!Allowed(EditorCommand::Preview) || !m_previewPlayer) {
        button->setChecked(false);
        return;
    }
    if (!down) {
        StopPreview();
        return;
    }
    other->setChecked(false);
    // An empty field or points that overlap give no clip: the button goes up, nothing plays.
    const std::optional<TrimPoints> trim = CommittedTrimPoints();
    if (!trim) {
        button->setChecked(false);
        return;
    }
    const Qt::KeyboardModifiers keys = QGuiApplication::queryKeyboardModifiers();
    const PreviewRequest request{.endButton = endButton,
                                 .shift = keys.testFlag(Qt::ShiftModifier),
                                 .ctrl = keys.testFlag(Qt::ControlModifier),
                                 .beginFrames = trim->beginFrames,
                                 .endFrames = trim->endFrames,
                                 .totalFrames = m_info->frameCount,
                                 .planSilenceBeginFrames = m_plan.plan.silenceBeginFrames,
                                 .planSilenceEndFrames = m_plan.plan.silenceEndFrames,
                                 .fadeInPosition = TrackBarFadeIn->value(),
                                 .fadeOutPosition = TrackBarFadeOut->value(),
                                 .amplificationPosition = TrackBarAmplification->value(),
                                 .amplificationEnabled = TrackBarAmplification->isEnabled()};
    const PreviewSource source{SourcePath(), *m_info, CurrentOutputIsWav(), m_tagsKept};
    bool staysDown = false;
    try {
        staysDown = m_previewPlayer->ButtonClick(true, request, source, m_settings, m_messages);
    } catch (...) {
        button->setChecked(false);
        throw;
    }
    button->setChecked(staysDown);
}

// "[" and "]": the button's down state flips and its handler runs, if the button is enabled.
void TFormMain::PreviewKey(bool endButton) {
    QToolButton* button = endButton ? BitBtnTestEnd : BitBtnTestBegin;
    if (!button->isEnabled())
        return;
    button->setChecked(!button->isChecked());
    RunCommand([this, endButton] { PreviewButtonClick(endButton); });
}

void TFormMain::PreviewFinished() {
    BitBtnTestBegin->setChecked(false);
    BitBtnTestEnd->setChecked(false);
}

// TimerTimer: the poll answers later, through PollFinished.
void TFormMain::TimerTimer() {
    if (m_mpris)
        m_mpris->Poll();
}

void TFormMain::ShowPlayerAvailable(bool available) {
    // A poll that ends after Close does not light the captions of disabled buttons.
    m_playerAvailable = available && FileIsOpen();
    ApplyPlayerCaptionColour();
}

void TFormMain::ApplyPlayerCaptionColour() {
    const QColor caption = ThemedColour(
        m_playerAvailable ? FixedColour::Yellow : FixedColour::Black, palette(), QPalette::Button);
    for (QToolButton* w : {BitBtnWinAmpGetTrimBegin, BitBtnWinAmpGetTrimEnd})
        SetEnabledTextColour(w, QPalette::ButtonText, caption);
}

// BitBtnWinAmpGetTrimBeginClick, BitBtnWinAmpGetTrimEndClick. A player that vanished since the
// poll, hangs, or answers garbage changes nothing.
void TFormMain::PlayerGetTrimClick(bool endButton) {
    if (!m_mpris || !m_playerAvailable || !Allowed(EditorCommand::PlayerPosition))
        return;
    QPointer<TFormMain> self(this);
    m_mpris->ReadPosition([self, endButton](std::optional<std::int64_t> microseconds) {
        if (!self || !microseconds)
            return;
        self->RunCommand([&] {
            TFormMain& w = *self;
            if (!w.Allowed(EditorCommand::PlayerPosition))
                return;
            const std::optional<std::int64_t> frames =
                PlayerPositionFrames(w.m_info->firstHeader, *microseconds);
            if (!frames)
                return;
            const std::int64_t total = w.m_info->frameCount;
            if (endButton)
                w.SpinEditEndF->setValue(ClampFrames(total - *frames, total));
            else
                w.SpinEditBeginF->setValue(ClampFrames(*frames, total));
        });
    });
}

// Ctrl+G: the guards are the key handler's.
void TFormMain::GenerateCueSheetKey() {
    const std::optional<TrimPoints> trim = CommittedTrimPoints();
    if (!trim) {
        m_shell.Beep();
        return;
    }
    StopPreview();
    CueGenerateResult result;
    {
        StateScope analysing(*this, EditorState::Analysing);
        m_stopRequested = false;
        QtProgress progress(ProgressBar, m_stopRequested);
        result = GenerateCueSheet(SourcePath(), *m_info, *trim,
                                  m_volumeAnalysisDone ? PriorVolumeAnalysis::Done
                                                       : PriorVolumeAnalysis::None,
                                  m_settings, m_messages, progress);
    }
    if (result.normalization)
        ShowNormalization(*result.normalization);
    m_waveformPanel->ShowCuePoints(result.sheet.trackFrames);
    const QFileInfo cue(QFile::decodeName(QByteArray::fromStdString(result.cuePath)));
    StatusLine->ShowWritten(TStatusLine::Written::CueSheet, cue.fileName(), cue.absolutePath());
}

// Ctrl+U: the guards are the key handler's; without a sheet the file's chapters, if any; a beep
// when there is neither.
void TFormMain::SplitByCueSheetKey() {
    StopPreview();
    const SplitControls controls{
        .gainSteps = TrackBarAmplification->isEnabled() ? TrackBarAmplification->value() : 0,
        .fadeInIndex = TrackBarFadeIn->value(),
        .fadeOutIndex = TrackBarFadeOut->value(),
        .tagsKept = m_tagsKept};
    SplitResult result;
    {
        StateScope analysing(*this, EditorState::Analysing);
        m_stopRequested = false;
        QtProgress progress(ProgressBar, m_stopRequested);
        result = SplitBySheetOrChapters(SourcePath(), *m_info, controls, m_settings, m_messages,
                                        progress);
    }
    if (!result.found) {
        m_shell.Beep();
        return;
    }
    StatusLine->ShowWritten(TStatusLine::Written::Tracks, QString::number(result.written.size()),
                            QFile::decodeName(QByteArray::fromStdString(result.folder)));
    if (result.trim) {
        const std::int64_t total = m_info->frameCount;
        SpinEditBeginF->setValue(ClampFrames(result.trim->beginFrames, total));
        SpinEditEndF->setValue(ClampFrames(result.trim->endFrames, total));
    }
}

// Ctrl+G and Ctrl+U: refused (a beep) while an operation or a save runs or no file is open.
void TFormMain::CueKey(bool generate) {
    if (!Allowed(EditorCommand::CueSheet)) {
        m_shell.Beep();
        return;
    }
    RunCommand([this, generate] {
        if (generate)
            GenerateCueSheetKey();
        else
            SplitByCueSheetKey();
    });
}
