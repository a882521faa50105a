#pragma once

#include "Progress.h"

#include <QFileDialog>

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QProgressBar;
class QWidget;

namespace velmora {

// Every message box and file dialog of the editor goes through here, so tests answer them.
class IDialogs {
public:
    enum class Kind { Information, Warning, Error };
    enum class Answer { Yes, No };
    virtual ~IDialogs() = default;
    // One OK button.
    virtual void Message(QWidget* parent, Kind kind, const QString& title, const QString& text) = 0;
    virtual Answer AskYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    struct FileRequest {
        QString title;
        QString folder;      // empty: the dialog's own choice
        QStringList filters; // "MP3 files (*.mp3)"
        QString selected;
        int selectedFilter = 0;
        bool overwritePrompt = false; // Save: ask before replacing an existing file
        // Save: the file name to show after the user picked filter `filter` while the dialog is
        // open, from the name shown then (without folder).
        std::function<QString(const QString& fileName, int filter)> filterChanged;
        // Save: where the dialog writes the index of the filter chosen at the end.
        int* chosenFilter = nullptr;
    };
    // The chosen path, or nothing when the user cancels.
    virtual std::optional<QString> OpenFile(QWidget* parent, const FileRequest& request) = 0;
    virtual std::optional<QString> SaveFile(QWidget* parent, const FileRequest& request) = 0;
    // Files, or one folder, for a batch; nothing when the user cancels.
    virtual std::optional<QStringList> OpenBatchPaths(QWidget*, const FileRequest&) {
        return std::nullopt;
    }
    // An error during a batch: true stops the batch (Abort), false goes on (Ignore).
    virtual bool AskAbortIgnore(QWidget*, const QString&, const QString&) { return true; }
    // Whether someone answers the questions (false: a run nobody watches).
    virtual bool Interactive() const { return true; }
};

// Sets up Qt's own file dialog for `request`; an open or save dialog of the editor.
void PrepareFileDialog(QFileDialog& dialog, const IDialogs::FileRequest& request,
                       QFileDialog::AcceptMode mode);
// Sizes a file dialog so that its columns (name, size, type, date) show their texts whole.
void FitFileDialog(QFileDialog& dialog);

// Qt's own boxes and dialogs.
class QtDialogs final : public IDialogs {
public:
    void Message(QWidget* parent, Kind kind, const QString& title, const QString& text) override;
    Answer AskYesNo(QWidget* parent, const QString& title, const QString& text) override;
    std::optional<QString> OpenFile(QWidget* parent, const FileRequest& request) override;
    std::optional<QString> SaveFile(QWidget* parent, const FileRequest& request) override;
    std::optional<QStringList> OpenBatchPaths(QWidget* parent, const FileRequest& request) override;
    bool AskAbortIgnore(QWidget* parent, const QString& title, const QString& text) override;
};

// For runs nobody watches (--quit-when-idle): messages go to stderr, questions get Yes,
// file dialogs are cancelled.
class StderrDialogs final : public IDialogs {
public:
    void Message(QWidget* parent, Kind kind, const QString& title, const QString& text) override;
    Answer AskYesNo(QWidget* parent, const QString& title, const QString& text) override;
    std::optional<QString> OpenFile(QWidget* parent, const FileRequest& request) override;
    std::optional<QString> SaveFile(QWidget* parent, const FileRequest& request) override;
    bool AskAbortIgnore(QWidget*, const QString&, const QString&) override { return false; }
    bool Interactive() const override { return false; }
    int ErrorCount() const { return m_errors; }
    // Called with what a save dialog would have shown (for pictures of it).
    std::function<void(QWidget*, const FileRequest&)> saveDialogShown;

private:
    int m_errors = 0;
};

// What the editor asks of the desktop: a beep and opening addresses.
class IShell {
public:
    virtual ~IShell() = default;
    virtual void Beep() = 0;
    virtual bool OpenUrl(const QUrl& url) = 0;
};

class QtShell final : public IShell {
public:
    void Beep() override;
    bool OpenUrl(const QUrl& url) override;
};

// The main window's progress bar; pumping lets Escape and Close reach the window.
class QtProgress final : public IProgress {
public:
    QtProgress(QProgressBar* bar, const bool& stopRequested);
    ~QtProgress() override;
    void SetTotal(int total) override;
    void Report(int position) override;
    void ProcessMessages() override;
    bool StopRequested() const override { return m_stopRequested; }
    // The longest time the event loop waited, between two pumps or at either end, in ms.
    qint64 LongestGapMs() const;

private:
    static constexpr qint64 kBarIntervalNs = 15'000'000;
    void ShowPosition();

    QProgressBar* m_bar;
    const bool& m_stopRequested;
    int m_position = 0;
    qint64 m_lastBarNs = 0;
    qint64 m_lastPumpNs = 0;
    qint64 m_longestGapNs = 0;
};

// Raises a busy flag and shows the wait cursor for its lifetime; `flag` may be null.
class BusyScope {
public:
    explicit BusyScope(bool* flag);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool* m_flag;
};

// Qt name filters from the "Name|*.a;*.b|Name|*.c" form the dialog texts are stored in; a name
// that already ends in its patterns keeps only them once, and "*.*" is any file.
QStringList NameFiltersFromText(const QString& text);

// The error box's text: a period is appended when the last character sorts after ".".
QString ErrorBoxText(const QString& text);

} // namespace velmora
