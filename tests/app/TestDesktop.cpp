#include "EditorTestUtil.h"

#include "EditorArgs.h"
#include "Fixtures.h"
#include "UnitTheme.h"

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

using namespace velmora;
using namespace velmora::test;

TEST(EditorArguments, OneFileAndKnownOptionsOnly) {
    const struct {
        std::vector<std::string> args;
        std::optional<int> status;
        const char* out; // the start of what is printed
        const char* err;
        std::optional<std::string> file;
    } cases[] = {
        {{}, {}, "", "", {}},
        {{"a.mp3"}, {}, "", "", "a.mp3"},
        {{"--", "-odd.mp3"}, {}, "", "", "-odd.mp3"},
        {{"caf\xE9 \"x\".mp3"}, {}, "", "", "caf\xE9 \"x\".mp3"},
        {{"--help"}, 0, "Usage: velmora ", "", {}},
        {{"a.mp3", "-h"}, 0, "Usage: velmora ", "", {}},
        {{"--version"}, 0, "velmora 2.20\n", "", {}},
        {{"a.mp3", "b.mp3"},
         2,
         "",
         "velmora: one file at a time: \"b.mp3\" is not opened besides \"a.mp3\"\n"
         "Try \"velmora --help\" for more information.\n",
         {}},
        {{"--open", "a.mp3"}, 2, "", "velmora: unknown option \"--open\"\n", {}},
        {{"-open", "a.mp3"}, 2, "", "velmora: unknown option \"-open\"\n", {}},
        {{"--screenshots"}, 2, "", "velmora: --screenshots needs a folder\n", {}},
        {{"--timing", "--screenshots=shots", "b.mp3"}, {}, "", "", "b.mp3"},
        {{"--screenshots", "a.mp3", "b.mp3"}, {}, "", "", "b.mp3"},
        {{"-platform", "offscreen", "--help"}, 0, "Usage: velmora ", "", {}},
        {{"--", "--help"}, {}, "", "", "--help"},
        {{""}, 2, "", "velmora: the file name is empty\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args.front());
        EditorArguments options;
        const ArgumentsOutcome outcome = ParseEditorArguments(c.args, options);
        EXPECT_EQ(outcome.exitStatus, c.status);
        EXPECT_EQ(outcome.out.rfind(c.out, 0), 0u) << outcome.out;
        EXPECT_EQ(outcome.err.rfind(c.err, 0), 0u) << outcome.err;
        if (!c.status) {
            EXPECT_EQ(options.file, c.file);
        }
    }
}

TEST(EditorStart, HelpAndVersionNeedNoDisplay) {
    const std::string bare = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
    std::string output;
    EXPECT_EQ(RunCommand(bare + VELMORA_EDITOR_PATH " --version", &output), 0);
    EXPECT_EQ(output, "velmora 2.20\n");
    EXPECT_EQ(RunCommand(bare + VELMORA_EDITOR_PATH " --help", &output), 0);
    EXPECT_EQ(output.rfind("Usage: velmora ", 0), 0u) << output;
    EXPECT_EQ(RunCommand(bare + VELMORA_EDITOR_PATH " a.mp3 b.mp3", &output), 2);
    EXPECT_NE(output.find("one file at a time"), std::string::npos) << output;
}

TEST(EditorStart, NamesWithBlanksQuotesAndLatin1BytesOpen) {
    TempDir dir;
    const std::string path = dir.File("caf\xE9 \"live\" it's.mp3");
    WriteFile(path, QuietFrames(100));
    std::string quoted = "'";
    for (const char ch : path)
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    quoted += "'";
    std::string output;
    const int status = RunCommand("QT_QPA_PLATFORM=offscreen VELMORA_CONFIG_DIR=" + dir.path() +
                                      " " VELMORA_EDITOR_PATH " --quit-when-idle -- " + quoted,
                                  &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Type:    MPEG 1 layer III"), std::string::npos) << output;
}

TEST(Theme, FixedColoursReadOnLightAndDarkPalettes) {
    const QPalette light = QStyleFactory::create(QStringLiteral("Fusion"))->standardPalette();
    const QPalette dark = DarkPalette();
    for (const QPalette* palette : {&light, &dark}) {
        for (const QPalette::ColorRole face :
             {QPalette::Window, QPalette::Base, QPalette::Button}) {
            SCOPED_TRACE(std::to_string(palette == &dark) + " face " + std::to_string(face));
            const QColor background = palette->color(face);
            const QColor black = ThemedColour(FixedColour::Black, *palette, face);
            const QColor gray = ThemedColour(FixedColour::Gray, *palette, face);
            const QColor red = ThemedColour(FixedColour::Red, *palette, face);
            const QColor yellow = ThemedColour(FixedColour::Yellow, *palette, face);
            EXPECT_GE(ContrastRatio(black, background), 7.0);
            // Gray is dimmer than the text and still stands out.
            EXPECT_LT(ContrastRatio(gray, background), ContrastRatio(black, background));
            EXPECT_GE(ContrastRatio(gray, background), 2.0);
            for (const auto& [signal, hue] : {std::pair{red, 0}, std::pair{yellow, 60}}) {
                EXPECT_GE(ContrastRatio(signal, background), kSignalContrast)
                    << signal.name().toStdString();
                EXPECT_EQ(signal.hslHue(), hue) << signal.name().toStdString();
                EXPECT_GE(signal.hslSaturation(), 200) << signal.name().toStdString();
            }
        }
    }
    // Where the pure colours already read, they stay.
    EXPECT_EQ(ThemedColour(FixedColour::Red, light, QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(ThemedColour(FixedColour::Yellow, dark, QPalette::Button), QColor(255, 255, 0));
    EXPECT_EQ(ThemedColour(FixedColour::Black, dark, QPalette::Base), dark.color(QPalette::Text));
    EXPECT_EQ(FixedColourOf(0xFF0000), FixedColour::Red);
    EXPECT_EQ(FixedColourOf(0x000000), FixedColour::Black);
}

TEST(Theme, FadeRampsAreDrawnAtThePixelRatio) {
    for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
        const QPixmap ramp = FadeRampPixmap(true, Qt::black, QSize(36, 14), ratio);
        EXPECT_NEAR(ramp.deviceIndependentSize().width(), 36, 0.5) << ratio;
        EXPECT_NEAR(ramp.deviceIndependentSize().height(), 14, 0.5) << ratio;
        EXPECT_EQ(ramp.width(), qRound(36 * ratio)) << ratio;
        const QImage image = ramp.toImage();
        // Rising: the right end is full height, the left end empty.
        EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, 1)), 255) << ratio;
        EXPECT_EQ(qAlpha(image.pixel(0, 1)), 0) << ratio;
    }
    EXPECT_FALSE(ApplicationIcon().isNull());
    const QIcon play = PlayIcon(Qt::white, Qt::gray);
    ASSERT_FALSE(play.isNull());
    const QImage sharp = play.pixmap(QSize(16, 16), 2.0).toImage();
    EXPECT_EQ(sharp.width(), 32);
    // Drawn in the colours asked for, enabled and disabled, unless the icon theme has its own.
    if (QIcon::fromTheme(QStringLiteral("media-playback-start")).isNull()) {
        EXPECT_EQ(sharp.pixelColor(16, 16), QColor(Qt::white));
        const QImage disabled = play.pixmap(QSize(16, 16), 2.0, QIcon::Disabled).toImage();
        EXPECT_EQ(disabled.pixelColor(16, 16), QColor(Qt::gray));
    }
}

