#include "FrameBuilder.h"
#include "SettingsTestUtil.h"
#include "UnitAtomicFile.h"
#include "UnitSettingsFile.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace velmora;

TEST(SettingsTables, DurationTables) {
    const std::array<std::int32_t, 33> fades = {
        0,    111,  242,  385,   540,   710,   895,   1097,  1317,  1557,  1819,
        2105, 2417, 2757, 3128,  3533,  3975,  4457,  4983,  5556,  6182,  6864,
        7608, 8420, 9306, 10273, 11327, 12477, 13732, 15101, 16594, 18223, 20000};
    EXPECT_EQ(FadeDurationTable, fades);
    ASSERT_EQ(SilenceDurationTable.size(), 27u);
    EXPECT_EQ(SilenceDurationTable[24], 1050); // labelled "115s"
    EXPECT_EQ(SilenceDurationTable[26], 1500); // labelled "180s"
    EXPECT_EQ(SilenceDurationTable[11], 12);
    EXPECT_EQ(SilenceDurationTable[21], 600);
}

TEST(SettingsFile, ExportWritesDecimalIntegersAndTextsAsTheyAre) {
    test::TempDir dir;
    const std::string path = SettingsFilePath(dir.path() + "/");
    EXPECT_EQ(path, dir.path() + "/Velmora.ini");
    Settings s;
    s.TrackBarDefaultAmplification = -3;
    s.EditID3Album = "a,b;c\\d";
    s.EditID3Comment = "'quoted'";
    ExportSettingsFile(s, path);
    const std::string text = *ReadWholeFile(path);
    EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
              "[Velmora]\nCheckBoxAskBeforeExiting=0\n");
    for (const char* line :
         {"\nCheckBoxCleanup=-1\n", "\nComboBoxID3Genre=255\n", "\nRadioButtonID3Remove=1\n",
          "\nTrackBarDefaultAmplification=-3\n", "\nEditID3Album=a,b;c\\d\n", "\nEditID3Track=\n",
          "\nEditID3Comment='quoted'\n", "\nRadioGroupPreviewMode=-1\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    Settings back;
    EXPECT_EQ(ImportSettingsFile(path, back), static_cast<int>(OptionBindings().size()));
    EXPECT_EQ(back.EditID3Album, "a,b;c\\d");
    EXPECT_EQ(back.EditID3Comment, "quoted"); // the file format takes one pair of quotes away
}

TEST(SettingsFile, ExportImportRoundTripAndOtherContentStays) {
    test::TempDir dir;
    const std::string path = dir.File("Velmora.ini");
    ReplaceFileAtomically(path, "[Notes]\nkept=yes\n[velmora]\nStale=1\nCheckBoxCleanup=0\n");
    const Settings changed = test::AllChanged();
    ExportSettingsFile(changed, path);
    Settings back;
    ImportSettingsFile(path, back);
    EXPECT_EQ(test::Dump(back), test::Dump(changed));
    const IniFile ini = IniFile::Load(path);
    EXPECT_EQ(ini.Get("Notes", "kept"), "yes");
    EXPECT_EQ(ini.Get("Velmora", "Stale"), "1");
    EXPECT_EQ(ini.Sections().size(), 2u); // the section was found, not added again
}

TEST(SettingsFile, ImportChangesOnlyWhatTheFileHolds) {
    test::TempDir dir;
    const std::string path = dir.File("Velmora.ini");
    ReplaceFileAtomically(path, "[VELMORA]\n"
                                "checkboxcleanup = 0\n"
                                "ComboBoxID3Genre=-1\n"
                                "CheckBoxID3UpdateTrackName=514\n"
                                "EditID3Artist=\"  Someone  \"\n"
                                "[Other]\nCheckBoxSaveWAV=-1\n");
    Settings s;
    s.SpinEditPreviewLength = 3;
    EXPECT_EQ(ImportSettingsFile(path, s), 4);
    EXPECT_FALSE(s.CheckBoxCleanup);
    EXPECT_EQ(s.SpinEditPreviewLength, 3); // missing: left alone
    EXPECT_EQ(s.ComboBoxID3Genre, 255);
    EXPECT_EQ(s.CheckBoxID3UpdateTrackName, 2);
    EXPECT_EQ(s.EditID3Artist, "  Someone  ");
    EXPECT_FALSE(s.CheckBoxSaveWAV); // another section
    EXPECT_EQ(s.ComboBoxFadeDepth, 1);

    Settings untouched;
    EXPECT_EQ(ImportSettingsFile(dir.File("none.ini"), untouched), 0);
    EXPECT_EQ(test::Dump(untouched), test::Dump(Settings{}));
}

TEST(SettingsFile, ProgramFolderIsTheExecutablesFolder) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(std::string(exe).rfind(folder, 0), 0u);
}

