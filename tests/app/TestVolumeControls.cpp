#include "EditorTestUtil.h"

#include "Fixtures.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

using namespace velmora;
using namespace velmora::test;

namespace {

class VolumeTest : public EditorTest {
protected:
    // Three seconds of a 1 kHz tone that lame's frames decode to a peak of about -6 dBFS.
    std::string ToneFile() {
        const std::string path = files.File("tone.mp3");
        PcmSpec spec;
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, spec, 3.0, 1000.0, 17380);
        EncodeWithLame(pcm, spec, "-b 128", path);
        return path;
    }
    QLabel* Panel(const char* name) { return Get<QLabel>(name); }
};

// Where the style draws the amplification bar's handle, in window coordinates.
QRect HandleRect(QSlider* bar, QWidget* window) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->value();
    option.sliderValue = bar->value();
    option.tickPosition = bar->tickPosition();
    option.tickInterval = bar->tickInterval();
    const QRect handle =
        bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar);
    return QRect(bar->mapTo(window, handle.topLeft()), handle.size());
}

} // namespace

TEST_F(VolumeTest, BarsShowTheirTextsAndThePicturesSetTheFades) {
    const std::string path = files.File("quiet.mp3");
    WriteFile(path, QuietFrames(200));
    Show();
    Open(path);
    auto* amplification = Get<QSlider>("TrackBarAmplification");
    const std::pair<int, const char*> texts[] = {{0, "0.0dB"},   {1, "+1.5dB"},  {-1, "-1.5dB"},
                                                 {-3, "-4.5dB"}, {7, "+10.5dB"}, {-8, "-12.0dB"}};
    for (const auto& [position, text] : texts) {
        amplification->setValue(position);
        EXPECT_EQ(Panel("PanelVolume")->text(), QString::fromLatin1(text)) << position;
    }
    for (const char* name : {"TrackBarFadeIn", "TrackBarFadeOut"}) {
        auto* bar = Get<QSlider>(name);
        const std::pair<int, const char*> hints[] = {{1, "0.1s"}, {32, "20.0s"}};
        for (const auto& [position, hint] : hints) {
            bar->setValue(position);
            EXPECT_EQ(bar->toolTip(), QString::fromLatin1(hint)) << name;
        }
    }
    const std::pair<const char*, const char*> pictures[] = {
        {"ImageFadeInBlack", "TrackBarFadeIn"}, {"ImageFadeOutBlack", "TrackBarFadeOut"}};
    for (const auto& [image, barName] : pictures) {
        auto* picture = Get<QLabel>(image);
        ASSERT_TRUE(picture->isVisible());
        EXPECT_GE(picture->height(), 43);
        for (const auto& [y, position] : {std::pair{0, 0}, {11, 11}, {22, 22}, {42, 32}}) {
            QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(5, y));
            EXPECT_EQ(Get<QSlider>(barName)->value(), position) << image << " y " << y;
        }
    }
}

TEST_F(VolumeTest, AutoNormalisesTheKeptRangeAndPlacesTheMarkerUnderTheHandle) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    const std::string path = ToneFile();
    settings.CheckBoxAutoNormalizeVolume = true;
    settings.ComboBoxNormlizeAt = 0;                 // "0dB"
    settings.ComboBoxNormalizeClippingThreshold = 0; // "100%"
    Show();
    Open(path);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(Panel("PanelVolumeMax")->text(), QStringLiteral("+6.0dB"));
    auto* bar = Get<QSlider>("TrackBarAmplification");
    EXPECT_EQ(bar->value(), 3);
    EXPECT_EQ(Panel("PanelVolume")->text(), QStringLiteral("+4.5dB"));
    EXPECT_TRUE(window->VolumeAnalysisDone());
    auto* marker = Get<QWidget>("PanelVolumeNormalization");
    ASSERT_TRUE(marker->isVisible());
    const QRect handle = HandleRect(bar, window.get());
    const QPoint markerCentre = marker->mapTo(window.get(), marker->rect().center());
    EXPECT_NEAR(markerCentre.x(), handle.center().x(), 1);
    EXPECT_GT(markerCentre.y(), handle.bottom() - 2);

    Menu("MenuClose")->trigger();
    EXPECT_FALSE(window->VolumeAnalysisDone());
}

TEST_F(VolumeTest, EscapeStopsTheAnalysisAndTheFileStaysOpen) {
    const std::string path = files.File("long.mp3");
    WriteFile(path, QuietFrames(3000));
    Show();
    Open(path);
    // Pressed once the analysis pumps events for the first time.
    QTimer::singleShot(0, window.get(), [this] {
        EXPECT_TRUE(window->OperationBusy());
        QTest::keyClick(window.get(), Qt::Key_Escape);
    });
    Get<QPushButton>("ButtonAutoVolume")->click();
    const std::vector<QString> errors = dialogs.Texts(IDialogs::Kind::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("Stopped at user request."));
    EXPECT_TRUE(window->FileIsOpen());
    EXPECT_FALSE(window->OperationBusy());
    EXPECT_EQ(Panel("PanelVolumeMax")->text(), QStringLiteral("?dB"));
    EXPECT_FALSE(window->VolumeAnalysisDone());
}
