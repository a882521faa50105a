#pragma once

#include "EditorSeams.h"
#include "UnitEditorState.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitScanner.h"
#include "UnitSilence.h"
#include "UnitTheme.h"
#include "UnitWriter.h"

#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QPushButton;
class QSlider;
class QTabWidget;
class QTimer;
class QToolButton;
class TFormAbout;
class TFormAdvancedInfo;
class TFormBatch;
class TFormLanguage;
class TFormOptions;
class TSpinEdit;
class TStatusLine;
class TTimeSpin;
class TWaveformPanel;

namespace velmora {
class IAudioOutput;
class ISettingsStore;
class MprisClient;
class PreviewFiles;
class PreviewPlayer;
struct LoudnessGain;
struct NormalizationResult;
struct PreviewFolder;

// The "Name|*.a;*.b|…" filter of a language file as the file dialog's list.

// Where a stored window position is shown: pulled back so that at least half the window lies
// inside `screens` (the union of all screens) to the right and below, half of it to the left,
// and its top edge on screen.
QPoint ClampWindowPosition(QPoint stored, QSize window, const QRect& screens);

inline constexpr int kDesignedLeft = 193;
inline constexpr int kDesignedTop = 96;
inline constexpr int kTagVolumeBit = 2; // Tag 2 and 3: enabled only for Layer III
} // namespace velmora

class TFormMain final : public QMainWindow {
    Q_OBJECT

public:
    TFormMain(velmora::Settings& settings, velmora::IDialogs& dialogs, velmora::IShell& shell,
              QWidget* parent = nullptr);
    ~TFormMain() override;

    // The Open command's work on a path already chosen (also `velmora FILE`).
    void OpenPath(const QString& path);
    // The same for a name in the file system's own bytes.
    void OpenNativePath(const std::string& path);
    // A file is open exactly while its model is held (through analyses, writes and batches).
    bool FileIsOpen() const { return m_info.has_value(); }
    const velmora::StreamInfo* Model() const { return m_info ? &*m_info : nullptr; }
    velmora::EditorState State() const { return m_state; }
    bool Allowed(velmora::EditorCommand command) const {
        return velmora::CommandAllowed(m_state, command);
    }
    // An operation that can be stopped is under way (an open, an analysis, a batch).
    bool OperationBusy() const { return Allowed(velmora::EditorCommand::Stop); }
    // The longest wait of the event loop during the last open, in ms.
    qint64 LastOpenLongestGapMs() const { return m_lastOpenGapMs; }
    TFormAdvancedInfo* AdvancedInfo() const { return m_advancedInfo; }
    TFormAbout* About() const { return m_about; }
    void ApplyWindowOptions();
    // A stop signal (SIGTERM, SIGHUP, Ctrl+C in the terminal): the window closes without the exit
    // question, once the operation under way has ended; a file being written is finished.
    void CloseOnStopSignal();

    // Commits the frame fields (the focused one first) and returns the trim points; nothing when a
    // count is empty or both remove more than the stream holds. Every command that reads the trim
    // points goes through here.
    std::optional<velmora::TrimPoints> CommittedTrimPoints();
    // Whether a volume analysis has placed the normalisation marker since the file was opened.
    bool VolumeAnalysisDone() const { return m_volumeAnalysisDone; }
    // A save is writing: commands that start an operation or change the trim points, the volume or
    // the model refuse.
    bool WriteRunning() const { return m_state == velmora::EditorState::Writing; }
    // The save dialog's title and its filter in the "Name|*.ext|Name|*.ext" form (translatable).
    void SetSaveDialogTexts(const QString& title, const QString& filter);
    // Language files (UnitMainOptions.cpp). Start-up: the first language file found, then
    // (unless a run nobody watches) the start count and its prompt that translations exist.
    void StartUpLanguage(bool languagesPrompt = true);
    void LoadLanguageFile(const std::string& path);
    void ExportEnglishFile(const std::string& path);
    const std::string& CurrentLanguage() const { return m_currentLanguage; }
    // How long applying the start-up language file to every window took, in µs (0: none).
    qint64 LanguageLoadMicroseconds() const { return m_languageLoadUs; }
    TFormOptions* Options() const { return m_options; }
    TFormLanguage* LanguageWindow() const { return m_language; }
    // Where the settings file and language files are looked for (the executable's folder unless
    // set).
    void SetProgramFolder(std::string folder) { m_programFolder = std::move(folder); }
    // The preview buttons' sound output, how their file folder is chosen (at the first external
    // preview), and the media players' bus (may be null: no player is ever found). Without them
    // the preview buttons do nothing.
    void AttachPlayers(velmora::IAudioOutput& output,
                       std::function<velmora::PreviewFolder()> chooseFolder,
                       velmora::MprisClient* mpris);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Construction (UnitMainLayout.cpp).
    void BuildMenu();
    QGroupBox* BuildInfoGroup();
    QGroupBox* BuildTrimGroup();
    QGridLayout* BuildTrimButtons();
    QGroupBox* BuildVolumeGroup();
    QGroupBox* BuildFadeGroup(const char* name, const QString& caption, const char* trackBar,
                              const char* image, const char* blackImage);
    template <typename T> T* Component(const char* name, QWidget* parent, int tag = 0);

