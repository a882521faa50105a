#include "UnitSpecialFolder.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// Makes `path` and its missing parents (new ones private to the user).
bool MakeFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool UsableFolder(const std::string& path) {
    return !path.empty() && path[0] == '/' && MakeFolders(path) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

PreviewFolder ChoosePreviewFolder(const std::vector<std::string>& candidates,
                                  const std::string& temporaryRoot) {
    for (const std::string& candidate : candidates) {
        const std::string path = WithoutTrailingSlash(candidate);
        if (UsableFolder(path))
            return {path, false};
    }
    std::string pattern = WithoutTrailingSlash(temporaryRoot.empty() ? "/tmp" : temporaryRoot);
    pattern += "/Velmora-preview-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return {};
    return {pattern, true};
}

std::string PreviewFileVariant(const std::string& previewFilePath, bool alternation,
                               bool playsTrimmedPart) {
    std::string stem = previewFilePath;
    if (stem.size() >= 4 && stem.compare(stem.size() - 4, 4, ".mp3") == 0)
        stem.resize(stem.size() - 4);
    return stem + (playsTrimmedPart ? ".trim" : "") + (alternation ? ".alt" : "") + ".mp3";
}

PreviewFiles::PreviewFiles(PreviewFolder folder)
    : m_folder(std::move(folder)), m_base(m_folder.path + "/" + kPreviewFileName) {}

PreviewFiles::PreviewFiles(std::function<PreviewFolder()> chooseFolder)
    : m_choose(std::move(chooseFolder)) {}

void PreviewFiles::Resolve() {
    if (!m_choose)
        return;
    m_folder = m_choose();
    m_base = m_folder.path + "/" + kPreviewFileName;
    m_choose = nullptr;
}

PreviewFiles::~PreviewFiles() {
    DeletePreviewFiles();
    if (m_folder.privateFolder)
        ::rmdir(m_folder.path.c_str());
}

std::string PreviewFiles::NextName(bool playsTrimmedPart) {
    Resolve();
    std::string name = PreviewFileVariant(m_base, m_alternation, playsTrimmedPart);
    m_alternation = !m_alternation;
    return name;
}

std::array<std::string, 4> PreviewFiles::Names() const {
    return {PreviewFileVariant(m_base, false, false), PreviewFileVariant(m_base, false, true),
            PreviewFileVariant(m_base, true, false), PreviewFileVariant(m_base, true, true)};
}

void PreviewFiles::DeletePreviewFiles() const {
    if (m_base.empty()) // no preview file was ever written
        return;
    for (const std::string& name : Names())
        ::unlink(name.c_str());
}

} // namespace velmora
