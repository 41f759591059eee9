// The file layer on Windows: wide-character handles, positional ReadFile
// and WriteFile through OVERLAPPED offsets, FlushFileBuffers, MoveFileExW,
// and LockFileEx locks.
//
// Windows locks are mandatory byte-range locks: a range that another handle
// has locked can be neither read nor written through any other handle. The
// tools' locks must only exclude each other, so they cover one byte far
// beyond the end of any real file (kLockOffset); the data itself is never
// inside a locked range.

#include "io/FileLayer.h"
#include "io/NativePath.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include <windows.h>

namespace qorlu {

namespace {

HANDLE Native(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

// ReadFile and WriteFile take a DWORD count; chunks of 1 GiB stay well inside it.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// 2^62: no disc image or container comes near it, and it still leaves the
// range inside the signed 64-bit offsets that file systems accept.
constexpr std::uint64_t kLockOffset = std::uint64_t{1} << 62;
constexpr DWORD kLockLength = 1;

// The lock a handle holds, kept beside the handle because LockFileEx locks
// stack (two shared locks on one range need two unlocks) where a POSIX lock
// is replaced.
enum : int { kNoLock = 0, kSharedLock = 1, kExclusiveLock = 2 };

OVERLAPPED At(std::uint64_t position) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(position >> 32);
    return o;
}

bool LockRange(HANDLE h, int kind) {
    OVERLAPPED o = At(kLockOffset);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
    if (kind == kExclusiveLock) flags |= LOCKFILE_EXCLUSIVE_LOCK;
    return LockFileEx(h, flags, 0, kLockLength, 0, &o) != 0;
}

void UnlockRange(HANDLE h) {
    OVERLAPPED o = At(kLockOffset);
    (void)UnlockFileEx(h, 0, kLockLength, 0, &o);
}

FileIdentity IdentityOfInfo(const BY_HANDLE_FILE_INFORMATION& info) {
    FileIdentity id;
    id.volume = info.dwVolumeSerialNumber;
    id.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.links = info.nNumberOfLinks;
    return id;
}

// Other programs may read, write, rename and delete the file while it is
// open here, as on POSIX; a rename over an open file then works where the
// file system allows it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : m_native(other.m_native), m_lock(other.m_lock) {
    other.m_native = kClosed;
    other.m_lock = kNoLock;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_native = other.m_native;
        m_lock = other.m_lock;
        other.m_native = kClosed;
        other.m_lock = kNoLock;
    }
    return *this;
}

bool FileHandle::Open(const std::string& path, Mode mode) {
    Close();
    if (HasNul(path)) return false;
    const std::wstring name = SystemPath(path);
    if (name.empty()) return false;
    DWORD access = 0;
    DWORD disposition = 0;
    switch (mode) {
    case Mode::Read:
        access = GENERIC_READ;
        disposition = OPEN_EXISTING;
        break;
    case Mode::ReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        break;
    case Mode::Create:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case Mode::CreateNew:
        access = GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    }
    // A read-only file is not written, even by a process whose rights
    // would let it open one for writing (Wine run as root does).
    if (mode == Mode::ReadWrite || mode == Mode::Create) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    }
    const HANDLE h = CreateFileW(name.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Devices ("NUL", "CON", a serial port) and pipes are not files to the
    // tools, whatever the mode; a folder does not open without
    // FILE_FLAG_BACKUP_SEMANTICS at all.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || GetFileInformationByHandle(h, &info) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        return false;
    }
    m_native = reinterpret_cast<std::intptr_t>(h);
    m_lock = kNoLock;
    return true;
}

bool FileHandle::Close() {
    if (!IsOpen()) return true;
    const HANDLE h = Native(m_native);
    // Closing a handle ends its locks too, but only when the system gets to
    // it; an explicit unlock frees the range for the next program at once.
    if (m_lock != kNoLock) UnlockRange(h);
    m_native = kClosed;
    m_lock = kNoLock;
    return CloseHandle(h) != 0;
}

