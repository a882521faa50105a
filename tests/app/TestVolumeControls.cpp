#include "EditorTestUtil.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

TEST_F(EditorTest, VolumeBarsShowTheirTextsAndThePicturesSetTheFades) {
    WriteFile(files.File("quiet.mp3"), QuietFrames(200));
    Show();
    Open(files.File("quiet.mp3"));
    auto* amplification = Get<QSlider>("TrackBarAmplification");
    const std::pair<int, const char*> texts[] = {
        {0, "0.0dB"}, {-1, "-1.5dB"}, {7, "+10.5dB"}, {-8, "-12.0dB"}};
    for (const auto& [position, text] : texts) {
        amplification->setValue(position);
        EXPECT_EQ(Get<QLabel>("PanelVolume")->text(), QString::fromLatin1(text)) << position;
    }
    for (const char* fade : {"FadeIn", "FadeOut"}) {
        auto* bar = Get<QSlider>(("TrackBar" + std::string(fade)).c_str());
        auto* picture = Get<QLabel>(("Image" + std::string(fade) + "Black").c_str());
        ASSERT_TRUE(picture->isVisible());
        for (const auto& [y, position, hint] :
             {std::tuple{0, 0, "0.0s"}, {11, 11, "2.1s"}, {22, 22, "7.6s"}, {42, 32, "20.0s"}}) {
            QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(5, y));
            EXPECT_EQ(bar->value(), position) << fade << " y " << y;
            EXPECT_EQ(bar->toolTip(), QString::fromLatin1(hint)) << fade << " y " << y;
        }
    }
}

// A tone that lame's frames decode to a peak of about -6 dBFS: +6.0dB, the bar at step 3 and the
// marker under its handle.
TEST_F(EditorTest, AutoVolumeNormalisesAndPlacesTheMarker) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    LameTone(files.File("tone.mp3"), 17380);
    settings.ComboBoxNormlizeAt = 0;                 // "0dB"
    settings.ComboBoxNormalizeClippingThreshold = 0; // "100%"
    Show();
    Open(files.File("tone.mp3"));
    Get<QPushButton>("ButtonAutoVolume")->click();
    EXPECT_EQ(Get<QLabel>("PanelVolumeMax")->text(), QStringLiteral("+6.0dB"));
    auto* bar = Get<QSlider>("TrackBarAmplification");
    EXPECT_EQ(bar->value(), 3);
    EXPECT_TRUE(window->VolumeAnalysisDone());
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Horizontal;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = option.sliderValue = bar->value();
    option.tickPosition = bar->tickPosition();
    const QRect handle =
        bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar);
    auto* marker = Get<QWidget>("PanelVolumeNormalization");
    ASSERT_TRUE(marker->isVisible());
    const QPoint centre = marker->mapTo(window.get(), marker->rect().center());
    EXPECT_NEAR(centre.x(), bar->mapTo(window.get(), handle.center()).x(), 1);
    Menu("MenuClose")->trigger();
    EXPECT_FALSE(window->VolumeAnalysisDone());
}
