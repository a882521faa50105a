#include "EditorTestUtil.h"
#include "TSpinEdit.h"
#include "UnitApeTag.h"
#include "UnitLoudness.h"
#include "UnitTags.h"

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

// Auto shows the R128 loudness with its hint; a save of the frames it measured writes ReplayGain
// 2.0 track tags from that measurement, a save of other frames none.
TEST_F(EditorTest, AutoShowsTheLoudnessAndASaveOfWhatItMeasuredTagsIt) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame missing";
    settings.CheckBoxWriteReplayGainTags = true;
    settings.CheckBoxCloseAfterSave = false;
    const struct Case {
        const char* name;
        bool trimAfterAuto;
    } cases[] = {{"as measured", false}, {"trimmed after Auto", true}};
    for (const Case& c : cases) {
        const std::string path = files.File(std::string(c.name) + ".mp3");
        LameTone(path, 9000);
        Show();
        Open(path);
        auto* panel = Get<QLabel>("PanelLoudness");
        EXPECT_EQ(panel->text(), QStringLiteral("? LUFS")) << c.name;
        Get<QPushButton>("ButtonAutoVolume")->click();
        const double lufs = panel->text().section(' ', 0, 0).toDouble(); // "-11.2 LUFS"
        EXPECT_TRUE(panel->text().endsWith(" LUFS") && lufs < -5 && lufs > -20)
            << panel->text().toStdString();
        EXPECT_TRUE(panel->toolTip().startsWith("Loudness " + panel->text()) &&
                    panel->toolTip().contains("limited by"))
            << panel->toolTip().toStdString();
        Get<QSlider>("TrackBarAmplification")->setValue(2);
        if (c.trimAfterAuto)
            Get<TSpinEdit>("SpinEditEndF")->setValue(10);
        Menu("MenuSave")->trigger();
        const std::vector<std::uint8_t> bytes = ReadFile(path);
        const TrailingTags tags = DetectTrailingTags(bytes);
        ASSERT_TRUE(tags.ape) << c.name; // the undo item at least
        const auto ape = ParseApeTag(bytes, tags.ape.offset + tags.ape.size);
        ASSERT_TRUE(ape) << c.name;
        const ApeItem* gain = ape->Find("REPLAYGAIN_TRACK_GAIN");
        if (c.trimAfterAuto) {
            EXPECT_EQ(gain, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(gain, nullptr) << c.name;
        // The panel shows one decimal.
        EXPECT_NEAR(std::stod(gain->value), -18 - (lufs + 2 * GainStepDb()), 0.06) << gain->value;
    }
}
