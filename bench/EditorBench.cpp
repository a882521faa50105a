// Times the editor's own work through its main window, offscreen, with the file already open:
//   velmora-editor-bench saveas FILE OUT CLI RUNS  Save As with 30 s trimmed at each end, beside
//                                                  `cp FILE OUT` and `CLI save FILE -o OUT` with
//                                                  the same trim points, run alternately
//   velmora-editor-bench trim FILE RUNS             a change of the begin count to the refreshed
//                                                  space display
//   velmora-editor-bench preview FILE RUNS          the "[" key, with the begin point in the
//                                                  middle, to the first PCM the sink takes
//   velmora-editor-bench waveform FILE RUNS         the overview's delay after the information,
//                                                  the refinement beside `mpg123 -t FILE`, the
//                                                  event loop's longest wait meanwhile, and the
//                                                  waveform's bytes per frame
// Prints "NAME median MS min MS max MS" lines.
#include "EditorSeams.h"
#include "QtAudioOutput.h"
#include "TSpinEdit.h"
#include "UnitMP3.h"
#include "UnitMain.h"
#include "UnitMessages.h"
#include "UnitOpenAudio.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitSettingsStore.h"
#include "UnitSpecialFolder.h"
#include "UnitWaveformPanel.h"
#include "UnitWriter.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchTiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace velmora;
using velmora::bench::Clock;
using velmora::bench::Ms;
using velmora::bench::Print;

