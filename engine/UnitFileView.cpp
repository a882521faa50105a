#include "UnitFileView.h"

#include "UnitDescriptor.h"
#include "UnitMessages.h"
#include "VelmoraError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

namespace {

std::string SystemText(int error) {
    return std::string(std::strerror(error)) + " - ";
}

} // namespace

FileView::~FileView() {
    Close();
}

FileView::FileView(FileView&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mtimeNs(std::exchange(other.m_mtimeNs, 0)), m_fd(std::exchange(other.m_fd, -1)),
      m_writable(std::exchange(other.m_writable, false)),
      m_mappedLength(std::exchange(other.m_mappedLength, 0)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
    if (this != &other) {
        Close();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mtimeNs = std::exchange(other.m_mtimeNs, 0);
        m_fd = std::exchange(other.m_fd, -1);
        m_writable = std::exchange(other.m_writable, false);
        m_mappedLength = std::exchange(other.m_mappedLength, 0);
    }
    return *this;
}

void FileView::Flush() {
    if (m_data == nullptr || !m_writable)
        return;
    if (::msync(m_data, static_cast<std::size_t>(m_size), MS_SYNC) != 0)
        throw VelmoraError(SystemText(errno) + "Failed to flush view of file");
}

void FileView::Close() {
    if (m_data != nullptr)
        ::munmap(m_data, m_mappedLength);
    // Closing the descriptor also drops the advisory lock.
    if (m_fd >= 0)
        ::close(m_fd);
    m_data = nullptr;
    m_size = 0;
    m_fd = -1;
    m_writable = false;
    m_mappedLength = 0;
}

FileView OpenFileView(const std::string& path, FileAccess access, const MessageTable& messages) {
    const bool writable = access == FileAccess::ReadWrite;
    auto openError = [&](int error) {
        if (writable)
            return VelmoraError(
                SystemText(error) +
                MessageOr(messages, kMsgAccessDenied, "Access to file is denied (read only?)"));
        return VelmoraError(SystemText(error) +
                            MessageOr(messages, kMsgFailedToOpen, "Failed to open the file") +
                            " \"" + path + "\"");
    };

    // O_NONBLOCK keeps a FIFO from hanging the open; it means nothing for regular files.
    const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw openError(errno);
    Descriptor guard(fd);

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw openError(errno);
    if (S_ISDIR(st.st_mode))
        throw openError(EISDIR);
    if (!S_ISREG(st.st_mode))
        throw openError(ENODEV);
    if (::flock(fd, (writable ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
        throw openError(errno);

    const std::int64_t size = st.st_size;
    // An empty file cannot be mapped.
    if (size <= 0)
        throw VelmoraError(SystemText(EINVAL) + "Failed to create file mapping");
    if (static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max())
        throw VelmoraError(SystemText(EFBIG) + "Failed to create file mapping");

    FileView view;
    const std::size_t mappedLength = static_cast<std::size_t>(size);
    void* mapped = ::mmap(nullptr, mappedLength, writable ? PROT_READ | PROT_WRITE : PROT_READ,
                          MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        throw VelmoraError(SystemText(errno) + "Failed to map view of file");
    view.m_mappedLength = mappedLength;
    view.m_data = static_cast<std::uint8_t*>(mapped);
    view.m_size = size;
    view.m_mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                     static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    view.m_fd = guard.Release();
    view.m_writable = writable;
    return view;
}

} // namespace velmora
