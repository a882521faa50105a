#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace velmora {

struct MessageTable;

enum class FileAccess { ReadOnly, ReadWrite };

// A whole-file mapping. Read-only views take a shared advisory lock, read/write views an
// exclusive one (so a read/write open fails while another holder exists). Unmaps on destruction.
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
    std::size_t m_mappedLength = 0; // what munmap releases
};

// Maps the whole file. Errors: strerror(errno) + " - " + the specific message:
// read/write open: MessageStrings[8]; read-only open: MessageStrings[9] + " \"" + path + "\"";
// empty file or mapping failure: "Failed to create file mapping" / "Failed to map view of file".
FileView OpenFileView(const std::string& path, FileAccess access, const MessageTable& messages);

} // namespace velmora