namespace {

// What a file manager hands over: a drag enter, then the drop; true when the enter was taken.
bool Drop(QWidget* target, const QList<QUrl>& urls, const std::function<void()>& between = {}) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (between)
        between();
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QTest::qWait(1);
    return enter.isAccepted();
}

} // namespace

TEST_F(EditorTest, DroppedFilesOpenOnlyIntoAnIdleWindow) {
    const std::string first = files.File("first set.mp3"), second = files.File("second.mp3");
    WriteFile(first, QuietFrames(100));
    WriteFile(second, QuietFrames(100));
    const QUrl firstUrl = QUrl::fromLocalFile(QString::fromStdString(first));
    const QUrl secondUrl = QUrl::fromLocalFile(QString::fromStdString(second));
    Show();
    QWidget* field = Get("EditName");

    // One file, no file open: it opens.
    EXPECT_TRUE(Drop(field, {firstUrl}));
    ASSERT_TRUE(WaitUntil([&] { return window->FileIsOpen(); }));
    EXPECT_EQ(Text("EditName"), QStringLiteral("first set.mp3"));
    EXPECT_TRUE(dialogs.messages.empty());

    // A file open: refused, wherever it lands, and nothing changes.
    for (QWidget* target : {field, static_cast<QWidget*>(window.get())})
        EXPECT_FALSE(Drop(target, {secondUrl}));
    QTest::qWait(20);
    EXPECT_EQ(Text("EditName"), QStringLiteral("first set.mp3"));

    // Two files: the first opens, the second is named.
    Menu("MenuClose")->trigger();
    EXPECT_TRUE(Drop(window.get(), {secondUrl, firstUrl}));
    ASSERT_TRUE(WaitUntil([&] { return window->FileIsOpen(); }));
    EXPECT_EQ(Text("EditName"), QStringLiteral("second.mp3"));
    EXPECT_EQ(dialogs.Texts(IDialogs::Kind::Information),
              std::vector<QString>{
                  QStringLiteral("One file opens at a time; not opened: first set.mp3")});
}

