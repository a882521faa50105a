#include "TWaveformView.h"
#include "WidgetHost.h"

#include <QSignalSpy>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

// Every column reaches half way up and down.
class FlatData final : public IWaveformData {
public:
    mutable int columns = 0;
    WaveColumn Column(std::int64_t, std::int64_t) const override {
        ++columns;
        return {0.5f, 0.5f, true};
    }
};

class TWaveformViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_view = m_host.Add<TWaveformView>();
        m_view->setFixedSize(400, 60);
        m_view->SetData(&m_data, 1000, 38.28125);
        m_view->SetTrim(100, 900);
        m_view->SetTimeText([](std::int64_t f) { return QStringLiteral("f%1").arg(f); });
        ASSERT_TRUE(m_host.Show());
        m_view->setFocus();
    }
    QPoint At(std::int64_t frame) const {
        return {static_cast<int>(std::lround(m_view->XOfFrame(frame))), 30};
    }

    WidgetHost m_host;
    FlatData m_data;
    TWaveformView* m_view = nullptr;
};

using Marker = TWaveformView::Marker;

} // namespace

TEST_F(TWaveformViewTest, DragsAndKeysAskToMoveTheMarkers) {
    QSignalSpy moves(m_view, &TWaveformView::markerMoved);
    const auto asked = [&] {
        std::vector<std::pair<Marker, std::int64_t>> out;
        for (const QList<QVariant>& args : moves)
            out.emplace_back(args[0].value<Marker>(), args[1].toLongLong());
        moves.clear();
        return out;
    };
    // A drag from the begin marker to frame 250; the view waits for SetTrim to move it.
    QTest::mousePress(m_view, Qt::LeftButton, {}, At(100));
    QTest::mouseMove(m_view, At(250));
    QTest::mouseRelease(m_view, Qt::LeftButton, {}, At(250));
    EXPECT_EQ(asked(), (std::vector<std::pair<Marker, std::int64_t>>{{Marker::Begin, 250},
                                                                     {Marker::Begin, 250}}));
    EXPECT_EQ(m_view->Begin(), 100);
    // Past the other marker the drag stops at it.
    QTest::mousePress(m_view, Qt::LeftButton, {}, At(900));
    QTest::mouseRelease(m_view, Qt::LeftButton, {}, At(50));
    EXPECT_EQ(asked(), (std::vector<std::pair<Marker, std::int64_t>>{{Marker::End, 100}}));
    EXPECT_EQ(m_view->FocusedMarker(), Marker::End);
    // Keys move the focused marker: a frame, a second (38 frames); Tab goes back to the begin.
    const struct {
        Qt::Key key;
        Marker marker;
        std::int64_t frame;
    } keys[] = {{Qt::Key_Left, Marker::End, 899},     {Qt::Key_Right, Marker::End, 901},
                {Qt::Key_PageDown, Marker::End, 862}, {Qt::Key_Backtab, Marker::Begin, -1},
                {Qt::Key_PageUp, Marker::Begin, 138}, {Qt::Key_Left, Marker::Begin, 99}};
    for (const auto& k : keys) {
        QTest::keyClick(m_view, k.key,
                        k.key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_EQ(m_view->FocusedMarker(), k.marker) << k.key;
        if (k.frame >= 0) {
            EXPECT_EQ(asked(), (std::vector<std::pair<Marker, std::int64_t>>{{k.marker, k.frame}}))
                << k.key;
        }
    }
    // A press away from the markers moves nothing; Shift+click asks for a preview there.
    QSignalSpy previews(m_view, &TWaveformView::previewRequested);
    QTest::mouseClick(m_view, Qt::LeftButton, {}, At(300));
    QTest::mouseClick(m_view, Qt::LeftButton, Qt::ShiftModifier, At(500));
    EXPECT_TRUE(asked().empty());
    ASSERT_EQ(previews.size(), 1);
    EXPECT_NEAR(previews[0][0].toLongLong(), 500, 2);
}

TEST_F(TWaveformViewTest, ZoomsAroundTheCursorAndOutAgain) {
    EXPECT_EQ(m_view->VisibleSpan(), 1000);
    const double x = m_view->XOfFrame(600);
    QWheelEvent wheel(QPointF(x, 30), m_view->mapToGlobal(QPointF(x, 30)), {}, {0, 120 * 8},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_view, &wheel);
    EXPECT_LT(m_view->VisibleSpan(), 1000 / 5);
    // The frame under the cursor stays there.
    EXPECT_NEAR(m_view->FrameAt(x), 600, 1);
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(m_view, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(m_view->VisibleSpan(), 2); // down to single frames
    QTest::keyClick(m_view, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(m_view->VisibleSpan(), 4);
    QTest::mouseDClick(m_view, Qt::LeftButton, {}, QPoint(10, 30));
    EXPECT_EQ(m_view->VisibleFirst(), 0);
    EXPECT_EQ(m_view->VisibleSpan(), 1000);
}

TEST_F(TWaveformViewTest, NamesAndHintsTellTheMarkersTimes) {
    m_view->SetHintTemplates(QStringLiteral("B %1"), QStringLiteral("E %1"));
    EXPECT_EQ(m_view->MarkerHint(Marker::Begin), QStringLiteral("B f100"));
    EXPECT_EQ(m_view->MarkerHint(Marker::End), QStringLiteral("E f900"));
    m_view->SetFocusedMarker(Marker::End);
    EXPECT_EQ(m_view->accessibleDescription(), QStringLiteral("E f900; B f100"));
    EXPECT_FALSE(m_view->accessibleName().isEmpty());
    // It reads one column per device pixel, and a decoded column only once.
    m_view->SetData(&m_data, 1000, 38.28125);
    m_data.columns = 0;
    m_view->repaint();
    EXPECT_EQ(m_data.columns, static_cast<int>(400 * m_view->devicePixelRatioF()));
    m_view->repaint();
    EXPECT_EQ(m_data.columns, static_cast<int>(400 * m_view->devicePixelRatioF()));
}

} // namespace velmora::test
