#pragma once

#include "Fixtures.h"
#include "FrameBuilder.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace velmora::test {

// A 64 KiB tmpfs mounted on a temporary folder, for running out of space on purpose. Mounting
// needs the privilege to do so: check mounted() and skip without it.
class SmallTmpfs {
public:
    SmallTmpfs() {
        m_mounted = RunCommand("mount -t tmpfs -o size=64k,mode=0755 velmora-test '" +
                               m_dir.path() + "' 2>/dev/null") == 0;
    }
    ~SmallTmpfs() {
        if (m_mounted)
            RunCommand("umount '" + m_dir.path() + "'");
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool mounted() const { return m_mounted; }
    std::string File(const std::string& name) const { return m_dir.File(name); }

    // Writes a filler file until the file system refuses another byte.
    void Fill() const {
        const int fd = ::open(File("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return;
        const std::string page(4096, 'f');
        while (::write(fd, page.data(), page.size()) > 0) {
        }
        while (::write(fd, page.data(), 1) > 0) {
        }
        ::close(fd);
    }

private:
    TempDir m_dir;
    bool m_mounted = false;
};

} // namespace velmora::test
