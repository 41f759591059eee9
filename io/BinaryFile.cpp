#include "io/BinaryFile.h"
#include "io/NativePath.h"

#include <filesystem>
#include <new>

namespace qorlu {

BinaryFile::~BinaryFile() { Close(); }

bool BinaryFile::Open(const std::string& path, Mode mode) {
    Close();
    m_failed = false;
    m_position = 0;
    using M = FileHandle::Mode;
    const M how = mode == Mode::Read        ? M::Read
                  : mode == Mode::ReadWrite ? M::ReadWrite
                  : mode == Mode::CreateNew ? M::CreateNew
                                            : M::Create;
    return m_file.Open(path, how);
}

LockedOpen BinaryFile::OpenLocked(const std::string& path, Mode mode, LockKind kind) {
    Close();
    m_failed = false;
    m_position = 0;
    const auto how = mode == Mode::ReadWrite ? FileHandle::Mode::ReadWrite : FileHandle::Mode::Read;
    return qorlu::OpenLocked(m_file, path, how, kind);
}

bool BinaryFile::Close() {
    if (!m_file.IsOpen()) return true;
    const bool ok = m_file.Close();
    return ok && !m_failed;
}

bool BinaryFile::Seek(std::uint64_t position) {
    if (!m_file.IsOpen() || position > static_cast<std::uint64_t>(INT64_MAX)) {
        m_failed = true;
        return false;
    }
    m_position = position;
    return true;
}

bool BinaryFile::SeekForward(std::uint64_t delta) {
    if (!m_file.IsOpen() || delta > static_cast<std::uint64_t>(INT64_MAX) - m_position) {
        m_failed = true;
        return false;
    }
    m_position += delta;
    return true;
}

std::optional<std::uint64_t> BinaryFile::Length() { return m_file.Length(); }

std::size_t BinaryFile::Read(void* buffer, std::size_t count) {
    if (!m_file.IsOpen() || count == 0) return 0;
    const auto got = m_file.ReadAt(m_position, buffer, count);
    if (!got) return 0;
    m_position += *got;
    return *got;
}

bool BinaryFile::Write(const void* buffer, std::size_t count) {
    if (!m_file.IsOpen()) {
        m_failed = true;
        return false;
    }
    if (count == 0) return true;
    if (!m_file.WriteAt(m_position, buffer, count)) {
        m_failed = true;
        return false;
    }
    m_position += count;
    return true;
}

bool BinaryFile::Sync() {
    if (!m_file.IsOpen() || !m_file.Flush()) {
        m_failed = true;
        return false;
    }
    return true;
}

WholeFile LoadWholeFile(const std::string& path) {
    WholeFile result;
    BinaryFile file;
    if (!file.Open(path, BinaryFile::Mode::Read)) return result;
    const auto length = file.Length();
    if (!length) {
        result.status = WholeFileStatus::CannotRead;
        return result;
    }
    if (*length > SIZE_MAX || *length > result.bytes.max_size()) {
        result.status = WholeFileStatus::TooLarge;
        return result;
    }
    try {
        result.bytes.resize(static_cast<std::size_t>(*length));
    } catch (const std::bad_alloc&) {
        result.bytes = {};
        result.status = WholeFileStatus::TooLarge;
        return result;
    }
    if (file.Read(result.bytes.data(), result.bytes.size()) != result.bytes.size()) {
        result.bytes = {};
        result.status = WholeFileStatus::CannotRead;
        return result;
    }
    result.status = WholeFileStatus::Read;
    return result;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
    WholeFile file = LoadWholeFile(path);
    if (!file.Ok()) return std::nullopt;
    return std::move(file.bytes);
}

bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    BinaryFile file;
    if (!file.Open(path, BinaryFile::Mode::Create)) return false;
    const bool wrote = file.Write(bytes.data(), bytes.size());
    return file.Close() && wrote;
}

