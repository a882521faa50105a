// Save and Save As: the questions, the target, the write and what the window does afterwards.
#include "UnitMain.h"

#include "UnitMP3.h"
#include "UnitReadableName.h"
#include "UnitStatusLine.h"
#include "UnitTrackLength.h"
#include "UnitWaveformPanel.h"
#include "Unit_MP3_RIFF.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSlider>

#include <exception>
#include <sys/stat.h>

using namespace velmora;

namespace {

constexpr const char* kSaveDialogFilter =
    "MP3 files (*.mp3)|*.mp3|WAV embedded MP3 files (*.wav)|*.wav";
constexpr int kWavFilter = 1;

// A Save As of the other type: OutputIsWav answers with it until the run ends, and the space
// display shows the plan for the type in force.
class TypeOverrideScope {
public:
    TypeOverrideScope(std::optional<bool>& override, std::optional<bool> value,
                      std::function<void()> refresh)
        : m_override(override), m_refresh(std::move(refresh)) {
        if (!value)
            return;
        m_override = value;
        m_active = true;
        m_refresh();
    }
    ~TypeOverrideScope() {
        if (!m_active)
            return;
        m_override.reset();
        m_refresh();
    }
    TypeOverrideScope(const TypeOverrideScope&) = delete;
    TypeOverrideScope& operator=(const TypeOverrideScope&) = delete;

private:
    std::optional<bool>& m_override;
    std::function<void()> m_refresh;
    bool m_active = false;
};

// Whether the file on disk is still the one the model describes: always after a failed Save As,
// and after a failed Save that moved no byte. A file that vanished keeps its model as well.
bool SourceUnchanged(const std::string& path, const StreamInfo& info) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT;
    const std::int64_t timeNs =
        std::int64_t{st.st_mtim.tv_sec} * 1000000000 + std::int64_t{st.st_mtim.tv_nsec};
    return st.st_size == info.sourceSize && timeNs == info.sourceTimeNs;
}

} // namespace

void TFormMain::SetSaveDialogTexts(const QString& title, const QString& filter) {
    m_saveDialogTitle = title;
    m_saveDialogFilter = filter;
}

std::string TFormMain::SourcePath() const {
    return m_sourcePath;
}

void TFormMain::MenuSaveClick() {
    if (!Allowed(EditorCommand::Save))
        return;
    const bool outputIsWav = CurrentOutputIsWav();
    for (const std::string& question :
         SaveQuestions(SourcePath(), m_settings, outputIsWav, m_info->riffHeaderSize, m_messages))
        if (m_dialogs.AskYesNo(this, QStringLiteral("Velmora"), QString::fromStdString(question)) !=
            IDialogs::Answer::Yes)
            return;
    if (const std::optional<TrimPoints> trim = CommittedTrimPoints())
        WriteEdited(std::string(), *trim, outputIsWav);
}

void TFormMain::MenuSaveAsClick() {
    if (!Allowed(EditorCommand::SaveAs))
        return;
    // Refused before the dialog: a name is not worth asking for when nothing can be written.
    const std::optional<TrimPoints> trim = CommittedTrimPoints();
    if (!trim)
        return;
    UpdateDiskSpaceSavingDisplay();
    const bool defaultWav = CurrentOutputIsWav();
    const std::string suggested =
        SuggestSaveAsName(EditName->text().toStdString(), m_settings, defaultWav,
                          FormatLengthWords(m_info->firstHeader, m_plan.plan.outputFrames));

    IDialogs::FileRequest request;
    request.title = m_saveDialogTitle;
    request.folder =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(m_sourcePath))).absolutePath();
    request.filters = NameFiltersFromText(
        m_saveDialogFilter.isEmpty() ? QString::fromLatin1(kSaveDialogFilter) : m_saveDialogFilter);
    request.selected = QString::fromStdString(suggested);
    request.selectedFilter = defaultWav ? kWavFilter : 0;
    request.overwritePrompt = m_settings.CheckBoxOverwriteAsk;
    // SaveDialogTypeChange.
    request.filterChanged = [](const QString& fileName, int filter) {
        return QString::fromStdString(
            NameForSaveType(fileName.toStdString(), filter == kWavFilter));
    };
    int chosenFilter = request.selectedFilter;
    request.chosenFilter = &chosenFilter;
    const std::optional<QString> path = m_dialogs.SaveFile(this, request);
    if (!path)
        return;
    const std::string outputPath = QFile::encodeName(*path).toStdString();
    CheckSaveAsTarget(SourcePath(), outputPath);

    const bool chosenWav = chosenFilter == kWavFilter;
    TypeOverrideScope typeOverride(m_saveAsTypeOverride,
                                   chosenWav != defaultWav ? std::optional<bool>(chosenWav)
                                                           : std::nullopt,
                                   [this] { UpdateDiskSpaceSavingDisplay(); });
    WriteEdited(outputPath, *trim, CurrentOutputIsWav());
}

