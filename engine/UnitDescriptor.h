#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace velmora {

// Owns an open file descriptor and closes it on every path (keeping errno intact for the error
// text being built), unless released.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

} // namespace velmora
