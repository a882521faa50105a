#include "EditorSeams.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>

#include <cstdio>

namespace velmora {

namespace {

QMessageBox::Icon IconOf(IDialogs::Kind kind) {
    switch (kind) {
    case IDialogs::Kind::Information:
        return QMessageBox::Information;
    case IDialogs::Kind::Warning:
        return QMessageBox::Warning;
    case IDialogs::Kind::Error:
        break;
    }
    return QMessageBox::Critical;
}

std::optional<QString> RunFileDialog(QWidget* parent, const IDialogs::FileRequest& request,
                                     QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, request.title, request.folder);
    PrepareFileDialog(dialog, request, mode);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    if (request.chosenFilter)
        *request.chosenFilter = request.filters.indexOf(dialog.selectedNameFilter());
    return dialog.selectedFiles().constFirst();
}

qint64 MonotonicNs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed();
}

} // namespace

void PrepareFileDialog(QFileDialog& dialog, const IDialogs::FileRequest& request,
                       QFileDialog::AcceptMode mode) {
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size())
        dialog.selectNameFilter(request.filters[request.selectedFilter]);
    if (!request.selected.isEmpty())
        dialog.selectFile(request.selected);
    if (mode == QFileDialog::AcceptSave) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
        dialog.setDefaultSuffix(QStringLiteral("mp3"));
        // The desktop's own dialogs do not report a type change while they are open.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    }
    if (request.filterChanged) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, &request](const QString& filter) {
                             const auto* edit =
                                 dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                             const QString shown = edit ? edit->text() : QString();
                             dialog.selectFile(request.filterChanged(
                                 QFileInfo(shown).fileName(), request.filters.indexOf(filter)));
                         });
    }
    FitFileDialog(dialog);
}

void QtDialogs::Message(QWidget* parent, Kind kind, const QString& title, const QString& text) {
    QMessageBox box(IconOf(kind), title, text, QMessageBox::Ok, parent);
    box.exec();
}

IDialogs::Answer QtDialogs::AskYesNo(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::optional<QString> QtDialogs::OpenFile(QWidget* parent, const FileRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::SaveFile(QWidget* parent, const FileRequest& request) {
    return RunFileDialog(parent, request, QFileDialog::AcceptSave);
}

namespace {

// Open with a folder selected, or with no name typed, takes the folder instead of entering it.
class BatchFileDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    QStringList chosen;

protected:
    void accept() override {
        const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QStringList selected = selectedFiles();
        if (!edit || edit->text().trimmed().isEmpty()) {
            chosen = {directory().absolutePath()};
        } else if (selected.size() == 1 && QFileInfo(selected.front()).isDir()) {
            chosen = selected;
        } else {
            QFileDialog::accept();
            return;
        }
        QDialog::accept();
    }
};

} // namespace

std::optional<QStringList> QtDialogs::OpenBatchPaths(QWidget* parent, const FileRequest& request) {
    BatchFileDialog dialog(parent, request.title, request.folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    // The desktop's own dialogs cannot take a folder and files alike.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilters(request.filters);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList paths = dialog.chosen.isEmpty() ? dialog.selectedFiles() : dialog.chosen;
    if (paths.isEmpty())
        return std::nullopt;
    return paths;
}

bool QtDialogs::AskAbortIgnore(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Abort | QMessageBox::Ignore,
                    parent);
    box.setDefaultButton(QMessageBox::Ignore);
    return box.exec() == QMessageBox::Abort;
}

void StderrDialogs::Message(QWidget*, Kind kind, const QString& title, const QString& text) {
    if (kind == Kind::Error)
        ++m_errors;
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(oneLine));
}

IDialogs::Answer StderrDialogs::AskYesNo(QWidget*, const QString&, const QString&) {
    return Answer::Yes;
}

std::optional<QString> StderrDialogs::OpenFile(QWidget*, const FileRequest&) {
    return std::nullopt;
}

std::optional<QString> StderrDialogs::SaveFile(QWidget* parent, const FileRequest& request) {
    if (saveDialogShown)
        saveDialogShown(parent, request);
    return std::nullopt;
}

void QtShell::Beep() {
    QApplication::beep();
}

bool QtShell::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QtProgress::QtProgress(QProgressBar* bar, const bool& stopRequested)
    : m_bar(bar), m_stopRequested(stopRequested), m_lastPumpNs(MonotonicNs()) {}

QtProgress::~QtProgress() = default;

void QtProgress::SetTotal(int total) {
    if (m_bar)
        m_bar->setMaximum(total);
}

// A bar paints at once on every move, and a paint costs as much as writing a megabyte: it moves
// at most every 15 ms, and always onto its end.
void QtProgress::Report(int position) {
    m_position = position;
    if (m_bar && (position == m_bar->maximum() || MonotonicNs() - m_lastBarNs >= kBarIntervalNs))
        ShowPosition();
}

void QtProgress::ShowPosition() {
    m_bar->setValue(m_position);
    m_lastBarNs = MonotonicNs();
}

void QtProgress::ProcessMessages() {
    if (m_bar && m_bar->value() != m_position && MonotonicNs() - m_lastBarNs >= kBarIntervalNs)
        ShowPosition();
    const qint64 now = MonotonicNs();
    m_longestGapNs = std::max(m_longestGapNs, now - m_lastPumpNs);
    QCoreApplication::processEvents();
    m_lastPumpNs = MonotonicNs();
}

qint64 QtProgress::LongestGapMs() const {
    return std::max(m_longestGapNs, MonotonicNs() - m_lastPumpNs) / 1000000;
}

BusyScope::BusyScope(bool* flag) : m_flag(flag) {
    if (m_flag)
        *m_flag = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyScope::~BusyScope() {
    QApplication::restoreOverrideCursor();
    if (m_flag)
        *m_flag = false;
}

QStringList NameFiltersFromText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        QString name = parts[i].trimmed();
        // "MP3 files (*.mp3)": the patterns in the name are the ones after it.
        if (name.endsWith(QLatin1Char(')')) && name.contains(QLatin1Char('(')))
            name = name.left(name.lastIndexOf(QLatin1Char('('))).trimmed();
        filters << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QString ErrorBoxText(const QString& text) {
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

} // namespace velmora
