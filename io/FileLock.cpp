// Waiting for a lock, and opening a file under one: the same on every
// platform, on top of the file layer's TryLock.

#include "io/FileLayer.h"

#include <algorithm>
#include <thread>

namespace qorlu {

bool LockWithin(FileHandle& file, LockKind kind, std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (file.TryLock(kind)) return true;
        if (!file.IsOpen() || std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

LockedOpen OpenLocked(FileHandle& file, const std::string& path, FileHandle::Mode mode, LockKind kind,
                      std::chrono::milliseconds wait) {
    const auto until = std::chrono::steady_clock::now() + wait;
    // A rewrite renames a new file over the name while its lock still sits on
    // the old one; whoever waited for that lock then holds a file that no
    // longer has the name, and starts again on the new one.
    for (int round = 0; round < 64; ++round) {
        if (!file.Open(path, mode)) return LockedOpen::CannotOpen;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (!LockWithin(file, kind, std::max(left, std::chrono::milliseconds(0)))) {
            file.Close();
            return LockedOpen::InUse;
        }
        const auto held = file.Identity();
        const auto named = IdentityOf(path);
        if (held && named && *held == *named) return LockedOpen::Opened;
        file.Close();
        if (!named) return LockedOpen::CannotOpen;
    }
    return LockedOpen::InUse;
}

} // namespace qorlu
