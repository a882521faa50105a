#include "../settings/SettingsTestUtil.h"
#include "EditorTestUtil.h"
#include "Fixtures.h"
#include "RadioGroup.h"
#include "TSpinEdit.h"
#include "UnitIni.h"
#include "UnitLanguage.h"
#include "UnitLanguageWindow.h"
#include "UnitOptionsForm.h"
#include "UnitRegistryStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <unistd.h>

namespace velmora::test {
namespace {

std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Runs `change` on the Options window once F10 has shown it, then presses OK.
void ChangeOptions(TFormMain& window, std::function<void(TFormOptions*)> change) {
    QTimer::singleShot(0, &window, [&window, change] {
        TFormOptions* options = window.Options();
        change(options);
        Find<QPushButton>(options, "ButtonOK")->click();
    });
    QTest::keyClick(&window, Qt::Key_F10);
}

class OptionsCommandTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        Show();
        window->SetProgramFolder(files.path() + "/");
    }
    std::string Template() {
        QTest::keyClick(window.get(), Qt::Key_F12, Qt::ShiftModifier);
        return ReadText(files.File("English.Velmora.ini"));
    }
};

TEST_F(OptionsCommandTest, OnlyAnAggressivenessChangeReadsTheOpenFileAgain) {
    std::vector<std::int16_t> pcm;
    const PcmSpec spec;
    AppendSilence(pcm, spec, 2.0);
    AppendTone(pcm, spec, 2.0, 440, 12000);
    const std::string path = files.File("tone.mp3");
    EncodeWithLame(pcm, spec, "-b 128", path);
    settings.CheckBoxAutoDetectSilence = true;
    Open(path);
    ASSERT_TRUE(window->FileIsOpen());
    auto* begin = Get<TSpinEdit>("SpinEditBeginF");
    const int silent = begin->value();
    ASSERT_GT(silent, 30);

    begin->setValue(0);
    ChangeOptions(
        *window, [](TFormOptions* o) { Find<QCheckBox>(o, "CheckBoxCleanup")->setChecked(false); });
    EXPECT_FALSE(settings.CheckBoxCleanup);
    EXPECT_EQ(begin->value(), 0);

    ChangeOptions(*window, [](TFormOptions* o) {
        Find<TRadioGroup>(o, "RadioGroupTrimAggressivity")->setItemIndex(1);
    });
    EXPECT_EQ(settings.RadioGroupTrimAggressivity, 1);
    EXPECT_GE(begin->value(), silent);
    EXPECT_NE(StoreText().find("\"RadioGroupTrimAggressivity\"=dword:00000001"), std::string::npos);
}

TEST_F(OptionsCommandTest, F10DuringAnOpenBeepsAndShowsNoWindow) {
    const std::string path = files.File("long.mp3");
    WriteFile(path, QuietFrames(20000));
    bool shown = false;
    QTimer::singleShot(0, window.get(), [&] {
        QTest::keyClick(window.get(), Qt::Key_F10);
        shown = window->Options()->isVisible();
        QTest::keyClick(window.get(), Qt::Key_Escape);
    });
    Open(path);
    EXPECT_FALSE(shown);
    EXPECT_EQ(shell.beeps, 1);
}

