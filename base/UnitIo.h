#pragma once

#include <cstdint>

namespace velmora {

// How a whole transfer went: `bytes` moved, and the errno that stopped it (0 when it completed
// or, for a read, when the file ended first).
struct IoResult {
    std::int64_t bytes = 0;
    int error = 0;
};

// These retry after a signal (EINTR) and after short transfers, so a caller sees only the whole
// transfer, the end of the file or a real error. A write that makes no progress reports ENOSPC.
IoResult ReadFully(int fd, void* buffer, std::int64_t n);
IoResult PreadFully(int fd, void* buffer, std::int64_t n, std::int64_t offset);
IoResult WriteFully(int fd, const void* data, std::int64_t n);
IoResult PwriteFully(int fd, const void* data, std::int64_t n, std::int64_t offset);
// Copies `n` bytes from `fromOffset` in `from` to `toOffset` in `to` within the kernel, as far
// as it goes; a source that ends first ends the copy without an error, as a read does.
IoResult CopyRangeInKernel(int from, std::int64_t fromOffset, int to, std::int64_t toOffset,
                           std::int64_t n);
// Whether CopyRangeInKernel's error means the kernel will not copy between these files (another
// file system, files that are not regular, an old kernel), so the bytes must go through memory.
bool KernelCopyRefused(int error);
// CopyRangeInKernel, and through a buffer where the kernel refuses.
IoResult CopyRangeFully(int from, std::int64_t fromOffset, int to, std::int64_t toOffset,
                        std::int64_t n);

// Takes the result of a system call whose failure changes nothing for the caller; the reason
// stands beside each use.
inline void IgnoreFailure(int /*result*/) {}

} // namespace velmora