TEST(SettingsRules, AssignmentsAreCheckedAsTheOptionsWindowWould) {
    const struct {
        const char* assignment;
        bool ok;
        std::int32_t stored; // GetStoredInt afterwards, when ok
    } cases[] = {
        {"CheckBoxCleanup=off", true, 0},
        {"CheckBoxCleanup=on", true, -1},
        {"CheckBoxCleanup=1", true, -1},
        {"CheckBoxCleanup=-1", true, -1},
        {"CheckBoxCleanup=false", true, 0},
        {"CheckBoxCleanup=true", true, -1},
        {"CheckBoxCleanup=0", true, 0},
        {"CheckBoxCleanup=yes", false, 0},
        {"CheckBoxCleanup=2", false, 0},
        {"checkboxcleanup=off", true, 0},
        {"CheckBoxID3UpdateGenre=2", true, 2},
        {"CheckBoxID3UpdateGenre=3", false, 0},
        {"RadioButtonID3Remove=2", true, 2},
        {"RadioButtonID3Remove=3", false, 0},
        {"ComboBoxID3Genre=147", true, 147},
        {"ComboBoxID3Genre=148", false, 0},
        {"ComboBoxID3Genre=255", true, 255},
        {"ComboBoxID3Genre=-1", false, 0},
        {"SpinEditID3Year=9999", true, 9999},
        {"SpinEditID3Year=10000", false, 0},
        {"ComboBoxAddSilenceEnd=26", true, 26},
        {"ComboBoxAddSilenceEnd=27", false, 0},
        {"ComboBoxAddSilenceBeginning=-1", false, 0},
        {"ComboBoxNormalizeClippingThreshold=10", true, 10},
        {"ComboBoxNormalizeClippingThreshold=11", false, 0},
        {"ComboBoxNormlizeAt=4", true, 4},
        {"ComboBoxNormlizeAt=5", false, 0},
        {"ComboBoxFadeDepth=3", true, 3},
        {"ComboBoxFadeDepth=4", false, 0},
        {"RadioGroupTrimAggressivity=2", true, 2},
        {"RadioGroupTrimAggressivity=3", false, 0},
        {"RadioGroupCueSplit=1", true, 1},
        {"RadioGroupCueSplit=2", false, 0},
        {"TrackBarDefaultAmplification=-8", true, -8},
        {"TrackBarDefaultAmplification=9", false, 0},
        {"SpinEditPreviewLength=10", true, 10},
        {"SpinEditPreviewLength=0", false, 0},
        {"SpinEditMinimumCueTrackLength=0", true, 0},
        {"SpinEditMinimumCueTrackLength=-1", false, 0},
        {"SpinEditMinimumCueTrackLength=2147483648", false, 0},
        {"SpinEditMinimumCueTrackLength=12abc", false, 0},
        {"SpinEditMinimumCueTrackLength=", false, 0},
        {"RadioGroupPreviewMode=off", true, 0},
        {"NoSuchOption=1", false, 0},
        {"CheckBoxCleanup", false, 0},
        {"CheckBoxFixBadCRC=on", false, 0}, // fixed, never stored
    };
    for (const auto& c : cases) {
        Settings s;
        const std::string a = c.assignment;
        if (!c.ok) {
            EXPECT_THROW(AssignOption(s, a), VelmoraError) << a;
            EXPECT_EQ(test::Dump(s), test::Dump(Settings{})) << a;
            continue;
        }
        ASSERT_NO_THROW(AssignOption(s, a)) << a;
        const OptionBinding* b = FindOptionNoCase(a.substr(0, a.find('=')));
        EXPECT_EQ(GetStoredInt(s, *b), c.stored) << a;
    }

    Settings s;
    AssignOption(s, "EditID3Track=" + std::string(30, 't'));
    EXPECT_EQ(s.EditID3Track, std::string(30, 't'));
    AssignOption(s, "EditID3Comment=a=b");
    EXPECT_EQ(s.EditID3Comment, "a=b");
    EXPECT_THROW(AssignOption(s, "EditID3Track=" + std::string(31, 't')), VelmoraError);
    EXPECT_THROW(AssignOption(s, "EditID3Track=a\nb"), VelmoraError);
    try {
        AssignOption(s, "ComboBoxFadeDepth=9");
        FAIL();
    } catch (const VelmoraError& e) {
        EXPECT_STREQ(e.what(), "\"ComboBoxFadeDepth\" takes a whole number from 0 to 3, got \"9\"");
    }
}

