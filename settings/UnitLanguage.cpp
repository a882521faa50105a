#include "UnitLanguage.h"

#include "UnitSettingsStore.h"
#include "VelmoraError.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace velmora {

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

bool NeedsQuotes(std::string_view item) {
    return std::any_of(item.begin(), item.end(),
                       [](char c) { return IsBlank(c) || c == '"' || c == ','; });
}

std::string Quoted(std::string_view item) {
    std::string out = "\"";
    for (const char c : item) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

// One quoted item from `pos` (at its opening quote); an unclosed quote takes the rest.
std::string ReadQuotedItem(std::string_view text, std::size_t& pos) {
    std::string item;
    ++pos;
    while (pos < text.size()) {
        if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
                item += '"';
                pos += 2;
                continue;
            }
            ++pos;
            return item;
        }
        item += text[pos++];
    }
    return item;
}

using ListMember = MessageTable::List MessageTable::*;
struct DialogList {
    const char* key;
    ListMember list;
};
constexpr std::array<DialogList, 11> kDialogLists = {{
    {"MessageDlgWarnWhenMissingFH", &MessageTable::MessageDlgWarnWhenMissingFH},
    {"MessageDlgErrorMissingFH", &MessageTable::MessageDlgErrorMissingFH},
    {"MessageDlgPreviewFailed", &MessageTable::MessageDlgPreviewFailed},
    {"MessageDlgAcmStreamOpenFailed", &MessageTable::MessageDlgAcmStreamOpenFailed},
    {"MessageDlgRemovedBeginning", &MessageTable::MessageDlgRemovedBeginning},
    {"MessageDlgUpdateWarning", &MessageTable::MessageDlgUpdateWarning},
    {"MessageDlgSaveWAVWithoutHeaderWarning", &MessageTable::MessageDlgSaveWAVWithoutHeaderWarning},
    {"MessageDlgAbortWriteWarning", &MessageTable::MessageDlgAbortWriteWarning},
    {"MessageDlgProcessingErrorAbortIgnore", &MessageTable::MessageDlgProcessingErrorAbortIgnore},
    {"MessageDlgErrorCreatingLOGfile", &MessageTable::MessageDlgErrorCreatingLOGfile},
    {"MessageDlg_mp3PROwarning", &MessageTable::MessageDlg_mp3PROwarning},
}};

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::vector<std::string> FilesEndingWith(const std::string& folder, std::string_view ending) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > ending.size() && name.ends_with(ending) && it->is_regular_file(error))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::string> ReadCommaText(std::string_view text) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() && IsBlank(text[pos]))
            ++pos;
    };
    skipBlanks();
    while (pos < text.size()) {
        if (text[pos] == '"') {
            items.push_back(ReadQuotedItem(text, pos));
        } else {
            const std::size_t start = pos;
            while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != ',')
                ++pos;
            items.emplace_back(text.substr(start, pos - start));
        }
        skipBlanks();
        if (pos < text.size() && text[pos] == ',') {
            if (pos + 1 == text.size())
                items.emplace_back();
            ++pos;
            skipBlanks();
        }
    }
    return items;
}

std::string WriteCommaText(const std::vector<std::string>& items) {
    if (items.size() == 1 && items[0].empty())
        return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += ',';
        out += NeedsQuotes(items[i]) ? Quoted(items[i]) : items[i];
    }
    return out;
}

std::string QuotedCommaText(const std::vector<std::string>& items) {
    return '"' + WriteCommaText(items) + '"';
}

void ReadMessageTable(const IniFile& ini, MessageTable& messages) {
    for (const DialogList& d : kDialogLists)
        if (const std::optional<std::string> value = ini.Get(kMainSection, d.key))
            messages.*d.list = ReadCommaText(*value);
    MessageTable::List& strings = messages.MessageStrings;
    const std::vector<std::string> whole =
        ReadCommaText(ini.Get(kMainSection, "MessageStrings", ""));
    for (std::size_t i = 0; i < strings.size() && i < whole.size(); ++i)
        if (!whole[i].empty())
            strings[i] = whole[i];
    for (std::size_t i = 0; i < strings.size(); ++i)
        if (std::optional<std::string> value =
                ini.Get(kMainSection, "MessageStrings" + std::to_string(i)))
            strings[i] = std::move(*value);
}

void WriteMessageTable(const MessageTable& messages, IniFile& ini) {
    for (const DialogList& d : kDialogLists)
        ini.Set(kMainSection, d.key, QuotedCommaText(messages.*d.list));
    for (std::size_t i = 0; i < messages.MessageStrings.size(); ++i)
        ini.Set(kMainSection, "MessageStrings" + std::to_string(i), messages.MessageStrings[i]);
}

std::string LanguageFromPath(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\:");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    for (const std::string_view ending : {kLanguageExtension, kLegacyLanguageExtension})
        if (const std::size_t at = name.find(ending); at != std::string_view::npos)
            return std::string(name.substr(0, at));
    throw VelmoraError("Unknown extension");
}

LanguageFont ReadLanguageFont(const IniFile& ini, const LanguageFont& current) {
    LanguageFont font = current;
    if (std::optional<std::string> name = ini.Get(kGlobalSection, "FontName");
        name && !name->empty())
        font.name = std::move(*name);
    if (const std::optional<std::string> size = ini.Get(kGlobalSection, "FontSize"))
        if (const std::optional<std::int32_t> points = ParseDecimal(*size))
            font.pointSize = std::clamp<std::int32_t>(*points, kMinFontSize, kMaxFontSize);
    return font;
}

std::vector<std::string> LanguageCandidates(const std::vector<std::string>& folders) {
    std::vector<std::string> paths;
    for (const std::string& folder : folders)
        for (const char* ending : {kLanguageExtension, kLegacyLanguageExtension})
            for (const std::string& name : FilesEndingWith(folder, ending))
                paths.push_back(WithSlash(folder) + name);
    return paths;
}

std::string InstalledLanguageFolder(const std::string& programFolder) {
    const std::filesystem::path data =
        std::filesystem::path(WithSlash(programFolder)) / ".." / "share" / "velmora" / "languages";
    return WithSlash(data.lexically_normal().string());
}

std::vector<std::string> LanguageFolders(const std::string& currentFolder,
                                         const std::string& programFolder,
                                         const std::string& storeFolder) {
    std::vector<std::string> folders;
    for (const std::string& folder :
         {WithSlash(currentFolder), WithSlash(programFolder), WithSlash(storeFolder)})
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    return folders;
}

} // namespace velmora
