#include "UnitAtomicFile.h"

#include "../engine/VelmoraError.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

// Stores are small; anything this large is not one of ours.
constexpr std::int64_t kMaxFileSize = 64 * 1024 * 1024;

[[noreturn]] void Fail(int error, const std::string& message) {
    throw VelmoraError(std::string(std::strerror(error)) + " - " + message);
}

class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Removes the temporary file unless the rename took it.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : m_path(std::move(path)) {}
    ~TempFileGuard() {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void Commit() { m_path.clear(); }

private:
    std::string m_path;
};

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ResolveLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path; // a dangling link is replaced by the file
    std::string resolved = real;
    std::free(real);
    return resolved;
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno, "Cannot write " + path);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FdGuard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        Fail(errno, "Cannot read " + path);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        Fail(errno, "Cannot read " + path);
    if (S_ISDIR(st.st_mode))
        Fail(EISDIR, "Cannot read " + path);
    if (static_cast<std::int64_t>(st.st_size) > kMaxFileSize)
        Fail(EFBIG, "Cannot read " + path);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno, "Cannot read " + path);
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::int64_t>(text.size()) > kMaxFileSize)
            Fail(EFBIG, "Cannot read " + path);
    }
    return text;
}

void ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned mode) {
    const std::string target = ResolveLink(path);
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;

    std::random_device random;
    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".tmp%ld.%08x", static_cast<long>(::getpid()),
                      static_cast<unsigned>(random()));
        // The temporary name must fit wherever the target's own name just fits.
        const std::size_t nameStart = target.rfind('/') + 1;
        const std::size_t nameRoom = NAME_MAX - std::strlen(suffix);
        temp = target.substr(0, nameStart + std::min(target.size() - nameStart, nameRoom)) + suffix;
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                     static_cast<mode_t>(mode));
        if (raw < 0 && errno != EEXIST)
            Fail(errno, "Cannot write " + path);
    }
    if (raw < 0)
        Fail(EEXIST, "Cannot write " + path);
    FdGuard fd(raw);
    TempFileGuard tempGuard(temp);

    WriteAll(fd.get(), data, path);
    if (exists && ::fchmod(fd.get(), old.st_mode & 07777) != 0)
        Fail(errno, "Cannot write " + path);
    if (::fsync(fd.get()) != 0)
        Fail(errno, "Cannot write " + path);
    if (::close(fd.release()) != 0)
        Fail(errno, "Cannot write " + path);
    if (::rename(temp.c_str(), target.c_str()) != 0)
        Fail(errno, "Cannot write " + path);
    tempGuard.Commit();

    // The rename itself reaches the disk only with the folder; some file systems refuse this.
    FdGuard folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
}

void MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty())
        return;
    std::string partial;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t slash = path.find('/', pos);
        partial = path.substr(0, slash);
        pos = slash == std::string::npos ? path.size() + 1 : slash + 1;
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
            Fail(errno, "Cannot create the folder " + partial);
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        Fail(ENOTDIR, "Cannot create the folder " + path);
}

} // namespace velmora
