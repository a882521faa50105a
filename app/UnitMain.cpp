#include "UnitMain.h"

#include "AccessibleNames.h"
#include "TSpinEdit.h"
#include "TTimeEdit.h"
#include "UnitAbout.h"
#include "UnitAdvancedInfo.h"
#include "UnitMP3.h"
#include "UnitPreviewPlayer.h"
#include "UnitSpecialFolder.h"
#include "UnitStatusLine.h"
#include "UnitTrimCascade.h"
#include "UnitWaveformPanel.h"
#include "VelmoraError.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

using namespace velmora;

namespace {

constexpr int kHintDurationMs = 15000;
constexpr unsigned kTrimSyncAll = 0xF;

// Counts the commands on the stack for as long as one runs.
class CommandDepth {
public:
    explicit CommandDepth(int& depth) : m_depth(depth) { ++m_depth; }
    ~CommandDepth() { --m_depth; }
    CommandDepth(const CommandDepth&) = delete;
    CommandDepth& operator=(const CommandDepth&) = delete;

private:
    int& m_depth;
};

} // namespace

TFormMain::TFormMain(Settings& settings, IDialogs& dialogs, IShell& shell, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_settings(settings), m_dialogs(dialogs), m_shell(shell) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Velmora 2.20"));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(6, 0, 6, 6);
    ProgressBar = new QProgressBar(central);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, ProgressMeter::kSteps);
    ProgressBar->setTextVisible(false);
    ProgressBar->setFixedHeight(9);
    column->addWidget(ProgressBar);
    column->addWidget(BuildInfoGroup());
    column->addWidget(BuildTrimGroup());
    column->addWidget(BuildWaveformPanel());
    column->addWidget(BuildVolumeGroup());
    column->setSizeConstraint(QLayout::SetFixedSize);
    setCentralWidget(central);
    BuildMenu();
    StatusLine = new TStatusLine(this);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(StatusLine, 1);
    setAcceptDrops(true);
    setWindowIcon(ApplicationIcon());

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(500);
    for (QWidget* component : m_components)
        component->setToolTipDuration(kHintDurationMs);

    ConnectTrimControls();
    ConnectVolumeControls();
    ConnectPreviewControls();
    FormCreate();
    m_advancedInfo = new TFormAdvancedInfo(this);
    m_about = new TFormAbout(shell, this);
    CreateOptionsWindows();
    NameControls(this);
    qApp->installEventFilter(this);
}

TFormMain::~TFormMain() {
    qApp->removeEventFilter(this);
    if (m_audioOutput) {
        m_audioOutput->Stop();
        m_audioOutput->SetFinishedHandler({});
    }
    m_waveformPanel->CloseFile(); // its worker reads the model
    FormDestroy();
}

void TFormMain::FormCreate() {
    m_state = EditorState::NoFile;
    m_messages = MessageTable::English();
    LoadWindowPlacement();
}

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    ApplyThemeColours(); // the screen's pixel ratio is known now
    if (m_activated)
        return;
    m_activated = true;
    FormActivate();
}

void TFormMain::FormActivate() {
    TimeSpinBeginS->clearFields();
    TimeSpinEndS->clearFields();
    TimeSpinDuration->clearFields();
    EnterNoFileState();
    ApplyWindowOptions();
    TrackBarAmplification->setValue(m_settings.TrackBarDefaultAmplification);
}

void TFormMain::ApplyWindowOptions() {
    const bool onTop = m_settings.CheckBoxStayOnTop;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
        // Changing the flag hides the window.
        if (shown)
            show();
    }
    const bool hints = !m_settings.RadioGroupPreviewPlaysWhat;
    BitBtnTestBegin->setToolTip(hints ? m_testBeginHint : QString());
    BitBtnTestEnd->setToolTip(hints ? m_testEndHint : QString());
    // Without their hints the preview buttons still tell a screen reader what they play.
    SetNameHint(BitBtnTestBegin, m_testBeginHint);
    SetNameHint(BitBtnTestEnd, m_testEndHint);
    NameControls(this);
    TimeSpinBeginS->setResetOnOpen(m_settings.CheckBoxResetTrimmingPointsWhenOpen);
    TimeSpinEndS->setResetOnOpen(m_settings.CheckBoxResetTrimmingPointsWhenOpen);
}

