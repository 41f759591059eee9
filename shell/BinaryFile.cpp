#include "shell/BinaryFile.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qorlu {

namespace {

int SeekTo(std::FILE* f, std::int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(f, offset, whence);
#else
    return fseeko(f, static_cast<off_t>(offset), whence);
#endif
}

std::int64_t Tell(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return static_cast<std::int64_t>(ftello(f));
#endif
}

} // namespace

BinaryFile::~BinaryFile() { Close(); }

bool BinaryFile::Open(const std::string& path, Mode mode) {
    Close();
    // The system would read such a name only up to its NUL byte: another file.
    if (path.find('\0') != std::string::npos) return false;
    const char* how = mode == Mode::Read        ? "rb"
                      : mode == Mode::ReadWrite ? "r+b"
                      : mode == Mode::CreateNew ? "wbx"
                                                : "wb";
    m_file = std::fopen(path.c_str(), how);
    m_failed = false;
    if (m_file == nullptr) return false;
    // Folders and other non-regular files open for reading on some
    // platforms; they are not files to us. (Opening one for writing fails.)
    std::error_code ec;
    if ((mode == Mode::Read || mode == Mode::ReadWrite) && !std::filesystem::is_regular_file(path, ec)) {
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    return true;
}

bool BinaryFile::Close() {
    if (m_file == nullptr) return true;
    const bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok && !m_failed;
}

bool BinaryFile::Seek(std::uint64_t position) {
    if (m_file == nullptr || position > static_cast<std::uint64_t>(INT64_MAX) ||
        SeekTo(m_file, static_cast<std::int64_t>(position), SEEK_SET) != 0) {
        m_failed = true;
        return false;
    }
    return true;
}

bool BinaryFile::SeekForward(std::uint64_t delta) {
    if (m_file == nullptr || delta > static_cast<std::uint64_t>(INT64_MAX) ||
        SeekTo(m_file, static_cast<std::int64_t>(delta), SEEK_CUR) != 0) {
        m_failed = true;
        return false;
    }
    return true;
}

std::optional<std::uint64_t> BinaryFile::Length() {
    if (m_file == nullptr) return std::nullopt;
    const std::int64_t here = Tell(m_file);
    if (here < 0 || SeekTo(m_file, 0, SEEK_END) != 0) return std::nullopt;
    const std::int64_t end = Tell(m_file);
    if (SeekTo(m_file, here, SEEK_SET) != 0 || end < 0) return std::nullopt;
    return static_cast<std::uint64_t>(end);
}

std::size_t BinaryFile::Read(void* buffer, std::size_t count) {
    if (m_file == nullptr || count == 0) return 0;
    return std::fread(buffer, 1, count, m_file);
}

bool BinaryFile::Write(const void* buffer, std::size_t count) {
    if (m_file == nullptr) {
        m_failed = true;
        return false;
    }
    if (count == 0) return true;
    if (std::fwrite(buffer, 1, count, m_file) != count) {
        m_failed = true;
        return false;
    }
    return true;
}

bool BinaryFile::Sync() {
    if (m_file == nullptr || std::fflush(m_file) != 0) {
        m_failed = true;
        return false;
    }
#ifdef _WIN32
    const bool synced = _commit(_fileno(m_file)) == 0;
#else
    const bool synced = fsync(fileno(m_file)) == 0;
#endif
    if (!synced) m_failed = true;
    return synced;
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
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::canonical(target, ec);
        if (ec) return {};
    }
    return target;
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// After the rename, the folder's entry is pushed to the device too, so that
// a power loss cannot bring the old name back. Its failure changes nothing
// about the outcome: the container already is the new file.
void SyncFolder(const std::filesystem::path& folder) {
#ifndef _WIN32
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
#else
    (void)folder;
#endif
}

// Gives the temporary the container's owner and group where the process may
// (as root, or when only the group differs and the user belongs to it).
void CopyOwner(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifndef _WIN32
    struct stat original {};
    struct stat fresh {};
    if (::stat(from.c_str(), &original) != 0 || ::stat(to.c_str(), &fresh) != 0) return;
    if (original.st_uid != fresh.st_uid || original.st_gid != fresh.st_gid) {
        (void)::chown(to.c_str(), original.st_uid, original.st_gid);
    }
#else
    (void)from;
    (void)to;
#endif
}

} // namespace

