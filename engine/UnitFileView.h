#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

struct MessageTable;

// ReadOnlyCopy: read-only, and the whole file is read into memory when it is at most 1 GiB.
enum class FileAccess { ReadOnly, ReadWrite, ReadOnlyCopy };

// A whole-file view: a mapping of the file, or for ReadOnlyCopy a private copy in huge pages
// (walking every frame header through 4 KiB file pages is TLB-bound, and a copy cannot fault
// if another process truncates the file). Read-only views take a shared advisory lock, read/write
// views an exclusive one (so a read/write open fails while another holder exists). Unmaps on
// destruction.
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
    std::int64_t lastWriteTimeNs() const { return m_mtimeNs; }
    int fd() const { return m_fd; }
    // msync of the whole view (read/write views); throws VelmoraError on failure.
    void Flush();
    void Close();

private:
    friend FileView OpenFileView(const std::string&, FileAccess, const MessageTable&);
    std::uint8_t* m_data = nullptr;
    std::int64_t m_size = 0;
    std::int64_t m_mtimeNs = 0;
    int m_fd = -1;
    bool m_writable = false;
    std::size_t m_mappedLength = 0; // what munmap releases (a copy is rounded up to 2 MiB)
};

// Maps the whole file. Errors: strerror(errno) + " - " + the specific message:
// read/write open: MessageStrings[8]; read-only open: MessageStrings[9] + " \"" + path + "\"";
// empty file or mapping failure: "Failed to create file mapping" / "Failed to map view of file".
FileView OpenFileView(const std::string& path, FileAccess access, const MessageTable& messages);

} // namespace velmora
