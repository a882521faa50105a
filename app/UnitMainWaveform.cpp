// The waveform panel in the main window: markers and trim fields kept in step, the View menu's
// switch, and the preview from a Shift+click.
#include "UnitMain.h"

#include "TSpinEdit.h"
#include "UnitPreviewPlayer.h"
#include "UnitWaveformPanel.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>

using namespace velmora;

TWaveformPanel* TFormMain::BuildWaveformPanel() {
    m_waveformPanel = new TWaveformPanel;
    m_waveformPanel->setVisible(m_settings.MenuWaveform);
    TWaveformView* view = m_waveformPanel->View();
    connect(view, &TWaveformView::markerMoved, this,
            [this](TWaveformView::Marker marker, std::int64_t frame) {
                RunCommand([=, this] { WaveformMarkerMoved(static_cast<int>(marker), frame); });
            });
    connect(view, &TWaveformView::previewRequested, this,
            [this](std::int64_t frame) { RunCommand([=, this] { WaveformPreview(frame); }); });
    for (TSpinEdit* field : {SpinEditBeginF, SpinEditEndF})
        connect(field, &TSpinEdit::valueChanged, this, [this] { SyncWaveformMarkers(); });
    return m_waveformPanel;
}

void TFormMain::BuildViewMenu() {
    auto* view = new QMenu(tr("&View"), menuBar());
    view->menuAction()->setObjectName(QStringLiteral("MenuView"));
    MenuWaveform = view->addAction(tr("&Waveform"));
    MenuWaveform->setObjectName(QStringLiteral("MenuWaveform"));
    MenuWaveform->setCheckable(true);
    MenuWaveform->setChecked(m_settings.MenuWaveform);
    MenuWaveform->setShortcut(QKeySequence(Qt::Key_F9));
    connect(MenuWaveform, &QAction::triggered, this,
            [this] { RunCommand([this] { MenuWaveformClick(); }); });
    menuBar()->insertMenu(MenuOptions, view);
}

// Shown or hidden; the window fits what it shows.
void TFormMain::MenuWaveformClick() {
    m_settings.MenuWaveform = MenuWaveform->isChecked();
    m_waveformPanel->setVisible(m_settings.MenuWaveform);
    if (m_settings.MenuWaveform)
        m_waveformPanel->ResumeWorker();
    else
        m_waveformPanel->StopWorker();
    centralWidget()->layout()->activate();
    adjustSize();
}

void TFormMain::WaveformFileOpened() {
    if (!m_info)
        return;
    m_waveformPanel->ShowFile(SourcePath(), *m_info, m_messages);
    SyncWaveformMarkers();
}

// A marker dragged or moved by a key sets its field, as typing the number would.
void TFormMain::WaveformMarkerMoved(int marker, std::int64_t frame) {
    if (!Allowed(EditorCommand::EditTrim) || !m_info)
        return SyncWaveformMarkers();
    const std::int64_t total = m_info->frameCount;
    if (static_cast<TWaveformView::Marker>(marker) == TWaveformView::Marker::Begin)
        SpinEditBeginF->setValue(static_cast<int>(std::clamp<std::int64_t>(frame, 0, total)));
    else
        SpinEditEndF->setValue(static_cast<int>(std::clamp<std::int64_t>(total - frame, 0, total)));
}

void TFormMain::SyncWaveformMarkers() {
    if (!m_info)
        return;
    const std::int64_t total = m_info->frameCount;
    const std::int64_t begin = std::max(0, SpinEditBeginF->value());
    const std::int64_t end = std::max(0, SpinEditEndF->value());
    m_waveformPanel->View()->SetTrim(begin, total - end);
}

// Shift+click: the preview length around the point, through the internal player.
void TFormMain::WaveformPreview(std::int64_t frame) {
    if (!Allowed(EditorCommand::Preview) || !m_info || !m_previewPlayer)
        return;
    StopPreview();
    const PreviewClip clip =
        ClipAround(m_info->firstHeader, m_settings.SpinEditPreviewLength, frame, m_info->frameCount,
                   TrackBarAmplification->isEnabled() ? TrackBarAmplification->value() : 0);
    const PreviewSource source{SourcePath(), *m_info, CurrentOutputIsWav(), m_tagsKept};
    m_previewPlayer->PlayPreview(clip, source, m_settings, m_messages);
}