TEST_F(EditorTest, DropsDuringAnOpenAreRefused) {
    const std::string path = files.File("long.mp3"), other = files.File("other.mp3");
    WriteFile(path, QuietFrames(20000));
    WriteFile(other, QuietFrames(100));
    Show();
    std::optional<bool> enteredWhileBusy;
    QTimer::singleShot(0, window.get(), [&] {
        enteredWhileBusy = Drop(window.get(), {QUrl::fromLocalFile(QString::fromStdString(other))});
    });
    Open(path);
    ASSERT_TRUE(enteredWhileBusy.has_value());
    EXPECT_FALSE(*enteredWhileBusy);
    QTest::qWait(20);
    EXPECT_TRUE(window->FileIsOpen());
    EXPECT_EQ(Text("EditName"), QStringLiteral("long.mp3"));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(EditorTest, BadDropsGiveAClearMessageOrNothing) {
    const std::string vanishing = files.File("gone.mp3");
    WriteFile(vanishing, QuietFrames(100));
    const std::string latin1 = files.File("caf\xE9.mp3");
    WriteFile(latin1, QuietFrames(100));
    const struct {
        QList<QUrl> urls;
        bool entered;
        bool error;
        bool opens;
    } cases[] = {
        {{QUrl::fromLocalFile(QString::fromStdString(vanishing))}, true, true, false}, // goes first
        {{QUrl(QStringLiteral("http://example.org/a.mp3"))}, false, false, false},
        {{QUrl::fromLocalFile(QString::fromStdString(files.path()))}, true, true, false},
        {{QUrl::fromEncoded(QByteArray("file://") +
                            QByteArray::fromStdString(latin1).toPercentEncoding("/"))},
         true,
         false,
         true},
    };
    Show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.urls.front().toString().toStdString());
        dialogs.messages.clear();
        Menu("MenuClose")->trigger();
        // The drop comes whether the enter was taken or not, and a file can go in between.
        EXPECT_EQ(Drop(window.get(), c.urls, [&] { std::remove(vanishing.c_str()); }), c.entered);
        QTest::qWait(20);
        EXPECT_EQ(dialogs.Texts(IDialogs::Kind::Error).size(), c.error ? 1u : 0u);
        EXPECT_EQ(window->FileIsOpen(), c.opens);
    }
}

TEST(EditorStart, AFreshAccountGetsOnlyItsStoreAtExit) {
    TempDir root;
    namespace fs = std::filesystem;
    for (const char* folder : {"home", "runtime", "tmp", "work"})
        fs::create_directory(root.File(folder));
    fs::permissions(root.File("runtime"), fs::perms::owner_all);
    const std::string file = root.File("work/a.mp3");
    WriteFile(file, QuietFrames(100));
    std::string output;
    const int status = RunCommand(
        "cd " + root.File("work") + " && env -i PATH=/usr/bin:/bin HOME=" + root.File("home") +
            " XDG_CONFIG_HOME=" + root.File("home/config") +
            " XDG_RUNTIME_DIR=" + root.File("runtime") + " TMPDIR=" + root.File("tmp") +
            " QT_QPA_PLATFORM=offscreen " VELMORA_EDITOR_PATH " --quit-when-idle " + file,
        &output);
    EXPECT_EQ(status, 0) << output;
    std::vector<std::string> created;
    for (const auto& entry : fs::recursive_directory_iterator(root.path()))
        if (!entry.is_directory())
            created.push_back(fs::relative(entry.path(), root.path()).string());
    std::sort(created.begin(), created.end());
    EXPECT_EQ(created, (std::vector<std::string>{"home/config/Velmora/Velmora.reg", "work/a.mp3"}));
}
