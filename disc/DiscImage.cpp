#include "disc/DiscImage.h"

#include "disc/CueSheet.h"
#include "disc/SectorChecksum.h"
#include "shell/ByteOrder.h"
#include "shell/Text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qorlu {

namespace {

// Raw sectors read at once by ReadAt: large enough for sequential speed,
// small enough to keep memory flat (256 x 2352 bytes).
constexpr std::uint32_t kReadRunSectors = 256;

// The ISO 9660 primary volume descriptor's first bytes, in logical sector 16.
constexpr std::uint8_t kVolumeDescriptor[6] = {1, 'C', 'D', '0', '0', '1'};
constexpr std::uint64_t kVolumeDescriptorSector = 16;

bool BytesAt(BinaryFile& file, std::uint64_t position, const std::uint8_t* want, std::size_t size) {
    std::uint8_t got[16] = {};
    return file.Seek(position) && file.Read(got, size) == size && std::memcmp(got, want, size) == 0;
}

} // namespace

CDiscImage::CDiscImage(IMessageSink& messages) : m_messages(messages) {}

CDiscImage::~CDiscImage() { CloseImage(); }

bool CDiscImage::OpenImage(OpenMode mode) {
    const auto how = mode == OpenMode::ReadOnly ? BinaryFile::Mode::Read : BinaryFile::Mode::ReadWrite;
    if ((m_bInspectOnly && mode != OpenMode::ReadOnly) || !m_file.Open(ImageFile(), how)) {
        m_messages.Show(SystemNotice("Can not open ISO file!", "ERROR", Outcome::Failure));
        return false;
    }
    UseLayout(DetectLayout(m_file));
    return true;
}

CDiscImage::Layout CDiscImage::DetectLayout(BinaryFile& file) {
    const bool plain = BytesAt(file, kVolumeDescriptorSector * 2048, kVolumeDescriptor, sizeof kVolumeDescriptor);
    const bool raw =
        BytesAt(file, kVolumeDescriptorSector * sector::kRawSize + sector::kUserOffset, kVolumeDescriptor,
                sizeof kVolumeDescriptor);
    if (plain != raw) return plain ? Layout::Plain : Layout::Raw;
    constexpr std::uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    if (BytesAt(file, 0, kSync, sizeof kSync)) return Layout::Raw;
    const auto length = file.Length();
    return length && *length % 2048 == 0 ? Layout::Plain : Layout::Raw;
}

void CDiscImage::UseLayout(Layout layout) {
    m_nRawSectorSize = layout == Layout::Plain ? 2048 : 2352;
    m_nSectorHeaderSize = layout == Layout::Plain ? 0 : 24;
    m_nSectorTrailerSize = layout == Layout::Plain ? 0 : 280;
}

const char* CDiscImage::LayoutName(Layout layout) {
    return layout == Layout::Plain ? "plain 2048-byte sectors" : "raw 2352-byte sectors";
}

bool CDiscImage::CloseImage() { return m_file.Close(); }

std::uint64_t CDiscImage::ImagePosition(std::uint32_t dwOffset) const {
    const std::uint32_t u = UserDataSize();
    return (static_cast<std::uint64_t>(m_nStartSector) + dwOffset / u) *
               static_cast<std::uint64_t>(m_nRawSectorSize) +
           static_cast<std::uint64_t>(m_nSectorHeaderSize) + dwOffset % u;
}

std::uint64_t CDiscImage::ArchiveBytesInImage() {
    const auto length = m_file.Length();
    if (!length) return 0;
    const std::uint64_t start = static_cast<std::uint64_t>(m_nStartSector) * m_nRawSectorSize;
    if (*length <= start) return 0;
    const std::uint64_t raw = *length - start;
    const std::uint64_t whole = raw / m_nRawSectorSize;
    const std::uint64_t rest = raw % m_nRawSectorSize;
    std::uint64_t partial = 0;
    if (rest > static_cast<std::uint64_t>(m_nSectorHeaderSize))
        partial = std::min<std::uint64_t>(rest - m_nSectorHeaderSize, UserDataSize());
    return whole * UserDataSize() + partial;
}

