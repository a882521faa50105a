#include "FrameBuilder.h"
#include "SettingsTestUtil.h"
#include "UnitAtomicFile.h"
#include "UnitRegistryStore.h"
#include "VelmoraError.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

std::string Store(const std::string& values) {
    return "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmora]\n" + values;
}

} // namespace

TEST(StoreRegistry, RendersRegedit4ByteForByte) {
    RegistryStore store;
    store.WriteInteger("CheckBoxCleanup", -1);
    store.WriteInteger("ComboBoxID3Genre", 255);
    store.WriteInteger("MainFormTop", 1);
    store.WriteString("EditID3Artist", "AC\\DC \"live\"");
    store.WriteString("Language", "");
    EXPECT_EQ(store.Render(), Store("\"CheckBoxCleanup\"=dword:ffffffff\n"
                                    "\"ComboBoxID3Genre\"=dword:000000ff\n"
                                    "\"MainFormTop\"=dword:00000001\n"
                                    "\"EditID3Artist\"=\"AC\\\\DC \\\"live\\\"\"\n"
                                    "\"Language\"=\"\"\n"));
    const RegistryStore back = RegistryStore::Parse(store.Render());
    EXPECT_EQ(back.Render(), store.Render());
    EXPECT_EQ(back.ReadString("EditID3Artist"), "AC\\DC \"live\"");
    EXPECT_EQ(back.ReadInteger("checkboxcleanup"), -1); // value names ignore case
}

TEST(StoreRegistry, ReadsIntegersFromDwordsAndDecimalTexts) {
    const RegistryStore store = RegistryStore::Parse(Store("\"A\"=dword:7FFFFFFF\n"
                                                           "\"B\"=dword:80000000\n"
                                                           "\"C\"=\"-12\"\n"
                                                           "\"D\"=\" 42 \"\n"
                                                           "\"E\"=\"12abc\"\n"
                                                           "\"F\"=\"2147483648\"\n"
                                                           "\"G\"=\"\"\n"
                                                           "\"H\" = dword:1\n"));
    EXPECT_EQ(store.ReadInteger("A"), INT32_MAX);
    EXPECT_EQ(store.ReadInteger("B"), INT32_MIN);
    EXPECT_EQ(store.ReadInteger("C"), -12);
    EXPECT_EQ(store.ReadInteger("D"), 42);
    EXPECT_EQ(store.ReadInteger("E"), std::nullopt);
    EXPECT_EQ(store.ReadInteger("F"), std::nullopt);
    EXPECT_EQ(store.ReadInteger("G"), std::nullopt);
    EXPECT_EQ(store.ReadInteger("H"), 1);
    EXPECT_EQ(store.ReadString("A"), std::nullopt); // a DWORD is no text
    EXPECT_EQ(store.ReadInteger("Missing"), std::nullopt);
}