namespace {

class BenchDialogs final : public IDialogs {
public:
    QString savePath;
    int errors = 0;
    void Message(QWidget*, Kind kind, const QString&, const QString& text) override {
        if (kind == Kind::Error) {
            ++errors;
            std::fprintf(stderr, "velmora-editor-bench: %s\n", qUtf8Printable(text));
        }
    }
    Answer AskYesNo(QWidget*, const QString&, const QString&) override { return Answer::Yes; }
    std::optional<QString> OpenFile(QWidget*, const FileRequest&) override { return std::nullopt; }
    std::optional<QString> SaveFile(QWidget*, const FileRequest&) override { return savePath; }
};

class SilentShell final : public IShell {
public:
    void Beep() override {}
    bool OpenUrl(const QUrl&) override { return false; }
};

// The whole run of a program, without a shell in between.
double TimeProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (started != 0)
        throw std::runtime_error("cannot start " + args[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed");
    return Ms(Clock::now() - start);
}

struct Editor {
    Settings settings;
    BenchDialogs dialogs;
    SilentShell shell;
    std::unique_ptr<TFormMain> window;

    explicit Editor(const std::string& path) {
        LoadDefaults(settings);
        // Every run writes the same target again.
        settings.CheckBoxCloseAfterSave = false;
        settings.CheckBoxAutoDetectSilence = false;
        window = std::make_unique<TFormMain>(settings, dialogs, shell);
        window->show();
        window->OpenPath(QString::fromStdString(path));
        if (!window->FileIsOpen())
            throw std::runtime_error("the file did not open");
    }
    TSpinEdit* Field(const char* name) const {
        return window->findChild<TSpinEdit*>(QString::fromLatin1(name));
    }
    int Frames(int seconds) const {
        return static_cast<int>(SecondsToFrames(window->Model()->firstHeader, seconds));
    }
};

int TimeSaveAs(const std::string& path, const std::string& out, const std::string& cli, int runs) {
    Editor editor(path);
    const int trim = editor.Frames(30);
    editor.Field("SpinEditBeginF")->setValue(trim);
    editor.Field("SpinEditEndF")->setValue(trim);
    editor.dialogs.savePath = QString::fromStdString(out);
    const std::string frames = std::to_string(trim);
    // The writer alone on a model of its own, to tell its cost from the window's.
    const MessageTable messages = MessageTable::English();
    NullProgress quiet;
    StreamInfo model = std::move(
        OpenWithTailAnalysis(path, editor.settings, messages, quiet, {TailDecode::Skip}).info);
    const TrimPoints points{trim, trim};
    const OutputPlanDisplay display = ComputeOutputPlan(model, points, editor.settings, {});
    const WriteParams params =
        MakeSaveParams(path, out, model, points, display.plan, editor.settings, 0, 0, 0);
    std::vector<double> window, copy, command, engine;
    // Each writes a new file, as Save As of a new name does (replacing a file adds an fsync).
    for (int i = 0; i < runs + 1; ++i) {
        ::unlink(out.c_str());
        const Clock::time_point start = Clock::now();
        editor.window->findChild<QAction*>(QStringLiteral("MenuSaveAs"))->trigger();
        const double saved = Ms(Clock::now() - start);
        if (editor.dialogs.errors > 0)
            return 1;
        ::unlink(out.c_str());
        const double copied = TimeProgram({"cp", path, out});
        ::unlink(out.c_str());
        const double written =
            TimeProgram({cli, "save", path, "-o", out, "--begin", frames, "--end", frames});
        ::unlink(out.c_str());
        const Clock::time_point engineStart = Clock::now();
        WriteOutput(params, model, {editor.settings, messages}, quiet);
        const double alone = Ms(Clock::now() - engineStart);
        if (i == 0)
            continue; // warms the page cache
        engine.push_back(alone);
        window.push_back(saved);
        copy.push_back(copied);
        command.push_back(written);
    }
    Print("window-save-as", window);
    Print("cp", copy);
    Print("cli-save-o", command);
    Print("writer-alone", engine);
    return 0;
}

int TimeTrimChange(const std::string& path, int runs) {
    Editor editor(path);
    TSpinEdit* begin = editor.Field("SpinEditBeginF");
    const auto* saved = editor.window->findChild<QLabel*>(QStringLiteral("LabelSpaceSaved"));
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const QString before = saved->text();
        const Clock::time_point start = Clock::now();
        begin->setValue(1000 + i % 2);
        ms.push_back(Ms(Clock::now() - start));
        if (saved->text() == before)
            throw std::runtime_error("the space display did not change");
    }
    Print("trim-change-to-space-display", ms);
    return 0;
}

// A 5-second clip from the middle of the file, started by the "[" key and stopped by the next.
int TimePreviewKey(const std::string& path, int runs) {
    Editor editor(path);
    QtAudioOutput output;
    QTemporaryDir folder;
    editor.window->AttachPlayers(
        output,
        [&folder] {
            return PreviewFolder{folder.path().toStdString(), false};
        },
        nullptr);
    editor.settings.SpinEditPreviewLength = 5;
    editor.Field("SpinEditBeginF")
        ->setValue(static_cast<int>(editor.window->Model()->frameCount / 2));
    const auto press = [&editor] {
        QWidget* target =
            QApplication::focusWidget() ? QApplication::focusWidget() : editor.window.get();
        QKeyEvent key(QEvent::KeyPress, Qt::Key_BracketLeft, Qt::NoModifier, QStringLiteral("["));
        QApplication::sendEvent(target, &key);
    };
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        press();
        const Clock::time_point limit = start + std::chrono::seconds(2);
        while (!output.FirstPcmTaken() && Clock::now() < limit)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (!output.FirstPcmTaken())
            throw std::runtime_error("the sink took no PCM (is a sound server running?)");
        ms.push_back(Ms(*output.FirstPcmTaken() - start));
        press(); // the button goes up and the clip stops
        const Clock::time_point settle = Clock::now() + std::chrono::milliseconds(50);
        while (Clock::now() < settle)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    Print("preview-key-to-first-pcm", ms);
    return 0;
}

// Opens the file `runs` times; each run waits for the refinement to end while a 1 ms timer notes
// the longest wait of the event loop.
int TimeWaveform(const std::string& path, int runs) {
    std::vector<double> overview, refine, tool, gaps;
    double perFrame = 0;
    for (int i = 0; i < runs; ++i) {
        tool.push_back(TimeProgram({"mpg123", "-q", "-t", path}));
        Editor editor(path);
        auto* panel = editor.window->findChild<TWaveformPanel*>(QStringLiteral("GroupBoxWaveform"));
        QTimer tick;
        Clock::time_point last = Clock::now();
        double longest = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            longest = std::max(longest, Ms(now - last));
            last = now;
        });
        tick.start(1);
        panel->WaitForRefinement();
        if (panel->RefinementMs() < 0)
            throw std::runtime_error("the waveform was not refined: " +
                                     panel->Problem().toStdString());
        overview.push_back(panel->OverviewDelayMs());
        refine.push_back(panel->RefinementMs());
        gaps.push_back(longest);
        // The store, and the energies the decode pass keeps while it runs.
        perFrame = static_cast<double>(panel->MemoryBytes()) /
                       static_cast<double>(editor.window->Model()->frameCount) +
                   sizeof(std::uint32_t);
    }
    Print("overview-after-information", overview);
    Print("refinement", refine);
    Print("mpg123-t", tool);
    Print("event-loop-longest-wait", gaps);
    std::printf("bytes-per-frame %.1f\n", perFrame);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "saveas" && argc > 5)
            return TimeSaveAs(argv[2], argv[3], argv[4], std::stoi(argv[5]));
        if (mode == "trim" && argc > 3)
            return TimeTrimChange(argv[2], std::stoi(argv[3]));
        if (mode == "preview" && argc > 3)
            return TimePreviewKey(argv[2], std::stoi(argv[3]));
        if (mode == "waveform" && argc > 3)
            return TimeWaveform(argv[2], std::stoi(argv[3]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-editor-bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: velmora-editor-bench saveas FILE OUT CLI RUNS | trim FILE RUNS | "
                         "preview FILE RUNS | waveform FILE RUNS\n");
    return 2;
}
