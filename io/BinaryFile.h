#pragma once
// A random-access binary file with 64-bit positions, and whole-file helpers.
// Paths are used exactly as the user gave them. Each read or write is one
// positional transfer at the current position (see io/FileLayer.h);
// nothing is buffered in between.

#include "io/FileLayer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qorlu {

class BinaryFile {
public:
    enum class Mode {
        Read,      // existing file, read only
        ReadWrite, // existing file, read and write, never created or truncated
        Create,    // created anew for writing; an existing file is emptied
        CreateNew, // created for writing; fails when the path already exists
    };

    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    bool Open(const std::string& path, Mode mode);
    // Open, then a lock of `kind` on the file (see OpenLocked in
    // io/FileLayer.h). Read and ReadWrite only.
    LockedOpen OpenLocked(const std::string& path, Mode mode, LockKind kind);
    // Closes the file; false when buffered data could not be written.
    bool Close();
    bool IsOpen() const { return m_file.IsOpen(); }

    bool Seek(std::uint64_t position);
    bool SeekForward(std::uint64_t delta);
    std::optional<std::uint64_t> Length();

    // Reads up to `count` bytes; returns how many arrived (fewer at the end).
    std::size_t Read(void* buffer, std::size_t count);
    // Writes all bytes; false on any failure (the failure also sticks, see Failed).
    bool Write(const void* buffer, std::size_t count);
    // Pushes everything written so far down to the storage device.
    bool Sync();
    // True once any seek or write has failed since Open.
    bool Failed() const { return m_failed; }
    // The open file itself: its locks and identity.
    FileHandle& Handle() { return m_file; }

private:
    FileHandle m_file;
    std::uint64_t m_position = 0;
    bool m_failed = false;
};

// What reading a file whole came to. TooLarge: the file is larger than this
// process can hold in memory (its length does not fit a size_t, or the
// allocation failed).
enum class WholeFileStatus { Read, CannotOpen, CannotRead, TooLarge };

struct WholeFile {
    WholeFileStatus status = WholeFileStatus::CannotOpen;
    std::vector<std::uint8_t> bytes; // empty unless status is Read
    bool Ok() const { return status == WholeFileStatus::Read; }
};

// The whole file and how reading it went. Never throws: a file too large for
// memory is TooLarge, not std::bad_alloc.
WholeFile LoadWholeFile(const std::string& path);

// The whole file, or nothing when it cannot be opened, read completely, or
// held in memory.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path);

// Creates `path` anew with exactly `bytes`; false when it cannot be created
// or written completely.
bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// Rewriting a container safely.
//
// The new contents go to a temporary file in the container's own folder,
// named
//
//     <container file name>.qorlu-rewrite-<16 lowercase hex digits>
//
// e.g. "STAGE01.BIN.qorlu-rewrite-3f9c0a7b12d4e865". The file is flushed to
// the device, given the container's permissions (and, where allowed, its
// owner) and renamed over the container, so the container is at every
// moment either the old file or the complete new one. A run killed before
// the rename leaves the temporary behind; every later run on the same
// container removes such leftovers first (RemoveLeftoverTemporaries), and no
// operation ever takes a file of that name for a container
// (IsRewriteTemporary). The marker and the exact count of hex digits make a
// clash with a user's own file name practically impossible.
inline constexpr std::string_view kRewriteMarker = ".qorlu-rewrite-";
inline constexpr std::size_t kRewriteSuffixDigits = 16;

// True when the last component of `path` has the temporary's form (or that
// of a container set aside, kAsideMarker in io/FileLayer.h): some name,
// the marker, then exactly 16 lowercase hex digits and nothing more.
bool IsRewriteTemporary(std::string_view path);

// Removes the temporaries that earlier rewrites of `path` left behind, and
// old containers set aside whose replacement took the name (next to the
// file a symbolic link names, when `path` is one). Errors are
// ignored: a leftover that cannot be removed stays harmless.
void RemoveLeftoverTemporaries(const std::string& path);

enum class ReplaceFailure {
    None,
    CannotOpen,  // not an existing regular file that may be written, or no
                 // temporary could be created next to it
    WriteFailed, // the temporary could not be written, flushed or renamed
};

// Replaces `path` with the concatenation of `parts` through a temporary, as
// described above. When `path` is a symbolic link the file it points to is
// replaced, not the link. On failure `path` is left as it was, the temporary
// is removed, `*failure` (when given) says which step failed, and false is
// returned.
bool ReplaceFileSafely(const std::string& path, std::span<const std::span<const std::uint8_t>> parts,
                       ReplaceFailure* failure = nullptr);

// ReplaceFileSafely for contents made piece by piece, too large to hold in
// memory at once: Begin makes the temporary, Write appends to it, Commit
// flushes it, gives it the file's permissions and renames it over the file.
// Until Commit succeeds `path` is as it was; a replacement that is given up
// (Abandon, a failed step, or destruction) removes its temporary. With
// Target::ExistingOrNew a missing `path` is created by the rename, with the
// permissions a new file gets; leftover temporaries are removed only when
// `path` exists (the callers hold its lock then).
class SafeReplacement {
public:
    enum class Target { Existing, ExistingOrNew };

    SafeReplacement() = default;
    ~SafeReplacement();
    SafeReplacement(const SafeReplacement&) = delete;
    SafeReplacement& operator=(const SafeReplacement&) = delete;

    bool Begin(const std::string& path, Target target, ReplaceFailure* failure = nullptr);
    // Appends `bytes` to the temporary; false (and the failure sticks) when
    // they could not be written.
    bool Write(std::span<const std::uint8_t> bytes);
    bool Commit(ReplaceFailure* failure = nullptr);
    void Abandon();

private:
    std::string m_target;    // the file replaced (a symbolic link followed)
    std::string m_temporary; // empty when no replacement is under way
    bool m_targetExisted = false;
    BinaryFile m_file;
    bool m_failed = false;
};

// A lock on a container for the length of one operation: shared while it
// is read for an export, exclusive from before it is read until its rewrite
// has replaced it, so that two rewrites of one container run one after the
// other, each on what the other left. Leftover temporaries are removed only
// under such a lock: a rewrite that is running holds the exclusive one, so
// whatever temporary is found then is a dead run's.
class ContainerLock {
public:
    // Moves back a container that a replacement cut off between its two
    // renames set aside (see ReplaceByRename), locks the file `path` leads
    // to (waiting a few seconds for another program's lock), then removes
    // leftover temporaries of it.
    LockedOpen Take(const std::string& path, LockKind kind);

private:
    FileHandle m_file;
};

} // namespace qorlu