// The new model is in m_info: the controls take its counts, and the commands of an open file.
void TFormMain::EnterOpenState() {
    VELMORA_ASSERT(m_info.has_value(), "UnitMain");
    m_trimSyncGuard = kTrimSyncAll;
    m_tagsKept = true;
    m_state = EditorState::Open;
    Timer->start();
    TimerTimer();
    UpdateCommands();
    ApplyThemeColours();
    ResetTrimFieldsForStream();
    ResetVolumeForStream();
    SyncTimeControls();
    m_trimSyncGuard = 0;
    RefreshTimeReadouts();
    UpdateDiskSpaceSavingDisplay();
}

// The model goes first, so nothing that runs while the fields empty reads it.
void TFormMain::EnterNoFileState() {
    m_trimSyncGuard = kTrimSyncAll;
    m_tagsKept = true;
    m_state = EditorState::NoFile;
    m_info.reset();
    if (GroupBoxTrim->isVisible())
        GroupBoxTrim->setFocus();
    Timer->stop();
    m_playerAvailable = false;
    BitBtnTestBegin->setChecked(false);
    BitBtnTestEnd->setChecked(false);
    UpdateCommands();
    ApplyThemeColours();
    ClearFileFields();
    m_trimSyncGuard = 0;
    RefreshTimeReadouts();
    UpdateDiskSpaceSavingDisplay();
}

void TFormMain::UpdateCommands() {
    const std::pair<QAction*, EditorCommand> commands[] = {{MenuOpen, EditorCommand::Open},
                                                           {MenuSave, EditorCommand::Save},
                                                           {MenuSaveAs, EditorCommand::SaveAs},
                                                           {MenuClose, EditorCommand::Close}};
    for (const auto& [action, command] : commands)
        action->setEnabled(Allowed(command));
    // Options, Batch, About and Exit stay enabled: their refusals are heard. The file's controls
    // stay enabled while an operation runs, so the focus stays where it is; their handlers ask
    // the table, and a write keeps input out.
    const bool open = FileIsOpen();
    const bool volumeAllowed = open && m_info->firstHeader.layerId == 1;
    for (QWidget* component : m_components) {
        const bool volumeControl = (component->property("Tag").toInt() & kTagVolumeBit) != 0;
        component->setEnabled(volumeControl ? volumeAllowed : open);
    }
    ImageFadeInBlack->setVisible(volumeAllowed);
    ImageFadeOutBlack->setVisible(volumeAllowed);
    for (QWidget* alwaysOn : {static_cast<QWidget*>(GroupBoxTrim),
                              static_cast<QWidget*>(PageControlTrim), TabSheetTime, TabSheetFrame})
        alwaysOn->setEnabled(true);
}

void TFormMain::ResetTrimFieldsForStream() {
    const MpegHeader& first = m_info->firstHeader;
    const int frames = TrimFieldTotal(m_info->frameCount);
    if (SpinEditBeginF->value() < 0) {
        TimeSpinBeginS->setValue(0);
        SpinEditBeginF->setValue(0);
        TimeSpinEndS->setValue(0);
        SpinEditEndF->setValue(0);
    }
    const int seconds = static_cast<int>(FramesToSeconds(first, m_info->frameCount));
    for (TTimeSpin* spin : {TimeSpinBeginS, TimeSpinEndS, TimeSpinEndP, TimeSpinDuration})
        spin->setMaximum(seconds);
    // Past 999999 frames (about seven hours) the fields take the digits the count needs.
    const int digits = static_cast<int>(QString::number(frames).size());
    for (TSpinEdit* spin : {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration}) {
        spin->setMaxDigits(std::max(TSpinEdit::kDefaultMaxDigits, digits));
        spin->setMaximum(frames);
    }
    SpinEditEndP->setValue(frames);
    SpinEditDuration->setValue(frames);
}

void TFormMain::ResetVolumeForStream() {
    TrackBarAmplification->setValue(m_settings.TrackBarDefaultAmplification);
    if (m_settings.CheckBoxResetFadeControlsWhenOpen) {
        TrackBarFadeIn->setValue(0);
        TrackBarFadeOut->setValue(0);
    }
    PanelVolumeMax->setText(QStringLiteral("?dB"));
    PanelLoudness->setText(QStringLiteral("? LUFS"));
    if (m_settings.CheckBoxResetAddSilenceWhenOpen) {
        m_settings.ComboBoxAddSilenceBeginning = 0;
        m_settings.ComboBoxAddSilenceEnd = 0;
    }
}

