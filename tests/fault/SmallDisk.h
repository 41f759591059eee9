#pragma once
// A small file system of its own for a test: a tmpfs of a few pages mounted
// on a fresh folder, so that the disk really fills. Mounting needs root; a
// test without it is skipped with the reason.

#include "tests/support/TempDir.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace qorlu::test {

class SmallDisk {
public:
    // `bytes` is rounded up to whole pages by the kernel.
    explicit SmallDisk(std::size_t bytes) {
        if (geteuid() != 0) {
            m_why = "mounting a small tmpfs needs root";
            return;
        }
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (mount("qorlu-test", m_dir.Path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
            m_why = std::string("mount of a tmpfs failed: ") + std::strerror(errno);
            return;
        }
        m_mounted = true;
    }
    ~SmallDisk() {
        if (m_mounted) umount2(m_dir.Path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return m_mounted; }
    // Why there is no small disk; empty when there is one.
    const std::string& WhyNot() const { return m_why; }
    const std::filesystem::path& Path() const { return m_dir.Path(); }
    std::string operator/(const std::string& name) const { return m_dir / name; }

    // Makes the mounted file system read-only (or writable again); false on failure.
    bool SetReadOnly(bool readOnly) {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return m_mounted && mount("qorlu-test", m_dir.Path().c_str(), "tmpfs", flags, nullptr) == 0;
    }

private:
    TempDir m_dir;
    bool m_mounted = false;
    std::string m_why;
};

} // namespace qorlu::test
