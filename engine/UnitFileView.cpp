#include "UnitFileView.h"

#include "UnitDescriptor.h"
#include "UnitIo.h"
#include "UnitMessages.h"
#include "VelmoraError.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
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

std::int64_t Nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The guarded mappings, read by the SIGBUS handler: plain atomics, no locks, no allocation.
struct GuardSlot {
    std::atomic<std::uintptr_t> begin{0}; // 0: free; kClaimed: being filled in
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> shrunk{false};
};
constexpr std::uintptr_t kClaimed = 1;
constexpr int kGuardSlots = 64;
GuardSlot g_guards[kGuardSlots];
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previousBusAction {};

// A fault on a guarded mapping means its file ended before the page (or the page could not be
// read). The rest of the mapping from that page on is replaced by zeroed private pages, so the
// access is retried and succeeds, and the view is marked. Only mmap is called, a plain system
// call that is safe here. Faults elsewhere go on to the handler that was there before, or kill
// the process as they would have.
void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardSlot& slot : g_guards) {
        const std::uintptr_t begin = slot.begin.load();
        const std::uintptr_t end = slot.end.load();
        if (begin <= kClaimed || address < begin || address >= end)
            continue;
        const std::uintptr_t page = address & ~(g_pageSize - 1);
        if (::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            slot.shrunk.store(true);
            return;
        }
    }
    if ((g_previousBusAction.sa_flags & SA_SIGINFO) != 0 &&
        g_previousBusAction.sa_sigaction != nullptr) {
        g_previousBusAction.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previousBusAction.sa_handler != SIG_DFL && g_previousBusAction.sa_handler != SIG_IGN) {
        g_previousBusAction.sa_handler(signal);
        return;
    }
    // Returning repeats the fault, which now ends the process.
    ::signal(SIGBUS, SIG_DFL);
}

void InstallBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousBusAction);
    });
}

// Returns the slot now guarding [data, data + length), or -1 when all are taken (the mapping
// then goes unguarded).
int GuardMapping(const std::uint8_t* data, std::size_t length) {
    InstallBusHandler();
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    for (int i = 0; i < kGuardSlots; ++i) {
        std::uintptr_t expected = 0;
        if (!g_guards[i].begin.compare_exchange_strong(expected, kClaimed))
            continue;
        g_guards[i].shrunk.store(false);
        g_guards[i].end.store(begin + length);
        g_guards[i].begin.store(begin);
        return i;
    }
    return -1;
}

void ReleaseGuard(int slot) {
    if (slot >= 0)
        g_guards[slot].begin.store(0);
}

} // namespace

FileIdentity IdentityOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw VelmoraError(std::strerror(errno));
    FileIdentity identity;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modifiedNs = Nanoseconds(st.st_mtim);
    identity.changedNs = Nanoseconds(st.st_ctim);
    identity.accessedNs = Nanoseconds(st.st_atim);
    return identity;
}

bool PutTimesBack(int fd, const FileIdentity& identity) {
    auto time = [](std::int64_t ns) {
        return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    };
    const timespec times[2] = {time(identity.accessedNs), time(identity.modifiedNs)};
    return ::futimens(fd, times) == 0;
}

FileView::~FileView() {
    Close();
}

FileView::FileView(FileView&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_identity(std::exchange(other.m_identity, {})), m_fd(std::exchange(other.m_fd, -1)),
      m_writable(std::exchange(other.m_writable, false)),
      m_mappedLength(std::exchange(other.m_mappedLength, 0)),
      m_guardSlot(std::exchange(other.m_guardSlot, -1)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
    if (this != &other) {
        Close();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_identity = std::exchange(other.m_identity, {});
        m_fd = std::exchange(other.m_fd, -1);
        m_writable = std::exchange(other.m_writable, false);
        m_mappedLength = std::exchange(other.m_mappedLength, 0);
        m_guardSlot = std::exchange(other.m_guardSlot, -1);
    }
    return *this;
}

void FileView::Flush() {
    if (m_data == nullptr || !m_writable)
        return;
    if (::msync(m_data, static_cast<std::size_t>(m_size), MS_SYNC) != 0)
        throw VelmoraError(SystemText(errno) + "Failed to flush view of file");
}

bool FileView::Shrunk() const {
    return m_guardSlot >= 0 && g_guards[m_guardSlot].shrunk.load(std::memory_order_relaxed);
}

bool FileView::Cut() const {
    struct stat st {};
    return Shrunk() || (m_fd >= 0 && ::fstat(m_fd, &st) == 0 && st.st_size < m_size);
}

void FileView::Map(std::int64_t size) {
    if (static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max())
        throw VelmoraError(SystemText(EFBIG) + "Failed to create file mapping");
    const std::size_t length = static_cast<std::size_t>(size);
    void* mapped = ::mmap(nullptr, length, m_writable ? PROT_READ | PROT_WRITE : PROT_READ,
                          MAP_SHARED, m_fd, 0);
    if (mapped == MAP_FAILED)
        throw VelmoraError(SystemText(errno) + "Failed to map view of file");
    m_data = static_cast<std::uint8_t*>(mapped);
    m_mappedLength = length;
    m_size = size;
    m_guardSlot = GuardMapping(m_data, length);
}

void FileView::Unmap() {
    // The guard goes first: the address range may be reused by the next mapping.
    ReleaseGuard(std::exchange(m_guardSlot, -1));
    if (m_data != nullptr)
        ::munmap(m_data, m_mappedLength);
    m_data = nullptr;
    m_mappedLength = 0;
}

int FileView::Grow(std::int64_t size) {
    const std::int64_t oldSize = m_size;
    // A failed reservation can still have grown the file.
    auto undo = [&] {
        IgnoreFailure(::ftruncate(m_fd, oldSize));
        IgnoreFailure(PutTimesBack(m_fd, m_identity));
    };
    if (const int error = ::posix_fallocate(m_fd, oldSize, size - oldSize); error != 0) {
        undo();
        return error;
    }
    Unmap();
    try {
        Map(size);
    } catch (const VelmoraError&) {
        const int error = errno;
        undo();
        return error != 0 ? error : ENOMEM;
    }
    return 0;
}

void FileView::Close() {
    Unmap();
    // Closing the descriptor also drops the advisory lock.
    if (m_fd >= 0)
        ::close(m_fd);
    m_size = 0;
    m_fd = -1;
    m_writable = false;
}

std::string FileInUseText(const std::string& path) {
    return "The file \"" + path + "\" is in use by another program; close it there and try again";
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
    if (::flock(fd, (writable ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        // Another holder's lock, not the file's modes, is what stands in the way.
        if (errno == EWOULDBLOCK)
            throw VelmoraError(FileInUseText(path));
        throw openError(errno);
    }

    // Taken under the lock, so that a writer that held it until now is seen.
    FileView view;
    view.m_identity = IdentityOf(fd);
    // An empty file cannot be mapped.
    if (view.m_identity.size <= 0)
        throw VelmoraError(SystemText(EINVAL) + "Failed to create file mapping");
    view.m_fd = guard.Release();
    view.m_writable = writable;
    view.Map(view.m_identity.size);
    return view;
}

} // namespace velmora
