#include "EditorStart.h"

#include "EditorArgs.h"
#include "EditorSeams.h"
#include "MprisClient.h"
#include "PreviewFolderQt.h"
#include "QtAudioOutput.h"
#include "UnitAbout.h"
#include "UnitAdvancedInfo.h"
#include "UnitMain.h"
#include "UnitOptionsForm.h"
#include "UnitRegistryStore.h"
#include "UnitSettingsStore.h"
#include "UnitStopSignals.h"
#include "UnitTheme.h"
#include "UnitWaveformPanel.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

QtMessageHandler previousHandler = nullptr;

// Qt ends the process when its window system cannot be reached; say why in one line instead.
// Its other messages (an unknown -style) go out as usual.
void FatalStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (previousHandler)
            previousHandler(type, context, message);
        return;
    }
    const QByteArray display = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                   ? qgetenv("DISPLAY")
                                   : qgetenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "velmora: cannot open the display \"%s\" (%s)\n", display.constData(),
                 qUtf8Printable(message.section(QLatin1Char('.'), 0, 0)));
    _exit(1);
}

bool DisplayMissing(const std::vector<std::string>& args) {
    const std::optional<std::string> chosen = PlatformArgument(args);
    const QByteArray platform =
        chosen ? QByteArray::fromStdString(*chosen) : qgetenv("QT_QPA_PLATFORM");
    const bool needsDisplay =
        platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
    return needsDisplay && qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

Settings LoadEditorSettings() {
    try {
        std::vector<std::string> refused;
        Settings settings = LoadStoredSettings(SettingsStorePath(), &refused);
        for (const std::string& text : refused)
            std::fprintf(stderr, "velmora: %s: %s; the default is used\n",
                         SettingsStorePath().c_str(), text.c_str());
        return settings;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s; the default settings are used\n", e.what());
        Settings defaults;
        LoadDefaults(defaults);
        return defaults;
    }
}

void PrintInformation(const TFormMain& window) {
    const char* const boxes[][2] = {{"File", "EditName"},      {"Type", "EditType"},
                                    {"Length", "EditLength"},  {"ID3", "EditID3"},
                                    {"CRC", "EditCRC"},        {"Ending", "EditEnding"},
                                    {"Bitrate", "EditBitrate"}};
    for (const auto& box : boxes)
        if (const auto* edit = window.findChild<QLineEdit*>(QLatin1String(box[1])))
            std::printf("%-9s%s\n", (std::string(box[0]) + ":").c_str(),
                        qUtf8Printable(edit->text()));
    std::fflush(stdout);
}

bool Grab(QWidget* widget, const QString& path) {
    QCoreApplication::processEvents();
    const bool saved = widget->grab().save(path, "PNG");
    if (!saved)
        std::fprintf(stderr, "velmora: cannot write %s\n", qUtf8Printable(path));
    return saved;
}

void Settle(int rounds) {
    for (int i = 0; i < rounds; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// `name`.png, and `name`-dark.png in a dark palette.
void GrabLightAndDark(QWidget* widget, const QString& folder, const QString& name) {
    Grab(widget, folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    Settle(5);
    Grab(widget, folder + QLatin1Char('/') + name + QStringLiteral("-dark.png"));
    QApplication::setPalette(light);
    Settle(5);
}

// The Save As dialog as the command opens it, in place of the dialog.
void GrabSaveDialog(QWidget* parent, const IDialogs::FileRequest& request, const QString& folder) {
    QFileDialog dialog(parent, request.title, request.folder);
    PrepareFileDialog(dialog, request, QFileDialog::AcceptSave);
    dialog.show();
    Settle(50); // the file list fills in the background
    GrabLightAndDark(&dialog, folder, QStringLiteral("save-as"));
}

void WriteScreenshots(TFormMain& window, const QString& folder) {
    QDir().mkpath(folder);
    // The waveform as the decoding leaves it.
    if (auto* waveform = window.findChild<TWaveformPanel*>(QStringLiteral("GroupBoxWaveform"))) {
        waveform->WaitForRefinement();
        Settle(5);
        GrabLightAndDark(waveform, folder, QStringLiteral("waveform-panel"));
    }
    GrabLightAndDark(&window, folder, QStringLiteral("main-window"));
    auto* infoPages = window.AdvancedInfo()->findChild<QTabWidget*>(QStringLiteral("PageControl"));
    for (const auto& [dialog, name, page] :
         {std::tuple<QDialog*, const char*, int>{window.AdvancedInfo(), "advanced-info", 0},
          std::tuple<QDialog*, const char*, int>{window.AdvancedInfo(), "advanced-info-errors", 1},
          std::tuple<QDialog*, const char*, int>{window.About(), "about", -1}}) {
        if (page >= 0)
            infoPages->setCurrentIndex(page);
        dialog->show();
        Settle(20);
        GrabLightAndDark(dialog, folder, QLatin1String(name));
        dialog->hide();
    }
    if (auto* saveAs = window.findChild<QAction*>(QStringLiteral("MenuSaveAs")))
        saveAs->trigger();
    // Every page of the Options window, named after the page.
    TFormOptions* options = window.Options();
    auto* pages = options->findChild<QTabWidget*>(QStringLiteral("PageControlOptions"));
    options->show();
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        Settle(10);
        Grab(options, folder + QStringLiteral("/options-") +
                          pages->widget(i)->objectName().mid(8).toLower() + QStringLiteral(".png"));
    }
    options->hide();
}

} // namespace

int RunEditor(int argc, char** argv) {
    const auto arguments = [&] {
        return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
    };
    if (const std::optional<ArgumentsOutcome> early = HelpOrVersion(arguments())) {
        std::fputs(early->out.c_str(), stdout);
        return *early->exitStatus;
    }
    if (DisplayMissing(arguments())) {
        // Our own options are still checked first.
        EditorArguments unused;
        const ArgumentsOutcome ours = ParseEditorArguments(WithoutQtOptions(arguments()), unused);
        if (ours.exitStatus) {
            std::fputs(ours.err.c_str(), stderr);
            return *ours.exitStatus;
        }
        std::fputs("velmora: no display found (DISPLAY and WAYLAND_DISPLAY are unset); run it in "
                   "a desktop session or under xvfb-run\n",
                   stderr);
        return 1;
    }
    previousHandler = qInstallMessageHandler(FatalStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    // Qt has taken its own options (-style, -platform, ...) out of argv.
    EditorArguments options;
    const ArgumentsOutcome parsed = ParseEditorArguments(arguments(), options);
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    if (parsed.exitStatus)
        return *parsed.exitStatus;
    QApplication::setApplicationName(QLatin1String(kProductName));
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopId));
    QApplication::setWindowIcon(ApplicationIcon());
    QApplication::setStyle(EditorStyle());

    Settings settings = LoadEditorSettings();
    QtDialogs desktopDialogs;
    StderrDialogs unattendedDialogs;
    const bool unattended = options.quitWhenIdle || options.screenshots.has_value();
    if (options.screenshots)
        unattendedDialogs.saveDialogShown = [&](QWidget* parent,
                                                const IDialogs::FileRequest& request) {
            GrabSaveDialog(parent, request, *options.screenshots);
        };
    IDialogs& dialogs = unattended ? static_cast<IDialogs&>(unattendedDialogs) : desktopDialogs;
    QtShell shell;
    QtAudioOutput audioOutput;
    MprisClient mpris(QDBusConnection::sessionBus(), nullptr);
    TFormMain window(settings, dialogs, shell);
    window.AttachPlayers(audioOutput, &StandardPreviewFolder, &mpris);
    window.StartUpLanguage(!unattended);
    if (options.timing && window.LanguageLoadMicroseconds() > 0)
        std::fprintf(stderr, "language %s: %.2f ms\n", window.CurrentLanguage().c_str(),
                     static_cast<double>(window.LanguageLoadMicroseconds()) / 1000.0);
    window.show();
    const StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::Arrived, &window,
                     [&window](int) { window.CloseOnStopSignal(); });

    QTimer::singleShot(0, &window, [&] {
        if (options.file) {
            QElapsedTimer clock;
            clock.start();
            window.OpenNativePath(*options.file);
            if (options.timing)
                std::fprintf(stderr, "open: %lld ms, longest event-loop wait: %lld ms\n",
                             static_cast<long long>(clock.elapsed()),
                             static_cast<long long>(window.LastOpenLongestGapMs()));
        }
        if (options.screenshots)
            WriteScreenshots(window, *options.screenshots);
        if (options.quitWhenIdle)
            PrintInformation(window);
        if (unattended)
            window.close();
    });
    const int status = app.exec();
    // Ended by a signal: the status a shell expects of a process that signal ended.
    if (stopSignals.Received() != 0)
        return 128 + stopSignals.Received();
    return unattendedDialogs.ErrorCount() > 0 ? 1 : status;
}

} // namespace velmora