namespace {

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// The file a rewrite of `path` replaces: a symbolic link is followed, since
// renaming over the link would turn it into a copy and leave the file it
// names as it was. Empty when a link cannot be resolved.
std::filesystem::path RewriteTarget(const std::string& path) {
    if (KindOf(path, Links::Keep) != NameKind::Link) return PathFromUtf8(path);
    const auto resolved = CanonicalPath(path);
    return resolved ? PathFromUtf8(*resolved) : std::filesystem::path();
}

std::filesystem::path FolderPathOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// True when the last component of `path` is some name, `marker`, then
// exactly 16 lowercase hex digits.
bool HasMarkedSuffix(std::string_view path, std::string_view marker) {
    const std::size_t tail = marker.size() + kRewriteSuffixDigits;
    // At least one character of the container's name before the marker.
    if (path.size() <= tail) return false;
    const std::string_view suffix = path.substr(path.size() - tail);
    if (suffix.substr(0, marker.size()) != marker) return false;
    for (char c : suffix.substr(marker.size())) {
        if (!IsLowerHex(c)) return false;
    }
    const char before = path[path.size() - tail - 1];
    return before != '/'
#ifdef _WIN32
           && before != '\\' && before != ':'
#endif
        ;
}

// A container that a replacement moved aside (see ReplaceByRename) and
// whose new file never took its name: moved back, so that the container
// is the old one again. Under the aside file's exclusive lock, which the
// replacement holds until its second rename: a replacement under way is
// left alone.
void BringBackSetAside(const std::string& path) {
    namespace fs = std::filesystem;
    if (KindOf(path, Links::Keep) != NameKind::Missing) return;
    const fs::path container = PathFromUtf8(path);
    if (!container.has_filename()) return;
    const std::string prefix = Utf8FromPath(container.filename()) + std::string(kAsideMarker);
    const fs::path folder = FolderPathOf(container);
    for (const std::string& name : NamesInFolder(Utf8FromPath(folder)).value_or(std::vector<std::string>{})) {
        if (name.size() != prefix.size() + kRewriteSuffixDigits || name.compare(0, prefix.size(), prefix) != 0 ||
            !HasMarkedSuffix(name, kAsideMarker))
            continue;
        const std::string aside = Utf8FromPath(folder / PathFromUtf8(name));
        FileHandle old;
        if (!old.Open(aside, FileHandle::Mode::ReadWrite) || !old.TryLock(LockKind::Exclusive)) continue;
        if (RenameToFreeName(aside, path)) return;
    }
}

} // namespace

bool IsRewriteTemporary(std::string_view path) {
    return HasMarkedSuffix(path, kRewriteMarker) || HasMarkedSuffix(path, kAsideMarker);
}

void RemoveLeftoverTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target = RewriteTarget(path);
    if (target.empty() || !target.has_filename()) return;
    // A container set aside whose replacement took the name is as dead as
    // a temporary: the container exists, and is locked by the caller.
    const std::string temporary = Utf8FromPath(target.filename()) + std::string(kRewriteMarker);
    const std::string aside = Utf8FromPath(target.filename()) + std::string(kAsideMarker);
    const fs::path folder = FolderPathOf(target);
    for (const std::string& name : NamesInFolder(Utf8FromPath(folder)).value_or(std::vector<std::string>{})) {
        const bool leftoverName =
            (name.size() == temporary.size() + kRewriteSuffixDigits &&
             name.compare(0, temporary.size(), temporary) == 0) ||
            (name.size() == aside.size() + kRewriteSuffixDigits && name.compare(0, aside.size(), aside) == 0);
        if (!leftoverName || !IsRewriteTemporary(name)) continue;
        const std::string leftover = Utf8FromPath(folder / PathFromUtf8(name));
        if (KindOf(leftover, Links::Keep) == NameKind::File) (void)RemoveFile(leftover);
    }
}

bool ReplaceFileSafely(const std::string& path, std::span<const std::span<const std::uint8_t>> parts,
                       ReplaceFailure* failure) {
    SafeReplacement replacement;
    if (!replacement.Begin(path, SafeReplacement::Target::Existing, failure)) return false;
    for (const auto& part : parts) replacement.Write(part);
    return replacement.Commit(failure);
}

