#include "../SettingsTestUtil.h"
#include "FrameBuilder.h"
#include "GuiTestUtil.h"
#include "RadioGroup.h"
#include "TSpinEdit.h"
#include "UnitOptionsForm.h"
#include "UnitRegistryStore.h"
#include "UnitTags.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace velmora {
namespace {

using test::Find;

std::vector<std::string> Genres() {
    return {GenreTable.begin(), GenreTable.end()};
}

class OptionsFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadDefaults(settings);
        form = std::make_unique<TFormOptions>(settings, Genres());
        form->setStoreWriter([this](const Settings& s) { SaveStoredSettings(s, RegPath()); });
        form->setErrorReporter([this](const QString& text) { errors.push_back(text); });
    }
    std::string RegPath() const { return dir.File("Velmora.reg"); }
    std::string RegText() const {
        const std::vector<std::uint8_t> bytes = test::ReadFile(RegPath());
        return std::string(bytes.begin(), bytes.end());
    }
    template <typename T = QWidget> T* Get(const char* name) {
        T* w = Find<T>(form.get(), name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void ShowAndPress(const char* button) {
        form->show();
        Get<QPushButton>(button)->click();
    }

    test::TempDir dir;
    Settings settings;
    std::unique_ptr<TFormOptions> form;
    std::vector<QString> errors;
};

TEST_F(OptionsFormTest, EveryBoundOptionSurvivesShowAndOkAndReachesTheStore) {
    Settings changed = test::AllChanged();
    changed.SpinEditMinimumCueTrackLength = 999999999; // the field's nine digits
    settings = changed;
    ShowAndPress("ButtonOK");
    EXPECT_EQ(form->result(), QDialog::Accepted);
    const std::vector<std::string> expected = test::Dump(changed);
    const std::vector<std::string> got = test::Dump(settings);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(got[i], expected[i]);
    const std::string reg = RegText();
    for (const OptionBinding& b : OptionBindings()) {
        char line[160];
        if (b.kind == OptionKind::Text)
            std::snprintf(line, sizeof line, "\"%s\"=\"x %s\"", b.name, b.name);
        else
            std::snprintf(line, sizeof line, "\"%s\"=dword:%08x", b.name,
                          static_cast<unsigned>(GetStoredInt(settings, b)));
        EXPECT_NE(reg.find(line), std::string::npos) << line;
    }
    EXPECT_NE(reg.find("\"CheckBoxCleanup\"=dword:00000000"), std::string::npos);
    EXPECT_NE(reg.find("\"CheckBoxAskBeforeExiting\"=dword:ffffffff"), std::string::npos);
}

TEST_F(OptionsFormTest, DefaultsShowAsTheTableSaysAndCancelChangesNothing) {
    settings.SpinEditID3Year = 0;
    settings.RadioGroupPreviewMode = false; // the shell's player
    form->show();
    EXPECT_EQ(Get<TSpinEdit>("SpinEditID3Year")->value(), -1);
    EXPECT_EQ(Get<QComboBox>("ComboBoxID3Genre")->currentIndex(), -1);
    EXPECT_TRUE(Get<QRadioButton>("RadioButtonID3Keep")->isChecked());
    EXPECT_FALSE(Get<QCheckBox>("CheckBoxStickyPreviewButtons")->isEnabled());
    EXPECT_TRUE(Get<QPushButton>("ButtonLanguage")->isVisibleTo(form.get()));
    EXPECT_EQ(Get<QTabWidget>("PageControlOptions")->count(), 10);
    Get<QCheckBox>("CheckBoxCleanup")->setChecked(false);
    Get<QPushButton>("ButtonCancel")->click();
    EXPECT_TRUE(settings.CheckBoxCleanup);
    EXPECT_TRUE(test::ReadFile(RegPath()).empty());
}

TEST_F(OptionsFormTest, ResetDefaultsThenCancelKeepsTheDefaultsButNotTheStore) {
    settings.CheckBoxCleanup = false;
    settings.SpinEditPreviewLength = 9;
    form->show();
    Get<QPushButton>("ButtonResetDefaults")->click();
    EXPECT_TRUE(Get<QCheckBox>("CheckBoxCleanup")->isChecked());
    Get<QPushButton>("ButtonCancel")->click();
    EXPECT_TRUE(settings.CheckBoxCleanup);
    EXPECT_EQ(settings.SpinEditPreviewLength, 5);
    EXPECT_TRUE(test::ReadFile(RegPath()).empty());
}

TEST_F(OptionsFormTest, EmptiedSpinFieldsStoreZeroWhereZeroIsAllowedAndDeleteClearsTheGenre) {
    settings.ComboBoxID3Genre = 17;
    settings.CheckBoxID3UpdateGenre = 1;
    form->show();
    Get<TSpinEdit>("SpinEditMinimumCueTrackLength")->clear();
    auto* genre = Get<QComboBox>("ComboBoxID3Genre");
    EXPECT_EQ(genre->currentText(), "Rock");
    genre->setFocus();
    QTest::keyClick(genre, Qt::Key_Delete);
    // An empty preview length would be 0 seconds, which the field's own range refuses: the
    // window says so, stays open and changes nothing.
    Get<TSpinEdit>("SpinEditPreviewLength")->clear();
    Get<QPushButton>("ButtonOK")->click();
    EXPECT_EQ(errors, std::vector<QString>{"\"SpinEditPreviewLength\" takes a whole number from 1 "
                                           "to 10, got \"0\""});
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(test::Dump(settings), [] {
        Settings s;
        s.ComboBoxID3Genre = 17;
        s.CheckBoxID3UpdateGenre = 1;
        return test::Dump(s);
    }());
    EXPECT_TRUE(test::ReadFile(RegPath()).empty());

    Get<TSpinEdit>("SpinEditPreviewLength")->setValue(3);
    Get<QPushButton>("ButtonOK")->click();
    EXPECT_EQ(settings.SpinEditPreviewLength, 3);
    EXPECT_EQ(settings.SpinEditMinimumCueTrackLength, 0);
    EXPECT_EQ(settings.ComboBoxID3Genre, 255);
    EXPECT_EQ(form->result(), QDialog::Accepted);
}

TEST_F(OptionsFormTest, GenresAreSortedByBytes) {
    const GenreSortOrder order = SortGenres(Genres());
    const auto position = [&](std::string_view name) {
        for (int i = 0; i < kGenreCount; ++i)
            if (GenreTable[i] == name)
                return order.positionOf[i];
        return -2;
    };
    EXPECT_LT(position("JPop"), position("Jazz"));
    EXPECT_LT(position("New Wave"), position("New age"));
    EXPECT_EQ(order.positionOf[148], -1);
    EXPECT_EQ(order.positionOf[255], -1);
    auto* genre = Get<QComboBox>("ComboBoxID3Genre");
    EXPECT_EQ(genre->count(), kGenreCount + 1);
    EXPECT_EQ(genre->itemText(0), "");
    EXPECT_EQ(genre->itemText(1).toStdString(), GenreTable[order.genreAt[0]]);
}

TEST_F(OptionsFormTest, EnablingRules) {
    form->show();
    const struct {
        const char* control;
        int state; // a check state, or the item index of a radio group
        std::vector<const char*> enabled;
        std::vector<const char*> disabled;
    } cases[] = {
        {"RadioButtonID3Remove", 1, {}, {"CheckBoxID3UpdateTrackName", "EditID3Track"}},
        {"CheckBoxID3UpdateGenre", Qt::PartiallyChecked, {}, {"ComboBoxID3Genre"}},
        {"RadioButtonID3Keep",
         1,
         {"CheckBoxID3UpdateTrackName", "CheckBoxID3UpdateCommentName", "ComboBoxID3Genre"},
         {"EditID3Track", "SpinEditID3Year"}},
        {"CheckBoxID3UpdateAlbumYear", Qt::Checked, {"SpinEditID3Year"}, {}},
        {"CheckBoxID3UpdateAlbumYear", Qt::Unchecked, {}, {"SpinEditID3Year"}},
        {"RadioGroupPreviewMode", 1, {}, {"CheckBoxStickyPreviewButtons"}},
        {"RadioGroupPreviewMode", 0, {"CheckBoxStickyPreviewButtons"}, {}},
        {"CheckBoxWindowSilenceDetection",
         Qt::Unchecked,
         {},
         {"SpinEditScanWindowLength", "LabelSecond", "CheckBoxSmartSilenceRecursion"}},
        {"CheckBoxWindowSilenceDetection", Qt::Checked, {"SpinEditScanWindowLength"}, {}},
        {"CheckBoxBatchCreateThumbnail",
         Qt::Checked,
         {"ComboBoxLengthThumbnail", "SpinEditStartThumbnail"},
         {"SpinEditEndThumbnail"}},
        {"CheckBoxProcessSubfolders",
         Qt::Checked,
         {"CheckBoxProcessOnly"},
         {"EditBatchProcessOnlyFiles"}},
        {"CheckBoxProcessOnly", Qt::Checked, {"EditBatchProcessOnlyFiles"}, {}},
        {"CheckBoxBatchCreateLOG",
         Qt::Checked,
         {"CheckBoxBatchLOGAbrupt", "CheckBoxBatchTestRun"},
         {}},
        {"CheckBatchBoxStopOnError", Qt::Unchecked, {}, {"CheckBoxBatchStopsOnBadFiles"}},
        {"CheckBatchBoxStopOnError", Qt::Checked, {"CheckBoxBatchStopsOnBadFiles"}, {}},
        {"CheckBoxBatchCreateLOG",
         Qt::Unchecked,
         {},
         {"CheckBoxBatchLOGEraseAtBeginning", "CheckBoxBatchLOGExcludeGoodFiles",
          "CheckBoxBatchLOGCharacteristics", "CheckBoxBatchLOGStatistics", "CheckBoxBatchLOGAbrupt",
          "CheckBoxBatchTestRun"}},
        {"CheckBoxBatchCreateThumbnail",
         Qt::Unchecked,
         {},
         {"ComboBoxLengthThumbnail", "SpinEditStartThumbnail", "LabelThumbnailSpinStart",
          "SpinEditEndThumbnail", "LabelThumbnailSpinEnd2"}},
        {"CheckBoxProcessSubfolders",
         Qt::Unchecked,
         {},
         {"CheckBoxProcessOnly", "EditBatchProcessOnlyFiles"}},
    };
    for (const auto& c : cases) {
        QWidget* control = Get(c.control);
        if (auto* group = qobject_cast<TRadioGroup*>(control))
            group->setItemIndex(c.state);
        else if (auto* radio = qobject_cast<QRadioButton*>(control))
            radio->setChecked(true);
        else
            static_cast<QCheckBox*>(control)->setCheckState(Qt::CheckState(c.state));
        // isEnabledTo: the advanced silence group itself stays disabled.
        for (const char* name : c.enabled)
            EXPECT_TRUE(Get(name)->isEnabledTo(Get(name)->parentWidget()) &&
                        !Get(name)->testAttribute(Qt::WA_ForceDisabled))
                << c.control << " -> " << name;
        for (const char* name : c.disabled)
            EXPECT_FALSE(Get(name)->isEnabled()) << c.control << " -> " << name;
    }
    auto* fadeIn = Get<QSlider>("TrackBarBatchFadeIn");
    fadeIn->setValue(8);
    EXPECT_EQ(fadeIn->toolTip(), "1.3s");
    EXPECT_TRUE(fadeIn->property("computedHint").toBool());
}

TEST_F(OptionsFormTest, TheThumbnailEndFollowsTheVariableLengthWhileThumbnailsAreOn) {
    form->show();
    for (const char* page : {"TabSheetBatch", "TabSheetBatch2"})
        EXPECT_TRUE(Get(page)->isEnabled()) << page;
    auto* thumbs = Get<QCheckBox>("CheckBoxBatchCreateThumbnail");
    auto* length = Get<QComboBox>("ComboBoxLengthThumbnail");
    const struct {
        bool on;
        int item;
        bool endEnabled;
    } cases[] = {{true, 6, true}, {true, 5, false}, {false, 6, false}, {true, 6, true}};
    for (const auto& c : cases) {
        thumbs->setChecked(c.on);
        length->setCurrentIndex(c.item);
        emit length->activated(c.item);
        for (const char* name :
             {"SpinEditEndThumbnail", "LabelThumbnailSpinEnd", "LabelThumbnailSpinEnd2"})
            EXPECT_EQ(Get(name)->isEnabled(), c.endEnabled) << c.on << " " << c.item << " " << name;
    }
    Get<QPushButton>("ButtonOK")->click();
    EXPECT_TRUE(settings.CheckBoxBatchCreateThumbnail);
    EXPECT_EQ(settings.ComboBoxLengthThumbnail, 6);
}

TEST_F(OptionsFormTest, OutOfRangeStoredValuesNeverReachTheWindow) {
    RegistryStore store =
        RegistryStore::Parse("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmora]\n"
                             "\"RadioGroupTrimAggressivity\"=dword:00000007\n"
                             "\"ComboBoxFadeDepth\"=dword:00000063\n"
                             "\"RadioButtonID3Remove\"=dword:00000009\n"
                             "\"ComboBoxID3Genre\"=dword:000000c8\n"
                             "\"SpinEditPreviewLength\"=\"many\"\n"
                             "\"TrackBarDefaultAmplification\"=dword:7fffffff\n"
                             "\"EditID3Track\"=dword:00000001\n");
    EXPECT_EQ(ReadSettings(store, settings).size(), 6u);
    ShowAndPress("ButtonOK");
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(test::Dump(settings), test::Dump(Settings{}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(OptionsFormTest, AFailedStoreWriteIsReportedAndTheWindowStays) {
    form->setStoreWriter([](const Settings&) { throw std::runtime_error("disk full"); });
    ShowAndPress("ButtonOK");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "disk full");
    EXPECT_TRUE(form->isVisible());
}

} // namespace
} // namespace velmora
