#include "EditorTestUtil.h"

#include "TSpinEdit.h"
#include "TTimeEdit.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

using Fields = std::array<int, 4>; // begin, end, end position, duration

class TrimTest : public EditorTest {
protected:
    void OpenFrames(int count, const std::vector<std::uint8_t>& tail = {}) {
        std::vector<std::uint8_t> bytes = QuietFrames(count);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        const std::string path = files.File("f" + std::to_string(count) + ".mp3");
        WriteFile(path, bytes);
        if (!window)
            Show();
        Open(path);
        ASSERT_TRUE(window->FileIsOpen());
    }
    TSpinEdit* Frames(int q) {
        static const char* const names[] = {"SpinEditBeginF", "SpinEditEndF", "SpinEditEndP",
                                            "SpinEditDuration"};
        return Get<TSpinEdit>(names[q]);
    }
    Fields Shown() {
        return {Frames(0)->value(), Frames(1)->value(), Frames(2)->value(), Frames(3)->value()};
    }
    // The digits go in as one edit (a paste) into the focused field.
    void Type(int q, const char* digits, bool leave = true) {
        QLineEdit* edit = Frames(q)->lineEdit();
        edit->setFocus();
        edit->selectAll();
        edit->insert(QString::fromLatin1(digits));
        if (leave)
            QTest::keyClick(edit, Qt::Key_Return);
    }
    QString Label(const char* name) { return Get<QLabel>(name)->text(); }
};

} // namespace

TEST_F(TrimTest, FramesAndTimesCascade) {
    OpenFrames(1000);
    EXPECT_EQ(Shown(), (Fields{0, 0, 1000, 1000}));
    EXPECT_EQ(Label("LabelEndP"), QStringLiteral("(26.12s)"));
    const struct {
        Fields before;
        int field;
        const char* typed;
        Fields after;
    } cases[] = {
        {{0, 50, 950, 950}, 0, "951", {951, 49, 951, 0}}, // begin above total - end lowers end
        {{900, 0, 1000, 100}, 1, "300", {700, 300, 700, 0}},
        {{100, 0, 1000, 900}, 2, "80", {80, 920, 80, 0}}, // end position below begin pulls it
        {{100, 0, 1000, 900}, 3, "1000", {0, 0, 1000, 1000}},
        {{100, 100, 900, 800}, 3, "500", {100, 400, 600, 500}},
    };
    for (const auto& c : cases) {
        Frames(0)->setValue(0);
        Frames(1)->setValue(c.before[1]);
        Frames(0)->setValue(c.before[0]);
        ASSERT_EQ(Shown(), c.before) << c.typed;
        Type(c.field, c.typed);
        EXPECT_EQ(Shown(), c.after) << c.typed;
        EXPECT_EQ(Get<TTimeSpin>("TimeSpinDuration")->value(), c.after[3] * 1152 / 44100);
    }
    // 1 s in the begin time is 39 frames, which show 1 s again.
    Frames(1)->setValue(0);
    QLineEdit* seconds = Get<TTimeSpin>("TimeSpinBeginS")->field(TTimeSpin::Seconds);
    seconds->setFocus();
    seconds->selectAll();
    QTest::keyClicks(seconds, QStringLiteral("1"));
    QTest::keyClick(seconds, Qt::Key_Return);
    EXPECT_EQ(Shown(), (Fields{39, 0, 1000, 961}));
    EXPECT_EQ(Get<TTimeSpin>("TimeSpinBeginS")->value(), 1);
    EXPECT_EQ(Label("LabelBeginTime"), QStringLiteral("(1.01s)"));
    QTest::keyClick(window.get(), Qt::Key_F5); // the end moves onto the begin point
    EXPECT_EQ(Shown(), (Fields{39, 961, 39, 0}));
    EXPECT_EQ(shell.beeps, 0);
}

TEST_F(TrimTest, SpaceDisplayFollowsTheTrimAndTheTagToggle) {
    OpenFrames(1000, Id3v1("Title"));
    const double frame = static_cast<double>(QuietFrames(1).size());
    EXPECT_EQ(Label("LabelSpaceSaved"), QStringLiteral("0.0KB"));
    EXPECT_EQ(Label("LabelTimeRemain"), QStringLiteral("0:26"));
    Frames(1)->setValue(500);
    EXPECT_EQ(Label("LabelSpaceSaved"), QString::number(500 * frame / 1024, 'f', 1) + "KB");
    EXPECT_EQ(Label("LabelTimeRemain"), QStringLiteral("0:13"));
    QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(Label("LabelSpaceSaved"), QString::number((500 * frame + 128) / 1024, 'f', 1) + "KB");
}

// Counts carried over from a longer file, or an empty count, leave Save, Auto, F5 and the space
// display inert; a number still being typed counts for the next command, clamped.
TEST_F(TrimTest, InvalidOrUnfinishedCounts) {
    settings.CheckBoxResetTrimmingPointsWhenOpen = false;
    OpenFrames(3000);
    Frames(1)->setValue(800);
    Frames(0)->setValue(800);
    Menu("MenuClose")->trigger();
    OpenFrames(1000);
    EXPECT_EQ(Shown(), (Fields{800, 800, 1000, 1000}));
    const std::vector<std::uint8_t> original = ReadFile(files.File("f1000.mp3"));
    for (const bool emptyEnd : {false, true}) {
        if (emptyEnd)
            Frames(1)->clear();
        EXPECT_EQ(Label("LabelSpaceSaved"), QStringLiteral("(0KB)"));
        EXPECT_EQ(Label("LabelTimeRemain"), QStringLiteral("(00:00)"));
        EXPECT_FALSE(window->CommittedTrimPoints().has_value());
        Menu("MenuSave")->trigger();
        Menu("MenuSaveAs")->trigger();
        Get<QPushButton>("ButtonAutoVolume")->click();
        EXPECT_TRUE(dialogs.saveRequests.empty() && dialogs.messages.empty());
        EXPECT_EQ(Get<QLabel>("PanelVolumeMax")->text(), QStringLiteral("?dB"));
        EXPECT_EQ(ReadFile(files.File("f1000.mp3")), original);
    }
    Frames(0)->clear();
    QTest::keyClick(window.get(), Qt::Key_F5);
    EXPECT_EQ(shell.beeps, 1);
    Frames(1)->setValue(0);
    Type(0, "1500", false);
    EXPECT_EQ(Frames(0)->value(), 1500);
    const std::optional<TrimPoints> trim = window->CommittedTrimPoints();
    ASSERT_TRUE(trim.has_value());
    EXPECT_EQ(trim->beginFrames, 1000);
    EXPECT_EQ(Shown(), (Fields{1000, 0, 1000, 0}));
}
