// The file layer on POSIX systems: descriptors, pread/pwrite, fsync, and
// open-file-description locks (flock where the kernel has none).

#include "io/FileLayer.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace qorlu {

namespace {

int Fd(std::intptr_t native) { return static_cast<int>(native); }

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

// Chunks no larger than this keep every count inside ssize_t everywhere.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

FileIdentity IdentityOfStat(const struct stat& st) {
    FileIdentity id;
    id.volume = static_cast<std::uint64_t>(st.st_dev);
    id.file = static_cast<std::uint64_t>(st.st_ino);
    id.links = static_cast<std::uint32_t>(st.st_nlink);
    return id;
}

enum class LockCall { Ofd, Flock };

// Open-file-description locks conflict between handles even inside one
// process and end with the handle, which is what the tools need. Kernels
// without them get flock, which has the same rules for whole files.
bool TryLockFd(int fd, short type) {
    static LockCall call = LockCall::Ofd;
#ifdef F_OFD_SETLK
    if (call == LockCall::Ofd) {
        struct flock lock {};
        lock.l_type = type;
        lock.l_whence = SEEK_SET; // l_start 0, l_len 0: the whole file, however long
        if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
        if (errno != EINVAL) return false;
        call = LockCall::Flock;
    }
#else
    call = LockCall::Flock;
#endif
    const int how = type == F_UNLCK ? LOCK_UN : type == F_RDLCK ? LOCK_SH : LOCK_EX;
    return ::flock(fd, how | LOCK_NB) == 0;
}

} // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : m_native(other.m_native) { other.m_native = kClosed; }

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_native = other.m_native;
        other.m_native = kClosed;
    }
    return *this;
}

bool FileHandle::Open(const std::string& path, Mode mode) {
    Close();
    if (HasNul(path)) return false;
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::Create:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case Mode::CreateNew:
        flags |= O_WRONLY | O_CREAT | O_EXCL;
        break;
    }
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    // Folders open for reading; they are not files to the tools.
    struct stat st {};
    if ((mode == Mode::Read || mode == Mode::ReadWrite) && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return false;
    }
    m_native = fd;
    return true;
}

bool FileHandle::Close() {
    if (!IsOpen()) return true;
    const int fd = Fd(m_native);
    m_native = kClosed;
    // A close interrupted by a signal has still closed the descriptor on Linux.
    return ::close(fd) == 0 || errno == EINTR;
}