    // Life cycle (UnitMain.cpp, UnitMainWindow.cpp).
    void FormCreate();
    void FormActivate();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();
    void LoadWindowPlacement();
    void SaveWindowPlacement();
    // The open half fills the controls from the new model; the close half drops the model and
    // empties them. Both set the state and the controls' enabled states.
    void EnterOpenState();
    void EnterNoFileState();
    void ResetTrimFieldsForStream();
    void ResetVolumeForStream();
    void ClearFileFields();
    // Enables the menu commands from the state's table, and the file's controls while a file is
    // open (the volume ones for Layer III only). Called at every change of the state.
    void UpdateCommands();
    class StateScope;
    void RefreshTimeReadouts();
    void RunCommand(const std::function<void()>& handler);
    bool FormKeyPress(QKeyEvent* key);
    void ApplyThemeColours();
    bool IsWindowKey(QObject* watched) const;
    void StopPreview();
    void DeletePreviewFiles();

    // Commands (UnitMainFile.cpp).
    void MenuOpenClick();
    void MenuSaveClick();
    void MenuSaveAsClick();
    void MenuCloseClick();
    void MenuOptionsClick();
    void MenuAboutClick();
    void MenuExitClick();
    void ButtonAdvancedInfoClick();
    // The Batch command (UnitMainBatch.cpp).
    void MenuBatchClick();
    bool BatchKeyPress(QKeyEvent* key, Qt::KeyboardModifiers modifiers);
    void OpenSourceFile(const std::string& path);
    void ReadSourceFile(const std::string& path);
    void ApplyAutoTrim();

    // Options (UnitMainOptions.cpp).
    void CreateOptionsWindows();
    void ReadSourceFileAgain();
    bool OptionsKeyPress(QKeyEvent* key, Qt::KeyboardModifiers modifiers);
    std::string ProgramFolderPath() const;
    std::string WritableFolder() const;
    // The language last chosen in the language window, else the desktop's.
    std::string PreferredLanguage() const;
    void ShowOpenWarnings(const std::vector<velmora::OpenWarning>& warnings);
    void ShowInformation();
    void ToggleTagsKept();

    // Files dropped from a file manager (UnitMainDrop.cpp).
    bool FilterDrag(QObject* watched, QEvent* event);
    bool DropAllowed(const QMimeData* data) const;
    void OpenDropped(const QList<QUrl>& urls);
    // Trimming controls (UnitMainTrim.cpp).
    void ConnectTrimControls();
    void FrameControlChange(int quantity);
    void TimeControlChange(int quantity);
    void SyncTimeControls();
    void ShowBeginTime();
    void UpdateDiskSpaceSavingDisplay();
    void ButtonTrimSilenceClick();
    bool EndOntoBegin();

    // Volume and fades (UnitMainVolume.cpp).
    void ConnectVolumeControls();
    void TrackBarAmplificationChange();
    void TrackBarFadeChange(QSlider* bar);
    bool FadeImageMouseDown(QObject* image, QEvent* event);
    void ButtonAutoVolumeClick();
    void PlaceNormalizationMarker();

