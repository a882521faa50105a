#include "TSpinEdit.h"
#include "WidgetHost.h"

#include <QLineEdit>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

class TSpinEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_spin = m_host.Add<TSpinEdit>();
        m_other = m_host.Add<QLineEdit>();
        m_spin->setRange(0, 1000);
        ASSERT_TRUE(m_host.Show());
    }

    void Type(const QString& keys) {
        m_spin->lineEdit()->setFocus();
        m_spin->lineEdit()->clear();
        QTest::keyClicks(m_spin->lineEdit(), keys);
    }

    WidgetHost m_host;
    TSpinEdit* m_spin = nullptr;
    QLineEdit* m_other = nullptr;
};

TEST_F(TSpinEditTest, TypedNumbersCountAsTheyStandUntilTheFieldIsLeft) {
    struct Case {
        const char* typed;
        const char* shown;  // what the field holds after typing
        int typedValue;     // value() before leaving
        int committedValue; // value() after leaving
    };
    const Case cases[] = {
        {"42", "42", 42, 42},
        {"5000", "5000", 5000, 1000},        // past the maximum: kept, then clamped
        {"1234567", "123456", 123456, 1000}, // at most six digits
        {"12a-b3", "123", 123, 123},         // only digits reach the field
        {"007", "007", 7, 7},
        {"", "", -1, -1}, // empty stays empty
    };
    for (const Case& c : cases) {
        Type(QString::fromLatin1(c.typed));
        EXPECT_EQ(m_spin->lineEdit()->text(), QString::fromLatin1(c.shown)) << c.typed;
        EXPECT_EQ(m_spin->value(), c.typedValue) << c.typed;
        QSignalSpy finished(m_spin, &TSpinEdit::editingFinished);
        m_other->setFocus();
        EXPECT_EQ(m_spin->value(), c.committedValue) << c.typed;
        EXPECT_EQ(finished.count(), 1) << c.typed;
    }
}

TEST_F(TSpinEditTest, ProgrammaticValuesAreClampedAndMinusOneEmpties) {
    struct Case {
        int set;
        const char* shown;
        int value;
    };
    m_spin->setRange(10, 500);
    const Case cases[] = {
        {42, "42", 42}, {501, "500", 500}, {3, "10", 10},  {999999, "500", 500},
        {-7, "10", 10}, {-1, "", -1},      {10, "10", 10},
    };
    for (const Case& c : cases) {
        QSignalSpy changed(m_spin, &TSpinEdit::valueChanged);
        m_spin->setValue(c.set);
        EXPECT_EQ(m_spin->lineEdit()->text(), QString::fromLatin1(c.shown)) << c.set;
        EXPECT_EQ(m_spin->value(), c.value) << c.set;
        ASSERT_EQ(changed.count(), 1) << c.set;
        EXPECT_EQ(changed.at(0).at(0).toInt(), c.value) << c.set;
    }
}

TEST_F(TSpinEditTest, CommitClampsATypedNumberWithoutMovingTheFocus) {
    Type(QStringLiteral("2000"));
    QSignalSpy changed(m_spin, &TSpinEdit::valueChanged);
    m_spin->commit();
    EXPECT_EQ(m_spin->value(), 1000);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(m_spin->lineEdit()->hasFocus());

    // A new maximum leaves the number shown alone until the next commit.
    m_spin->setMaximum(300);
    EXPECT_EQ(m_spin->value(), 1000);
    QTest::keyClick(m_spin->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(m_spin->value(), 300);
}

TEST_F(TSpinEditTest, KeysAndButtonsStepByOneWithinTheRange) {
    const auto [up, down] = ArrowButtons(m_spin);
    ASSERT_TRUE(up && down);
    const auto pressKey = [this](Qt::Key key) { QTest::keyClick(m_spin->lineEdit(), key); };
    const auto clickUp = [up] { up->click(); };
    const auto clickDown = [down] { down->click(); };

    struct Case {
        int start; // -1: empty
        bool up;
        int expected;
    };
    const Case cases[] = {
        {5, true, 6},  {5, false, 4}, {1000, true, 1000},
        {0, false, 0}, {-1, true, 0}, {-1, false, 0},
    };
    for (const Case& c : cases) {
        for (int way = 0; way < 2; ++way) {
            m_spin->setValue(c.start);
            if (way == 0)
                pressKey(c.up ? Qt::Key_Up : Qt::Key_Down);
            else
                c.up ? clickUp() : clickDown();
            EXPECT_EQ(m_spin->value(), c.expected)
                << c.start << (c.up ? " up" : " down") << (way == 0 ? " key" : " button");
        }
    }
    Type(QStringLiteral("4321"));
    pressKey(Qt::Key_Up);
    EXPECT_EQ(m_spin->value(), 1000) << "a typed number past the maximum steps to the maximum";
    EXPECT_TRUE(m_spin->lineEdit()->hasFocus()) << "the buttons never take the focus";
}

TEST_F(TSpinEditTest, FieldIsWideEnoughForSixDigitsInALargeFont) {
    QFont font = m_spin->font();
    font.setPointSize(24);
    m_spin->setFont(font);
    m_host.window()->adjustSize();
    QTest::qWait(10);
    const QFontMetrics metrics(m_spin->lineEdit()->font());
    EXPECT_GT(m_spin->lineEdit()->width(), metrics.horizontalAdvance(QStringLiteral("999999")));
    EXPECT_GE(m_spin->lineEdit()->height(), metrics.height());
}

} // namespace
} // namespace velmora::test
