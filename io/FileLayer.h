#pragma once
// The one place where the tools meet the operating system's files for work
// that must survive a crash or another program: positional reads and
// writes, flushing a file and its folder, replacing a file by a rename,
// deleting durably, a file's identity, and advisory locks.
//
// Names are UTF-8 inside the program and are handed to the system as the
// user gave them; on Windows a name whose full path is too long for the
// plain form goes as that full path in its long form (see SystemPath in
// io/NativePath.h), whatever call it is for. Positions and lengths are
// 64-bit everywhere.
//
// One implementation per platform: FileLayerPosix.cpp here, a Win32 one
// behind the same declarations.
//
// Locks are advisory and belong to the open file (an open file description
// on POSIX), not to the process: two handles on one file conflict even in
// one process, and a lock ends when its handle is closed. Shared locks go
// with reading, an exclusive one with changing the file.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qorlu {

// Which file a name leads to, whatever name was used (a symbolic link, a
// hard link, a cue sheet's FILE line).
struct FileIdentity {
    std::uint64_t volume = 0; // the device or volume that holds it
    std::uint64_t file = 0;   // its number on that volume
    std::uint32_t links = 1;  // names it has in folders (not part of the identity)

    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.volume == b.volume && a.file == b.file;
    }
};

enum class LockKind { Shared, Exclusive };

class FileHandle {
public:
    enum class Mode {
        Read,      // existing regular file, read only
        ReadWrite, // existing regular file, never created or truncated
        Create,    // created anew; an existing file is emptied
        CreateNew, // created; fails when the name exists
    };

    FileHandle() = default;
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;

    // False when the file cannot be opened so, or (Read, ReadWrite) is not a
    // regular file. A name with a NUL byte is refused: the system would read
    // it only up to that byte, which names another file.
    bool Open(const std::string& path, Mode mode);
    // False when the system reported an error on closing.
    bool Close();
    bool IsOpen() const { return m_native != kClosed; }

    // Up to `count` bytes at `position`; fewer only at the end of the file.
    // Nothing on a read error.
    std::optional<std::size_t> ReadAt(std::uint64_t position, void* buffer, std::size_t count);
    // The bytes from `position` on, laid into `pieces` one after another, as
    // one read would lay them into one buffer; the count read, fewer only at
    // the end of the file. Nothing on a read error.
    std::optional<std::size_t> ReadScatteredAt(std::uint64_t position, std::span<const std::span<std::uint8_t>> pieces);
    // All `count` bytes at `position`, or false.
    bool WriteAt(std::uint64_t position, const void* buffer, std::size_t count);
    std::optional<std::uint64_t> Length() const;
    bool Truncate(std::uint64_t length);
    // The file's data and size on the storage device.
    bool Flush();
    std::optional<FileIdentity> Identity() const;

    // Takes or changes this handle's lock without waiting; false when another
    // handle holds a lock that conflicts. An exclusive lock needs a handle
    // open for writing.
    bool TryLock(LockKind kind);
    void Unlock();

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_native = kClosed; // a descriptor, or a HANDLE on Windows
#ifdef _WIN32
    int m_lock = 0; // the lock this handle holds: LockFileEx locks stack, POSIX ones are replaced
#endif
};

// The identity of the file `path` leads to (links followed).
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Flushes a folder's entries (names created, renamed or removed in it).
// Where the platform has no such operation this succeeds.
bool FlushFolder(const std::string& folder);
// The folder that holds `path`, or "." for a bare name.
std::string FolderOf(const std::string& path);

// Renames `from` over `to` (replacing it in one step), then flushes the
// folder of `to`. Where the system refuses to replace a file that is open
// (Windows), the old file first steps aside under
// "<to>.qorlu-aside-<16 hex digits>" and is deleted once the new one has
// the name; a crash in between leaves no file named `to`, and the next
// ContainerLock of `to` (io/BinaryFile.h) moves the old one back.
bool ReplaceByRename(const std::string& from, const std::string& to);

inline constexpr std::string_view kAsideMarker = ".qorlu-aside-";

// 16 lowercase hex digits for a temporary name beside a file: never the
// same twice in one process (a counter), and not another live process's
// (its id), nor, but by chance, a dead one's of the same id (a random part).
std::string UniqueNameDigits();

// Renames `from` to `to` only when nothing has the name `to`, then flushes
// the folder of `to`.
bool RenameToFreeName(const std::string& from, const std::string& to);

// Gives the file `to` what the file `from` has besides its bytes: on POSIX
// its permissions (and, where the process may, its owner and group); on
// Windows its attributes (hidden, archive, ...) and its creation time.
bool CopyFileTraits(const std::string& from, const std::string& to);

// Deletes `path` and flushes its folder, so that a power loss cannot bring
// it back. True once the name is gone (also when it was not there).
bool RemoveDurably(const std::string& path);

// Names in folders: what a name is, a folder's names, making folders, free
// space. The tools ask these of the file layer, not of std::filesystem,
// whose Windows calls take no long names.

enum class NameKind { Missing, File, Folder, Link, Other };
enum class Links { Follow, Keep };

// What `path` names. With Links::Keep a symbolic link is a Link (also one
// that leads nowhere); with Links::Follow it is what it leads to. Missing
// also when the system cannot tell.
NameKind KindOf(const std::string& path, Links links = Links::Follow);
// The full path of the file `path` leads to: "." and ".." resolved, a
// symbolic link followed. Nothing when there is no such file.
std::optional<std::string> CanonicalPath(const std::string& path);
// The size of the file `path` leads to.
std::optional<std::uint64_t> FileSizeOf(const std::string& path);
// The names in the folder `folder`, without "." and ".."; nothing when it
// cannot be listed.
std::optional<std::vector<std::string>> NamesInFolder(const std::string& folder);

enum class FolderMade { Made, Existed, Failed };
// Makes the folder `path` in an existing folder; Existed when a folder of
// that name was there already.
FolderMade MakeFolder(const std::string& path);
// Makes `path` and every missing folder above it; true when it is a folder.
bool MakeFolders(const std::string& path);
// Bytes this user may still write on the volume that holds `folder`.
std::optional<std::uint64_t> AvailableBytesIn(const std::string& folder);
// Removes the file `path` (not flushed: see RemoveDurably); true once the
// name is gone.
bool RemoveFile(const std::string& path);

// How long a program waits for a lock that another program holds before it
// gives up: long enough for another tool's short write, short enough for a
// user waiting at a window.
inline constexpr std::chrono::milliseconds kLockWait{3000};

// TryLock, again every few milliseconds until `wait` has passed.
bool LockWithin(FileHandle& file, LockKind kind, std::chrono::milliseconds wait = kLockWait);

enum class LockedOpen { Opened, CannotOpen, InUse };

// Opens `path` and locks it. Once the lock is held the name must still lead
// to the file that was locked; a file replaced by a rename meanwhile (as a
// rewrite does) is opened and locked again.
LockedOpen OpenLocked(FileHandle& file, const std::string& path, FileHandle::Mode mode, LockKind kind,
                      std::chrono::milliseconds wait = kLockWait);

// The message for a file that another program keeps locked.
inline std::string InUseByAnotherProgram(const std::string& path) {
    return "The file is in use by another program:\n" + path + "\nNothing was changed.";
}

} // namespace qorlu