    // Previews, the media player's position and the CUE keys (UnitMainPreview.cpp).
    void ConnectPreviewControls();
    void PreviewButtonClick(bool endButton);
    void PreviewKey(bool endButton);
    void CueKey(bool generate);
    void PreviewFinished();
    void TimerTimer();
    void ShowPlayerAvailable(bool available);
    void ApplyPlayerCaptionColour();
    void PlayerGetTrimClick(bool endButton);
    void GenerateCueSheetKey();
    void SplitByCueSheetKey();
    void ShowNormalization(const velmora::NormalizationResult& normalization);
    void ShowLoudness(const velmora::LoudnessGain& loudness);
    // The amplification a save applies (Layer III only): its tags change the saved size too.
    int GainStepsToSave() const;
    // How the space display and the save plan the output (without the locale's separator).
    velmora::PlanOptions SavePlanOptions(bool outputIsWav) const;
    // Auto's loudness measurement, when it describes the frames a save of `trim` copies.
    std::optional<velmora::WriteParams::Loudness>
    AutoLoudnessFor(const velmora::TrimPoints& trim) const;

    // The waveform panel (UnitMainWaveform.cpp).
    TWaveformPanel* BuildWaveformPanel();
    void BuildViewMenu();
    void MenuWaveformClick();
    void WaveformFileOpened();
    void WaveformMarkerMoved(int marker, std::int64_t frame);
    void SyncWaveformMarkers();
    void WaveformPreview(std::int64_t frame);

    // Saving (UnitMainSave.cpp).
    void WriteEdited(const std::string& outputPath, const velmora::TrimPoints& trim,
                     bool outputIsWav);
    void FinishWrite(velmora::WindowAction action, const std::string& savedPath);
    bool RefuseInputWhileWriting(QObject* watched, QEvent* event) const;
    bool CurrentOutputIsWav() const;
    std::string SourcePath() const;

    velmora::Settings& m_settings;
    velmora::IDialogs& m_dialogs;
    velmora::IShell& m_shell;
    velmora::MessageTable m_messages;

    velmora::EditorState m_state = velmora::EditorState::NoFile;
    bool m_stopRequested = false;
    bool m_tagsKept = true;
    unsigned m_trimSyncGuard = 0;
    bool m_activated = false;
    int m_commandDepth = 0;
    bool m_closeAfterCommand = false; // a close arrived while a command pumped events
    bool m_closeConfirmed = false;
    bool m_placementSaved = false;
    bool m_volumeAnalysisDone = false;
    // What Auto measured: of which file, over which trim.
    struct AutoLoudness {
        velmora::FileIdentity source;
        velmora::TrimPoints trim;
        velmora::WriteParams::Loudness loudness;
    };
    std::optional<AutoLoudness> m_autoLoudness;
    bool m_mp3ProWarned = false; // the mp3PRO trimming warning was shown for the open file
    std::optional<bool> m_saveAsTypeOverride; // WAV or not, while a Save As writes the other type
    velmora::OutputPlanDisplay m_plan;
    qint64 m_lastOpenGapMs = 0;
    velmora::FixedColour m_endingColour = velmora::FixedColour::Black;
    std::optional<velmora::StreamInfo> m_info;
    std::unique_ptr<velmora::PreviewFiles> m_previewFiles;
    std::unique_ptr<velmora::PreviewPlayer> m_previewPlayer;
    velmora::IAudioOutput* m_audioOutput = nullptr;
    velmora::MprisClient* m_mpris = nullptr;
    bool m_playerAvailable = false;
    // The open file's path as the system gave it (also the Open dialog's last choice): the one
    // path every command uses; the window shows ReadableFileName of it.
    std::string m_sourcePath;
    std::vector<QWidget*> m_components;