TEST_F(OptionsCommandTest, ShiftF5ThenShiftF6RestoresTheOptions) {
    settings.SpinEditPreviewLength = 7;
    settings.EditID3Artist = "Somebody";
    QTest::keyClick(window.get(), Qt::Key_F5, Qt::ShiftModifier);
    const std::string ini = ReadText(files.File("Velmora.ini"));
    EXPECT_NE(ini.find("[Velmora]\n"), std::string::npos);
    EXPECT_NE(ini.find("SpinEditPreviewLength=7\n"), std::string::npos);
    settings.SpinEditPreviewLength = 2;
    settings.EditID3Artist.clear();
    QTest::keyClick(window.get(), Qt::Key_F6, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(settings.SpinEditPreviewLength, 2);
    QTest::keyClick(window.get(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(settings.SpinEditPreviewLength, 7);
    EXPECT_EQ(settings.EditID3Artist, "Somebody");
    EXPECT_TRUE(dialogs.messages.empty());

    // A hand-edited file with a value out of range: refused whole, with --set's text.
    WriteText(files.File("Velmora.ini"), "[Velmora]\nSpinEditPreviewLength=3\n"
                                         "TrackBarDefaultAmplification=-2147483648\n");
    const Settings before = settings;
    QTest::keyClick(window.get(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(dialogs.Texts(IDialogs::Kind::Error),
              std::vector<QString>{QString::fromStdString(
                  "Nothing was imported from " + files.File("Velmora.ini") +
                  ":\n\"TrackBarDefaultAmplification\" takes a whole number from -8 to 8, got "
                  "\"-2147483648\"")});
    EXPECT_EQ(Dump(settings), Dump(before));
}

TEST_F(OptionsCommandTest, TheEnglishTemplateHasTheKnownLinesAndSurvivesItsOwnLoad) {
    const std::string english = Template();
    for (const char* line :
         {"[FormOptions]\nCaption=Options\n",
          "RadioGroupCueSplitItems=\"\"Save each track fully\",\"Limit each track to 30 seconds, "
          "centered\"\"\n",
          "MessageDlgErrorMissingFH=\"\"This file appears to be seriously corrupted.\",\"Make "
          "sure to check the result (using 'save as') before committing any changes.\"\"\n",
          "MessageStrings16=Do you want to exit Velmora?\n", "MenuOpen=&Open\n",
          "TabSheetCue=Cue\n", "UrlLabelCopy="})
        EXPECT_NE(english.find(line), std::string::npos) << line;
    EXPECT_EQ(english.find("LabelDb1="), std::string::npos); // marked: keeps its own text
    const std::string copy = files.File("Copy.Velmora.ini");
    WriteText(copy, english);
    window->LoadLanguageFile(copy);
    EXPECT_EQ(window->CurrentLanguage(), "Copy");
    std::remove(files.File("English.Velmora.ini").c_str());
    EXPECT_EQ(Template(), english);
}

TEST_F(OptionsCommandTest, ALanguageFileInTheCurrentFolderTranslatesAtStartUp) {
    WriteText(files.File("Test.Velmora.ini"),
              "[FormMain]\nBitBtnTestBeginHint=Anfang\nMenuOpen=&\xc3\x96"
              "ffnen\nLabelSpaceSavedHint=Gewinn\n"
              "MessageStrings16=Wirklich beenden?\n"
              "[FormOptions]\nCaption=Optionen\nCheckBoxCleanup=Aufr\xc3\xa4umen\n"
              "RadioGroupCueSplitItems=\"Ganz,Kurz\"\nTabSheetCue=CUE\n");
    const QString saved = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(files.path()));
    window->StartUpLanguage();
    QDir::setCurrent(saved);
    EXPECT_EQ(window->CurrentLanguage(), "Test");
    EXPECT_EQ(Menu("MenuOpen")->text(), QString::fromUtf8("&\xc3\x96"
                                                          "ffnen"));
    EXPECT_EQ(Get<QLabel>("LabelSpaceSaved")->toolTip(), "Gewinn");
    window->ApplyWindowOptions(); // as after the Options window's OK
    EXPECT_EQ(Get("BitBtnTestBegin")->toolTip(), "Anfang");
    TFormOptions* options = window->Options();
    EXPECT_EQ(options->windowTitle(), "Optionen");
    EXPECT_EQ(Find<QCheckBox>(options, "CheckBoxCleanup")->text(),
              QString::fromUtf8("Aufr\xc3\xa4umen"));
    EXPECT_EQ(Find<TRadioGroup>(options, "RadioGroupCueSplit")->items(),
              QStringList({"Ganz", "Kurz"}));
    settings.CheckBoxAskBeforeExiting = true;
    dialogs.answers.push_back(IDialogs::Answer::No);
    window->close();
    ASSERT_EQ(dialogs.questionTexts.size(), 1u);
    EXPECT_EQ(dialogs.questionTexts[0], "Wirklich beenden?");
}

TEST_F(OptionsCommandTest, AFileWithOnlyTheExitPromptChangesOnlyThatLine) {
    const std::string before = Template();
    WriteText(files.File("Exit.Velmora.ini"), "[FormMain]\nMessageStrings16=Quit now?\n");
    window->LoadLanguageFile(files.File("Exit.Velmora.ini"));
    std::remove(files.File("English.Velmora.ini").c_str());
    std::string expected = before;
    const std::string old = "MessageStrings16=Do you want to exit Velmora?";
    expected.replace(expected.find(old), old.size(), "MessageStrings16=Quit now?");
    EXPECT_EQ(Template(), expected);
}

TEST_F(OptionsCommandTest, ALegacyCyrillicFileIsDecodedByItsLanguage) {
    // "Открыть" and "Выход" in windows-1251.
    WriteText(
        files.File("Russian.Velmora.ini"),
        "[FormMain]\r\nMenuOpen=\xce\xf2\xea\xf0\xfb\xf2\xfc\r\nMenuExit=\xc2\xfb\xf5\xee\xe4\r\n");
    window->LoadLanguageFile(files.File("Russian.Velmora.ini"));
    EXPECT_EQ(Menu("MenuOpen")->text(), QString::fromUtf8("Открыть"));
    EXPECT_EQ(Menu("MenuExit")->text(), QString::fromUtf8("Выход"));
}

TEST_F(OptionsCommandTest, BadLanguageFilesLoadWhatTheyCanAndNeverBlankTheWindow) {
    std::string binary(4096, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7919 % 251);
    std::string enormous = "[FormMain]\nMenuSave=&Big\n";
    enormous += std::string(3 << 20, 'x');
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"Empty.Velmora.ini", ""},
        {"Binary.Velmora.ini", binary},
        {"Enormous.Velmora.ini", enormous},
        {"Unknown.Velmora.ini", "[Nowhere]\nMenuOpen=x\n[FormMain]\nNoSuchControl=y\n"},
        {"Quote.Velmora.ini", "[FormMain]\nMessageDlgErrorMissingFH=\"a,\"b c\n"},
        {"Font0.Velmora.ini", "[Global]\nFontSize=0\n"},
        {"FontHuge.Velmora.ini", "[Global]\nFontSize=1000000000\nFontName=\n"},
    };
    for (const auto& c : cases) {
        WriteText(files.File(c.name), c.text);
        EXPECT_NO_THROW(window->LoadLanguageFile(files.File(c.name))) << c.name;
        EXPECT_FALSE(Menu("MenuOpen")->text().isEmpty()) << c.name;
        EXPECT_FALSE(window->Options()->windowTitle().isEmpty()) << c.name;
        EXPECT_GE(window->font().pointSize(), kMinFontSize) << c.name;
        EXPECT_LE(window->font().pointSize(), kMaxFontSize) << c.name;
    }
    EXPECT_EQ(Menu("MenuSave")->text(), "&Big");
    EXPECT_THROW(window->LoadLanguageFile(files.File("Missing.Velmora.ini")), std::exception);
}

TEST_F(OptionsCommandTest, TheLanguageButtonChoosesALanguageAndRemembersIt) {
    WriteText(files.File("German.Velmora.ini"), "[FormMain]\nMenuOpen=&Oeffnen\n");
    TFormLanguage* language = window->LanguageWindow();
    QTimer::singleShot(0, language, [language] {
        language->ComboBoxLanguageChange(
            static_cast<int>(TFormLanguage::Languages().indexOf("German")));
        language->close();
    });
    window->Options()->show();
    Find<QPushButton>(window->Options(), "ButtonLanguage")->click();
    window->Options()->hide();
    EXPECT_EQ(window->CurrentLanguage(), "German");
    EXPECT_EQ(Menu("MenuOpen")->text(), "&Oeffnen");
    EXPECT_NE(StoreText().find("\"Language\"=\"German\""), std::string::npos);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(OptionsCommandTest, TheSixthStartWithAGermanDesktopOffersTheTranslations) {
    RegistryStore store;
    store.WriteInteger("LocaleMessageCounter", 5);
    store.Save(config.File("Velmora.reg"));
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    window->StartUpLanguage();
    QLocale::setDefault(saved);
    ASSERT_EQ(dialogs.questionTexts.size(), 1u);
    EXPECT_EQ(dialogs.questionTexts[0], QString::fromUtf8(kLanguagesPromptText));
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].path(), "/VelmoraLocalization.html");
    EXPECT_NE(StoreText().find("\"LocaleMessageCounter\"=dword:00000006"), std::string::npos);
}

TEST_F(OptionsCommandTest, BothShippedTranslationsAreComplete) {
    const IniFile english = IniFile::Parse(Template());
    for (const char* language : {"German", "French"}) {
        const std::string path =
            std::string(VELMORA_TEST_DATA_DIR) + "/../../languages/" + language + ".Velmora.ini";
        const IniFile translated = IniFile::Parse(ReadText(path));
        for (const std::string& section : english.Sections())
            for (const std::string& key : english.Keys(section)) {
                if (section == "Global")
                    continue;
                const std::optional<std::string> value = translated.Get(section, key);
                EXPECT_TRUE(value.has_value()) << language << " " << section << "/" << key;
                const std::string source = *english.Get(section, key);
                if (value && source.find("%s") != std::string::npos) {
                    EXPECT_NE(value->find("%s"), std::string::npos) << language << " " << key;
                }
            }
        window->LoadLanguageFile(path);
        EXPECT_EQ(window->CurrentLanguage(), language);
    }
}

} // namespace
} // namespace velmora::test
