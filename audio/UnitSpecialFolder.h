#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// Where the external player's preview files go.
struct PreviewFolder {
    std::string path;           // empty when no folder could be had
    bool privateFolder = false; // made by us in the temporary folder; removed at exit
};

// The first of `candidates` (the user's application-data folder, then the documents folder; empty
// entries are skipped) that exists or can be made and can be written; otherwise a private folder
// (mode 0700) made in `temporaryRoot`. Fixed file names straight in a shared folder such as /tmp
// would let another user plant a link under them, so that folder is never used directly.
PreviewFolder ChoosePreviewFolder(const std::vector<std::string>& candidates,
                                  const std::string& temporaryRoot);

inline constexpr const char* kPreviewFileName = "Velmora.preview.mp3";

// The four preview files of the external player and the alternation between their names, which
// lets a new preview be written while the player may still hold the previous file open.
class PreviewFiles {
public:
    explicit PreviewFiles(PreviewFolder folder);
    // The folder is chosen (and made) only when the first preview file is written, so a run that
    // plays no external preview creates no folder.
    explicit PreviewFiles(std::function<PreviewFolder()> chooseFolder);
    // Deletes the files and a private folder.
    ~PreviewFiles();
    PreviewFiles(const PreviewFiles&) = delete;
    PreviewFiles& operator=(const PreviewFiles&) = delete;

    // PreviewFilePath: the folder followed by "/Velmora.preview.mp3".
    const std::string& PreviewFilePath() {
        Resolve();
        return m_base;
    }
    const PreviewFolder& Folder() {
        Resolve();
        return m_folder;
    }
    // The name for the next external preview; flips the alternation.
    std::string NextName(bool playsTrimmedPart);
    // ".mp3", ".trim.mp3", ".alt.mp3", ".trim.alt.mp3" in place of the base's ".mp3".
    std::array<std::string, 4> Names() const;
    // Deletes the four files, ignoring failures.
    void DeletePreviewFiles() const;

private:
    void Resolve();

    std::function<PreviewFolder()> m_choose; // empty once the folder is known
    PreviewFolder m_folder;
    std::string m_base;
    bool m_alternation = false;
};

// The name PreviewFilePath takes for an alternation bit and RadioGroupPreviewPlaysWhat.
std::string PreviewFileVariant(const std::string& previewFilePath, bool alternation,
                               bool playsTrimmedPart);

} // namespace velmora