std::optional<std::size_t> FileHandle::ReadAt(std::uint64_t position, void* buffer, std::size_t count) {
    if (!IsOpen() || position > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
    auto* p = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const auto n = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        OVERLAPPED o = At(position + done);
        DWORD got = 0;
        if (ReadFile(Native(m_native), p + done, n, &got, &o) == 0) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return std::nullopt;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::optional<std::size_t> FileHandle::ReadScatteredAt(std::uint64_t position,
                                                       std::span<const std::span<std::uint8_t>> pieces) {
    // Windows scatters only unbuffered page-sized reads: one read, then the
    // pieces are filled from it.
    std::size_t total = 0;
    for (const auto& piece : pieces) total += piece.size();
    std::vector<std::uint8_t> whole(total);
    const auto got = ReadAt(position, whole.data(), total);
    if (!got) return std::nullopt;
    std::size_t at = 0;
    for (const auto& piece : pieces) {
        if (at >= *got) break;
        const std::size_t n = std::min(piece.size(), *got - at);
        std::memcpy(piece.data(), whole.data() + at, n);
        at += n;
    }
    return got;
}

bool FileHandle::WriteAt(std::uint64_t position, const void* buffer, std::size_t count) {
    if (!IsOpen() || position > static_cast<std::uint64_t>(INT64_MAX) - count) return false;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const auto n = static_cast<DWORD>(std::min(count - done, kMaxTransfer));
        OVERLAPPED o = At(position + done);
        DWORD put = 0;
        if (WriteFile(Native(m_native), p + done, n, &put, &o) == 0 || put == 0) return false;
        done += put;
    }
    return true;
}

std::optional<std::uint64_t> FileHandle::Length() const {
    LARGE_INTEGER size{};
    if (!IsOpen() || GetFileSizeEx(Native(m_native), &size) == 0 || size.QuadPart < 0) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool FileHandle::Truncate(std::uint64_t length) {
    if (!IsOpen() || length > static_cast<std::uint64_t>(INT64_MAX)) return false;
    // The file pointer is used for nothing else: every transfer names its offset.
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    return SetFilePointerEx(Native(m_native), at, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(Native(m_native)) != 0;
}

bool FileHandle::Flush() { return IsOpen() && FlushFileBuffers(Native(m_native)) != 0; }

std::optional<FileIdentity> FileHandle::Identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsOpen() || GetFileInformationByHandle(Native(m_native), &info) == 0) return std::nullopt;
    return IdentityOfInfo(info);
}

bool FileHandle::TryLock(LockKind kind) {
    if (!IsOpen()) return false;
    const HANDLE h = Native(m_native);
    const int wanted = kind == LockKind::Shared ? kSharedLock : kExclusiveLock;
    if (m_lock == wanted) return true;
    const int held = m_lock;
    // A change of kind is an unlock and a new lock; when the new one is
    // refused the old one is taken again, as a refused POSIX change keeps it.
    if (held != kNoLock) UnlockRange(h);
    m_lock = kNoLock;
    if (LockRange(h, wanted)) {
        m_lock = wanted;
        return true;
    }
    if (held != kNoLock && LockRange(h, held)) m_lock = held;
    return false;
}

void FileHandle::Unlock() {
    if (!IsOpen() || m_lock == kNoLock) return;
    UnlockRange(Native(m_native));
    m_lock = kNoLock;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    if (HasNul(path)) return std::nullopt;
    const std::wstring name = SystemPath(path);
    if (name.empty()) return std::nullopt;
    // No access asked for: the identity of a file that is locked, or that
    // may not be read, is still known. Folders need the backup flag.
    const HANDLE h =
        CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok) return std::nullopt;
    return IdentityOfInfo(info);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const bool drive = path.size() >= 2 && path[1] == ':';
    if (slash == std::string::npos) return drive ? path.substr(0, 2) : ".";
    // The root of a drive, or of the current drive, keeps its separator.
    if (slash == 0) return path.substr(0, 1);
    if (drive && slash == 2) return path.substr(0, 3);
    return path.substr(0, slash);
}

