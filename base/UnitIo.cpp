#include "UnitIo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unistd.h>
#include <vector>

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

IoResult CopyRangeInKernel(int from, std::int64_t fromOffset, int to, std::int64_t toOffset,
                           std::int64_t n) {
    return Loop(n, false, [&](std::int64_t at, std::int64_t count) {
        off64_t in = fromOffset + at;
        off64_t out = toOffset + at;
        return ::copy_file_range(from, &in, to, &out, static_cast<std::size_t>(count), 0);
    });
}

bool KernelCopyRefused(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF;
}

IoResult CopyRangeFully(int from, std::int64_t fromOffset, int to, std::int64_t toOffset,
                        std::int64_t n) {
    IoResult r = CopyRangeInKernel(from, fromOffset, to, toOffset, n);
    if (!KernelCopyRefused(r.error))
        return r;
    constexpr std::int64_t kBuffer = 1 << 20;
    std::vector<char> buffer(static_cast<std::size_t>(std::min(n - r.bytes, kBuffer)));
    r.error = 0;
    while (r.bytes < n) {
        const std::int64_t want = std::min(n - r.bytes, kBuffer);
        const IoResult got = PreadFully(from, buffer.data(), want, fromOffset + r.bytes);
        const IoResult put = PwriteFully(to, buffer.data(), got.bytes, toOffset + r.bytes);
        r.bytes += put.bytes;
        r.error = put.error != 0 ? put.error : got.error;
        if (r.error != 0 || got.bytes < want)
            break;
    }
    return r;
}

} // namespace velmora
