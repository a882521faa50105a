#include "TTimeEdit.h"
#include "WidgetHost.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

class TTimeSpinTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_spin = m_host.Add<TTimeSpin>();
        m_other = m_host.Add<QLineEdit>();
        ASSERT_TRUE(m_host.Show());
    }

    QString Shown() const {
        return Field(TTimeSpin::Hours)->text() + ":" + Field(TTimeSpin::Minutes)->text() + ":" +
               Field(TTimeSpin::Seconds)->text();
    }
    QLineEdit* Field(TTimeSpin::Field which) const { return m_spin->field(which); }

    WidgetHost m_host;
    TTimeSpin* m_spin = nullptr;
    QLineEdit* m_other = nullptr;
};

TEST_F(TTimeSpinTest, StepKeysCarryBorrowAndStopAtTheEnds) {
    struct Case {
        int maximum;
        int start;
        TTimeSpin::Field field;
        Qt::Key key;
        const char* shown;
        int value;
    };
    const Case cases[] = {
        {3600, 59, TTimeSpin::Seconds, Qt::Key_Up, "00:01:00", 60},
        {3600, 60, TTimeSpin::Seconds, Qt::Key_Down, "00:00:59", 59},
        {3600, 119, TTimeSpin::Minutes, Qt::Key_Plus, "00:02:59", 179},
        {3600, 0, TTimeSpin::Seconds, Qt::Key_Minus, "00:00:00", 0},
        {125, 125, TTimeSpin::Seconds, Qt::Key_Up, "00:02:05", 125},
    };
    for (const Case& c : cases) {
        m_spin->setMaximum(c.maximum);
        m_spin->setValue(c.start);
        Field(c.field)->setFocus();
        QSignalSpy changed(m_spin, &TTimeSpin::changed);
        QTest::keyClick(Field(c.field), c.key);
        EXPECT_EQ(Shown(), QString::fromLatin1(c.shown)) << c.start << " key " << c.key;
        EXPECT_EQ(m_spin->value(), c.value) << c.start << " key " << c.key;
        EXPECT_EQ(changed.count(), c.value == c.start ? 0 : 1) << c.start << " key " << c.key;
    }
}

TEST_F(TTimeSpinTest, TypedFieldsAreClampedOnLeavingAndEnterMovesOn) {
    m_spin->setMaximum(35999);
    m_spin->setValue(0);
    QLineEdit* seconds = Field(TTimeSpin::Seconds);
    seconds->setFocus();
    seconds->selectAll();
    QSignalSpy changed(m_spin, &TTimeSpin::changed);
    QTest::keyClicks(seconds, QStringLiteral("7x5"));
    EXPECT_EQ(seconds->text(), QStringLiteral("75")) << "only digits reach a field";
    EXPECT_EQ(changed.count(), 2) << "each edit reports: 7 s, then 59 s";
    EXPECT_EQ(m_spin->value(), 59);

    m_other->setFocus();
    EXPECT_EQ(seconds->text(), QStringLiteral("59"));
    EXPECT_EQ(m_spin->value(), 59);

    // Enter leaves a field tidied and goes to the next one, round to the first.
    Field(TTimeSpin::Minutes)->setFocus();
    Field(TTimeSpin::Minutes)->selectAll();
    QTest::keyClicks(Field(TTimeSpin::Minutes), QStringLiteral("3"));
    QTest::keyClick(Field(TTimeSpin::Minutes), Qt::Key_Return);
    EXPECT_EQ(Field(TTimeSpin::Minutes)->text(), QStringLiteral("03"));
    EXPECT_TRUE(seconds->hasFocus());
    EXPECT_EQ(m_spin->value(), 3 * 60 + 59);
    QTest::keyClick(seconds, Qt::Key_Enter);
    EXPECT_TRUE(Field(TTimeSpin::Hours)->hasFocus());
    QTest::keyClicks(Field(TTimeSpin::Hours), QStringLiteral("2"));
    QTest::keyClick(Field(TTimeSpin::Hours), Qt::Key_Return);
    EXPECT_EQ(Shown(), QStringLiteral("02:03:59"));
    EXPECT_EQ(m_spin->value(), 2 * 3600 + 3 * 60 + 59);
}

TEST_F(TTimeSpinTest, ButtonsStepTheFocusedFieldOrElseTheSeconds) {
    const auto [up, down] = ArrowButtons(m_spin);
    ASSERT_TRUE(up && down);
    m_spin->setMaximum(35999);
    m_spin->setValue(65);
    m_other->setFocus();
    up->click();
    EXPECT_EQ(m_spin->value(), 66);
    EXPECT_TRUE(Field(TTimeSpin::Seconds)->hasFocus()) << "the seconds take the focus";
    Field(TTimeSpin::Minutes)->setFocus();
    down->click();
    EXPECT_EQ(m_spin->value(), 6);
    EXPECT_TRUE(Field(TTimeSpin::Minutes)->hasFocus());

    // With a maximum under an hour the hours field holds only 0: the step goes to the seconds.
    m_spin->setMaximum(125);
    Field(TTimeSpin::Hours)->setFocus();
    up->click();
    EXPECT_EQ(m_spin->value(), 7);
    EXPECT_TRUE(Field(TTimeSpin::Seconds)->hasFocus());
}

TEST_F(TTimeSpinTest, ResetFlagActsOnEnablingAndDisabling) {
    m_spin->setValue(90);
    QSignalSpy changed(m_spin, &TTimeSpin::changed);
    m_spin->setEnabled(false);
    EXPECT_EQ(Shown(), QStringLiteral("::"));
    EXPECT_EQ(changed.count(), 0) << "emptying reports nothing";
    m_spin->setEnabled(true);
    EXPECT_EQ(Shown(), QStringLiteral("00:00:00"));
    EXPECT_EQ(changed.count(), 1) << "the last value reported was 90";

    m_spin->setResetOnOpen(false);
    m_spin->setValue(90);
    m_spin->setEnabled(false);
    m_spin->setEnabled(true);
    EXPECT_EQ(Shown(), QStringLiteral("00:01:30"));
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(TTimeSpinTest, ChangesReportOnlyNewValuesAndBlockedSetsCountAsReported) {
    TTimeSpin fresh;
    QSignalSpy freshChanged(&fresh, &TTimeSpin::changed);
    fresh.setValue(0);
    EXPECT_EQ(freshChanged.count(), 1) << "the first report always gets through";
    fresh.setValue(0);
    EXPECT_EQ(freshChanged.count(), 1);

    {
        const QSignalBlocker blocker(fresh);
        fresh.setValue(200);
    }
    fresh.setValue(200);
    EXPECT_EQ(freshChanged.count(), 1);
    fresh.setMaximum(100);
    EXPECT_EQ(fresh.field(TTimeSpin::Minutes)->text(), QStringLiteral("03"))
        << "a new maximum leaves the fields as they are";
    EXPECT_EQ(fresh.value(), 80) << "but they read against their new maxima: 1:20";
}

TEST_F(TTimeSpinTest, FieldsAreWideEnoughForTwoDigitsInALargeFont) {
    QFont font = m_spin->font();
    font.setPointSize(24);
    m_spin->setFont(font);
    m_host.window()->adjustSize();
    QTest::qWait(10);
    const QFontMetrics metrics(font);
    for (TTimeSpin::Field which : {TTimeSpin::Hours, TTimeSpin::Minutes, TTimeSpin::Seconds}) {
        EXPECT_GE(Field(which)->width(), metrics.horizontalAdvance(QStringLiteral("00")));
        EXPECT_GE(Field(which)->height(), metrics.height());
    }
}

} // namespace
} // namespace velmora::test
