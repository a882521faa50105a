#pragma once

#include "UnitFileView.h"

#include <functional>
#include <string>

namespace velmora {

// The journal of in-place saves: a save that writes into the open file leaves a small record in
// the settings store's folder before its first byte changes and removes it once the file is
// whole again. A record left behind (the process killed, the power cut, a failure half-way)
// means the file is neither the old one nor the new one, and every later open says so.
//
// One record per file, named after its device and inode (so that finding one costs one stat),
// holding the path, the identity the file had when the save began and the saving process.

inline constexpr const char* kInterruptedSaveText =
    "An in-place save of this file was interrupted; the file is probably damaged";

// The journal's folder: "in-place saves" in the settings store's folder.
std::string SaveJournalFolder();

// One in-place save's record, written by the constructor; a save that cannot be recorded does not
// start (VelmoraError "<system text> - Cannot record the in-place save in <folder>").
class InPlaceSaveRecord {
public:
    InPlaceSaveRecord(const std::string& path, const FileIdentity& before,
                      const std::string& folder = SaveJournalFolder());
    InPlaceSaveRecord(const InPlaceSaveRecord&) = delete;
    InPlaceSaveRecord& operator=(const InPlaceSaveRecord&) = delete;
    // Dropped without Finished(), the record stays: the save stopped half-way.
    ~InPlaceSaveRecord() = default;

    // The file is whole: the record goes. Call it while the file is still locked, so that no
    // reader can see the record of a save that is about to finish.
    void Finished();

private:
    std::string m_recordPath;
};

// Whether the journal holds a record of an unfinished save of the file open on `fd` at `path`:
// one for its device and inode, made after the file was created (a record older than the file
// belongs to a removed file whose inode was used again, and goes). Where the file system does not
// tell when a file was created, the record must also name the file's present path.
bool SaveWasInterrupted(int fd, const std::string& path, const FileIdentity& identity,
                        const std::string& folder = SaveJournalFolder());

// For tests: runs once a record has been written, before the save changes any byte (a signal
// delivered there arrives at a known point of the save). Empty: nothing runs.
void SetSaveRecordedHook(std::function<void()> hook);

} // namespace velmora