std::optional<std::size_t> FileHandle::ReadAt(std::uint64_t position, void* buffer, std::size_t count) {
    if (!IsOpen() || position > static_cast<std::uint64_t>(LLONG_MAX)) return std::nullopt;
    auto* p = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t n = std::min(count - done, kMaxTransfer);
        const ssize_t got = ::pread(Fd(m_native), p + done, n, static_cast<off_t>(position + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::optional<std::size_t> FileHandle::ReadScatteredAt(std::uint64_t position,
                                                       std::span<const std::span<std::uint8_t>> pieces) {
    if (!IsOpen() || position > static_cast<std::uint64_t>(LLONG_MAX)) return std::nullopt;
    // A sector's user bytes and the gap to the next: at most IOV_MAX pieces
    // go to the system per call.
    std::vector<iovec> batch;
    std::size_t done = 0;
    std::size_t next = 0;     // first piece not wholly read
    std::size_t nextDone = 0; // bytes of it read already
    while (next < pieces.size()) {
        batch.clear();
        for (std::size_t i = next; i < pieces.size() && batch.size() < IOV_MAX; ++i) {
            const std::size_t skip = i == next ? nextDone : 0;
            if (pieces[i].size() > skip) batch.push_back({pieces[i].data() + skip, pieces[i].size() - skip});
        }
        if (batch.empty()) break;
        const ssize_t got =
            ::preadv(Fd(m_native), batch.data(), static_cast<int>(batch.size()), static_cast<off_t>(position + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
        for (std::size_t left = static_cast<std::size_t>(got); left > 0 && next < pieces.size();) {
            const std::size_t rest = pieces[next].size() - nextDone;
            if (left < rest) {
                nextDone += left;
                left = 0;
            } else {
                left -= rest;
                ++next;
                nextDone = 0;
            }
        }
    }
    return done;
}

bool FileHandle::WriteAt(std::uint64_t position, const void* buffer, std::size_t count) {
    if (!IsOpen() || position > static_cast<std::uint64_t>(LLONG_MAX) - count) return false;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t n = std::min(count - done, kMaxTransfer);
        const ssize_t put = ::pwrite(Fd(m_native), p + done, n, static_cast<off_t>(position + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::optional<std::uint64_t> FileHandle::Length() const {
    struct stat st {};
    if (!IsOpen() || ::fstat(Fd(m_native), &st) != 0 || st.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool FileHandle::Truncate(std::uint64_t length) {
    if (!IsOpen() || length > static_cast<std::uint64_t>(LLONG_MAX)) return false;
    int rc = -1;
    do {
        rc = ::ftruncate(Fd(m_native), static_cast<off_t>(length));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

bool FileHandle::Flush() {
    if (!IsOpen()) return false;
    int rc = -1;
    do {
        rc = ::fsync(Fd(m_native));
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

std::optional<FileIdentity> FileHandle::Identity() const {
    struct stat st {};
    if (!IsOpen() || ::fstat(Fd(m_native), &st) != 0) return std::nullopt;
    return IdentityOfStat(st);
}

bool FileHandle::TryLock(LockKind kind) {
    return IsOpen() && TryLockFd(Fd(m_native), kind == LockKind::Shared ? F_RDLCK : F_WRLCK);
}

void FileHandle::Unlock() {
    if (IsOpen()) (void)TryLockFd(Fd(m_native), F_UNLCK);
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (HasNul(path) || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return IdentityOfStat(st);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool FlushFolder(const std::string& folder) {
    if (HasNul(folder)) return false;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int rc = -1;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    ::close(fd);
    return rc == 0;
}

bool ReplaceByRename(const std::string& from, const std::string& to) {
    if (HasNul(from) || HasNul(to) || ::rename(from.c_str(), to.c_str()) != 0) return false;
    // The rename has happened; a folder that cannot be flushed leaves it to
    // the system's own time, and the replace still counts as done.
    (void)FlushFolder(FolderOf(to));
    return true;
}

bool RemoveDurably(const std::string& path) {
    if (HasNul(path)) return false;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return false;
    // As with a rename: once the name is gone that is the outcome, and a
    // folder that cannot be flushed is left to the system.
    (void)FlushFolder(FolderOf(path));
    return true;
}

// POSIX names have no length limit short of PATH_MAX: the folder calls are
// std::filesystem's.

namespace {

NameKind KindOfStatus(const std::filesystem::file_status& status) {
    namespace fs = std::filesystem;
    switch (status.type()) {
    case fs::file_type::regular:
        return NameKind::File;
    case fs::file_type::directory:
        return NameKind::Folder;
    case fs::file_type::symlink:
        return NameKind::Link;
    case fs::file_type::none:
    case fs::file_type::not_found:
        return NameKind::Missing;
    default:
        return NameKind::Other;
    }
}

} // namespace

NameKind KindOf(const std::string& path, Links links) {
    std::error_code ec;
    if (HasNul(path)) return NameKind::Missing;
    return KindOfStatus(links == Links::Keep ? std::filesystem::symlink_status(path, ec)
                                             : std::filesystem::status(path, ec));
}

std::optional<std::string> CanonicalPath(const std::string& path) {
    std::error_code ec;
    if (HasNul(path)) return std::nullopt;
    const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    if (ec) return std::nullopt;
    return resolved.native();
}

std::optional<std::uint64_t> FileSizeOf(const std::string& path) {
    std::error_code ec;
    if (HasNul(path)) return std::nullopt;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    return static_cast<std::uint64_t>(size);
}

std::optional<std::vector<std::string>> NamesInFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    if (HasNul(folder)) return std::nullopt;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    std::vector<std::string> names;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) names.push_back(it->path().filename().native());
    return names;
}

FolderMade MakeFolder(const std::string& path) {
    std::error_code ec;
    if (HasNul(path)) return FolderMade::Failed;
    if (std::filesystem::create_directory(path, ec)) return FolderMade::Made;
    return ec ? FolderMade::Failed : FolderMade::Existed;
}

bool MakeFolders(const std::string& path) {
    std::error_code ec;
    if (HasNul(path)) return false;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}

std::optional<std::uint64_t> AvailableBytesIn(const std::string& folder) {
    std::error_code ec;
    if (HasNul(folder)) return std::nullopt;
    const auto space = std::filesystem::space(folder, ec);
    if (ec) return std::nullopt;
    return static_cast<std::uint64_t>(space.available);
}

bool RemoveFile(const std::string& path) {
    std::error_code ec;
    if (HasNul(path)) return false;
    std::filesystem::remove(path, ec);
    return !ec;
}

std::string UniqueNameDigits() {
    static std::atomic<std::uint32_t> counter{0};
    static const std::uint32_t salt = std::random_device{}();
    const std::uint64_t value =
        (std::uint64_t{static_cast<std::uint32_t>(::getpid())} << 32) | ((salt & 0xFFFF0000u) ^ counter.fetch_add(1));
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
    return digits;
}

bool RenameToFreeName(const std::string& from, const std::string& to) {
    // A hard link fails when the name is taken; the old name then goes.
    if (HasNul(from) || HasNul(to) || ::link(from.c_str(), to.c_str()) != 0) return false;
    (void)::unlink(from.c_str());
    (void)FlushFolder(FolderOf(to));
    return true;
}

bool CopyFileTraits(const std::string& from, const std::string& to) {
    if (HasNul(from) || HasNul(to)) return false;
    struct stat original {};
    struct stat fresh {};
    if (::stat(from.c_str(), &original) != 0 || ::stat(to.c_str(), &fresh) != 0) return false;
    // Owner first, where the process may (as root, or when only the group
    // differs and the user belongs to it): a change of owner clears set-id
    // bits that the permissions then restore.
    if (original.st_uid != fresh.st_uid || original.st_gid != fresh.st_gid) {
        (void)::chown(to.c_str(), original.st_uid, original.st_gid);
    }
    std::error_code ec;
    std::filesystem::permissions(to, static_cast<std::filesystem::perms>(original.st_mode & 07777),
                                 std::filesystem::perm_options::replace, ec);
    return !ec;
}

} // namespace qorlu