bool IsRewriteTemporary(std::string_view path) {
    const std::size_t tail = kRewriteMarker.size() + kRewriteSuffixDigits;
    // At least one character of the container's name before the marker.
    if (path.size() <= tail) return false;
    const std::string_view suffix = path.substr(path.size() - tail);
    if (suffix.substr(0, kRewriteMarker.size()) != kRewriteMarker) return false;
    for (char c : suffix.substr(kRewriteMarker.size())) {
        if (!IsLowerHex(c)) return false;
    }
    const char before = path[path.size() - tail - 1];
    return before != '/'
#ifdef _WIN32
           && before != '\\' && before != ':'
#endif
        ;
}

void RemoveLeftoverTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target = RewriteTarget(path);
    if (target.empty() || !target.has_filename()) return;
    const std::string prefix = target.filename().string() + std::string(kRewriteMarker);
    std::error_code ec;
    fs::directory_iterator it(FolderOf(target), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kRewriteSuffixDigits || name.compare(0, prefix.size(), prefix) != 0 ||
            !IsRewriteTemporary(name)) {
            continue;
        }
        std::error_code ignored;
        if (fs::is_regular_file(fs::symlink_status(it->path(), ignored))) fs::remove(it->path(), ignored);
    }
}

bool ReplaceFileSafely(const std::string& path, std::span<const std::span<const std::uint8_t>> parts,
                       ReplaceFailure* failure) {
    namespace fs = std::filesystem;
    auto fail = [failure](ReplaceFailure why) {
        if (failure) *failure = why;
        return false;
    };
    if (failure) *failure = ReplaceFailure::None;

    std::error_code ec;
    const fs::path target = RewriteTarget(path);
    if (target.empty() || IsRewriteTemporary(target.string())) return fail(ReplaceFailure::CannotOpen);
    const fs::file_status status = fs::status(target, ec);
    if (ec || !fs::is_regular_file(status)) return fail(ReplaceFailure::CannotOpen);
    // A container the user may not write stays as it is, even where the
    // folder would allow a rename over it.
    {
        BinaryFile probe;
        if (!probe.Open(target.string(), BinaryFile::Mode::ReadWrite)) return fail(ReplaceFailure::CannotOpen);
    }
    RemoveLeftoverTemporaries(target.string());

    // A fresh name, created exclusively, so that no other file is ever emptied
    // and two rewrites of the same file cannot share a temporary.
    std::mt19937_64 random(std::random_device{}());
    fs::path temp;
    BinaryFile file;
    for (int attempt = 0; attempt < 16 && !file.IsOpen(); ++attempt) {
        char digits[kRewriteSuffixDigits + 1];
        std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random()));
        temp = target;
        temp += std::string(kRewriteMarker) + digits;
        file.Open(temp.string(), BinaryFile::Mode::CreateNew);
    }
    if (!file.IsOpen()) return fail(ReplaceFailure::CannotOpen);

    bool ok = true;
    for (const auto& part : parts) ok = ok && file.Write(part.data(), part.size());
    // On the device before the rename, so that a crash cannot leave the
    // container renamed to a file whose data never arrived.
    ok = ok && file.Sync();
    ok = file.Close() && ok;
    if (ok) {
        // Owner first: a change of owner clears set-id bits that the
        // permissions then restore.
        CopyOwner(target, temp);
        fs::permissions(temp, status.permissions(), fs::perm_options::replace, ec);
        ok = !ec;
    }
    if (ok) {
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return fail(ReplaceFailure::WriteFailed);
    }
    SyncFolder(FolderOf(target));
    return true;
}

} // namespace qorlu
