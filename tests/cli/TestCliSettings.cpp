#include "../settings/SettingsTestUtil.h"
#include "CliCommon.h"
#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "RunCli.h"
#include "UnitAtomicFile.h"
#include "UnitRegistryStore.h"
#include "VelmoraError.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>

using namespace velmora;

namespace {

using velmora::test::CliRun;
using velmora::test::Lines;

// Every test gets its own empty settings store folder.
class CliSettings : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* v = std::getenv("VELMORA_CONFIG_DIR"))
            m_saved = v;
        ::setenv("VELMORA_CONFIG_DIR", m_dir.File("config").c_str(), 1);
    }
    void TearDown() override {
        if (m_saved)
            ::setenv("VELMORA_CONFIG_DIR", m_saved->c_str(), 1);
        else
            ::unsetenv("VELMORA_CONFIG_DIR");
    }

    CliRun Cli(const std::vector<std::string>& args) { return velmora::test::RunCliCaptured(args); }
    std::string StorePath() const { return m_dir.File("config/Velmora.reg"); }
    // The listing's line of the option with this stored name, from that name on.
    std::string Line(const std::string& listing, const std::string& name) {
        std::istringstream in(listing);
        for (std::string l; std::getline(in, l);) {
            const std::size_t at = l.find_first_not_of(' ', l.find(' '));
            if (at != std::string::npos && l.compare(at, name.size() + 1, name + " ") == 0)
                return l.substr(at);
        }
        return "";
    }

    test::TempDir m_dir;

private:
    std::optional<std::string> m_saved;
};

} // namespace

TEST_F(CliSettings, ListsEveryOptionWithValueAndDefault) {
    const CliRun r = Cli({"settings"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.out);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    ASSERT_EQ(lines.size(), OptionBindings().size() + 1);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("Name +Stored name +Value +Default")));
    EXPECT_TRUE(std::regex_match(
        lines[1], std::regex("ask-before-exiting +CheckBoxAskBeforeExiting +off +off")));
    EXPECT_TRUE(std::regex_match(lines.back(),
                                 std::regex("batch-album-gain +CheckBoxBatchAlbumGain +off +off")));
    EXPECT_TRUE(
        std::regex_match(Line(r.out, "EditBatchProcessOnlyFiles"),
                         std::regex("EditBatchProcessOnlyFiles +\"\\*\\.mp3\" +\"\\*\\.mp3\"")));
    const std::size_t column = lines[0].find("Stored name");
    for (const std::string& l : lines)
        EXPECT_EQ(l.find_first_not_of(' ', l.find(' ')), column) << l; // aligned
    EXPECT_TRUE(std::regex_match(Line(r.out, "ComboBoxID3Genre"),
                                 std::regex("ComboBoxID3Genre +255 +255")));
    EXPECT_TRUE(
        std::regex_match(Line(r.out, "EditID3Track"), std::regex("EditID3Track +\"\" +\"\"")));
    EXPECT_FALSE(std::filesystem::exists(StorePath())); // listing writes nothing

    const CliRun json = Cli({"settings", "--json"});
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("{\"name\": \"CheckBoxCleanup\", \"readableName\": \"cleanup\", "
                            "\"kind\": \"switch\", \"value\": true, \"default\": true}"),
              std::string::npos);
    EXPECT_NE(json.out.find("{\"name\": \"TrackBarDefaultAmplification\", \"readableName\": "
                            "\"default-amplification\", \"kind\": \"position\", \"value\": 0, "
                            "\"default\": 0}"),
              std::string::npos);
    EXPECT_EQ(Lines(json.out).size(), 1u);
}

