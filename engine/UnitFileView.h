#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

struct MessageTable;

enum class FileAccess { ReadOnly, ReadWrite };

// What tells one state of a file from another: another file under the same name, or the same
// file written since, differs in one of these (writing changes the change time even where the
// writer puts the modification time back).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0; // nanoseconds since the epoch
    std::int64_t changedNs = 0;
    std::int64_t accessedNs = 0; // kept to put the times back, not compared
    bool SameFileState(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
};

// The identity of the file open on `fd`; throws VelmoraError with the system's text.
FileIdentity IdentityOf(int fd);
// Sets the access and modification times of the file open on `fd` to those in `identity`.
bool PutTimesBack(int fd, const FileIdentity& identity);

// A whole-file mapping. Read-only views take a shared advisory lock, read/write views an
// exclusive one (so a read/write open fails while another holder exists). Unmaps on destruction.
//
// Another program can still shrink the file (the locks are advisory), and touching a page past
// the new end would kill the process with SIGBUS. A view guards its pages: such a page is
// replaced by a zeroed one that belongs to no file, so reads past the end give zeros, writes
// there reach no file (and cannot grow it), and Shrunk() tells the owner, which then reports an
// input/output error instead of a result built from those zeros.
class FileView {
public:
    FileView() = default;
    ~FileView();
    FileView(FileView&& other) noexcept;
    FileView& operator=(FileView&& other) noexcept;
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    std::uint8_t* data() const { return m_data; }
    std::int64_t size() const { return m_size; }
    std::span<const std::uint8_t> bytes() const {
        return {m_data, static_cast<std::size_t>(m_size)};
    }
    std::span<std::uint8_t> writableBytes() const {
        return {m_data, static_cast<std::size_t>(m_size)};
    }
    std::int64_t lastWriteTimeNs() const { return m_identity.modifiedNs; }
    // The file as it was when the lock was taken.
    const FileIdentity& identity() const { return m_identity; }
    int fd() const { return m_fd; }
    // Whether a page of the view was found past the file's end (or could not be read). Cheap.
    bool Shrunk() const;
    // Whether the file is shorter than the view: Shrunk(), or the file's size says so (bytes
    // after the end within its last page read as zeros without a fault). A system call.
    bool Cut() const;
    // Read/write views: extends the file to `size`, reserving the space first, and maps it
    // whole. Returns 0, or the errno of a failure, after which the file has its old size and
    // times again.
    int Grow(std::int64_t size);
    // msync of the whole view (read/write views); throws VelmoraError on failure.
    void Flush();
    // Releases the mapping, keeping the descriptor and its lock.
    void Unmap();
    void Close();

private:
    friend FileView OpenFileView(const std::string&, FileAccess, const MessageTable&);
    void Map(std::int64_t size);

    std::uint8_t* m_data = nullptr;
    std::int64_t m_size = 0;
    FileIdentity m_identity;
    int m_fd = -1;
    bool m_writable = false;
    std::size_t m_mappedLength = 0; // what munmap releases
    int m_guardSlot = -1;
};

// Maps the whole file. Errors: strerror(errno) + " - " + the specific message:
// read/write open: MessageStrings[8]; read-only open: MessageStrings[9] + " \"" + path + "\"";
// empty file or mapping failure: "Failed to create file mapping" / "Failed to map view of file".
// A file another holder has locked (Velmora's other window, another velmora-cli) gives
// FileInUseText, whichever the access.
FileView OpenFileView(const std::string& path, FileAccess access, const MessageTable& messages);

// The one text of a lock conflict: the file is in use by another program.
std::string FileInUseText(const std::string& path);

} // namespace velmora
