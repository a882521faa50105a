#include "EditorTestUtil.h"

#include "EditorArgs.h"
#include "UnitTheme.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyle>

using namespace velmora;
using namespace velmora::test;

namespace {

struct EditorRun {
    int status;
    std::string output;
};

EditorRun Editor(const std::string& environment, const std::string& args) {
    EditorRun r;
    r.status = RunCommand(environment + " " VELMORA_EDITOR_PATH " " + args + " 2>&1", &r.output);
    return r;
}

} // namespace

// Qt's own options work as in any Qt program; ours still parse after them, and a style Qt does
// not know gets Qt's warning and the default style.
TEST(EditorQtOptions, QtsStandardOptionsAreTakenBeforeOurs) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    WriteFile(path, QuietFrames(100));
    WriteFile(dir.File("look.qss"), {});
    const std::string offscreen = "QT_QPA_PLATFORM=offscreen VELMORA_CONFIG_DIR=" + dir.path();
    const std::string bare =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VELMORA_CONFIG_DIR=" + dir.path();
    const struct {
        std::string environment;
        std::string args;
        const char* says; // a part of the output
    } cases[] = {
        {offscreen, "-style Fusion --quit-when-idle " + path, "Type:    MPEG 1 layer III"},
        {offscreen, "--quit-when-idle -style=Fusion " + path, "Type:    MPEG 1 layer III"},
        {offscreen, "-reverse -qwindowgeometry 500x400+10+10 --quit-when-idle " + path,
         "File:    a.mp3"},
        {offscreen, "-stylesheet " + dir.File("look.qss") + " --quit-when-idle " + path,
         "File:    a.mp3"},
        {bare, "-platform offscreen --quit-when-idle " + path, "File:    a.mp3"},
        {bare, "-platform offscreen --help", "--screenshots DIR"},
        {bare, "--help -style Fusion", "-style NAME"},
        {offscreen, "-style NoSuchStyle --quit-when-idle " + path, "NoSuchStyle"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const EditorRun run = Editor(c.environment, c.args);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("unknown option"), std::string::npos) << run.output;
    }
    // With a style Qt does not know, the editor still opens the file.
    const EditorRun unknown = Editor(offscreen, "-style NoSuchStyle --quit-when-idle " + path);
    EXPECT_NE(unknown.output.find("Type:    MPEG 1 layer III"), std::string::npos)
        << unknown.output;
    // Ours are still checked.
    const EditorRun refused = Editor(offscreen, "-style Fusion --frobnicate " + path);
    EXPECT_EQ(refused.status, 2) << refused.output;
    EXPECT_NE(refused.output.find("unknown option \"--frobnicate\""), std::string::npos)
        << refused.output;
}

// The editor's style adds its hint delay to the style the application runs with (the one
// `-style` chose), not to the desktop's default.
TEST(EditorQtOptions, TheEditorsStyleKeepsTheChosenStyle) {
    QStyle* const saved = QApplication::style();
    const QString savedName = saved->name();
    for (const char* name : {"Fusion", "Windows"}) {
        SCOPED_TRACE(name);
        QApplication::setStyle(QString::fromLatin1(name));
        auto* style = qobject_cast<QProxyStyle*>(EditorStyle());
        ASSERT_NE(style, nullptr);
        EXPECT_EQ(style->baseStyle()->name(), QString::fromLatin1(name).toLower());
        EXPECT_EQ(style->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 300);
        delete style;
    }
    QApplication::setStyle(savedName);
}

TEST(EditorQtOptions, ThePlatformArgumentIsFoundBeforeQtStarts) {
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> platform;
    } cases[] = {{{"-platform", "offscreen", "a.mp3"}, "offscreen"},
                 {{"a.mp3", "--platform", "xcb"}, "xcb"},
                 {{"--", "-platform", "offscreen"}, std::nullopt},
                 {{"-platform"}, std::nullopt},
                 {{"a.mp3"}, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(PlatformArgument(c.args), c.platform) << c.args.front();
}

TEST(EditorQtOptions, QtsOptionsAreSetAsideWhenNoDisplayStartsQt) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> ours;
    } cases[] = {
        {{"-style", "Fusion", "a.mp3"}, {"a.mp3"}},
        {{"--style=Fusion", "-reverse", "--timing", "a.mp3"}, {"--timing", "a.mp3"}},
        {{"-qwindowgeometry", "1x1", "--frobnicate"}, {"--frobnicate"}},
        {{"a.mp3", "--", "-style", "b.mp3"}, {"a.mp3", "--", "-style", "b.mp3"}},
        {{"-platform"}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithoutQtOptions(c.args), c.ours) << c.args.front();
}