// Runs the writer for Save (outputPath empty) or Save As and applies the window action it returns.
void TFormMain::WriteEdited(const std::string& outputPath, const TrimPoints& trim,
                            bool outputIsWav) {
    const OutputPlanDisplay display =
        ComputeOutputPlan(*m_info, trim, m_settings, SavePlanOptions(outputIsWav));
    // Volume and fades apply to Layer III only.
    const bool layer3 = m_info->firstHeader.layerId == kLayer3;
    WriteParams params = MakeSaveParams(
        SourcePath(), outputPath, *m_info, trim, display.plan, m_settings, GainStepsToSave(),
        layer3 ? TrackBarFadeIn->value() : 0, layer3 ? TrackBarFadeOut->value() : 0);
    params.recordGainUndo = true;
    params.measuredLoudness = AutoLoudnessFor(trim);
    const WriteContext context{m_settings, m_messages, outputIsWav, m_tagsKept};

    StopPreview();
    m_waveformPanel->StopWorker(); // the writer updates the model it reads
    WindowAction action = WindowAction::None;
    std::string savedPath = params.sourcePath;
    bool unchanged = false;
    std::exception_ptr failure;
    {
        StateScope writing(*this, EditorState::Writing);
        // The writer is never stopped: Escape closes the window once it is done.
        const bool neverStop = false;
        QtProgress progress(ProgressBar, neverStop);
        try {
            const WriteResult result = WriteOutput(params, *m_info, context, progress);
            action = result.windowAction;
            unchanged = result.nothingToDo;
            if (!result.savedPath.empty())
                savedPath = result.savedPath;
            else if (!params.outputPath.empty())
                savedPath = params.outputPath;
            if (!result.renameProblem.empty())
                m_dialogs.Message(this, IDialogs::Kind::Warning, QStringLiteral("Velmora"),
                                  QString::fromStdString(result.renameProblem));
            if (!result.exactCutWarning.empty())
                m_dialogs.Message(this, IDialogs::Kind::Warning, QStringLiteral("Velmora"),
                                  QString::fromStdString(result.exactCutWarning));
        } catch (...) {
            failure = std::current_exception();
            // A failure that left the source as the model describes it keeps the file open.
            action = SourceUnchanged(params.sourcePath, *m_info) ? WindowAction::ReenableCommands
                                                                 : WindowActionAfterError(params);
        }
    }
    FinishWrite(action, savedPath);
    if (failure)
        std::rethrow_exception(failure);
    const QFileInfo saved(QFile::decodeName(QByteArray::fromStdString(savedPath)));
    StatusLine->ShowWritten(unchanged ? TStatusLine::Written::Unchanged
                                      : TStatusLine::Written::Saved,
                            saved.fileName(), saved.absolutePath());
}

void TFormMain::FinishWrite(WindowAction action, const std::string& savedPath) {
    switch (action) {
    case WindowAction::CloseFile:
        MenuCloseClick();
        break;
    case WindowAction::RefreshOpenFile:
        m_sourcePath = savedPath;
        EditName->setText(ReadableFileName(savedPath));
        EnterOpenState();
        ShowInformation();
        WaveformFileOpened();
        break;
    case WindowAction::ReenableCommands:
    case WindowAction::None:
        UpdateDiskSpaceSavingDisplay();
        m_waveformPanel->ResumeWorker();
        break;
    }
}

// While a write runs, the window takes no input but Escape (which closes it after the write).
bool TFormMain::RefuseInputWhileWriting(QObject* watched, QEvent* event) const {
    if (!WriteRunning())
        return false;
    const QWidget* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        return static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}
