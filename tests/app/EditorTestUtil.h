#pragma once

#include "../engine/OpenHelpers.h"
#include "../engine/WriterHelpers.h"
#include "EditorSeams.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "GuiTestUtil.h"
#include "UnitMain.h"
#include "UnitSettingsStore.h"

#include <QAction>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

// Answers the editor's boxes and dialogs from a script and remembers what it was shown.
class ScriptedDialogs final : public IDialogs {
public:
    struct Shown {
        Kind kind;
        QString title;
        QString text;
    };
    std::vector<Shown> messages;
    std::deque<Answer> answers; // Yes when empty
    int questions = 0;
    std::vector<QString> questionTexts;
    std::deque<QString> openPaths; // cancel when empty
    std::vector<FileRequest> openRequests;

    void Message(QWidget*, Kind kind, const QString& title, const QString& text) override {
        messages.push_back({kind, title, text});
    }
    Answer AskYesNo(QWidget*, const QString&, const QString& text) override {
        ++questions;
        questionTexts.push_back(text);
        if (answers.empty())
            return Answer::Yes;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<QString> OpenFile(QWidget*, const FileRequest& request) override {
        openRequests.push_back(request);
        if (openPaths.empty())
            return std::nullopt;
        QString path = openPaths.front();
        openPaths.pop_front();
        return path;
    }
    // Save dialogs: the path typed and the filter picked while the dialog is open (-1: none).
    std::deque<std::pair<QString, int>> savePaths; // cancel when empty
    std::vector<FileRequest> saveRequests;
    std::vector<QString> renamedTo; // what the dialog showed after each pick
    std::optional<QString> SaveFile(QWidget*, const FileRequest& request) override {
        saveRequests.push_back(request);
        if (savePaths.empty())
            return std::nullopt;
        const auto [path, pick] = savePaths.front();
        savePaths.pop_front();
        if (pick >= 0)
            renamedTo.push_back(request.filterChanged(request.selected, pick));
        if (request.chosenFilter)
            *request.chosenFilter = pick >= 0 ? pick : request.selectedFilter;
        return path;
    }
    // Batch: the paths chosen (cancel when empty) and the Abort (true) or Ignore answers.
    std::deque<QStringList> batchPaths;
    std::deque<bool> aborts; // Abort when empty
    std::vector<QString> abortIgnoreTexts;
    std::optional<QStringList> OpenBatchPaths(QWidget*, const FileRequest& request) override {
        openRequests.push_back(request);
        if (batchPaths.empty())
            return std::nullopt;
        QStringList paths = batchPaths.front();
        batchPaths.pop_front();
        return paths;
    }
    bool AskAbortIgnore(QWidget*, const QString&, const QString& text) override {
        abortIgnoreTexts.push_back(text);
        if (aborts.empty())
            return true;
        const bool abort = aborts.front();
        aborts.pop_front();
        return abort;
    }
    std::vector<QString> Texts(Kind kind) const {
        std::vector<QString> out;
        for (const Shown& m : messages)
            if (m.kind == kind)
                out.push_back(m.text);
        return out;
    }
};

class FakeShell final : public IShell {
public:
    int beeps = 0;
    std::vector<QUrl> opened;
    void Beep() override { ++beeps; }
    bool OpenUrl(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
};

// A window over a private settings store, scripted dialogs and a fake shell.
class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedConfig = qgetenv("VELMORA_CONFIG_DIR");
        qputenv("VELMORA_CONFIG_DIR", QByteArray::fromStdString(config.path()));
        LoadDefaults(settings);
    }
    void TearDown() override {
        window.reset();
        qputenv("VELMORA_CONFIG_DIR", m_savedConfig);
    }
    TFormMain& Show() {
        window = std::make_unique<TFormMain>(settings, dialogs, shell);
        window->show();
        return *window;
    }
    template <typename T = QWidget> T* Get(const char* name) {
        T* widget = Find<T>(window.get(), name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QAction* Menu(const char* name) { return Get<QAction>(name); }
    QString Text(const char* edit) { return Get<QLineEdit>(edit)->text(); }
    // The Open command with the dialog answered by `path`.
    void Open(const std::string& path) {
        dialogs.openPaths.push_back(QString::fromStdString(path));
        Menu("MenuOpen")->trigger();
    }
    std::string StoreText() const {
        const std::vector<std::uint8_t> bytes = ReadFile(config.File("Velmora.reg"));
        return std::string(bytes.begin(), bytes.end());
    }

    TempDir config;
    TempDir files;
    Settings settings;
    ScriptedDialogs dialogs;
    FakeShell shell;
    std::unique_ptr<TFormMain> window;

private:
    QByteArray m_savedConfig;
};

// Frames whose side information is zero: every decoder takes them for silence.
inline std::vector<std::uint8_t> QuietFrames(int count, FrameSpec spec = {}) {
    std::vector<std::uint8_t> out;
    AppendFrames(out, spec, count);
    return out;
}

// Three seconds of a 1 kHz tone with peak `amplitude`, encoded by lame at 128 kbit/s.
inline void LameTone(const std::string& path, int amplitude) {
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, PcmSpec{}, 3.0, 1000.0, amplitude);
    EncodeWithLame(pcm, PcmSpec{}, "-b 128", path);
}

} // namespace velmora::test