TEST_F(CliSettings, SetWritesTheStoreAndKeepsOtherValues) {
    MakeFolders(m_dir.File("config"));
    ReplaceFileAtomically(StorePath(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmora]\n"
                                       "\"MainFormTop\"=dword:00000020\n"
                                       "\"Language\"=\"German\"\n"
                                       "\"CheckBoxCleanup\"=dword:00000001\n");
    const CliRun r = Cli({"settings", "--set", "CheckBoxSaveWAV=on",
                          "--set=EditID3Artist=A\\B \"C\"", "--set", "ComboBoxAddSilenceEnd=26"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CheckBoxSaveWAV = on\n"), std::string::npos);
    const std::string text = *ReadWholeFile(StorePath());
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmora]\n", 0), 0u);
    for (const char* line :
         {"\"MainFormTop\"=dword:00000020\n", "\"Language\"=\"German\"\n",
          "\"CheckBoxCleanup\"=dword:ffffffff\n", // 1 is written back as -1
          "\"CheckBoxSaveWAV\"=dword:ffffffff\n", "\"EditID3Artist\"=\"A\\\\B \\\"C\\\"\"\n",
          "\"ComboBoxAddSilenceEnd\"=dword:0000001a\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    const CliRun listed = Cli({"settings"});
    EXPECT_TRUE(std::regex_match(Line(listed.out, "CheckBoxSaveWAV"),
                                 std::regex("CheckBoxSaveWAV +on +off")));

    // One bad value refuses the whole command and leaves the store as it was.
    const CliRun bad =
        Cli({"settings", "--set", "CheckBoxSaveWAV=off", "--set", "ComboBoxFadeDepth=4"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "velmora-cli: settings: \"ComboBoxFadeDepth\" takes a whole number from 0 "
                       "to 3, got \"4\" (see \"velmora-cli settings --help\")\n");
    EXPECT_EQ(*ReadWholeFile(StorePath()), text);
    EXPECT_EQ(Cli({"settings", "--set", "Nope=1"}).status, 2);
    EXPECT_EQ(Cli({"settings", "--set"}).status, 2);
    EXPECT_EQ(Cli({"settings", "--bogus"}).status, 2);
}

TEST_F(CliSettings, OptionOverridesOneRunAndDefaultsIgnoreTheStore) {
    ASSERT_EQ(Cli({"settings", "--set", "CheckBoxCleanup=off"}).status, 0);
    const std::string stored = *ReadWholeFile(StorePath());

    EXPECT_TRUE(std::regex_match(Line(Cli({"settings"}).out, "CheckBoxCleanup"),
                                 std::regex("CheckBoxCleanup +off +on")));
    EXPECT_TRUE(std::regex_match(Line(Cli({"settings", "--defaults"}).out, "CheckBoxCleanup"),
                                 std::regex("CheckBoxCleanup +on +on")));
    const CliRun over =
        Cli({"settings", "--option", "CheckBoxCleanup=on", "--option=ComboBoxNormlizeAt=2"});
    EXPECT_TRUE(
        std::regex_match(Line(over.out, "CheckBoxCleanup"), std::regex("CheckBoxCleanup +on +on")));
    EXPECT_TRUE(std::regex_match(Line(over.out, "ComboBoxNormlizeAt"),
                                 std::regex("ComboBoxNormlizeAt +2 +1")));
    // An override is never written, even by a command that writes the store.
    ASSERT_EQ(
        Cli({"settings", "--option", "CheckBoxSaveWAV=on", "--set", "CheckBoxStayOnTop=on"}).status,
        0);
    const RegistryStore store = RegistryStore::Load(StorePath());
    EXPECT_EQ(store.ReadInteger("CheckBoxSaveWAV"), 0);
    EXPECT_EQ(store.ReadInteger("CheckBoxStayOnTop"), -1);
    EXPECT_EQ(store.ReadInteger("CheckBoxCleanup"), 0);

    // Every command builds its context the same way.
    cli::CliContext ctx = cli::MakeContext({false, false, {"SpinEditPreviewLength=9"}});
    EXPECT_FALSE(ctx.settings.CheckBoxCleanup);
    EXPECT_EQ(ctx.settings.SpinEditPreviewLength, 9);
    EXPECT_EQ(ctx.stored.SpinEditPreviewLength, 5);
    EXPECT_TRUE(cli::MakeContext({true, false, {}}).settings.CheckBoxCleanup);
    EXPECT_THROW(cli::MakeContext({false, false, {"SpinEditPreviewLength=11"}}), VelmoraError);
    // A value the options refuse is a usage error, like any other.
    const CliRun badOverride = Cli({"info", "--option", "CheckBoxCleanup=maybe", "x.mp3"});
    EXPECT_EQ(badOverride.status, 2);
    EXPECT_EQ(badOverride.err, "velmora-cli: info: \"CheckBoxCleanup\" takes on or off, got "
                               "\"maybe\" (see \"velmora-cli info --help\")\n");
}

TEST_F(CliSettings, ExportAndImportTheSettingsFile) {
    const std::string ini = m_dir.File("saved.ini");
    ASSERT_EQ(Cli({"settings", "--set", "TrackBarDefaultAmplification=-5", "--set",
                   "EditID3Album=Live, at home; 1999"})
                  .status,
              0);
    const CliRun ex = Cli({"settings", "--export", ini});
    ASSERT_EQ(ex.status, 0) << ex.err;
    EXPECT_EQ(ex.out, "Exported to " + ini + "\n");
    const std::string text = *ReadWholeFile(ini);
    EXPECT_NE(text.find("[Velmora]\n"), std::string::npos);
    EXPECT_NE(text.find("\nTrackBarDefaultAmplification=-5\n"), std::string::npos);
    EXPECT_NE(text.find("\nEditID3Album=Live, at home; 1999\n"), std::string::npos);

    ASSERT_EQ(Cli({"settings", "--defaults", "--set", "CheckBoxCleanup=off"}).status, 0);
    EXPECT_EQ(RegistryStore::Load(StorePath()).ReadInteger("TrackBarDefaultAmplification"), 0);
    const CliRun im = Cli({"settings", "--import=" + ini});
    ASSERT_EQ(im.status, 0) << im.err;
    EXPECT_EQ(
        im.out.rfind("Imported " + std::to_string(OptionBindings().size()) + " options from ", 0),
        0u);
    const RegistryStore store = RegistryStore::Load(StorePath());
    EXPECT_EQ(store.ReadInteger("TrackBarDefaultAmplification"), -5);
    EXPECT_EQ(store.ReadString("EditID3Album"), "Live, at home; 1999");
    EXPECT_EQ(store.ReadInteger("CheckBoxCleanup"), -1);

    // A file holding one key changes only that option.
    ReplaceFileAtomically(ini, "[velmora]\nComboBoxFadeDepth=3\n");
    ASSERT_EQ(Cli({"settings", "--import", ini}).status, 0);
    EXPECT_EQ(RegistryStore::Load(StorePath()).ReadInteger("ComboBoxFadeDepth"), 3);
    EXPECT_EQ(RegistryStore::Load(StorePath()).ReadInteger("TrackBarDefaultAmplification"), -5);

    const CliRun missing = Cli({"settings", "--import", m_dir.File("none.ini")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "velmora-cli: " + m_dir.File("none.ini") + " not found\n");
}

TEST_F(CliSettings, ExportDefaultsToTheProgramFolder) {
    // A copy of the program in the test's own folder, so that tests running side by side never
    // share a program folder.
    const std::string cli = m_dir.File("velmora-cli");
    std::filesystem::copy_file(VELMORA_CLI_PATH, cli);
    const std::string target = m_dir.File("Velmora.ini");
    std::string output;
    const int rc = test::RunCommand("VELMORA_CONFIG_DIR='" + m_dir.File("config") + "' '" + cli +
                                        "' settings --option CheckBoxSaveWAV=on --export",
                                    &output);
    const bool made = std::filesystem::exists(target);
    const std::string text = made ? *ReadWholeFile(target) : "";
    std::filesystem::remove(target);
    EXPECT_EQ(rc, 0) << output;
    ASSERT_TRUE(made);
    EXPECT_NE(text.find("\nCheckBoxSaveWAV=-1\n"), std::string::npos);
}

TEST_F(CliSettings, RefusedImportsLeaveTheStoreAndTheNextBatchAsTheyWere) {
    if (!test::HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    std::vector<std::int16_t> pcm;
    test::AppendTone(pcm, test::PcmSpec{}, 1.0, 440, 9000);
    test::EncodeWithLame(pcm, test::PcmSpec{}, "-b 128", m_dir.File("a.mp3"));
    const auto original = test::ReadFile(m_dir.File("a.mp3"));
    ASSERT_EQ(Cli({"settings", "--set", "ComboBoxFadeDepth=2"}).status, 0);
    const std::string storeBefore = *ReadWholeFile(StorePath());

    const std::string ini = m_dir.File("hostile.ini");
    const struct {
        const char* line;
        const char* refusal;
    } cases[] = {
        {"TrackBarDefaultAmplification=-2147483648",
         "\"TrackBarDefaultAmplification\" takes a whole number from -8 to 8, got "
         "\"-2147483648\""},
        {"SpinEditStartThumbnail=-30",
         "\"SpinEditStartThumbnail\" takes a whole number from 0 to 999, got \"-30\""},
        {"TrackBarBatchFadeIn=100000",
         "\"TrackBarBatchFadeIn\" takes a whole number from 0 to 32, got \"100000\""},
        {"ComboBoxLengthThumbnail=100",
         "\"ComboBoxLengthThumbnail\" takes a whole number from 0 to 6, got \"100\""},
    };
    for (const auto& c : cases) {
        ReplaceFileAtomically(ini, std::string("[Velmora]\nCheckBoxCleanup=0\n") + c.line + "\n");
        const CliRun im = Cli({"settings", "--import", ini});
        EXPECT_EQ(im.status, 1) << c.line;
        EXPECT_EQ(im.out, "");
        EXPECT_EQ(im.err,
                  "velmora-cli: Nothing was imported from " + ini + ":\n" + c.refusal + "\n");
        EXPECT_EQ(*ReadWholeFile(StorePath()), storeBefore) << c.line;
        // --set refuses the same value with the same text.
        const CliRun set = Cli({"settings", "--set", c.line});
        EXPECT_EQ(set.err, std::string("velmora-cli: settings: ") + c.refusal +
                               " (see \"velmora-cli settings --help\")\n");
    }

    // The batch after the refused imports: the audio level is what a run on the defaults gives.
    test::WriteFile(m_dir.File("b.mp3"), original);
    ASSERT_EQ(Cli({"batch", "--defaults", m_dir.File("b.mp3")}).status, 0);
    const CliRun batch = Cli({"batch", m_dir.File("a.mp3")});
    EXPECT_EQ(batch.status, 0) << batch.err;
    EXPECT_EQ(test::ReadFile(m_dir.File("a.mp3")), test::ReadFile(m_dir.File("b.mp3")));

    // A store edited by hand: the value is not used, and the run says so.
    test::WriteFile(m_dir.File("a.mp3"), original);
    std::string edited = storeBefore + "\"TrackBarDefaultAmplification\"=dword:80000000\n";
    ReplaceFileAtomically(StorePath(), edited);
    const CliRun warned = Cli({"batch", m_dir.File("a.mp3")});
    EXPECT_EQ(warned.status, 0) << warned.err;
    EXPECT_EQ(warned.err.substr(0, warned.err.find('\n') + 1),
              "velmora-cli: " + StorePath() +
                  ": \"TrackBarDefaultAmplification\" takes a whole number from -8 to 8, got "
                  "\"-2147483648\"; the default is used\n");
    EXPECT_EQ(test::ReadFile(m_dir.File("a.mp3")), test::ReadFile(m_dir.File("b.mp3")));
}

TEST_F(CliSettings, ReadableNamesRoundTripThroughSetOptionAndTheStore) {
    const Settings changed = test::AllChanged();
    std::vector<std::string> set = {"settings"}, over = {"settings", "--defaults", "--json"};
    for (const OptionBinding& b : OptionBindings()) {
        const std::string assignment =
            std::string(b.readable) + "=" + FormatOptionValue(changed, b);
        set.insert(set.end(), {"--set", assignment});
        over.insert(over.end(), {"--option", assignment});
    }
    const CliRun written = Cli(set);
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.out.find("CheckBoxSaveWAV = on\n"), std::string::npos) << written.out;
    // The store keeps the stored names, and reads back as every value given.
    EXPECT_EQ(test::Dump(LoadStoredSettings(StorePath())), test::Dump(changed));
    const RegistryStore store = RegistryStore::Load(StorePath());
    EXPECT_EQ(store.ReadInteger("CheckBoxCleanup"), 0);
    EXPECT_EQ(store.ReadInteger("cleanup"), std::nullopt);

    // The listing names both; --option by readable name, listed as JSON, gives the same values.
    const CliRun listed = Cli({"settings"});
    EXPECT_TRUE(std::regex_search(listed.out, std::regex("\ncleanup +CheckBoxCleanup +off +on\n")));
    const CliRun json = Cli(over);
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json options = nlohmann::json::parse(json.out).at("options");
    ASSERT_EQ(options.size(), OptionBindings().size());
    for (const nlohmann::json& o : options) {
        const OptionBinding* b = FindOption(o.at("name").get<std::string>());
        ASSERT_NE(b, nullptr) << o.dump();
        EXPECT_EQ(o.at("readableName"), b->readable);
        const Settings& expected = changed;
        if (b->kind == OptionKind::Text)
            EXPECT_EQ(o.at("value"), GetText(expected, *b));
        else if (b->kind == OptionKind::Switch)
            EXPECT_EQ(o.at("value"), GetStoredInt(expected, *b) != 0);
        else
            EXPECT_EQ(o.at("value"), GetStoredInt(expected, *b));
    }
}
