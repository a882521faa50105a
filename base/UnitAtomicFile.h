#pragma once

#include "VelmoraError.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace velmora {

// The whole file, or nullopt when it does not exist. Other failures throw VelmoraError.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Whether a new file's data is flushed to disk before it takes the target's name.
enum class DataSync {
    Always,        // small files: the settings, a CUE sheet
    WhenReplacing, // recordings: a new one is left to write-back, since flushing it costs more
                   // than writing it, and a crash then loses nothing that was there before
};

struct AtomicFileOptions {
    unsigned mode = 0666; // a new file's permissions, less the umask
    DataSync sync = DataSync::Always;
    // Where the file system allows it, the new file has no name until Commit(), so that a
    // process killed before then leaves nothing behind; off, it is always named (tests).
    bool unnamed = true;
};

// Where a replacement failed: making the temporary file, or writing and renaming it.
enum class AtomicFileStep { Create, Write };
// Builds the error a failed step raises from its errno.
using AtomicFileFailure = std::function<VelmoraError(int error, AtomicFileStep step)>;

// A file written in the target's folder and renamed over the target only when complete, so that
// a crash or failure leaves either the old file or the new one. The new file is unnamed until
// then where the file system allows (O_TMPFILE), and is otherwise named ".NAME.PID-RAND.part",
// locked while its writer lives; such files of writers that are gone are removed whenever a
// named one is made in their folder. The new file is flushed before the rename (see DataSync)
// and the folder after it. An existing
// target keeps its owner (where the user may set it) and permissions; a symbolic link is
// followed, so the file it points to is replaced and the link stays. Dropped before Commit(),
// the temporary file is removed.
class AtomicFileWriter {
public:
    AtomicFileWriter(const std::string& path, const AtomicFileOptions& options,
                     AtomicFileFailure fail);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    int fd() const { return m_fd; }
    // Appends all of `data` at the file position.
    void Write(std::string_view data);
    void Commit();

private:
    void CreateTemporary();
    // Gives the file an unused temporary name through `create`, which fails with errno set.
    void NameTemporary(const std::function<bool(const std::string&)>& create);

    AtomicFileOptions m_options;
    AtomicFileFailure m_fail;
    std::string m_target;
    std::string m_temporary; // empty while the file is unnamed
    int m_fd = -1;
    bool m_replacing = false;
};

// Removes the ".NAME.PID-RAND.part" files in `folder` whose writers are gone: no process has
// that number here, and no one holds the file's lock.
void RemoveStaleTemporaries(const std::string& folder);

// Replaces `path` with `data` through an AtomicFileWriter that flushes always; failures read
// "<system text> - Cannot write <path>".
void ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned mode = 0666);

// Creates the folder and its missing parents.
void MakeFolders(const std::string& path, unsigned mode = 0700);

} // namespace velmora
