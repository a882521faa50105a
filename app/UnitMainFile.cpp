// The commands of the main window that open, show and close a file.
#include "UnitMain.h"

#include "TSpinEdit.h"
#include "UnitAbout.h"
#include "UnitAdvancedInfo.h"
#include "UnitInfo.h"
#include "UnitOpenAudio.h"
#include "UnitReadableName.h"
#include "UnitSilence.h"
#include "UnitTheme.h"
#include "UnitWaveformPanel.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>

using namespace velmora;

namespace {

// Puts a line edit's text back unless the work in between succeeded.
class RestoreTextUnlessKept {
public:
    explicit RestoreTextUnlessKept(QLineEdit* edit) : m_edit(edit), m_text(edit->text()) {}
    ~RestoreTextUnlessKept() {
        if (!m_kept)
            m_edit->setText(m_text);
    }
    void Keep() { m_kept = true; }
    RestoreTextUnlessKept(const RestoreTextUnlessKept&) = delete;
    RestoreTextUnlessKept& operator=(const RestoreTextUnlessKept&) = delete;

private:
    QLineEdit* m_edit;
    QString m_text;
    bool m_kept = false;
};

// Notes how long the event loop waited at most while an operation ran.
class GapRecorder {
public:
    GapRecorder(const QtProgress& progress, qint64& out) : m_progress(progress), m_out(out) {}
    ~GapRecorder() { m_out = m_progress.LongestGapMs(); }
    GapRecorder(const GapRecorder&) = delete;
    GapRecorder& operator=(const GapRecorder&) = delete;

private:
    const QtProgress& m_progress;
    qint64& m_out;
};

} // namespace

void TFormMain::MenuOpenClick() {
    if (!Allowed(EditorCommand::Open))
        return;
    IDialogs::FileRequest request;
    request.title = m_openDialogTitle;
    request.folder =
        m_settings.CheckBoxFileOpenInCurrentDirectory ? QDir::currentPath() : QString();
    request.filters = NameFiltersFromText(m_openDialogFilter);
    request.selected = ReadablePath(m_sourcePath);
    const std::optional<QString> path = m_dialogs.OpenFile(this, request);
    if (!path)
        return;
    m_sourcePath = QFile::encodeName(*path).toStdString();
    OpenSourceFile(m_sourcePath);
}

void TFormMain::OpenPath(const QString& path) {
    OpenNativePath(QFile::encodeName(path).toStdString());
}

void TFormMain::OpenNativePath(const std::string& path) {
    RunCommand([this, path] {
        if (!Allowed(EditorCommand::Open))
            return;
        m_sourcePath = path;
        OpenSourceFile(path);
    });
}

void TFormMain::OpenSourceFile(const std::string& path) {
    ReadSourceFile(path);
    ApplyAutoTrim();
    if (m_settings.CheckBoxAutoNormalizeVolume)
        ButtonAutoVolumeClick();
    if (m_settings.CheckBoxWarnWhenMissingFH && m_info->missingHeaderCount > 0)
        m_dialogs.Message(
            this, IDialogs::Kind::Warning, QStringLiteral("Velmora"),
            QString::fromStdString(MessageTable::Join(m_messages.MessageDlgWarnWhenMissingFH)));
    else if (m_info->missingHeaderCount >= 10)
        m_dialogs.Message(
            this, IDialogs::Kind::Warning, QStringLiteral("Velmora"),
            QString::fromStdString(MessageTable::Join(m_messages.MessageDlgErrorMissingFH)));
}

// A first open, or reading the open file again: its model stays until the new one is complete.
void TFormMain::ReadSourceFile(const std::string& path) {
    OpenResult opened;
    {
        StateScope reading(*this, FileIsOpen() ? EditorState::Analysing : EditorState::Opening);
        RestoreTextUnlessKept name(EditName);
        EditName->setText(ReadableFileName(path));
        m_stopRequested = false;
        QtProgress progress(ProgressBar, m_stopRequested);
        GapRecorder gaps(progress, m_lastOpenGapMs);
        opened = OpenWithTailAnalysis(path, m_settings, m_messages, progress, {});
        name.Keep();
    }
    m_waveformPanel->CloseFile(); // before the model it reads goes
    m_info = std::move(opened.info);
    m_mp3ProWarned = false;
    EnterOpenState();
    ShowInformation();
    WaveformFileOpened();
    ShowOpenWarnings(opened.warnings);
}

void TFormMain::ApplyAutoTrim() {
    if (m_settings.CheckBoxAutoDetectSilence) {
        if (const std::optional<TrimPoints> trim =
                AutoTrim(*m_info, m_settings,
                         OperationBusy() ? OperationState::Busy : OperationState::Idle)) {
            SpinEditBeginF->setValue(static_cast<int>(trim->beginFrames));
            SpinEditEndF->setValue(static_cast<int>(trim->endFrames));
            RefreshTimeReadouts();
        }
    }
}

void TFormMain::ShowOpenWarnings(const std::vector<OpenWarning>& warnings) {
    for (const OpenWarning warning : warnings)
        m_dialogs.Message(
            this, IDialogs::Kind::Warning, QStringLiteral("Velmora"),
            QString::fromStdString(MessageTable::Join(OpenWarningText(m_messages, warning))));
}

void TFormMain::ShowInformation() {
    if (!m_info)
        return;
    const InformationTexts texts =
        BuildInformationTexts(*m_info, m_tagsKept ? TagsKept::Yes : TagsKept::No, m_messages,
                              QLocale::system().decimalPoint().toStdString());
    EditType->setText(QString::fromStdString(texts.EditType));
    EditLength->setText(QString::fromStdString(texts.EditLength));
    EditID3->setText(QString::fromStdString(texts.EditID3));
    EditCRC->setText(QString::fromStdString(texts.EditCRC));
    EditBitrate->setText(QString::fromStdString(texts.EditBitrate));
    EditEnding->setText(QString::fromStdString(texts.EditEnding));
    m_endingColour = FixedColourOf(texts.EditEndingColor);
    ApplyThemeColours();
    m_advancedInfo->ShowInformation(texts);
}

void TFormMain::ToggleTagsKept() {
    m_tagsKept = !m_tagsKept;
    ShowInformation();
    UpdateDiskSpaceSavingDisplay();
}

void TFormMain::MenuCloseClick() {
    if (!Allowed(EditorCommand::Close))
        return;
    StopPreview();
    if (Allowed(EditorCommand::Stop)) {
        m_stopRequested = true;
        return;
    }
    m_waveformPanel->CloseFile(); // before the model it reads goes
    EnterNoFileState();
    DeletePreviewFiles();
}

void TFormMain::MenuAboutClick() {
    m_about->exec();
}

void TFormMain::ButtonAdvancedInfoClick() {
    m_advancedInfo->exec();
}