bool CDiscImage::ReadAt(std::uint32_t dwOffset, void* lpBuf, std::uint32_t nCount) {
    const std::uint32_t u = UserDataSize();
    const std::uint64_t raw = static_cast<std::uint64_t>(m_nRawSectorSize);
    auto* out = static_cast<std::uint8_t*>(lpBuf);
    std::uint64_t sector = static_cast<std::uint64_t>(m_nStartSector) + dwOffset / u;
    std::uint32_t r = dwOffset % u; // first user byte wanted in `sector`
    std::uint64_t remaining = nCount;
    bool complete = true;
    if (m_rawScratch.size() < kReadRunSectors * raw) m_rawScratch.resize(kReadRunSectors * raw);

    while (remaining > 0) {
        // m: user bytes of this run, counted from the run's first sector's user byte 0.
        const std::uint64_t m = std::min<std::uint64_t>(r + remaining, std::uint64_t{kReadRunSectors} * u);
        const std::uint64_t sectors = (m + u - 1) / u;
        // From the first wanted byte to the last one, headers and trailers in between.
        const std::uint64_t span = ((m - 1) / u) * raw + (m - 1) % u + 1 - r;
        std::size_t got = 0;
        if (m_file.Seek(sector * raw + m_nSectorHeaderSize + r))
            got = m_file.Read(m_rawScratch.data(), static_cast<std::size_t>(span));
        for (std::uint64_t j = 0; j < sectors; ++j) {
            const std::uint64_t first = std::max<std::uint64_t>(r, j * u);
            const std::uint64_t last = std::min<std::uint64_t>(m, (j + 1) * u);
            const std::uint64_t at = j * raw + (first - j * u) - r;
            const std::uint64_t len = last - first;
            const std::uint64_t have = got > at ? std::min<std::uint64_t>(len, got - at) : 0;
            if (have > 0) std::memcpy(out, m_rawScratch.data() + at, static_cast<std::size_t>(have));
            if (have < len) {
                std::memset(out + have, 0, static_cast<std::size_t>(len - have));
                complete = false;
            }
            out += len;
        }
        remaining -= m - r;
        sector += sectors;
        r = 0;
    }
    return complete;
}

bool CDiscImage::WriteAt(std::uint32_t dwOffset, const void* lpBuf, std::uint32_t nCount) {
    const auto* in = static_cast<const std::uint8_t*>(lpBuf);
    if (m_nRawSectorSize == static_cast<std::int32_t>(sector::kRawSize) &&
        m_nSectorHeaderSize == static_cast<std::int32_t>(sector::kUserOffset) && nCount > 0)
        return WriteRawSectors(dwOffset, in, nCount);

    const std::uint32_t u = UserDataSize();
    std::uint32_t r = dwOffset % u;
    std::uint64_t position = ImagePosition(dwOffset);
    std::uint32_t remaining = nCount;
    bool ok = m_file.Seek(position);
    if (m_nSectorHeaderSize + m_nSectorTrailerSize == 0) return ok && m_file.Write(in, nCount);
    // Each transfer stays inside one sector's user data; between two, the
    // trailer of one sector and the header of the next are stepped over.
    while (ok && remaining > 0) {
        const std::uint32_t chunk = std::min(remaining, u - r);
        ok = m_file.Write(in, chunk);
        in += chunk;
        remaining -= chunk;
        position += chunk + static_cast<std::uint64_t>(m_nSectorHeaderSize + m_nSectorTrailerSize);
        r = 0;
        if (ok && remaining > 0) ok = m_file.Seek(position);
    }
    return ok;
}

