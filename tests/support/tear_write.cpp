// Loaded into a program under test with LD_PRELOAD, in place of pwrite: the
// first write to one chosen file that reaches past one chosen position puts
// only the bytes before that position into the file, then kills the program
// (as a crash or a power cut in the middle of one write leaves the file) or
// fails with an error number (as a device error or a full disk part way
// through a write does). Nothing inside the program knows about it.
//
//   QORLU_TEAR_FILE   the file, told by its device and inode numbers
//   QORLU_TEAR_AT     the file position where the write stops; without it
//                     every write goes through and is only logged
//   QORLU_TEAR_ERRNO  fail the write with this error number instead of killing
//   QORLU_TEAR_LOG    a file that gets one line per write to the chosen file,
//                     "<position> <count>", and "torn" once a write is cut

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);

PwriteFn RealPwrite() {
    static PwriteFn real = reinterpret_cast<PwriteFn>(dlsym(RTLD_NEXT, "pwrite"));
    return real;
}

bool IsChosenFile(int fd) {
    const char* path = std::getenv("QORLU_TEAR_FILE");
    struct stat chosen {};
    struct stat open {};
    return path != nullptr && ::stat(path, &chosen) == 0 && ::fstat(fd, &open) == 0 && chosen.st_dev == open.st_dev &&
           chosen.st_ino == open.st_ino;
}

void Log(const char* line) {
    const char* path = std::getenv("QORLU_TEAR_LOG");
    if (path == nullptr) return;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    const ssize_t ignored = ::write(fd, line, std::strlen(line));
    (void)ignored;
    ::close(fd);
}

// Writes all of [buffer, buffer + count) at `position`, or fails.
bool WriteAll(int fd, const char* buffer, size_t count, off_t position) {
    while (count > 0) {
        const ssize_t put = RealPwrite()(fd, buffer, count, position);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        buffer += put;
        count -= static_cast<size_t>(put);
        position += put;
    }
    return true;
}

ssize_t TornPwrite(int fd, const void* buffer, size_t count, off_t position) {
    if (count == 0 || !IsChosenFile(fd)) return RealPwrite()(fd, buffer, count, position);
    char line[64];
    std::snprintf(line, sizeof line, "%lld %zu\n", static_cast<long long>(position), count);
    Log(line);
    static bool torn = false;
    const char* at = std::getenv("QORLU_TEAR_AT");
    if (torn || at == nullptr) return RealPwrite()(fd, buffer, count, position);
    const long long stop = std::atoll(at);
    if (stop <= position || stop >= position + static_cast<long long>(count))
        return RealPwrite()(fd, buffer, count, position);
    torn = true;
    const auto kept = static_cast<size_t>(stop - position);
    const bool put = WriteAll(fd, static_cast<const char*>(buffer), kept, position);
    Log(put ? "torn\n" : "torn, and the kept part failed\n");
    if (const char* error = std::getenv("QORLU_TEAR_ERRNO")) {
        errno = std::atoi(error);
        return -1;
    }
    ::kill(::getpid(), SIGKILL);
    return -1;
}

} // namespace

extern "C" ssize_t pwrite(int fd, const void* buffer, size_t count, off_t position) {
    return TornPwrite(fd, buffer, count, position);
}

extern "C" ssize_t pwrite64(int fd, const void* buffer, size_t count, off_t position) {
    return TornPwrite(fd, buffer, count, position);
}
