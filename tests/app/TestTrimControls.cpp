#include "EditorTestUtil.h"

#include "TSpinEdit.h"
#include "TTimeEdit.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

// The four quantities as the frame fields show them.
struct Fields {
    int begin, end, endPosition, duration;
    bool operator==(const Fields&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << f.begin << "/" << f.end << "/" << f.endPosition << "/" << f.duration;
}

class TrimTest : public EditorTest {
protected:
    // A 1000-frame MPEG-1 Layer III file at 44100 Hz, open.
    void OpenThousand() {
        const std::string path = files.File("thousand.mp3");
        WriteFile(path, QuietFrames(1000));
        Show();
        Open(path);
        ASSERT_TRUE(window->FileIsOpen());
    }
    TSpinEdit* Frames(const char* name) { return Get<TSpinEdit>(name); }
    Fields Shown() {
        return {Frames("SpinEditBeginF")->value(), Frames("SpinEditEndF")->value(),
                Frames("SpinEditEndP")->value(), Frames("SpinEditDuration")->value()};
    }
    // Puts `digits` over a field's text in one edit (as a paste does) and leaves it with Enter.
    void Type(const char* field, const QString& digits) {
        QLineEdit* edit = Frames(field)->lineEdit();
        edit->setFocus();
        edit->selectAll();
        edit->insert(digits);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QString Label(const char* name) { return Get<QLabel>(name)->text(); }
};

} // namespace

TEST_F(TrimTest, TypedCountsCascadeThroughTheOtherQuantities) {
    OpenThousand();
    EXPECT_EQ(Shown(), (Fields{0, 0, 1000, 1000}));
    EXPECT_EQ(Label("LabelEndP"), QStringLiteral("(26.12s)"));
    const struct {
        Fields before;
        const char* field;
        const char* typed;
        Fields after;
    } cases[] = {
        // Begin above total - end lowers end; duration shows 0.
        {{0, 50, 950, 950}, "SpinEditBeginF", "951", {951, 49, 951, 0}},
        {{0, 0, 1000, 1000}, "SpinEditEndF", "200", {0, 200, 800, 800}},
        {{900, 0, 1000, 100}, "SpinEditEndF", "300", {700, 300, 700, 0}},
        // An end position below begin pulls begin down.
        {{100, 0, 1000, 900}, "SpinEditEndP", "80", {80, 920, 80, 0}},
        // The whole duration while begin is 100: nothing trimmed at either end.
        {{100, 0, 1000, 900}, "SpinEditDuration", "1000", {0, 0, 1000, 1000}},
        {{100, 100, 900, 800}, "SpinEditDuration", "500", {100, 400, 600, 500}},
    };
    for (const auto& c : cases) {
        Frames("SpinEditBeginF")->setValue(0);
        Frames("SpinEditEndF")->setValue(c.before.end);
        Frames("SpinEditBeginF")->setValue(c.before.begin);
        ASSERT_EQ(Shown(), c.before) << c.field << " " << c.typed;
        Type(c.field, QString::fromLatin1(c.typed));
        EXPECT_EQ(Shown(), c.after) << c.field << " " << c.typed;
        // The time fields follow in whole seconds (1152 samples per frame at 44100 Hz).
        EXPECT_EQ(Get<TTimeSpin>("TimeSpinDuration")->value(), c.after.duration * 1152 / 44100);
    }
}

TEST_F(TrimTest, OneSecondOfTimeIsThirtyNineFramesAndShowsOneSecond) {
    OpenThousand();
    auto* time = Get<TTimeSpin>("TimeSpinBeginS");
    QLineEdit* seconds = time->field(TTimeSpin::Seconds);
    seconds->setFocus();
    seconds->selectAll();
    QTest::keyClicks(seconds, QStringLiteral("1"));
    QTest::keyClick(seconds, Qt::Key_Return);
    EXPECT_EQ(Shown(), (Fields{39, 0, 1000, 961}));
    EXPECT_EQ(time->value(), 1);
    EXPECT_EQ(Label("LabelBeginTime"), QStringLiteral("(1.01s)"));
    // F5: the end point moves onto the begin point.
    QTest::keyClick(window.get(), Qt::Key_F5);
    EXPECT_EQ(Shown(), (Fields{39, 961, 39, 0}));
    EXPECT_EQ(Get<TTimeSpin>("TimeSpinEndS")->value(), 961 * 1152 / 44100);
    EXPECT_EQ(shell.beeps, 0);
}

TEST_F(TrimTest, SpaceDisplayFollowsTheTrimAndTheTagToggle) {
    const std::string path = files.File("tagged.mp3");
    std::vector<std::uint8_t> bytes = QuietFrames(1000);
    const std::vector<std::uint8_t> v1 = Id3v1("Title");
    bytes.insert(bytes.end(), v1.begin(), v1.end());
    WriteFile(path, bytes);
    Show();
    Open(path);
    const int frameLength = static_cast<int>(QuietFrames(1).size());
    // Nothing trimmed, the tag kept: nothing to recover.
    EXPECT_EQ(Label("LabelSpaceSaved"), QStringLiteral("0.0KB"));
    EXPECT_EQ(Label("LabelTimeRemain"), QStringLiteral("0:26"));
    Frames("SpinEditEndF")->setValue(500);
    EXPECT_EQ(Label("LabelSpaceSaved"),
              QString::number(500.0 * frameLength / 1024, 'f', 1) + QStringLiteral("KB"));
    EXPECT_EQ(Label("LabelTimeRemain"), QStringLiteral("0:13"));
    QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(Label("LabelSpaceSaved"),
              QString::number((500.0 * frameLength + 128) / 1024, 'f', 1) + QStringLiteral("KB"));
}

// An empty count, or counts carried over from a longer file, make every reader of the trim points
// inert until a valid number is there.
TEST_F(TrimTest, InvalidTrimPointsMakeSaveAutoAndTheDisplayInert) {
    settings.CheckBoxResetTrimmingPointsWhenOpen = false;
    settings.CheckBoxCloseAfterSave = false;
    const std::string longer = files.File("longer.mp3");
    WriteFile(longer, QuietFrames(3000));
    const std::string path = files.File("thousand.mp3");
    WriteFile(path, QuietFrames(1000));
    const std::vector<std::uint8_t> original = ReadFile(path);
    Show();
    Open(longer);
    Frames("SpinEditBeginF")->setValue(800);
    Frames("SpinEditEndF")->setValue(800);
    Menu("MenuClose")->trigger();
    Open(path);
    ASSERT_TRUE(window->FileIsOpen());
    EXPECT_EQ(Shown(), (Fields{800, 800, 1000, 1000}));

    const std::function<void()> emptyEnd = [&] { Frames("SpinEditEndF")->clear(); };
    const std::function<void()> carriedOver = [] {};
    for (const auto& makeInvalid : {carriedOver, emptyEnd}) {
        makeInvalid();
        EXPECT_EQ(Label("LabelSpaceSaved"), QStringLiteral("(0KB)"));
        EXPECT_EQ(Label("LabelTimeRemain"), QStringLiteral("(00:00)"));
        EXPECT_EQ(window->CommittedTrimPoints(), std::nullopt);
        Menu("MenuSave")->trigger();
        Menu("MenuSaveAs")->trigger();
        Get<QPushButton>("ButtonAutoVolume")->click();
        EXPECT_TRUE(dialogs.saveRequests.empty());
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_EQ(Get<QLabel>("PanelVolumeMax")->text(), QStringLiteral("?dB"));
        EXPECT_EQ(ReadFile(path), original);
        EXPECT_TRUE(window->FileIsOpen());
    }
    // F5 with an empty begin field beeps.
    Frames("SpinEditBeginF")->clear();
    QTest::keyClick(window.get(), Qt::Key_F5);
    EXPECT_EQ(shell.beeps, 1);
}

// A number typed into a field still focused counts for the next command, clamped as leaving the
// field would clamp it.
TEST_F(TrimTest, CommandsCommitTheFieldBeingTyped) {
    OpenThousand();
    QLineEdit* edit = Frames("SpinEditBeginF")->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("1500"));
    EXPECT_EQ(Frames("SpinEditBeginF")->value(), 1500);
    const std::optional<TrimPoints> trim = window->CommittedTrimPoints();
    ASSERT_TRUE(trim.has_value());
    EXPECT_EQ(trim->beginFrames, 1000);
    EXPECT_EQ(trim->endFrames, 0);
    EXPECT_EQ(Shown(), (Fields{1000, 0, 1000, 0}));
}

// The mp3PRO warning comes once per opened file, after the change that trims the beginning.
TEST_F(TrimTest, Mp3ProWarningOncePerFileAfterTheChange) {
    FrameSpec audio = AudibleFrameSpec();
    audio.versionId = 2;
    audio.bitrateIndex = 8;
    audio.part23Length = {700, 700, 0, 0};
    const std::string path = files.File("pro.mp3");
    WriteFile(path, QuietFrames(200, audio));
    Show();
    for (int opening = 1; opening <= 2; ++opening) {
        Open(path);
        ASSERT_TRUE(window->Model()->mp3Pro);
        for (const int begin : {10, 20}) {
            const std::size_t shown = dialogs.messages.size();
            Frames("SpinEditBeginF")->setValue(begin);
            EXPECT_EQ(dialogs.messages.size(), shown) << "not inside the change";
            QApplication::processEvents();
            ASSERT_EQ(dialogs.messages.size(), std::size_t(opening));
        }
        EXPECT_TRUE(dialogs.messages.back().text.startsWith(
            QStringLiteral("mp3PRO files are not completely streamable")));
        Menu("MenuClose")->trigger();
    }
}
