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

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProxyStyle>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

// Qt ends the process when its window system cannot be reached; say why in one line instead.
void FatalStartMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg)
        return;
    const QByteArray display = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                   ? qgetenv("DISPLAY")
                                   : qgetenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "velmora: cannot open the display \"%s\" (%s)\n", display.constData(),
                 qUtf8Printable(message.section(QLatin1Char('.'), 0, 0)));
    _exit(1);
}

bool DisplayMissing() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool needsDisplay =
        platform.isEmpty() || platform.startsWith("xcb") || platform.startsWith("wayland");
    return needsDisplay && qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Hints appear after 300 ms.
class HintStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 300;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

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

void WriteScreenshots(TFormMain& window, const QString& folder) {
    QDir().mkpath(folder);
    Grab(&window, folder + QStringLiteral("/main-window.png"));
    const QPalette light = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    Grab(&window, folder + QStringLiteral("/main-window-dark.png"));
    QApplication::setPalette(light);
    for (const auto& [dialog, name] :
         {std::pair<QDialog*, const char*>{window.AdvancedInfo(), "advanced-info.png"},
          std::pair<QDialog*, const char*>{window.About(), "about.png"}}) {
        dialog->show();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        Grab(dialog, folder + QLatin1Char('/') + QLatin1String(name));
        dialog->hide();
    }
    // Every page of the Options window, named after the page.
    TFormOptions* options = window.Options();
    auto* pages = options->findChild<QTabWidget*>(QStringLiteral("PageControlOptions"));
    options->show();
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        for (int j = 0; j < 10; ++j)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        Grab(options, folder + QStringLiteral("/options-") +
                          pages->widget(i)->objectName().mid(8).toLower() + QStringLiteral(".png"));
    }
    options->hide();
}

} // namespace

int RunEditor(int argc, char** argv) {
    EditorArguments options;
    const ArgumentsOutcome parsed = ParseEditorArguments(
        std::vector<std::string>(argv + std::min(argc, 1), argv + argc), options);
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    if (parsed.exitStatus)
        return *parsed.exitStatus;
    if (DisplayMissing()) {
        std::fputs("velmora: no display found (DISPLAY and WAYLAND_DISPLAY are unset); run it in "
                   "a desktop session or under xvfb-run\n",
                   stderr);
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(FatalStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName(QLatin1String(kProductName));
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopId));
    QApplication::setWindowIcon(ApplicationIcon());
    QApplication::setStyle(new HintStyle);

    Settings settings = LoadEditorSettings();
    QtDialogs desktopDialogs;
    StderrDialogs unattendedDialogs;
    const bool unattended = options.quitWhenIdle || options.screenshots.has_value();
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
