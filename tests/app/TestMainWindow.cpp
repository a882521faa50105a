#include "EditorTestUtil.h"

#include "TSpinEdit.h"
#include "UnitRegistryStore.h"
#include "UnitTheme.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace velmora;
using namespace velmora::test;

namespace {

FrameSpec LayerII() {
    FrameSpec s;
    s.layerId = 2;
    s.bitrateIndex = 8; // 128 kbit/s
    s.fill = 0;         // no bit allocation: silence
    return s;
}

} // namespace

TEST_F(EditorTest, WindowStatesFollowTheFileAndTheLayer) {
    const std::string layer3 = files.File("layer3.mp3");
    const std::string layer2 = files.File("layer2.mp2");
    WriteFile(layer3, QuietFrames(200));
    WriteFile(layer2, QuietFrames(200, LayerII()));

    struct State {
        const char* name;
        bool open, volume;
        const char* editName;
        int beginFrames; // -1: the field is empty
    };
    const auto check = [this](const State& s) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Velmora 2.20"));
        EXPECT_EQ(window->FileIsOpen(), s.open);
        EXPECT_EQ(Menu("MenuOpen")->isEnabled(), !s.open);
        for (const char* m : {"MenuSave", "MenuSaveAs", "MenuClose"})
            EXPECT_EQ(Menu(m)->isEnabled(), s.open) << m;
        for (const char* m : {"MenuOptions", "MenuAbout", "MenuExit"})
            EXPECT_TRUE(Menu(m)->isEnabled()) << m;
        for (const char* c : {"GroupBoxTrim", "PageControlTrim", "TabSheetTime", "TabSheetFrame"})
            EXPECT_TRUE(Get(c)->isEnabled()) << c;
        for (const char* c : {"SpinEditBeginF", "ButtonTrimSilence", "ButtonAdvancedInfo",
                              "EditName", "BitBtnTestBegin", "GroupBoxAmplification"})
            EXPECT_EQ(Get(c)->isEnabled(), s.open) << c;
        for (const char* c : {"TrackBarAmplification", "ButtonAutoVolume", "GroupBoxFadeIn",
                              "PanelVolume", "Label0dB", "Label_12dB"})
            EXPECT_EQ(Get(c)->isEnabled(), s.volume) << c;
        EXPECT_EQ(Get("ImageFadeInBlack")->isVisible(), s.volume);
        EXPECT_EQ(Get("ImageFadeOutBlack")->isVisible(), s.volume);
        EXPECT_EQ(Get<QTimer>("Timer")->isActive(), s.open);
        EXPECT_EQ(Text("EditName"), QString::fromLatin1(s.editName));
        EXPECT_EQ(Get<TSpinEdit>("SpinEditBeginF")->value(), s.beginFrames);
        // Its own colour while enabled; disabled, the style's disabled text.
        const QPalette panel = Get<QLabel>("PanelVolumeMax")->palette();
        EXPECT_EQ(panel.color(QPalette::Active, QPalette::WindowText),
                  ThemedColour(s.open ? FixedColour::Black : FixedColour::Gray, window->palette(),
                               QPalette::Window));
        EXPECT_EQ(panel.color(QPalette::Disabled, QPalette::WindowText),
                  window->palette().color(QPalette::Disabled, QPalette::WindowText));
    };

    for (const bool reset : {true, false}) {
        settings.CheckBoxResetTrimmingPointsWhenOpen = reset;
        Show();
        check({"no file", false, false, "- no file opened -", -1});
        Open(layer3);
        check({"Layer III", true, true, "layer3.mp3", 0});
        EXPECT_EQ(Get<TSpinEdit>("SpinEditEndP")->value(), 200);
        EXPECT_EQ(Get<QLabel>("LabelDurationTime")->text(), QStringLiteral("(5.22s)"));
        Get<TSpinEdit>("SpinEditBeginF")->setValue(7);
        Menu("MenuClose")->trigger();
        check({reset ? "closed, reset on" : "closed, reset off", false, false, "", reset ? -1 : 7});
        Open(layer2);
        check({"Layer II", true, false, "layer2.mp2", reset ? 0 : 7});
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

TEST_F(EditorTest, PlacementIsReadClampedAndWrittenBack) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    struct Case {
        const char* name;
        const char* store; // lines of the key
        bool wantDesigned;
        int page;
    };
    const Case cases[] = {
        {"no values", "", true, 0},
        {"top 5000", "\"MainFormTop\"=dword:00001388\n", false, 0},
        {"negative", "\"MainFormTop\"=dword:fffff830\n\"MainFormLeft\"=dword:fffff060\n", false, 0},
        {"frame tab", "\"ControlTrimActivePage\"=dword:00000001\n", true, 1},
        {"texts", "\"MainFormTop\"=\"abc\"\n\"ControlTrimActivePage\"=\"x\"\n", true, 0},
        {"huge", "\"MainFormLeft\"=dword:7fffffff\n\"ControlTrimActivePage\"=dword:00000063\n",
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(config.File("Velmora.reg"), [&] {
            const std::string text =
                std::string("REGEDIT4\n\n[") + RegistryStore::kKeyName + "]\n" + c.store;
            return std::vector<std::uint8_t>(text.begin(), text.end());
        }());
        TFormMain& w = Show();
        const QSize size = w.size();
        EXPECT_EQ(Get<QTabWidget>("PageControlTrim")->currentIndex(), c.page);
        const QPoint at = w.pos();
        if (c.wantDesigned) {
            EXPECT_EQ(at, QPoint(kDesignedLeft, kDesignedTop));
        } else if (std::string(c.name) == "top 5000") {
            EXPECT_EQ(at, QPoint(kDesignedLeft, screen.bottom() + 1 - size.height() / 2));
        } else if (std::string(c.name) == "negative") {
            EXPECT_EQ(at, QPoint(screen.left() - size.width() / 2, screen.top()));
        } else {
            EXPECT_EQ(at, QPoint(screen.right() + 1 - size.width() / 2, kDesignedTop));
        }
        Get<QTabWidget>("PageControlTrim")->setCurrentIndex(1 - c.page);
        window.reset();
        const std::string store = StoreText();
        char expected[64];
        std::snprintf(expected, sizeof expected, "\"ControlTrimActivePage\"=dword:%08x",
                      1 - c.page);
        EXPECT_NE(store.find(expected), std::string::npos) << store;
        EXPECT_NE(store.find("\"MainFormTop\"=dword:"), std::string::npos) << store;
    }
}

TEST_F(EditorTest, AStoreThatCannotBeWrittenLeavesTheProgramRunning) {
    // A settings folder below a plain file can never be created, even by root.
    WriteFile(files.File("plain"), {1});
    qputenv("VELMORA_CONFIG_DIR", QByteArray::fromStdString(files.File("plain") + "/Velmora"));
    Show();
    EXPECT_NO_THROW(window.reset());
}

TEST_F(EditorTest, ExitAsksWhenToldAndNoKeepsTheFileOpen) {
    const std::string path = files.File("a.mp3");
    WriteFile(path, QuietFrames(100));
    settings.CheckBoxAskBeforeExiting = true;
    Show();
    Open(path);
    dialogs.answers = {IDialogs::Answer::No};
    Menu("MenuExit")->trigger();
    EXPECT_EQ(dialogs.questions, 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->FileIsOpen());
    Menu("MenuExit")->trigger();
    EXPECT_EQ(dialogs.questions, 2);
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(dialogs.questions, 2);
}

TEST_F(EditorTest, CloseDuringAnOpenWaitsForTheOpenToUnwind) {
    // Enough frames for the scanner to pump events several times.
    const std::string path = files.File("long.mp3");
    WriteFile(path, QuietFrames(20000));
    Show();
    bool closedInside = false;
    QTimer::singleShot(0, window.get(), [&] {
        EXPECT_TRUE(window->OperationBusy());
        window->close();
        closedInside = !window->isVisible();
    });
    Open(path);
    EXPECT_FALSE(closedInside);
    EXPECT_FALSE(window->FileIsOpen());
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text.toStdString();
    EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
    EXPECT_NE(StoreText().find("\"MainFormLeft\""), std::string::npos);
}

TEST_F(EditorTest, KeysTheWindowSeesFirst) {
    const std::string path = files.File("a.mp3");
    WriteFile(path, QuietFrames(100));
    settings.CheckBoxAskBeforeExiting = true;
    Show();
    Open(path);
    QApplication::setActiveWindow(window.get());
    QLineEdit* field = Get<TSpinEdit>("SpinEditBeginF")->lineEdit();
    field->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == field; }));
    QTest::keyClicks(field, "-+.");
    QTest::keyClick(field, Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(field->text(), QStringLiteral("0"));
    QTest::keyClick(field, Qt::Key_4);
    EXPECT_EQ(Get<TSpinEdit>("SpinEditBeginF")->value(), 4);

    // Escape closes the file, then (asked first) the window.
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(window->FileIsOpen());
    EXPECT_EQ(dialogs.questions, 0);
    dialogs.answers = {IDialogs::Answer::No};
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(dialogs.questions, 1);
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_EQ(dialogs.questions, 2);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(shell.beeps, 0);
}

TEST_F(EditorTest, WindowOptionsKeepTheWindowShown) {
    Show();
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(Get("BitBtnTestBegin")->toolTip().isEmpty());
    settings.CheckBoxStayOnTop = true;
    settings.RadioGroupPreviewPlaysWhat = true;
    window->ApplyWindowOptions();
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(Get("BitBtnTestBegin")->toolTip().isEmpty());
    EXPECT_TRUE(Get("BitBtnTestEnd")->toolTip().isEmpty());
    EXPECT_EQ(Get("ButtonTrimSilence")->toolTipDuration(), 15000);
}