void TFormMain::ClearFileFields() {
    if (TimeSpinBeginS->resetOnOpen())
        for (TSpinEdit* spin : {SpinEditBeginF, SpinEditEndF, SpinEditEndP, SpinEditDuration})
            spin->clear();
    if (!EditName->text().isEmpty())
        EditName->clear();
    else
        EditName->setText(
            QString::fromStdString(MessageOr(m_messages, kMsgNoFileOpened, "- no file opened -")));
    for (QLineEdit* edit : {EditType, EditLength, EditID3, EditCRC, EditBitrate})
        edit->clear();
    ProgressBar->setValue(0);
    PanelVolumeNormalization->hide();
    m_volumeAnalysisDone = false;
    LabelSpaceSaved->clear();
    LabelTimeRemain->clear();
}

TFormMain::StateScope::StateScope(TFormMain& window, EditorState state)
    : m_window(window), m_state(state), m_before(window.m_state), m_hourglass(nullptr) {
    m_window.m_state = m_state;
    m_window.UpdateCommands();
}

TFormMain::StateScope::~StateScope() {
    if (m_window.m_state != m_state)
        return;
    m_window.m_state = m_before;
    m_window.UpdateCommands();
}

// The read-outs' fixed colours, made to read on the current palette; the ramps drawn for the
// screen's pixel ratio.
void TFormMain::ApplyThemeColours() {
    const QColor panelText = ThemedColour(FileIsOpen() ? FixedColour::Black : FixedColour::Gray,
                                          palette(), QPalette::Window);
    SetEnabledTextColour(PanelVolume, QPalette::WindowText, panelText);
    SetEnabledTextColour(PanelVolumeMax, QPalette::WindowText, panelText);
    SetEnabledTextColour(EditEnding, QPalette::Text,
                         ThemedColour(m_endingColour, palette(), QPalette::Base));
    const QColor gray = ThemedColour(FixedColour::Gray, palette(), QPalette::Window);
    const QColor black = ThemedColour(FixedColour::Black, palette(), QPalette::Window);
    const qreal ratio = devicePixelRatioF();
    const QSize rampSize(19, 43); // as tall as the clickable span of the fade bars
    ImageFadeIn->setPixmap(FadeRampPixmap(true, gray, rampSize, ratio));
    ImageFadeOut->setPixmap(FadeRampPixmap(false, gray, rampSize, ratio));
    ImageFadeInBlack->setPixmap(FadeRampPixmap(true, black, rampSize, ratio));
    ImageFadeOutBlack->setPixmap(FadeRampPixmap(false, black, rampSize, ratio));
    const QIcon play = PlayIcon(ThemedColour(FixedColour::Black, palette(), QPalette::Button),
                                palette().color(QPalette::Disabled, QPalette::ButtonText));
    BitBtnTestBegin->setIcon(play);
    BitBtnTestEnd->setIcon(play);
    ApplyPlayerCaptionColour();
}

void TFormMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        ApplyThemeColours();
}

void TFormMain::RefreshTimeReadouts() {
    const std::pair<TSpinEdit*, QLabel*> readOuts[] = {{SpinEditBeginF, LabelBeginTime},
                                                       {SpinEditEndF, LabelEndTime},
                                                       {SpinEditEndP, LabelEndP},
                                                       {SpinEditDuration, LabelDurationTime}};
    for (const auto& [spin, label] : readOuts) {
        const int frames = spin->value();
        if (FileIsOpen() && frames >= 0)
            label->setText(QStringLiteral("(%1)").arg(
                QString::fromStdString(FormatSeconds(m_info->firstHeader, frames, 2))));
        else
            label->clear();
    }
}

void TFormMain::RunCommand(const std::function<void()>& handler) {
    // What the last command wrote stays on show until the next command starts.
    if (m_commandDepth == 0)
        StatusLine->Clear();
    {
        CommandDepth depth(m_commandDepth);
        try {
            handler();
        } catch (const std::exception& e) {
            // A stop that a close asked for ends quietly: the window is about to go.
            if (!(m_closeAfterCommand && IsStopRequest(e)))
                m_dialogs.Message(this, IDialogs::Kind::Error, QStringLiteral("Velmora"),
                                  ErrorBoxText(QString::fromUtf8(e.what())));
        } catch (...) {
            m_dialogs.Message(this, IDialogs::Kind::Error, QStringLiteral("Velmora"),
                              QStringLiteral("Internal error in UnitMain."));
        }
    }
    if (m_commandDepth == 0 && m_closeAfterCommand)
        QTimer::singleShot(0, this, [this] { close(); });
}
