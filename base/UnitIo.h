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

// Takes the result of a system call whose failure changes nothing for the caller; the reason
// stands beside each use.
inline void IgnoreFailure(int /*result*/) {}

} // namespace velmora
