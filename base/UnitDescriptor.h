#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace velmora {

// Owns an open file descriptor and closes it on every path (keeping errno intact for the error
// text being built), unless released or closed.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
    }
    Descriptor(Descriptor&& other) noexcept : m_fd(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        Descriptor old(std::exchange(m_fd, other.Release()));
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }
    // Closes it now, for callers that must know whether the close failed (a written file's
    // last error can come from close); false with errno set.
    bool Close() { return ::close(Release()) == 0; }

private:
    int m_fd;
};

} // namespace velmora
