#include "UnitAtomicFile.h"

#include "UnitDescriptor.h"
#include "UnitIo.h"
#include "UnitPath.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

// Stores are small; anything this large is not one of ours.
constexpr std::int64_t kMaxFileSize = 64 * 1024 * 1024;
// Room for the temporary name's additions within a file name's 255 bytes.
constexpr std::size_t kKeptNameBytes = 180;

[[noreturn]] void Fail(int error, const std::string& message) {
    throw VelmoraError(std::string(std::strerror(error)) + " - " + message);
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

// The rename reaches the disk only with its folder. Some file systems refuse to flush a folder;
// the file itself is safe by then, so such a refusal is not worth failing for.
void SyncFolderIfPossible(const std::string& file) {
    const std::string folder = FolderOf(file);
    const Descriptor fd(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        IgnoreFailure(::fsync(fd.get()));
}

const char* FolderOrDot(const std::string& folder) {
    return folder.empty() ? "." : folder.c_str();
}

// The writer's process number in a temporary name ".NAME.PID-RAND.part", or -1 for other names.
pid_t TemporaryOwner(std::string_view name) {
    constexpr std::string_view kSuffix = ".part";
    if (name.size() < 2 || name[0] != '.' || !name.ends_with(kSuffix))
        return -1;
    name.remove_suffix(kSuffix.size());
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < 2)
        return -1;
    const std::string_view id = name.substr(dot + 1);
    const std::size_t dash = id.find('-');
    auto digits = [](std::string_view d) {
        return !d.empty() && d.size() <= 10 && d.find_first_not_of("0123456789") == d.npos;
    };
    if (dash == id.npos || !digits(id.substr(0, dash)) || !digits(id.substr(dash + 1)))
        return -1;
    const long pid = std::strtol(std::string(id.substr(0, dash)).c_str(), nullptr, 10);
    return pid > 0 && pid <= 0x3FFFFFFF ? static_cast<pid_t>(pid) : -1;
}

// Gives the unnamed file open on `fd` the name `path`; without /proc, only a privileged process
// can.
bool LinkUnnamed(int fd, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
        return false;
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;
}

bool ProcessIsGone(pid_t pid) {
    return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

void RemoveStaleTemporaries(const std::string& folder) {
    const Descriptor folderFd(::open(FolderOrDot(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0)
        return;
    DIR* dir = ::fdopendir(::dup(folderFd.get()));
    if (dir == nullptr)
        return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t owner = TemporaryOwner(entry->d_name);
        if (owner > 0 && ProcessIsGone(owner))
            stale.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    // The number alone is not proof: another machine's writer on a shared folder holds its
    // file's lock, which dies only with it.
    for (const std::string& name : stale) {
        const Descriptor fd(
            ::openat(folderFd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        IgnoreFailure(::unlinkat(folderFd.get(), name.c_str(), 0));
    }
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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
        const IoResult r = ReadFully(fd.get(), buffer, sizeof buffer);
        if (r.error != 0)
            Fail(r.error, "Cannot read " + path);
        text.append(buffer, static_cast<std::size_t>(r.bytes));
        if (static_cast<std::int64_t>(text.size()) > kMaxFileSize)
            Fail(EFBIG, "Cannot read " + path);
        if (r.bytes < static_cast<std::int64_t>(sizeof buffer))
            return text;
    }
}

AtomicFileWriter::AtomicFileWriter(const std::string& path, const AtomicFileOptions& options,
                                   AtomicFileFailure fail)
    : m_options(options), m_fail(std::move(fail)), m_target(ResolveLink(path)) {
    struct stat old {};
    if (::stat(m_target.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            throw m_fail(EISDIR, AtomicFileStep::Create);
        m_replacing = true;
    }
    CreateTemporary();
    // The new file takes the place of the old one with its owner and permissions; only root may
    // give a file away, so a failed chown leaves the file the user's own.
    if (m_replacing) {
        IgnoreFailure(::fchown(m_fd, old.st_uid, old.st_gid));
        if (::fchmod(m_fd, old.st_mode & 07777) != 0)
            throw m_fail(errno, AtomicFileStep::Create);
    }
}

void AtomicFileWriter::CreateTemporary() {
    const std::string folder = FolderOf(m_target);
    if (m_options.unnamed)
        m_fd = ::open(FolderOrDot(folder), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                      static_cast<mode_t>(m_options.mode));
    // Any failure of an unnamed file (a file system without them, a missing folder) is met
    // again, and reported, by the named way.
    if (m_fd < 0) {
        RemoveStaleTemporaries(folder);
        NameTemporary([this](const std::string& candidate) {
            m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          static_cast<mode_t>(m_options.mode));
            return m_fd >= 0;
        });
    }
    // The lock tells later runs that the writer of a named file lives; a file system without
    // locks leaves them the process number to go by.
    IgnoreFailure(::flock(m_fd, LOCK_EX | LOCK_NB));
}

void AtomicFileWriter::NameTemporary(const std::function<bool(const std::string&)>& create) {
    const std::string folder = FolderOf(m_target);
    const std::string name = BaseName(m_target).substr(0, kKeptNameBytes);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                                      std::to_string(random()) + ".part";
        if (create(candidate)) {
            m_temporary = candidate;
            return;
        }
        if (errno != EEXIST)
            throw m_fail(errno, AtomicFileStep::Create);
    }
    throw m_fail(EEXIST, AtomicFileStep::Create);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

void AtomicFileWriter::Write(std::string_view data) {
    const IoResult r = WriteFully(m_fd, data.data(), static_cast<std::int64_t>(data.size()));
    if (r.error != 0)
        throw m_fail(r.error, AtomicFileStep::Write);
}

void AtomicFileWriter::Commit() {
    // Before an old file is replaced the new one must be on disk, or a crash could lose both.
    const bool sync = m_replacing || m_options.sync == DataSync::Always;
    if (sync && ::fsync(m_fd) != 0)
        throw m_fail(errno, AtomicFileStep::Write);
    // An unnamed file takes a temporary name first: a link cannot replace an existing file.
    if (m_temporary.empty())
        NameTemporary(
            [this](const std::string& candidate) { return LinkUnnamed(m_fd, candidate); });
    // The lock is kept until the rename by a second descriptor of the same open file.
    const Descriptor lockHolder(::dup(m_fd));
    if (::close(std::exchange(m_fd, -1)) != 0)
        throw m_fail(errno, AtomicFileStep::Write);
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        throw m_fail(errno, AtomicFileStep::Write);
    m_temporary.clear();
    if (sync)
        SyncFolderIfPossible(m_target);
}

void ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned mode) {
    AtomicFileWriter file(path, {mode, DataSync::Always}, [&path](int error, AtomicFileStep) {
        return VelmoraError(std::string(std::strerror(error)) + " - Cannot write " + path);
    });
    file.Write(data);
    file.Commit();
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