    TFormAdvancedInfo* m_advancedInfo = nullptr;
    TFormAbout* m_about = nullptr;
    TFormOptions* m_options = nullptr;
    TFormLanguage* m_language = nullptr;
    TFormBatch* m_batchWindow = nullptr;
    std::string m_currentLanguage;
    qint64 m_languageLoadUs = 0;
    std::string m_programFolder;
    QString m_openDialogTitle = QStringLiteral("Open an MP3 file");
    QString m_saveDialogTitle;
    QString m_batchDialogTitle = QStringLiteral("Choose the files or the folder to process");
    // The preview buttons' hints, shown only while the buttons play what is kept.
    QString m_testBeginHint = QStringLiteral("Plays the first seconds that are kept");
    QString m_testEndHint = QStringLiteral("Plays the last seconds that are kept");
    QString m_openDialogFilter = QStringLiteral(
        "MP3 files (*.mp3)|*.mp3|MP2 files (*.mp2)|*.mp2|MPEG files (*.mpg;*.mpeg)|*.mpg;*.mpeg|"
        "WAV embedded MP3 files (*.wav)|*.wav|Any file (*.*)|*.*");
    QString m_saveDialogFilter =
        QStringLiteral("MP3 files (*.mp3)|*.mp3|WAV embedded MP3 files (*.wav)|*.wav");
    QTimer* Timer = nullptr;
    QAction* MenuOpen = nullptr;
    QAction* MenuSave = nullptr;
    QAction* MenuSaveAs = nullptr;
    QAction* MenuClose = nullptr;
    QAction* MenuOptions = nullptr;
    QAction* MenuBatch = nullptr;
    QAction* MenuAbout = nullptr;
    QAction* MenuExit = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QGroupBox* GroupBoxInfo = nullptr;
    QLineEdit* EditName = nullptr;
    QLineEdit* EditType = nullptr;
    QLineEdit* EditLength = nullptr;
    QLineEdit* EditID3 = nullptr;
    QLineEdit* EditCRC = nullptr;
    QLineEdit* EditEnding = nullptr;
    QLineEdit* EditBitrate = nullptr;
    QPushButton* ButtonAdvancedInfo = nullptr;
    QGroupBox* GroupBoxTrim = nullptr;
    QTabWidget* PageControlTrim = nullptr;
    QWidget* TabSheetTime = nullptr;
    QWidget* TabSheetFrame = nullptr;
    TTimeSpin* TimeSpinBeginS = nullptr;
    TTimeSpin* TimeSpinEndS = nullptr;
    TTimeSpin* TimeSpinEndP = nullptr;
    TTimeSpin* TimeSpinDuration = nullptr;
    TSpinEdit* SpinEditBeginF = nullptr;
    TSpinEdit* SpinEditEndF = nullptr;
    TSpinEdit* SpinEditEndP = nullptr;
    TSpinEdit* SpinEditDuration = nullptr;
    QLabel* LabelBeginTime = nullptr;
    QLabel* LabelEndTime = nullptr;
    QLabel* LabelEndP = nullptr;
    QLabel* LabelDurationTime = nullptr;
    QPushButton* ButtonTrimSilence = nullptr;
    QToolButton* BitBtnTestBegin = nullptr;
    QToolButton* BitBtnTestEnd = nullptr;
    QToolButton* BitBtnWinAmpGetTrimBegin = nullptr;
    QToolButton* BitBtnWinAmpGetTrimEnd = nullptr;
    QLabel* LabelSpaceSaved = nullptr;
    QLabel* LabelTimeRemain = nullptr;
    QGroupBox* GroupBoxAmplification = nullptr;
    QSlider* TrackBarAmplification = nullptr;
    QPushButton* ButtonAutoVolume = nullptr;
    QSlider* TrackBarFadeIn = nullptr;
    QSlider* TrackBarFadeOut = nullptr;
    QLabel* ImageFadeIn = nullptr;
    QLabel* ImageFadeOut = nullptr;
    QLabel* ImageFadeInBlack = nullptr;
    QLabel* ImageFadeOutBlack = nullptr;
    QLabel* PanelVolumeMax = nullptr;
    QLabel* PanelLoudness = nullptr; // the R128 loudness Auto measured
    QLabel* PanelVolume = nullptr;
    QWidget* PanelVolumeNormalization = nullptr;
    QWidget* m_markerRow = nullptr; // holds the marker, which moves freely within it
    QAction* MenuWaveform = nullptr;
    TWaveformPanel* m_waveformPanel = nullptr;
    TStatusLine* StatusLine = nullptr;
};

// Puts the window into an operation's state, with the wait cursor, for its lifetime; the state
// before comes back on every path unless something else has changed the state meanwhile.
class TFormMain::StateScope {
public:
    StateScope(TFormMain& window, velmora::EditorState state);
    ~StateScope();
    StateScope(const StateScope&) = delete;
    StateScope& operator=(const StateScope&) = delete;

private:
    TFormMain& m_window;
    velmora::EditorState m_state;
    velmora::EditorState m_before;
    velmora::BusyScope m_hourglass;
};