// Windows has no call that flushes a folder's entries: a folder cannot be
// opened for FlushFileBuffers by a program without backup rights, and NTFS
// keeps its own journal of name changes. The renames that need to be on
// the device go through MOVEFILE_WRITE_THROUGH, which returns only once the
// rename has been flushed.
bool FlushFolder(const std::string& folder) { return !HasNul(folder); }

bool ReplaceByRename(const std::string& from, const std::string& to) {
    if (HasNul(from) || HasNul(to)) return false;
    const std::wstring source = SystemPath(from);
    const std::wstring target = SystemPath(to);
    if (source.empty() || target.empty()) return false;
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    // A file that is open (a rewrite keeps its lock on the old container
    // until the new one has its name) cannot be replaced, but it can be
    // renamed, since every handle here shares deletion: the old file steps
    // aside under a name of its own, the new one takes the name, and the old
    // one is deleted once its last handle closes. Whoever holds or waits for
    // its lock then finds that the name leads to another file and opens that
    // (OpenLocked). Should the program die between the two renames, the old
    // file is left under the aside name and the container's name is free:
    // the next open of the container moves it back (ContainerLock).
    std::wstring aside;
    bool movedAside = false;
    for (int attempt = 0; attempt < 16 && !movedAside; ++attempt) {
        aside = SystemPath(to + std::string(kAsideMarker) + UniqueNameDigits());
        if (aside.empty()) return false;
        movedAside = MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        const DWORD why = movedAside ? 0 : GetLastError();
        if (!movedAside && why != ERROR_ALREADY_EXISTS && why != ERROR_FILE_EXISTS) return false;
    }
    if (!movedAside) return false;
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) == 0) {
        (void)MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        return false;
    }
    (void)DeleteFileW(aside.c_str());
    return true;
}

std::string UniqueNameDigits() {
    static std::atomic<std::uint32_t> counter{0};
    static const std::uint32_t salt = std::random_device{}() ^ static_cast<std::uint32_t>(GetTickCount64());
    const std::uint64_t value =
        (std::uint64_t{GetCurrentProcessId()} << 32) | ((salt & 0xFFFF0000u) ^ counter.fetch_add(1));
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
    return digits;
}