bool CDiscImage::WriteRawSectors(std::uint32_t dwOffset, const std::uint8_t* in, std::uint32_t nCount) {
    constexpr std::uint64_t raw = sector::kRawSize;
    constexpr std::uint32_t u = sector::kUserSize;
    if (m_rawScratch.size() < kReadRunSectors * raw) m_rawScratch.resize(kReadRunSectors * raw);
    std::uint64_t first = static_cast<std::uint64_t>(m_nStartSector) + dwOffset / u;
    std::uint32_t r = dwOffset % u; // first user byte written in sector `first`
    std::uint64_t remaining = nCount;
    // Runs of whole sectors: each is read once, changed in memory and written
    // back once, so its header and trailer bytes go back as they came.
    while (remaining > 0) {
        const std::uint64_t sectors = std::min<std::uint64_t>((r + remaining + u - 1) / u, kReadRunSectors);
        std::uint8_t* run = m_rawScratch.data();
        std::size_t got = 0;
        if (!m_file.Seek(first * raw)) return false;
        got = m_file.Read(run, static_cast<std::size_t>(sectors * raw));
        // A short read that is not the end of the file is a read error: the
        // bytes it missed must not be written back as zeros.
        if (got < sectors * raw) {
            const auto length = m_file.Length();
            if (!length || *length > first * raw + got) return false;
        }
        // Past the end of the file the sector reads as zero, as a seek past
        // the end and a write would leave it.
        std::memset(run + got, 0, static_cast<std::size_t>(sectors * raw - got));
        std::uint64_t end = got; // bytes of the run to write back
        for (std::uint64_t j = 0; j < sectors && remaining > 0; ++j) {
            std::uint8_t* s = run + j * raw;
            const bool whole = got >= (j + 1) * raw;
            const bool refresh = whole && sector::IsMode2Form1(s) && ReadLE32(s + sector::kEdcOffset) != 0 &&
                                 sector::EdcMatches(s);
            const std::uint32_t len = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, u - r));
            std::memcpy(s + sector::kUserOffset + r, in, len);
            if (refresh) sector::EncodeForm1(s);
            end = std::max<std::uint64_t>(end, j * raw + sector::kUserOffset + r + len);
            in += len;
            remaining -= len;
            r = 0;
        }
        if (!m_file.Seek(first * raw) || !m_file.Write(run, static_cast<std::size_t>(end))) return false;
        first += sectors;
    }
    return true;
}

bool CDiscImage::LocateArchive(const std::string& lpszImagePath, const std::string& lpszName) {
    m_strImagePath = lpszImagePath;
    m_strImageFile.clear();
    m_strArchiveName = ToUpperAscii(lpszName);
    if (IsCueSheetPath(lpszImagePath)) {
        std::string problem;
        const auto data = DataFileOfCueSheet(lpszImagePath, problem);
        if (!data) {
            m_messages.Show(SystemNotice(problem, "ERROR", Outcome::Failure));
            m_bLocated = false;
            return false;
        }
        m_strImageFile = *data;
    }
    if (!OpenImage(OpenMode::ReadOnly)) return false;

    const std::uint32_t u = UserDataSize();
    std::vector<std::uint8_t> area(static_cast<std::size_t>(kDirectorySectorCount) * u, 0);
    for (std::uint32_t k = 0; k < kDirectorySectorCount; ++k) {
        const std::uint64_t at = static_cast<std::uint64_t>(kFirstDirectorySector + k) * m_nRawSectorSize +
                                 m_nSectorHeaderSize;
        // A short image leaves the rest of the area zero.
        if (m_file.Seek(at)) m_file.Read(area.data() + std::size_t{k} * u, u);
    }
    CloseImage();

    // The record's fields lie 25 bytes before the name; a match closer to the
    // start of the area has no record in it and the search goes on past it.
    constexpr std::size_t kRecordReach = 25;
    const std::string& name = m_strArchiveName;
    const auto begin = area.begin() + std::min(kRecordReach, area.size());
    const auto hit = name.empty() ? area.end() : std::search(begin, area.end(), name.begin(), name.end());
    if (hit == area.end()) {
        m_messages.Show(SystemNotice("file not found in the ISO!\nThis is not a QORLU ISO file!", "ERROR",
                                     Outcome::Failure));
        m_bLocated = false;
        return false;
    }
    const std::size_t m = static_cast<std::size_t>(hit - area.begin());
    m_nStartSector = area[m - 25] * 256 + area[m - 24];
    m_nArchiveSize = ReadLE32(&area[m - 23]);
    if (m_nArchiveSize != kExpectedArchiveSize) {
        m_messages.Show(SystemNotice(
            "Size of filedtata.afs mismatch.\nThis is not a QORLU ISO File.\nMaybe it is MIRTA or DELSO ISO.",
            "ERROR", Outcome::Warning));
    }
    m_bLocated = true;
    return true;
}

} // namespace qorlu
