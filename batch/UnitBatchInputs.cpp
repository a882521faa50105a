#include "UnitBatchInputs.h"

#include "UnitOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace velmora {

namespace {

constexpr const char* kOpenPattern = "*.mp3;*.wav";

using FileId = std::pair<dev_t, ino_t>;

std::string ErrorText(int error, const char* what) {
    return std::string(std::strerror(error)) + " - " + what;
}

class Expander {
public:
    explicit Expander(const Settings& settings)
        : m_pattern(BatchPatternOf(settings)), m_subfolders(settings.CheckBoxProcessSubfolders) {}

    void AddInput(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            m_result.push_back({path, ErrorText(errno, "Could not open the file")});
            return;
        }
        if (S_ISDIR(st.st_mode))
            AddFolder(path, st, true);
        else
            AddFile(path, st);
    }

    std::vector<BatchInput> Take() { return std::move(m_result); }

private:
    void AddFile(const std::string& path, const struct stat& st) {
        if (m_files.insert({st.st_dev, st.st_ino}).second)
            m_result.push_back({path, ""});
    }

    void AddFolder(const std::string& folder, const struct stat& st, bool named) {
        if ((!named && !m_subfolders) || !m_folders.insert({st.st_dev, st.st_ino}).second)
            return;
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            m_result.push_back({folder, ErrorText(errno, "Could not read the folder")});
            return;
        }
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..")
                names.emplace_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
        for (const std::string& name : names) {
            const std::string path = prefix + name;
            struct stat entry {};
            if (::stat(path.c_str(), &entry) != 0)
                continue; // a dangling link or an entry gone since the listing
            if (S_ISDIR(entry.st_mode))
                AddFolder(path, entry, false);
            else if (S_ISREG(entry.st_mode) && MatchesBatchPattern(name, m_pattern))
                AddFile(path, entry);
        }
    }

    std::string m_pattern;
    bool m_subfolders;
    std::set<FileId> m_files;
    std::set<FileId> m_folders;
    std::vector<BatchInput> m_result;
};

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

std::vector<BatchInput> ExpandBatchInputs(const std::vector<std::string>& paths,
                                          const Settings& settings) {
    Expander expander(settings);
    for (const std::string& path : paths)
        expander.AddInput(path);
    return expander.Take();
}

std::string BatchPatternOf(const Settings& settings) {
    if (settings.CheckBoxProcessSubfolders && settings.CheckBoxProcessOnly)
        return settings.EditBatchProcessOnlyFiles;
    return kOpenPattern;
}

bool MatchesBatchPattern(std::string_view name, std::string_view patterns) {
    const std::string file(name);
    while (true) {
        const std::size_t semicolon = patterns.find(';');
        const std::string_view one = Trimmed(patterns.substr(0, semicolon));
        if (!one.empty() && ::fnmatch(std::string(one).c_str(), file.c_str(), FNM_CASEFOLD) == 0)
            return true;
        if (semicolon == std::string_view::npos)
            return false;
        patterns.remove_prefix(semicolon + 1);
    }
}

} // namespace velmora
