#include "UnitIo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unistd.h>

namespace velmora {

namespace {

// Linux moves at most about 2 GiB per call; asking for less keeps the count exact in ssize_t.
constexpr std::int64_t kMaxPerCall = INT_MAX / 2;

// `step(p, n, done)` moves up to n bytes at p (done bytes into the transfer) and returns what the
// system call does.
template <typename Step> IoResult Loop(std::int64_t n, bool writing, Step step) {
    IoResult r;
    while (r.bytes < n) {
        const ssize_t done = step(r.bytes, std::min(n - r.bytes, kMaxPerCall));
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0) {
            r.error = errno;
            break;
        }
        if (done == 0) {
            r.error = writing ? ENOSPC : 0;
            break;
        }
        r.bytes += done;
    }
    return r;
}

} // namespace

IoResult ReadFully(int fd, void* buffer, std::int64_t n) {
    auto* p = static_cast<char*>(buffer);
    return Loop(n, false, [&](std::int64_t at, std::int64_t count) {
        return ::read(fd, p + at, static_cast<std::size_t>(count));
    });
}

IoResult PreadFully(int fd, void* buffer, std::int64_t n, std::int64_t offset) {
    auto* p = static_cast<char*>(buffer);
    return Loop(n, false, [&](std::int64_t at, std::int64_t count) {
        return ::pread(fd, p + at, static_cast<std::size_t>(count), offset + at);
    });
}

IoResult WriteFully(int fd, const void* data, std::int64_t n) {
    const auto* p = static_cast<const char*>(data);
    return Loop(n, true, [&](std::int64_t at, std::int64_t count) {
        return ::write(fd, p + at, static_cast<std::size_t>(count));
    });
}

IoResult PwriteFully(int fd, const void* data, std::int64_t n, std::int64_t offset) {
    const auto* p = static_cast<const char*>(data);
    return Loop(n, true, [&](std::int64_t at, std::int64_t count) {
        return ::pwrite(fd, p + at, static_cast<std::size_t>(count), offset + at);
    });
}

} // namespace velmora
