#include "UnitAtomicFile.h"

#include "UnitDescriptor.h"
#include "UnitIo.h"
#include "UnitPath.h"

#include <cerrno>
#include <cstdint>
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

} // namespace

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
    const std::string name = BaseName(m_target).substr(0, kKeptNameBytes);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                                      std::to_string(random()) + ".part";
        m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                      static_cast<mode_t>(m_options.mode));
        if (m_fd >= 0) {
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
