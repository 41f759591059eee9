#include "disc/ImageJournal.h"

#include "shell/ByteOrder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace qorlu {

namespace {

constexpr char kMagic[8] = {'Q', 'O', 'R', 'L', 'U', 'J', 'N', 'L'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kTrailerSize = 4;
// Larger raw sectors than this exist on no CD; a journal claiming one is damaged.
constexpr std::uint32_t kMaxRawSectorSize = 4096;

std::uint32_t Crc(std::uint32_t crc, const void* bytes, std::size_t count) {
    const auto* p = static_cast<const Bytef*>(bytes);
    while (count > 0) {
        const auto n = static_cast<uInt>(std::min<std::size_t>(count, 1u << 30));
        crc = static_cast<std::uint32_t>(crc32(crc, p, n));
        p += n;
        count -= n;
    }
    return crc;
}

// A file descriptor closed when it goes.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool ReadFully(int fd, void* buffer, std::size_t count, std::uint64_t position) {
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t n = ::pread(fd, p, count, static_cast<off_t>(position));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
        position += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool WriteFully(int fd, const void* buffer, std::size_t count, std::uint64_t position) {
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t n = ::pwrite(fd, p, count, static_cast<off_t>(position));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        count -= static_cast<std::size_t>(n);
        position += static_cast<std::uint64_t>(n);
    }
    return true;
}

// Flushes the folder that holds `path`, so that a file created or removed
// in it stays so after a power loss.
bool SyncFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Get() >= 0 && ::fsync(dir.Get()) == 0;
}

struct JournalHeader {
    std::uint32_t rawSectorSize = 0;
    std::uint64_t imageLength = 0;
    std::uint32_t sectorCount = 0;
};

// Checks the journal open on `fd` whole: layout, length and CRC.
JournalState Check(int fd, JournalHeader& header) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return JournalState::Unreadable;
    const auto length = static_cast<std::uint64_t>(st.st_size);
    std::uint8_t head[kHeaderSize];
    // Only a file that begins as a journal does (or is shorter than the magic
    // and agrees with it so far) is ever taken for one and deleted; anything
    // else under the journal's name is somebody's file and is left alone.
    const auto begun = static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof kMagic));
    if (!ReadFully(fd, head, begun, 0)) return JournalState::Unreadable;
    if (std::memcmp(head, kMagic, begun) != 0) return JournalState::Foreign;
    if (length < kHeaderSize + kTrailerSize || !ReadFully(fd, head, kHeaderSize, 0))
        return JournalState::Incomplete;
    if (ReadLE32(head + 8) != kVersion) return JournalState::Incomplete;
    header.rawSectorSize = ReadLE32(head + 12);
    header.imageLength = std::uint64_t{ReadLE32(head + 16)} | std::uint64_t{ReadLE32(head + 20)} << 32;
    header.sectorCount = ReadLE32(head + 24);
    if (header.rawSectorSize == 0 || header.rawSectorSize > kMaxRawSectorSize) return JournalState::Incomplete;
    const std::uint64_t expected =
        kHeaderSize + std::uint64_t{header.sectorCount} * (8 + header.rawSectorSize) + kTrailerSize;
    if (length != expected) return JournalState::Incomplete;

    std::uint32_t crc = Crc(0, head, kHeaderSize);
    std::vector<std::uint8_t> chunk(256 * 1024);
    std::uint64_t at = kHeaderSize;
    while (at < length - kTrailerSize) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - kTrailerSize - at));
        if (!ReadFully(fd, chunk.data(), n, at)) return JournalState::Unreadable;
        crc = Crc(crc, chunk.data(), n);
        at += n;
    }
    std::uint8_t stored[4];
    if (!ReadFully(fd, stored, 4, length - kTrailerSize)) return JournalState::Unreadable;
    return ReadLE32(stored) == crc ? JournalState::Complete : JournalState::Incomplete;
}

JournalState Inspect(const std::string& path, JournalHeader& header) {
    // A name with a NUL byte would reach the system cut short, naming
    // another file.
    if (path.find('\0') != std::string::npos) return JournalState::None;
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(path, ec);
    if (ec || !std::filesystem::exists(status)) return JournalState::None;
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return JournalState::Unreadable;
    return Check(fd.Get(), header);
}

} // namespace

JournalState InspectJournal(const std::string& imageFile) {
    JournalHeader header;
    return Inspect(JournalPathFor(imageFile), header);
}

