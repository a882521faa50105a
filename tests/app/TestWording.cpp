#include "EditorTestUtil.h"

#include "UnitIni.h"
#include "UnitLanguage.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// Words for parts of another platform that mean nothing here.
constexpr const char* kForeignWords[] = {"ACM",    "acmStream", "Fraunhofer",
                                         "Winamp", "Windows",   "shell's"};

std::vector<std::string> ForeignWordsIn(const IniFile& ini) {
    std::vector<std::string> found;
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section)) {
            const std::string value = ini.Get(section, key, "");
            for (const char* word : kForeignWords)
                if (value.find(word) != std::string::npos)
                    found.push_back(section + "/" + key + ": " + word);
        }
    return found;
}

} // namespace

// The English texts and the shipped translations speak of the parts this system has (the
// sound server, libmpg123, the media player), under the keys they always had.
TEST_F(EditorTest, NoTextNamesAPartOfAnotherPlatform) {
    Show();
    const std::string english = files.File("English.Velmora.ini");
    window->ExportEnglishFile(english);
    const IniFile exported = IniFile::Load(english);
    EXPECT_EQ(ForeignWordsIn(exported), std::vector<std::string>{});
    for (const char* language : {"German", "French"}) {
        SCOPED_TRACE(language);
        const IniFile shipped = IniFile::Load(std::string(VELMORA_TEST_DATA_DIR) +
                                              "/../../languages/" + language + ".Velmora.ini");
        EXPECT_EQ(ForeignWordsIn(shipped), std::vector<std::string>{});
        for (const char* key : {"MessageDlgPreviewFailed", "MessageDlgAcmStreamOpenFailed"})
            EXPECT_TRUE(shipped.Get(kMainSection, key).has_value()) << key;
    }
    const MessageTable messages = MessageTable::English();
    EXPECT_NE(MessageTable::Join(messages.MessageDlgPreviewFailed).find("libmpg123"),
              std::string::npos);
    EXPECT_NE(MessageTable::Join(messages.MessageDlgAcmStreamOpenFailed).find("libmpg123"),
              std::string::npos);
}
