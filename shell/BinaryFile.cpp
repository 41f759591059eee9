#include "shell/BinaryFile.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
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

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
    BinaryFile file;
    if (!file.Open(path, BinaryFile::Mode::Read)) return std::nullopt;
    const auto length = file.Length();
    if (!length || *length > SIZE_MAX) return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(*length));
    if (file.Read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
    return bytes;
}

bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    BinaryFile file;
    if (!file.Open(path, BinaryFile::Mode::Create)) return false;
    const bool wrote = file.Write(bytes.data(), bytes.size());
    return file.Close() && wrote;
}

bool ReplaceFileSafely(const std::string& path,
                       std::span<const std::span<const std::uint8_t>> parts) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    // Renaming over a link would turn the link into a copy and leave the file
    // it names as it was: follow it and replace that file.
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::canonical(target, ec);
        if (ec) return false;
    }
    const fs::file_status status = fs::status(target, ec);
    if (ec || !fs::is_regular_file(status)) return false;

    // A fresh name, created exclusively, so that no other file is ever emptied
    // and two rewrites of the same file cannot share a temporary.
    std::mt19937_64 random(std::random_device{}());
    fs::path temp;
    BinaryFile file;
    for (int attempt = 0; attempt < 16 && !file.IsOpen(); ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
        temp = target;
        temp += suffix;
        file.Open(temp.string(), BinaryFile::Mode::CreateNew);
    }
    if (!file.IsOpen()) return false;

    bool ok = true;
    for (const auto& part : parts) ok = ok && file.Write(part.data(), part.size());
    // On the device before the rename, so that a crash cannot leave the
    // container renamed to a file whose data never arrived.
    ok = ok && file.Sync();
    ok = file.Close() && ok;
    if (ok) {
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
    }
    return ok;
}

} // namespace qorlu