TEST(StoreRegistry, GarbageAndBinaryJunkLinesAreSkipped) {
    const char raw[] = "\xff\xfe\0\0garbage\n"
                       "REGEDIT4\n"
                       "[HKEY_CURRENT_USER\\Software\\Other]\n"
                       "\"CheckBoxCleanup\"=dword:00000000\n" // another key's value
                       "[HKEY_CURRENT_USER\\Software\\Velmora]\n"
                       "\"Good1\"=dword:00000005\n"
                       "\"Bin\0ary\"=dword:00000001\n"
                       "\"NoEnd=dword:00000001\n"
                       "\"TooLong\"=dword:123456789\n"
                       "\"NotHex\"=dword:12g4\n"
                       "\"Binary\"=hex:01,02\n"
                       "\"Open\"=\"unterminated\n"
                       "\"Trailing\"=\"x\" junk\n"
                       "\"\"=\"empty name\"\n"
                       "@=\"default\"\n"
                       "\"Ctl\"=\"a\x01z\"\n"
                       "just words\n"
                       "\"Good2\"=\"fine\"\r\n"
                       "\"Good1\"=dword:00000006\n"; // a later value wins
    const RegistryStore store = RegistryStore::Parse(std::string(raw, sizeof raw - 1));
    ASSERT_EQ(store.Entries().size(), 2u);
    EXPECT_EQ(store.ReadInteger("Good1"), 6);
    EXPECT_EQ(store.ReadString("Good2"), "fine");

    // Random bytes and damaged copies of a real store: whatever is read renders and reads again
    // to the same store.
    const std::string good = Store("\"CheckBoxCleanup\"=dword:ffffffff\n\"EditID3Track\"=\"t\"\n");
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int round = 0; round < 300; ++round) {
        std::string text = good;
        if (round % 2 == 0) {
            text.assign(static_cast<std::size_t>(next() % 400), '\0');
            for (char& c : text)
                c = static_cast<char>(next() >> 24);
        } else {
            for (int k = 0; k < 4; ++k)
                text[next() % text.size()] = static_cast<char>(next() >> 24);
        }
        const RegistryStore s = RegistryStore::Parse(text);
        EXPECT_EQ(RegistryStore::Parse(s.Render()).Render(), s.Render());
    }
}

TEST(StoreSettings, StoredValuesReadAsTheOptionsWindowWouldShowThem) {
    Settings s;
    s.SpinEditPreviewLength = 7;
    s.EditID3Album = "before";
    const RegistryStore store = RegistryStore::Parse(
        Store("\"CheckBoxCleanup\"=dword:00000001\n"        // 1 counts as on
              "\"CheckBoxSaveWAV\"=\"1\"\n"                 // a decimal text
              "\"CheckBoxOverwriteAsk\"=dword:00000100\n"   // any non-zero switch is on
              "\"ComboBoxID3Genre\"=dword:ffffffff\n"       // -1 reads as 255, none
              "\"CheckBoxID3UpdateGenre\"=dword:12345602\n" // low byte of a three-state
              "\"RadioButtonID3Remove\"=\"258\"\n"          // low byte of a text too
              "\"ComboBoxFadeDepth\"=\"deep\"\n"            // not a number: ignored
              "\"EditID3Track\"=\"0123456789012345678901234567890123456789\"\n"
              "\"EditID3Artist\"=dword:00000005\n" // not a text: ignored
              "\"TrackBarDefaultAmplification\"=\"-4\"\n"));
    ReadSettings(store, s);
    EXPECT_TRUE(s.CheckBoxCleanup);
    EXPECT_TRUE(s.CheckBoxSaveWAV);
    EXPECT_TRUE(s.CheckBoxOverwriteAsk);
    EXPECT_EQ(s.ComboBoxID3Genre, 255);
    EXPECT_EQ(s.CheckBoxID3UpdateGenre, 2);
    EXPECT_EQ(s.RadioButtonID3Remove, 2);
    EXPECT_EQ(s.ComboBoxFadeDepth, 1);
    EXPECT_EQ(s.EditID3Track, "0123456789012345678901234567890"); // cut to 31
    EXPECT_EQ(s.EditID3Artist, "");
    EXPECT_EQ(s.TrackBarDefaultAmplification, -4);
    EXPECT_EQ(s.SpinEditPreviewLength, 7); // missing: the field stays
    EXPECT_EQ(s.EditID3Album, "before");

    RegistryStore written;
    WriteSettings(s, written);
    EXPECT_EQ(written.ReadInteger("CheckBoxCleanup"), -1); // written back as -1
    EXPECT_EQ(std::get<std::uint32_t>(*written.Find("CheckBoxOverwriteAsk")), 0xFFFFFFFFu);
    EXPECT_EQ(std::get<std::uint32_t>(*written.Find("ComboBoxID3Genre")), 255u);
    EXPECT_EQ(written.Entries().size(), OptionBindings().size());
    EXPECT_EQ(written.Entries().front().name, "CheckBoxAskBeforeExiting");
    EXPECT_EQ(written.Entries().back().name, "CheckBoxBatchAlbumGain");
}

