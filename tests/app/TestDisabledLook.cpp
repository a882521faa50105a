#include "EditorTestUtil.h"

#include "UnitTheme.h"

#include <QLabel>
#include <QStyle>
#include <QToolButton>

using namespace velmora;
using namespace velmora::test;

namespace {

int Distance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

// The colour in the middle of the picture that stands out most from `face`: the glyph's.
QColor GlyphColour(const QImage& image, const QColor& face) {
    QColor best = face;
    for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y)
        for (int x = image.width() / 4; x < image.width() * 3 / 4; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (Distance(pixel, face) > Distance(best, face))
                best = pixel;
        }
    return best;
}

class DisabledLookTest : public EditorTest {
protected:
    void TearDown() override {
        QApplication::setPalette(m_saved);
        EditorTest::TearDown();
    }
    // The glyph of `widget` as it is drawn now.
    QColor Glyph(QWidget* widget) {
        QCoreApplication::processEvents();
        const QPalette::ColorGroup group =
            widget->isEnabled() ? QPalette::Active : QPalette::Disabled;
        return GlyphColour(widget->grab().toImage(),
                           widget->palette().color(group, QPalette::Button));
    }

private:
    QPalette m_saved = QApplication::palette();
};

} // namespace

// The ▶ and "W" buttons draw their glyphs in the style's disabled text colour while they are
// disabled, and in their own colour while enabled, on a light and on a dark palette.
TEST_F(DisabledLookTest, CustomDrawnButtonsFollowTheirEnabledState) {
    const std::string path = files.File("a.mp3");
    WriteFile(path, QuietFrames(200));
    Show();
    const QPalette light = QApplication::style()->standardPalette();
    const QPalette dark = DarkPalette();
    for (const QPalette* palette : {&light, &dark}) {
        QApplication::setPalette(*palette);
        QCoreApplication::processEvents();
        const QColor disabledText = palette->color(QPalette::Disabled, QPalette::ButtonText);
        const QColor enabledText = ThemedColour(FixedColour::Black, *palette, QPalette::Button);
        for (const char* name : {"BitBtnTestBegin", "BitBtnTestEnd", "BitBtnWinAmpGetTrimBegin",
                                 "BitBtnWinAmpGetTrimEnd"}) {
            SCOPED_TRACE(std::string(name) + (palette == &light ? " light" : " dark"));
            auto* button = Get<QToolButton>(name);
            ASSERT_FALSE(button->isEnabled());
            const QColor off = Glyph(button);
            EXPECT_LT(Distance(off, disabledText), Distance(off, enabledText))
                << off.name().toStdString();
            Open(path);
            ASSERT_TRUE(button->isEnabled());
            const QColor on = Glyph(button);
            EXPECT_LT(Distance(on, enabledText), Distance(on, disabledText))
                << on.name().toStdString();
            Menu("MenuClose")->trigger();
        }
    }
}

// The fade pictures are drawn differently while their bars are disabled.
TEST_F(DisabledLookTest, FadePicturesFollowTheirEnabledState) {
    const std::string path = files.File("a.mp3");
    WriteFile(path, QuietFrames(200));
    Show();
    for (const char* name : {"ImageFadeIn", "ImageFadeOut"}) {
        SCOPED_TRACE(name);
        auto* picture = Get<QLabel>(name);
        ASSERT_FALSE(picture->isEnabled());
        const QImage off = picture->grab().toImage();
        Open(path);
        ASSERT_TRUE(picture->isEnabled());
        EXPECT_NE(picture->grab().toImage(), off);
        Menu("MenuClose")->trigger();
    }
}
