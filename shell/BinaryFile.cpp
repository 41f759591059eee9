#include "shell/BinaryFile.h"

#include <filesystem>
#include <system_error>

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
    const char* how = mode == Mode::Read ? "rb" : mode == Mode::ReadWrite ? "r+b" : "wb";
    m_file = std::fopen(path.c_str(), how);
    m_failed = false;
    if (m_file == nullptr) return false;
    // Folders and other non-regular files open on some platforms; they are not files to us.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
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
    const fs::path target(path);
    const auto permissions = fs::status(target, ec).permissions();
    if (ec) return false;

    fs::path temp = target;
    temp += ".qorlu-tmp";
    {
        BinaryFile file;
        if (!file.Open(temp.string(), BinaryFile::Mode::Create)) return false;
        bool wrote = true;
        for (const auto& part : parts) wrote = wrote && file.Write(part.data(), part.size());
        if (!file.Close() || !wrote) {
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::permissions(temp, permissions, fs::perm_options::replace, ec);
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace qorlu