TEST(StoreSettings, MultiByteTextIsCutWhole) {
    // 30 ASCII bytes, then a two-byte character that would straddle byte 31.
    const std::string text = std::string(30, 'a') + "\xc3\xa9" + "z";
    EXPECT_EQ(CutText(text, 31), std::string(30, 'a'));
    EXPECT_EQ(CutText(text, 32), std::string(30, 'a') + "\xc3\xa9");
    EXPECT_EQ(CutText("short", 31), "short");
}

TEST(StoreSettings, SaveAndLoadRoundTripKeepingOtherValues) {
    test::TempDir dir;
    const std::string path = dir.File("config/Velmora/Velmora.reg");
    EXPECT_EQ(test::Dump(LoadStoredSettings(path)), test::Dump(Settings{})); // no store yet

    ReplaceFileAtomically(dir.File("seed.reg"), Store("\"MainFormTop\"=dword:00000064\n"
                                                      "\"MainFormLeft\"=dword:fffffff6\n"
                                                      "\"ControlTrimActivePage\"=dword:1\n"
                                                      "\"LocaleMessageCounter\"=dword:3\n"
                                                      "\"Language\"=\"French\"\n"
                                                      "\"CheckBoxCleanup\"=dword:0\n"));
    MakeFolders(dir.File("config/Velmora"));
    std::filesystem::copy_file(dir.File("seed.reg"), path);

    const Settings changed = test::AllChanged();
    SaveStoredSettings(changed, path);
    EXPECT_EQ(test::Dump(LoadStoredSettings(path)), test::Dump(changed));

    const RegistryStore store = RegistryStore::Load(path);
    EXPECT_EQ(store.ReadInteger("MainFormTop"), 100);
    EXPECT_EQ(store.ReadInteger("MainFormLeft"), -10);
    EXPECT_EQ(store.ReadInteger("ControlTrimActivePage"), 1);
    EXPECT_EQ(store.ReadInteger("LocaleMessageCounter"), 3);
    EXPECT_EQ(store.ReadString("Language"), "French");
    EXPECT_EQ(store.Entries().size(), OptionBindings().size() + 5);
    // A store made here is private to the user; an existing one keeps its permissions.
    const std::string fresh = dir.File("fresh/Velmora.reg");
    SaveStoredSettings(changed, fresh);
    EXPECT_EQ(std::filesystem::status(fresh).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    // A store that cannot be written reports it and leaves the old file.
    const std::string before = *ReadWholeFile(path);
    EXPECT_THROW(SaveStoredSettings(changed, dir.File("seed.reg/Velmora.reg")), VelmoraError);
    EXPECT_EQ(*ReadWholeFile(path), before);
}

TEST(StoreSettings, FolderComesFromTheEnvironment) {
    struct Env {
        const char* name;
        std::optional<std::string> saved;
        explicit Env(const char* n) : name(n) {
            if (const char* v = std::getenv(n))
                saved = v;
        }
        ~Env() {
            if (saved)
                ::setenv(name, saved->c_str(), 1);
            else
                ::unsetenv(name);
        }
    } a("VELMORA_CONFIG_DIR"), b("XDG_CONFIG_HOME"), c("HOME");
    ::setenv("HOME", "/home/u", 1);
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    ::setenv("VELMORA_CONFIG_DIR", "/tmp/v", 1);
    EXPECT_EQ(SettingsStorePath(), "/tmp/v/Velmora.reg");
    ::unsetenv("VELMORA_CONFIG_DIR");
    EXPECT_EQ(SettingsStorePath(), "/xdg/Velmora/Velmora.reg");
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // ignored: not absolute
    EXPECT_EQ(SettingsStorePath(), "/home/u/.config/Velmora/Velmora.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsStoreFolder(), "/home/u/.config/Velmora");
}