TEST(SettingsRules, BatchOptionsStartAsTheBatchPagesLayThemOutAndKeepTheirRanges) {
    const Settings d;
    EXPECT_FALSE(d.CheckBoxBatchRemoveSilence || d.CheckBoxBatchVolumeNormalize ||
                 d.CheckBoxBatchCreateLOG || d.CheckBoxBatchTestRun || d.CheckBatchBoxStopOnError ||
                 d.CheckBoxBatchSkipBadFiles || d.CheckBoxProcessSubfolders ||
                 d.CheckBoxProcessOnly || d.CheckBoxBatchCreateThumbnail ||
                 d.CheckBoxBatchMoveAbrupt);
    EXPECT_EQ(d.TrackBarBatchFadeIn, 0);
    EXPECT_EQ(d.TrackBarBatchFadeOut, 0);
    EXPECT_EQ(d.EditBatchProcessOnlyFiles, "*.mp3");
    EXPECT_EQ(d.ComboBoxLengthThumbnail, 1); // "30"
    EXPECT_EQ(d.SpinEditStartThumbnail, 0);
    EXPECT_EQ(d.SpinEditEndThumbnail, 0);

    const struct {
        const char* assignment;
        bool ok;
    } cases[] = {
        {"TrackBarBatchFadeIn=32", true},       {"TrackBarBatchFadeIn=33", false},
        {"TrackBarBatchFadeOut=-1", false},     {"ComboBoxLengthThumbnail=6", true},
        {"ComboBoxLengthThumbnail=7", false},   {"SpinEditStartThumbnail=999", true},
        {"SpinEditStartThumbnail=1000", false}, {"SpinEditEndThumbnail=-1", false},
        {"CheckBoxBatchTestRun=on", true},      {"EditBatchProcessOnlyFiles=*.mp3;*.MP2", true},
        {"CheckBoxBatchMoveError=on", false}, // hidden, never stored
    };
    for (const auto& c : cases) {
        Settings s;
        if (c.ok)
            EXPECT_NO_THROW(AssignOption(s, c.assignment)) << c.assignment;
        else
            EXPECT_THROW(AssignOption(s, c.assignment), VelmoraError) << c.assignment;
    }
    // The batch options travel through the settings file like the others.
    Settings changed;
    changed.CheckBoxBatchSplitCUE = true;
    changed.EditBatchProcessOnlyFiles = "[ab]*.mp3; x?.wav";
    changed.SpinEditEndThumbnail = 12;
    test::TempDir dir;
    const std::string path = dir.path() + "/Velmora.ini";
    ExportSettingsFile(changed, path);
    Settings back;
    ImportSettingsFile(path, back);
    EXPECT_EQ(test::Dump(back), test::Dump(changed));
}