bool RenameToFreeName(const std::string& from, const std::string& to) {
    const std::wstring source = HasNul(from) ? std::wstring() : SystemPath(from);
    const std::wstring target = HasNul(to) ? std::wstring() : SystemPath(to);
    return !source.empty() && !target.empty() &&
           MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool CopyFileTraits(const std::string& from, const std::string& to) {
    const std::wstring source = HasNul(from) ? std::wstring() : SystemPath(from);
    const std::wstring target = HasNul(to) ? std::wstring() : SystemPath(to);
    if (source.empty() || target.empty()) return false;
    // What a replace by the system keeps: the attributes and the creation
    // time. The times of the last write and access are the new file's own.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data) == 0) return false;
    const HANDLE h = CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool timed = SetFileTime(h, &data.ftCreationTime, nullptr, nullptr) != 0;
    CloseHandle(h);
    // Only the attributes a program may set (not compressed, encrypted, a
    // reparse point, ...).
    constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_TEMPORARY;
    const DWORD attributes = data.dwFileAttributes & kSettable;
    return timed && SetFileAttributesW(target.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool RemoveDurably(const std::string& path) {
    if (HasNul(path)) return false;
    const std::wstring name = SystemPath(path);
    if (name.empty()) return false;
    if (DeleteFileW(name.c_str()) != 0) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

namespace {

// The file a name leads to, opened for nothing but its attributes (links
// followed; folders need the backup flag).
HANDLE OpenForAttributes(const std::wstring& name) {
    return CreateFileW(name.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

NameKind KindOfAttributes(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return NameKind::Folder;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return NameKind::Other;
    return NameKind::File;
}

} // namespace

NameKind KindOf(const std::string& path, Links links) {
    const std::wstring name = HasNul(path) ? std::wstring() : SystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (name.empty() || GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) == 0) return NameKind::Missing;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return KindOfAttributes(data.dwFileAttributes);
    // A symbolic link, a junction: the name's own attributes are the link's.
    if (links == Links::Keep) return NameKind::Link;
    const HANDLE h = OpenForAttributes(name);
    if (h == INVALID_HANDLE_VALUE) return NameKind::Missing;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok ? KindOfAttributes(info.dwFileAttributes) : NameKind::Missing;
}

std::optional<std::string> CanonicalPath(const std::string& path) {
    const std::wstring name = HasNul(path) ? std::wstring() : SystemPath(path);
    if (name.empty()) return std::nullopt;
    const HANDLE h = OpenForAttributes(name);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::wstring resolved;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data) != 0 &&
        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link: the path of the file it leads to, as the system names it.
        const DWORD need = GetFinalPathNameByHandleW(h, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (need > 0) {
            resolved.assign(need, L'\0');
            const DWORD got =
                GetFinalPathNameByHandleW(h, resolved.data(), need, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            resolved.resize(got > 0 && got < need ? got : 0);
        }
    }
    CloseHandle(h);
    if (resolved.empty()) {
        // Otherwise the full path of the name as given, in its own letter case.
        const DWORD need = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
        if (need == 0) return std::nullopt;
        resolved.assign(need, L'\0');
        const DWORD got = GetFullPathNameW(name.c_str(), need, resolved.data(), nullptr);
        if (got == 0 || got >= need) return std::nullopt;
        resolved.resize(got);
    }
    return Utf8FromWide(PlainPath(resolved));
}

std::optional<std::uint64_t> FileSizeOf(const std::string& path) {
    const std::wstring name = HasNul(path) ? std::wstring() : SystemPath(path);
    if (name.empty()) return std::nullopt;
    const HANDLE h = OpenForAttributes(name);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    const bool ok = GetFileSizeEx(h, &size) != 0 && size.QuadPart >= 0;
    CloseHandle(h);
    if (!ok) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::vector<std::string>> NamesInFolder(const std::string& folder) {
    std::wstring pattern = HasNul(folder) ? std::wstring() : SystemPath(folder);
    if (pattern.empty()) return std::nullopt;
    // "C:" lists the drive's current folder, "C:\\" its root.
    if (pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
        return std::nullopt;
    }
    std::vector<std::string> names;
    do {
        const std::wstring_view n = found.cFileName;
        if (n != L"." && n != L"..") names.push_back(Utf8FromWide(n));
    } while (FindNextFileW(find, &found) != 0);
    FindClose(find);
    return names;
}

FolderMade MakeFolder(const std::string& path) {
    const std::wstring name = HasNul(path) ? std::wstring() : SystemPath(path);
    if (name.empty()) return FolderMade::Failed;
    if (CreateDirectoryW(name.c_str(), nullptr) != 0) return FolderMade::Made;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return FolderMade::Failed;
    return KindOf(path) == NameKind::Folder ? FolderMade::Existed : FolderMade::Failed;
}

bool MakeFolders(const std::string& path) {
    const NameKind kind = KindOf(path);
    if (kind != NameKind::Missing) return kind == NameKind::Folder;
    const std::string parent = FolderOf(path);
    if (parent == path) return false; // a root or a drive that is missing
    if (parent != "." && !MakeFolders(parent)) return false;
    return MakeFolder(path) != FolderMade::Failed;
}

std::optional<std::uint64_t> AvailableBytesIn(const std::string& folder) {
    std::wstring name = HasNul(folder) ? std::wstring() : SystemPath(folder);
    if (name.empty()) return std::nullopt;
    // The long form names a folder only with its separator at the end.
    if (name.back() != L'\\' && name.back() != L'/') name += L'\\';
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(name.c_str(), &available, nullptr, nullptr) == 0) return std::nullopt;
    return available.QuadPart;
}

bool RemoveFile(const std::string& path) {
    const std::wstring name = HasNul(path) ? std::wstring() : SystemPath(path);
    if (name.empty()) return false;
    if (DeleteFileW(name.c_str()) != 0) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace qorlu