RecoveryResult RecoverFromJournal(const std::string& imageFile) {
    const std::string path = JournalPathFor(imageFile);
    JournalHeader header;
    const JournalState state = Inspect(path, header);
    if (state == JournalState::None || state == JournalState::Foreign) return RecoveryResult::NothingToDo;
    if (state == JournalState::Incomplete) {
        // Written before the image was touched and never finished: the
        // image is as it was. A journal that cannot be deleted does no harm.
        ::unlink(path.c_str());
        return RecoveryResult::DiscardedIncomplete;
    }
    Fd image(::open(imageFile.c_str(), O_RDWR | O_CLOEXEC));
    if (image.Get() < 0 || state == JournalState::Unreadable) return RecoveryResult::ImageNotWritable;
    Fd journal(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (journal.Get() < 0) return RecoveryResult::ImageNotWritable;

    // The sectors back in place, then the image cut to its old length (which
    // also drops what the import may have appended to a short image).
    std::vector<std::uint8_t> sector(header.rawSectorSize);
    std::uint64_t at = kHeaderSize;
    for (std::uint32_t k = 0; k < header.sectorCount; ++k) {
        std::uint8_t number[8];
        if (!ReadFully(journal.Get(), number, 8, at) ||
            !ReadFully(journal.Get(), sector.data(), sector.size(), at + 8))
            return RecoveryResult::RestoreFailed;
        at += 8 + sector.size();
        const std::uint64_t n = std::uint64_t{ReadLE32(number)} | std::uint64_t{ReadLE32(number + 4)} << 32;
        // A sector that lay wholly past the old end is cut off below anyway.
        if (n >= UINT64_MAX / header.rawSectorSize || n * header.rawSectorSize >= header.imageLength) continue;
        if (!WriteFully(image.Get(), sector.data(), sector.size(), n * header.rawSectorSize))
            return RecoveryResult::RestoreFailed;
    }
    if (::ftruncate(image.Get(), static_cast<off_t>(header.imageLength)) != 0 || ::fsync(image.Get()) != 0 ||
        !image.Close())
        return RecoveryResult::RestoreFailed;
    journal.Close();
    if (::unlink(path.c_str()) != 0) return RecoveryResult::RestoreFailed;
    SyncFolderOf(path);
    return RecoveryResult::Restored;
}

CImageJournal::CImageJournal(std::string imageFile, std::uint32_t rawSectorSize, std::uint64_t imageLength)
    : m_path(JournalPathFor(imageFile)), m_rawSectorSize(rawSectorSize), m_imageLength(imageLength) {}

CImageJournal::~CImageJournal() {
    if (m_file != nullptr) std::fclose(static_cast<std::FILE*>(m_file));
}

void CImageJournal::AddRange(std::uint64_t position, std::uint64_t count) {
    if (count == 0 || m_rawSectorSize == 0) return;
    const std::uint64_t first = position / m_rawSectorSize;
    const std::uint64_t last = (position + count - 1) / m_rawSectorSize;
    for (std::uint64_t s = first; s <= last; ++s) m_sectors.push_back(s);
    std::sort(m_sectors.begin(), m_sectors.end());
    m_sectors.erase(std::unique(m_sectors.begin(), m_sectors.end()), m_sectors.end());
}

bool CImageJournal::Begin() {
    if (m_sectors.size() > UINT32_MAX) return false;
    m_sectorBuffer.assign(m_rawSectorSize, 0);
    // Created exclusively: a file of somebody else's under the journal's
    // name is never emptied; the import fails instead.
    if (m_path.find('\0') != std::string::npos) return false;
    m_file = std::fopen(m_path.c_str(), "wbx");
    if (m_file == nullptr) return false;
    m_ok = true;
    m_crc = 0;
    std::uint8_t head[kHeaderSize] = {};
    std::memcpy(head, kMagic, sizeof kMagic);
    WriteLE32(head + 8, kVersion);
    WriteLE32(head + 12, m_rawSectorSize);
    WriteLE32(head + 16, static_cast<std::uint32_t>(m_imageLength));
    WriteLE32(head + 20, static_cast<std::uint32_t>(m_imageLength >> 32));
    WriteLE32(head + 24, static_cast<std::uint32_t>(m_sectors.size()));
    if (!Append(head, sizeof head)) {
        Abandon();
        return false;
    }
    return true;
}

bool CImageJournal::Append(const void* bytes, std::size_t count) {
    m_crc = Crc(m_crc, bytes, count);
    m_ok = m_ok && std::fwrite(bytes, 1, count, static_cast<std::FILE*>(m_file)) == count;
    return m_ok;
}

bool CImageJournal::Finish() {
    std::uint8_t crc[4];
    WriteLE32(crc, m_crc);
    auto* file = static_cast<std::FILE*>(m_file);
    bool ok = Append(crc, 4) && std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    m_file = nullptr;
    ok = std::fclose(file) == 0 && ok;
    // The journal's name in its folder must reach the disk too, or a power
    // loss could leave a changed image without it.
    ok = ok && SyncFolderOf(m_path);
    if (!ok) ::unlink(m_path.c_str());
    return ok;
}

void CImageJournal::Abandon() {
    if (m_file != nullptr) std::fclose(static_cast<std::FILE*>(m_file));
    m_file = nullptr;
    ::unlink(m_path.c_str());
}

bool CImageJournal::Remove() { return ::unlink(m_path.c_str()) == 0; }

} // namespace qorlu