SafeReplacement::~SafeReplacement() { Abandon(); }

bool SafeReplacement::Begin(const std::string& path, Target target, ReplaceFailure* failure) {
    namespace fs = std::filesystem;
    Abandon();
    auto fail = [failure](ReplaceFailure why) {
        if (failure) *failure = why;
        return false;
    };
    if (failure) *failure = ReplaceFailure::None;
    m_failed = false;

    const fs::path resolved = RewriteTarget(path);
    if (resolved.empty() || IsRewriteTemporary(Utf8FromPath(resolved))) return fail(ReplaceFailure::CannotOpen);
    const NameKind kind = KindOf(Utf8FromPath(resolved), Links::Keep);
    m_targetExisted = kind != NameKind::Missing;
    if (m_targetExisted) {
        if (kind != NameKind::File) return fail(ReplaceFailure::CannotOpen);
        // A file the user may not write stays as it is, even where the
        // folder would allow a rename over it.
        BinaryFile probe;
        if (!probe.Open(Utf8FromPath(resolved), BinaryFile::Mode::ReadWrite)) return fail(ReplaceFailure::CannotOpen);
        probe.Close();
        RemoveLeftoverTemporaries(Utf8FromPath(resolved));
    } else if (target == Target::Existing) {
        return fail(ReplaceFailure::CannotOpen);
    }

    // A fresh name, created exclusively, so that no other file is ever emptied
    // and two rewrites of the same file cannot share a temporary.
    for (int attempt = 0; attempt < 16 && !m_file.IsOpen(); ++attempt) {
        fs::path temp = resolved;
        temp += std::string(kRewriteMarker) + UniqueNameDigits();
        if (m_file.Open(Utf8FromPath(temp), BinaryFile::Mode::CreateNew)) m_temporary = Utf8FromPath(temp);
    }
    if (!m_file.IsOpen()) return fail(ReplaceFailure::CannotOpen);
    m_target = Utf8FromPath(resolved);
    return true;
}

bool SafeReplacement::Write(std::span<const std::uint8_t> bytes) {
    if (m_temporary.empty() || m_failed) return false;
    m_failed = !m_file.Write(bytes.data(), bytes.size());
    return !m_failed;
}

bool SafeReplacement::Commit(ReplaceFailure* failure) {
    if (failure) *failure = ReplaceFailure::None;
    if (m_temporary.empty()) {
        if (failure) *failure = ReplaceFailure::CannotOpen;
        return false;
    }
    // On the device before the rename, so that a crash cannot leave the
    // file renamed to one whose data never arrived.
    bool ok = !m_failed && m_file.Sync();
    ok = m_file.Close() && ok;
    if (ok && m_targetExisted) ok = CopyFileTraits(m_target, m_temporary);
    // The rename also flushes the folder, so that a power loss cannot bring
    // the old name back.
    ok = ok && ReplaceByRename(m_temporary, m_target);
    if (!ok) {
        Abandon();
        if (failure) *failure = ReplaceFailure::WriteFailed;
        return false;
    }
    m_temporary.clear();
    return true;
}

void SafeReplacement::Abandon() {
    m_file.Close();
    if (m_temporary.empty()) return;
    (void)RemoveFile(m_temporary);
    m_temporary.clear();
}

LockedOpen ContainerLock::Take(const std::string& path, LockKind kind) {
    // An exclusive lock needs a handle that may write; a container that may
    // not be written is refused by its rewrite anyway.
    const auto mode = kind == LockKind::Exclusive ? FileHandle::Mode::ReadWrite : FileHandle::Mode::Read;
    BringBackSetAside(path);
    const LockedOpen opened = OpenLocked(m_file, path, mode, kind);
    if (opened == LockedOpen::Opened) RemoveLeftoverTemporaries(path);
    return opened;
}

} // namespace qorlu
