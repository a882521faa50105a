#include "UnitSaveJournal.h"

#include "UnitAtomicFile.h"
#include "UnitDescriptor.h"
#include "UnitIo.h"
#include "UnitRegistryStore.h"
#include "VelmoraError.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::function<void()>& SaveRecordedHook() {
    static std::function<void()> hook;
    return hook;
}

std::string RecordPath(const std::string& folder, const FileIdentity& identity) {
    return folder + "/" + std::to_string(identity.device) + "-" + std::to_string(identity.inode);
}

[[noreturn]] void FailRecord(int error, const std::string& folder) {
    throw VelmoraError(std::string(std::strerror(error)) +
                       " - Cannot record the in-place save in " + folder);
}

// The path with every link and "." or ".." resolved; the path itself when that fails.
std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string resolved(real);
    std::free(real);
    return resolved;
}

} // namespace

std::string SaveJournalFolder() {
    return SettingsStoreFolder() + "/in-place saves";
}

InPlaceSaveRecord::InPlaceSaveRecord(const std::string& path, const FileIdentity& before,
                                     const std::string& folder)
    : m_recordPath(RecordPath(folder, before)) {
    MakeFolders(folder);
    // No flush: the record has to outlive the process, not the machine, as the moved bytes do.
    const Descriptor fd(
        ::open(m_recordPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0)
        FailRecord(errno, folder);
    const std::string text =
        "path=" + RealPath(path) + "\ndevice=" + std::to_string(before.device) +
        "\ninode=" + std::to_string(before.inode) + "\nsize=" + std::to_string(before.size) +
        "\nmodifiedNs=" + std::to_string(before.modifiedNs) +
        "\npid=" + std::to_string(::getpid()) + "\n";
    if (const IoResult r =
            WriteFully(fd.get(), text.data(), static_cast<std::int64_t>(text.size()));
        r.error != 0) {
        const int error = r.error;
        IgnoreFailure(::unlink(m_recordPath.c_str()));
        FailRecord(error, folder);
    }
    if (const std::function<void()>& hook = SaveRecordedHook())
        hook();
}

void InPlaceSaveRecord::Finished() {
    // A record that cannot be removed only makes a later open warn about a sound file.
    IgnoreFailure(::unlink(m_recordPath.c_str()));
}

bool SaveWasInterrupted(int fd, const std::string& path, const FileIdentity& identity,
                        const std::string& folder) {
    const std::string record = RecordPath(folder, identity);
    struct stat st {};
    if (::lstat(record.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    struct statx born {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &born) == 0 && (born.stx_mask & STATX_BTIME)) {
        const std::int64_t bornNs = born.stx_btime.tv_sec * 1000000000LL + born.stx_btime.tv_nsec;
        const std::int64_t recordedNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
        if (bornNs <= recordedNs)
            return true;
        IgnoreFailure(::unlink(record.c_str()));
        return false;
    }
    const std::optional<std::string> text = ReadWholeFile(record);
    return text && text->rfind("path=" + RealPath(path) + "\n", 0) == 0;
}

void SetSaveRecordedHook(std::function<void()> hook) {
    SaveRecordedHook() = std::move(hook);
}

} // namespace velmora
