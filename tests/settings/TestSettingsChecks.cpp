#include "FrameBuilder.h"
#include "SettingsTestUtil.h"
#include "UnitAtomicFile.h"
#include "UnitRegistryStore.h"
#include "UnitSettingsFile.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A value no way into the fields may let through, and the text that refuses it.
struct Refused {
    const char* name;
    const char* value;
    const char* text;
};

const Refused kRefused[] = {
    {"TrackBarDefaultAmplification", "-2147483648",
     "\"TrackBarDefaultAmplification\" takes a whole number from -8 to 8, got \"-2147483648\""},
    {"TrackBarDefaultAmplification", "99999999999",
     "\"TrackBarDefaultAmplification\" takes a whole number from -8 to 8, got \"99999999999\""},
    {"SpinEditStartThumbnail", "-30",
     "\"SpinEditStartThumbnail\" takes a whole number from 0 to 999, got \"-30\""},
    {"TrackBarBatchFadeIn", "100000",
     "\"TrackBarBatchFadeIn\" takes a whole number from 0 to 32, got \"100000\""},
    {"ComboBoxLengthThumbnail", "100",
     "\"ComboBoxLengthThumbnail\" takes a whole number from 0 to 6, got \"100\""},
    {"SpinEditPreviewLength", "0",
     "\"SpinEditPreviewLength\" takes a whole number from 1 to 10, got \"0\""},
    {"SpinEditPreviewLength", "abc",
     "\"SpinEditPreviewLength\" takes a whole number from 1 to 10, got \"abc\""},
    {"SpinEditMinimumCueTrackLength", "-1",
     "\"SpinEditMinimumCueTrackLength\" takes a whole number from 0, got \"-1\""},
    {"ComboBoxID3Genre", "200",
     "\"ComboBoxID3Genre\" takes a genre number from 0 to 147, or 255 for none, got \"200\""},
    {"CheckBoxID3UpdateTrackName", "259", // low byte 3
     "\"CheckBoxID3UpdateTrackName\" takes a whole number from 0 to 2, got \"259\""},
    {"RadioButtonID3Remove", "3",
     "\"RadioButtonID3Remove\" takes a whole number from 0 to 2, got \"3\""},
    {"ComboBoxNormlizeAt", "-1",
     "\"ComboBoxNormlizeAt\" takes a whole number from 0 to 4, got \"-1\""},
    {"CheckBoxCleanup", "yes", "\"CheckBoxCleanup\" takes on or off, got \"yes\""},
};

std::string Assignment(const Refused& r) {
    return std::string(r.name) + "=" + r.value;
}

} // namespace

TEST(SettingsChecks, EveryWayInRefusesOutOfRangeValuesWithTheSameText) {
    test::TempDir dir;
    Settings start;
    start.TrackBarDefaultAmplification = 2;
    start.SpinEditPreviewLength = 7;
    for (const Refused& r : kRefused) {
        const std::string a = Assignment(r);
        // --set and --option.
        Settings s = start;
        try {
            AssignOption(s, a);
            ADD_FAILURE() << a;
        } catch (const VelmoraError& e) {
            EXPECT_EQ(std::string(e.what()), r.text);
        }
        EXPECT_EQ(test::Dump(s), test::Dump(start)) << a;

        // The settings file: refused whole, a good value beside the bad one included.
        const std::string ini = dir.File("Velmora.ini");
        ReplaceFileAtomically(ini, "[Velmora]\nComboBoxFadeDepth=3\n" + a + "\n");
        try {
            ImportSettingsFile(ini, s);
            ADD_FAILURE() << a;
        } catch (const VelmoraError& e) {
            EXPECT_EQ(std::string(e.what()), "Nothing was imported from " + ini + ":\n" + r.text);
        }
        EXPECT_EQ(test::Dump(s), test::Dump(start)) << a;

        // The settings store at start-up: the value keeps its default, the rest is read.
        const std::string reg = dir.File("Velmora.reg");
        ReplaceFileAtomically(reg, "REGEDIT4\n\n[" + std::string(RegistryStore::kKeyName) +
                                       "]\n\"ComboBoxFadeDepth\"=dword:00000003\n\"" + r.name +
                                       "\"=\"" + r.value + "\"\n");
        std::vector<std::string> refused;
        const Settings loaded = LoadStoredSettings(reg, &refused);
        EXPECT_EQ(refused, std::vector<std::string>{r.text});
        Settings expected;
        expected.ComboBoxFadeDepth = 3;
        EXPECT_EQ(test::Dump(loaded), test::Dump(expected)) << a;
    }
}

TEST(SettingsChecks, StoresDecodeTheirEncodingBeforeTheCheck) {
    const struct {
        const char* assignment;
        const char* field;
        std::int32_t read;
    } cases[] = {
        {"CheckBoxCleanup=0", "CheckBoxCleanup", 0},
        {"CheckBoxSaveWAV=256", "CheckBoxSaveWAV", -1},   // any non-zero switch is on
        {"ComboBoxID3Genre=-1", "ComboBoxID3Genre", 255}, // the low byte: none
        {"RadioButtonID3Remove=258", "RadioButtonID3Remove", 2},
        {"TrackBarDefaultAmplification=-8", "TrackBarDefaultAmplification", -8},
        {"SpinEditMinimumCueTrackLength=2147483647", "SpinEditMinimumCueTrackLength", INT32_MAX},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string ini = dir.File("Velmora.ini");
        ReplaceFileAtomically(ini, "[Velmora]\n" + std::string(c.assignment) + "\n");
        Settings s;
        ASSERT_NO_THROW(ImportSettingsFile(ini, s)) << c.assignment;
        EXPECT_EQ(GetStoredInt(s, *FindOption(c.field)), c.read) << c.assignment;
    }
}

TEST(SettingsChecks, FieldsTheOptionsWindowCannotGiveAreNamed) {
    Settings s;
    EXPECT_TRUE(RefusedFields(s).empty());
    EXPECT_TRUE(RefusedFields(test::AllChanged()).empty());
    s.SpinEditPreviewLength = 0;
    s.ComboBoxFadeDepth = -1;
    EXPECT_EQ(RefusedFields(s),
              (std::vector<std::string>{
                  "\"ComboBoxFadeDepth\" takes a whole number from 0 to 3, got \"-1\"",
                  "\"SpinEditPreviewLength\" takes a whole number from 1 to 10, got \"0\""}));
}
