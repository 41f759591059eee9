// lock_probe FILE shared|exclusive: another process's view of FILE while the
// test holds a lock on it. Opens FILE for reading and writing, reads its
// first byte and writes it back (data is never inside a lock's range), then
// tries the lock without waiting. Prints "io ok" or "io failed", then
// "locked" or "refused"; exits 0 only when the input and output worked.

#include "io/FileLayer.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include "io/NativePath.h"
#endif

namespace {

int Probe(const std::string& path, const char* kind) {
    qorlu::FileHandle file;
    if (!file.Open(path, qorlu::FileHandle::Mode::ReadWrite)) {
        std::puts("cannot open");
        return 2;
    }
    unsigned char byte = 0;
    const auto got = file.ReadAt(0, &byte, 1);
    const bool io = got && *got == 1 && file.WriteAt(0, &byte, 1);
    std::puts(io ? "io ok" : "io failed");
    const auto lock = std::strcmp(kind, "exclusive") == 0 ? qorlu::LockKind::Exclusive : qorlu::LockKind::Shared;
    std::puts(file.TryLock(lock) ? "locked" : "refused");
    return io ? 0 : 1;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::string kind = qorlu::Utf8FromWide(argv[2]);
    return Probe(qorlu::Utf8FromWide(argv[1]), kind.c_str());
}
#else
int main(int argc, char** argv) {
    if (argc != 3) return 2;
    return Probe(argv[1], argv[2]);
}
#endif
