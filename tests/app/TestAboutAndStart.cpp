#include "EditorTestUtil.h"

#include "Fixtures.h"
#include "UnitAbout.h"
#include "UrlLabel.h"

#include <QTest>
#include <QTimer>

using namespace velmora;
using namespace velmora::test;

TEST_F(EditorTest, AboutLinksOpenThroughTheShell) {
    Show();
    QTimer::singleShot(0, window.get(), [&] {
        TFormAbout* about = window->About();
        ASSERT_TRUE(WaitUntil([&] { return about->isVisible(); }));
        EXPECT_EQ(Find<QLabel>(about, "PanelTitle")->text(), QStringLiteral("Velmora 2.20"));
        QTest::mouseClick(Find<TUrlLabel>(about, "UrlLabelMainURL"), Qt::LeftButton);
        QTest::mouseClick(Find<TUrlLabel>(about, "Url_email"), Qt::LeftButton);
        QTest::keyClick(about, Qt::Key_Escape);
    });
    Menu("MenuAbout")->trigger();
    EXPECT_FALSE(window->About()->isVisible());
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[0], QUrl(QString::fromLatin1(kWebPageUrl)));
    EXPECT_EQ(shell.opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(shell.opened[1].query(QUrl::FullyDecoded), QStringLiteral("subject=Velmora 2.20"));
    EXPECT_TRUE(window->isVisible());
}

namespace {

struct EditorRun {
    int status;
    std::string output;
};

EditorRun Editor(const std::string& environment, const std::string& args) {
    EditorRun r;
    r.status = RunCommand(environment + " " VELMORA_EDITOR_PATH " " + args, &r.output);
    return r;
}

} // namespace

TEST(EditorStart, CommandLineOpensQuitsAndExplainsAMissingDisplay) {
    TempDir dir;
    const std::string path = dir.File("a.mp3");
    WriteFile(path, QuietFrames(100));
    const std::string offscreen = "QT_QPA_PLATFORM=offscreen VELMORA_CONFIG_DIR=" + dir.path();

    const EditorRun opened = Editor(offscreen, "--quit-when-idle " + path);
    EXPECT_EQ(opened.status, 0) << opened.output;
    EXPECT_NE(opened.output.find("File:    a.mp3\n"), std::string::npos) << opened.output;
    EXPECT_NE(opened.output.find("Type:    MPEG 1 layer III 44100Hz - joint-stereo\n"),
              std::string::npos)
        << opened.output;

    const EditorRun absent = Editor(offscreen, "--quit-when-idle " + dir.File("absent.mp3"));
    EXPECT_NE(absent.status, 0);
    EXPECT_NE(absent.output.find("Velmora: "), std::string::npos) << absent.output;

    const EditorRun noDisplay = Editor(
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VELMORA_CONFIG_DIR=" + dir.path(),
        path);
    EXPECT_EQ(noDisplay.status, 1) << noDisplay.output;
    EXPECT_EQ(std::count(noDisplay.output.begin(), noDisplay.output.end(), '\n'), 1)
        << noDisplay.output;
    EXPECT_EQ(noDisplay.output.rfind("velmora: no display", 0), 0u) << noDisplay.output;
}
