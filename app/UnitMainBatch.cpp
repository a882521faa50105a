// The Batch command: the files or folder chosen go through the batch steps of the options.
#include "UnitMain.h"

#include "UnitBatchRun.h"
#include "UnitBatchWindow.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>

using namespace velmora;

namespace {

// Fills the "%s" places of `text` in turn.
QString Fill(QString text, std::initializer_list<QString> values) {
    qsizetype from = 0;
    for (const QString& value : values) {
        const qsizetype at = text.indexOf(QLatin1String("%s"), from);
        if (at < 0)
            break;
        text.replace(at, 2, value);
        from = at + value.size();
    }
    return text;
}

// Shows the progress in the batch window, and asks Abort or Ignore on an error when someone
// answers and the batch does not stop by itself.
class WindowObserver final : public IBatchObserver {
public:
    WindowObserver(TFormBatch& window, IDialogs& dialogs, const MessageTable& messages,
                   const bool& escape, bool ask)
        : m_window(window), m_dialogs(dialogs), m_messages(messages), m_escape(escape), m_ask(ask) {
    }
    void FileDone(std::size_t index, const BatchFileReport& report) override {
        m_window.ShowDone(index + 1, QFile::decodeName(report.path.c_str()));
    }
    void Idle() override { QCoreApplication::processEvents(); }
    bool StopRequested() override { return m_window.CancelRequested() || m_escape; }
    bool AbortOnError(const BatchFileReport& report) override {
        if (!m_ask)
            return false;
        const QString text =
            Fill(QString::fromStdString(
                     MessageTable::Join(m_messages.MessageDlgProcessingErrorAbortIgnore)),
                 {QFile::decodeName(report.path.c_str()), QString::fromStdString(report.error)});
        return m_dialogs.AskAbortIgnore(&m_window, QStringLiteral("Velmora"), text);
    }

private:
    TFormBatch& m_window;
    IDialogs& m_dialogs;
    const MessageTable& m_messages;
    const bool& m_escape;
    bool m_ask;
};

} // namespace

void TFormMain::MenuBatchClick() {
    // A batch saves files while it runs: never beside an open, an analysis or a save.
    if (!Allowed(EditorCommand::Batch)) {
        m_shell.Beep();
        return;
    }
    IDialogs::FileRequest request;
    request.title = m_batchDialogTitle;
    request.filters = NameFiltersFromText(m_openDialogFilter);
    const std::optional<QStringList> chosen = m_dialogs.OpenBatchPaths(this, request);
    if (!chosen || chosen->isEmpty())
        return;
    std::vector<std::string> paths;
    for (const QString& path : *chosen)
        paths.push_back(QFile::encodeName(path).toStdString());
    StopPreview();
    StateScope batch(*this, EditorState::Batch);
    m_stopRequested = false;
    const bool ask = m_dialogs.Interactive() && !m_settings.CheckBatchBoxStopOnError;
    BatchRunOptions options;
    options.jobs = ask ? 1 : 0; // one question at a time, about the file in input order
    options.waitForAnswers = ask;
    if (FileIsOpen())
        options.refusedPaths.push_back(SourcePath());
    const std::vector<BatchInput> inputs = ExpandBatchInputs(paths, m_settings);
    m_batchWindow->Start(inputs.size());
    m_batchWindow->show();
    WindowObserver observer(*m_batchWindow, m_dialogs, m_messages, m_stopRequested, ask);
    std::vector<BatchFileReport> reports;
    try {
        reports = RunBatch(inputs, m_settings, m_messages, options, observer);
    } catch (const std::exception& e) {
        m_batchWindow->hide();
        m_dialogs.Message(this, IDialogs::Kind::Error, QStringLiteral("Velmora"),
                          ErrorBoxText(QString::fromUtf8(e.what())));
        return;
    }
    m_batchWindow->hide();
    m_dialogs.Message(this, IDialogs::Kind::Information, QStringLiteral("Velmora"),
                      QString::fromStdString(SummaryText(Summarise(reports))));
}

bool TFormMain::BatchKeyPress(QKeyEvent* key, Qt::KeyboardModifiers modifiers) {
    if (key->key() != Qt::Key_B || modifiers != Qt::ControlModifier)
        return false;
    RunCommand([this] { MenuBatchClick(); });
    return true;
}
