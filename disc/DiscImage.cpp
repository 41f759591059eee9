#include "disc/DiscImage.h"

#include "disc/CueSheet.h"
#include "disc/ImageJournal.h"
#include "disc/SectorChecksum.h"
#include "format/ByteReader.h"
#include "base/Text.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace qorlu {

static_assert(kRawGeometry.rawSectorSize == sector::kRawSize && kRawGeometry.headerSize == sector::kUserOffset &&
              kRawGeometry.rawSectorSize - kRawGeometry.headerSize - kRawGeometry.trailerSize == sector::kUserSize &&
              kPlainGeometry.rawSectorSize == sector::kUserSize);

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

bool CDiscImage::RefuseOpen(OpenFailure why, const Notice& notice) {
    m_file.Close();
    m_lastOpenFailure = why;
    m_messages.Show(notice);
    return false;
}

bool CDiscImage::RecoverInterruptedImport(bool holdsWriteLock) {
    const std::string journal = LocateJournal(ImageFile());
    const JournalState state = InspectJournalFile(journal);
    if (state == JournalState::None || state == JournalState::Foreign) return true;

    // Whoever holds a lock on the image sees no journal that a running import
    // is writing: imports hold the exclusive lock from before their journal
    // is made until after it is deleted. An unfinished journal is a dead
    // import's and goes under any lock; writing sectors back takes the
    // exclusive one, so that two programs never restore at once.
    RecoveryResult result = RecoveryResult::RestoreFailed;
    try {
        if (holdsWriteLock || state != JournalState::Complete) {
            result = RecoverFromJournal(journal, m_file.Handle());
        } else {
            // A read-only open writes the sectors back through a handle of its
            // own, which takes the exclusive lock in place of the shared one.
            FileHandle& shared = m_file.Handle();
            FileHandle writable;
            if (!writable.Open(ImageFile(), FileHandle::Mode::ReadWrite) || !writable.Identity() ||
                !shared.Identity() || !(*writable.Identity() == *shared.Identity())) {
                result = RecoveryResult::RestoreFailed;
            } else {
                shared.Unlock();
                const bool exclusive = LockWithin(writable, LockKind::Exclusive);
                if (exclusive) result = RecoverFromJournal(journal, writable);
                writable.Close();
                if (!exclusive || !LockWithin(shared, LockKind::Shared))
                    return RefuseOpen(OpenFailure::InUse,
                                      SystemNotice(ImageInUse(m_strImagePath), "ERROR", Outcome::Failure));
            }
        }
    } catch (const std::bad_alloc&) {
        // Without memory for its buffers the journal stays for a later open.
    }

    const std::string image = m_strImagePath;
    switch (result) {
    case RecoveryResult::NothingToDo:
    case RecoveryResult::DiscardedIncomplete:
        return true;
    case RecoveryResult::Restored:
        m_messages.Show(SystemNotice("An interrupted import was undone: " + image, "", Outcome::Warning));
        return true;
    case RecoveryResult::ImageChanged:
        return RefuseOpen(OpenFailure::Journal,
                          SystemNotice("An interrupted import can not be undone, the image was changed by another "
                                       "program after it:\n" +
                                           image + "\nIts journal is kept, and the image left as it is:\n" + journal,
                                       "ERROR", Outcome::Failure));
    case RecoveryResult::OtherFile:
        return RefuseOpen(OpenFailure::Journal,
                          SystemNotice("An interrupted import can not be undone, its journal was written for another "
                                       "file:\n" +
                                           journal + "\nThe image is left as it is:\n" + image,
                                       "ERROR", Outcome::Failure));
    case RecoveryResult::UnknownVersion:
        return RefuseOpen(OpenFailure::Journal,
                          SystemNotice("An interrupted import can not be undone, its journal comes from another "
                                       "version of qorlu:\n" +
                                           journal + "\nThe image is left as it is:\n" + image,
                                       "ERROR", Outcome::Failure));
    case RecoveryResult::Unreadable:
    case RecoveryResult::RestoreFailed:
        break;
    }
    return RefuseOpen(OpenFailure::Journal,
                      SystemNotice("An interrupted import can not be undone, the image can not be written:\n" + image +
                                       "\nIts old contents are kept in:\n" + journal,
                                   "ERROR", Outcome::Failure));
}

bool CDiscImage::OpenImage(OpenMode mode) {
    m_lastOpenFailure = OpenFailure::None;
    const bool write = mode == OpenMode::ReadWrite;
    const Notice cannotOpen = SystemNotice("Can not open ISO file!", "ERROR", Outcome::Failure);
    if (m_bInspectOnly && write) return RefuseOpen(OpenFailure::CannotOpen, cannotOpen);
    const LockedOpen opened =
        m_file.OpenLocked(ImageFile(), write ? BinaryFile::Mode::ReadWrite : BinaryFile::Mode::Read,
                          write ? LockKind::Exclusive : LockKind::Shared);
    if (opened == LockedOpen::InUse)
        return RefuseOpen(OpenFailure::InUse, SystemNotice(ImageInUse(m_strImagePath), "ERROR", Outcome::Failure));
    if (opened != LockedOpen::Opened) return RefuseOpen(OpenFailure::CannotOpen, cannotOpen);
    // An import that was cut off leaves its journal: the image is put back
    // before anything reads it.
    if (!m_bInspectOnly && !RecoverInterruptedImport(write)) return false;
    UseLayout(DetectLayout(m_file));
    return true;
}

CDiscImage::Layout CDiscImage::DetectLayout(BinaryFile& file) {
    const bool plain = BytesAt(file, kVolumeDescriptorSector * kPlainGeometry.rawSectorSize, kVolumeDescriptor,
                               sizeof kVolumeDescriptor);
    const bool raw = BytesAt(file, kVolumeDescriptorSector * sector::kRawSize + sector::kUserOffset, kVolumeDescriptor,
                             sizeof kVolumeDescriptor);
    if (plain != raw) return plain ? Layout::Plain : Layout::Raw;
    constexpr std::uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    if (BytesAt(file, 0, kSync, sizeof kSync)) return Layout::Raw;
    const auto length = file.Length();
    return length && *length % kPlainGeometry.rawSectorSize == 0 ? Layout::Plain : Layout::Raw;
}

CDiscImage::Layout CDiscImage::LayoutFromSyncPatterns(BinaryFile& file) {
    constexpr std::uint8_t kSync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    // Enough samples that a few damaged sectors cannot outvote the rest.
    constexpr std::uint64_t kSamples = 64;
    const auto length = file.Length();
    if (!length) return Layout::Raw;
    const std::uint64_t sectors = *length / sector::kRawSize;
    if (sectors == 0) return *length % kPlainGeometry.rawSectorSize == 0 ? Layout::Plain : Layout::Raw;
    const std::uint64_t samples = std::min(sectors, kSamples);
    std::uint64_t synced = 0;
    for (std::uint64_t i = 0; i < samples; ++i) {
        const std::uint64_t s = i * sectors / samples;
        if (BytesAt(file, s * sector::kRawSize, kSync, sizeof kSync)) ++synced;
    }
    // A plain image has the pattern at a 2352-byte stride by chance only.
    return synced * 8 >= samples ? Layout::Raw : Layout::Plain;
}

void CDiscImage::UseLayout(Layout layout) {
    const SectorGeometry& g = layout == Layout::Plain ? kPlainGeometry : kRawGeometry;
    m_nRawSectorSize = g.rawSectorSize;
    m_nSectorHeaderSize = g.headerSize;
    m_nSectorTrailerSize = g.trailerSize;
}

const char* CDiscImage::LayoutName(Layout layout) {
    return layout == Layout::Plain ? "plain 2048-byte sectors" : "raw 2352-byte sectors";
}

bool CDiscImage::CloseImage() { return m_file.Close(); }

std::uint64_t CDiscImage::ImagePosition(std::uint32_t dwOffset) const { return ImagePosition64(dwOffset); }

std::uint64_t CDiscImage::ImagePosition64(std::uint64_t offset) const {
    const std::uint32_t u = UserDataSize();
    return (static_cast<std::uint64_t>(m_nStartSector) + offset / u) * static_cast<std::uint64_t>(m_nRawSectorSize) +
           static_cast<std::uint64_t>(m_nSectorHeaderSize) + offset % u;
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
    // What lies between one sector's user bytes and the next's (its
    // checksums and the next one's header) is read into one throw-away gap.
    m_readGap.resize(static_cast<std::size_t>(raw - u));

    while (remaining > 0) {
        // m: user bytes of this run, counted from the run's first sector's user byte 0.
        const std::uint64_t m = std::min<std::uint64_t>(r + remaining, std::uint64_t{kReadRunSectors} * u);
        const std::uint64_t sectors = (m + u - 1) / u;
        // The run's user bytes go straight to `out`, sector by sector, in
        // one read of the raw bytes from the first wanted to the last.
        m_readPieces.clear();
        for (std::uint64_t j = 0; j < sectors; ++j) {
            const std::uint64_t first = std::max<std::uint64_t>(r, j * u);
            const std::uint64_t last = std::min<std::uint64_t>(m, (j + 1) * u);
            m_readPieces.emplace_back(out + (first - r), static_cast<std::size_t>(last - first));
            if (j + 1 < sectors && !m_readGap.empty()) m_readPieces.emplace_back(m_readGap);
        }
        std::size_t got = 0;
        if (m_file.IsOpen())
            got = m_file.Handle().ReadScatteredAt(sector * raw + m_nSectorHeaderSize + r, m_readPieces).value_or(0);
        // Past the image's end (or a failed read) the bytes are zeros.
        for (const auto& piece : m_readPieces) {
            const std::size_t have = std::min(piece.size(), got);
            got -= have;
            if (piece.data() == m_readGap.data() || have == piece.size()) continue;
            std::memset(piece.data() + have, 0, piece.size() - have);
            complete = false;
        }
        out += m - r;
        remaining -= m - r;
        sector += sectors;
        r = 0;
    }
    return complete;
}

bool CDiscImage::WriteAt(std::uint32_t dwOffset, const void* lpBuf, std::uint32_t nCount) {
    if (nCount == 0) return m_file.IsOpen();
    const ArchiveWrite write{dwOffset, static_cast<const std::uint8_t*>(lpBuf), nCount};
    SectorPlan plan;
    return PlanWrites(std::span<const ArchiveWrite>(&write, 1), plan) && ApplyPlan(plan);
}

bool CDiscImage::PlanWrites(std::span<const ArchiveWrite> writes, SectorPlan& plan) {
    // Each archive write becomes one image write per sector it reaches: the
    // user data between two sectors' trailers and headers is not contiguous.
    const std::uint32_t u = UserDataSize();
    std::vector<ImageWrite> pieces;
    for (const ArchiveWrite& w : writes) {
        std::uint64_t o = w.offset;
        const std::uint8_t* in = w.bytes;
        for (std::uint64_t left = w.count; left > 0;) {
            const auto len = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, u - o % u));
            pieces.push_back({ImagePosition64(o), in, len});
            in += len;
            o += len;
            left -= len;
        }
    }
    return PlanImageWrites(pieces, plan);
}

bool CDiscImage::PlanImageWrites(std::span<const ImageWrite> writes, SectorPlan& plan) {
    const std::uint64_t raw = static_cast<std::uint64_t>(m_nRawSectorSize);
    const auto length = m_file.Length();
    if (!length) return false;
    plan = {};
    plan.rawSectorSize = static_cast<std::uint32_t>(raw);
    for (const ImageWrite& w : writes) {
        if (w.count == 0) continue;
        if (w.position > UINT64_MAX - w.count) return false;
        const std::uint64_t last = w.position + w.count - 1;
        for (std::uint64_t s = w.position / raw; s <= last / raw; ++s) plan.sectors.push_back(s);
        plan.writeEnd = std::max(plan.writeEnd, last + 1);
    }
    std::sort(plan.sectors.begin(), plan.sectors.end());
    plan.sectors.erase(std::unique(plan.sectors.begin(), plan.sectors.end()), plan.sectors.end());
    const std::size_t k = plan.sectors.size();
    plan.before.assign(k * raw, 0);

    // Runs of consecutive sectors, each read at once. Past the end of the
    // file a sector reads as zero, as a write past the end would leave it;
    // a short read that is not the end of the file is a read error, and the
    // bytes it missed must not be written back as zeros.
    for (std::size_t i = 0; i < k;) {
        std::size_t j = i + 1;
        while (j < k && plan.sectors[j] == plan.sectors[j - 1] + 1 && j - i < kReadRunSectors) ++j;
        const std::uint64_t at = plan.sectors[i] * raw;
        const std::size_t want = static_cast<std::size_t>((j - i) * raw);
        std::size_t got = 0;
        if (m_file.Seek(at)) got = m_file.Read(plan.before.data() + i * raw, want);
        if (got<want&& * length> at + got) return false;
        i = j;
    }
    plan.after = plan.before;

    // Later writes over earlier ones, in the order given. A sector whose
    // checksum bytes a write sets carries the writer's own checksums.
    const bool checksummed =
        raw == sector::kRawSize && m_nSectorHeaderSize == static_cast<std::int32_t>(sector::kUserOffset);
    std::vector<bool> checksumsWritten(k, false);
    for (const ImageWrite& w : writes) {
        std::uint64_t at = w.position;
        const std::uint8_t* in = w.bytes;
        for (std::uint64_t left = w.count; left > 0;) {
            const std::uint64_t s = at / raw;
            const std::uint64_t r = at % raw;
            const std::uint64_t len = std::min<std::uint64_t>(left, raw - r);
            const auto i = static_cast<std::size_t>(std::lower_bound(plan.sectors.begin(), plan.sectors.end(), s) -
                                                    plan.sectors.begin());
            std::memcpy(plan.after.data() + i * raw + r, in, static_cast<std::size_t>(len));
            if (checksummed && r + len > sector::kEdcOffset) checksumsWritten[i] = true;
            in += len;
            at += len;
            left -= len;
        }
    }

    // A raw sector keeps valid checksums when it had them: a whole Mode 2
    // Form 1 sector with a matching, nonzero error-detection code that is
    // still Mode 2 Form 1 after the change, and whose checksum bytes the
    // change leaves to it. Every other sector keeps the bytes it is given.
    if (!checksummed) return true;
    for (std::size_t i = 0; i < k; ++i) {
        const std::uint8_t* old = plan.before.data() + i * raw;
        std::uint8_t* now = plan.after.data() + i * raw;
        const bool whole = (plan.sectors[i] + 1) * raw <= *length;
        if (whole && !checksumsWritten[i] && sector::IsMode2Form1(old) &&
            CByteReader(std::span<const std::uint8_t>(old, raw)).LE32(sector::kEdcOffset).value_or(0) != 0 &&
            sector::EdcMatches(old) && sector::IsMode2Form1(now))
            sector::EncodeForm1(now);
    }
    return true;
}

bool CDiscImage::ApplyPlan(const SectorPlan& plan) {
    const std::uint64_t raw = plan.rawSectorSize;
    const auto length = m_file.Length();
    if (!length || raw == 0) return false;
    // Sectors are written whole, except where the image ends within one: a
    // change writes no further than the image's end or its own last byte.
    const std::uint64_t limit = std::max(*length, plan.writeEnd);
    const std::size_t k = plan.sectors.size();
    for (std::size_t i = 0; i < k;) {
        std::size_t j = i + 1;
        while (j < k && plan.sectors[j] == plan.sectors[j - 1] + 1 && j - i < kReadRunSectors) ++j;
        const std::uint64_t from = plan.sectors[i] * raw;
        const std::uint64_t to = std::min(plan.sectors[j - 1] * raw + raw, limit);
        if (to > from &&
            (!m_file.Seek(from) || !m_file.Write(plan.after.data() + i * raw, static_cast<std::size_t>(to - from))))
            return false;
        i = j;
    }
    return true;
}

CDiscImage::JournaledWrite CDiscImage::WriteJournaled(const SectorPlan& plan) {
    // The old contents go to the journal, and reach the disk, before the
    // image changes; the journal goes before the lock is given up, so that
    // no other program ever sees a finished change's journal.
    const auto imageLength = m_file.Length();
    const auto identity = m_file.Handle().Identity();
    if (!imageLength || !identity || plan.writeEnd > *imageLength) return JournaledWrite::NotStarted;
    CImageJournal journal(JournalPathFor(ResolvedImageFile(ImageFile())), *imageLength, *identity);
    if (!journal.Write(plan)) return JournaledWrite::NotStarted;
    bool written = ApplyPlan(plan) && m_file.Sync();
    // A journal left behind would undo this change at the next open, so one
    // that cannot be deleted makes the change a failure.
    written = written && journal.Remove();
    if (written) return JournaledWrite::Written;
    // A failed change is undone at once from the journal; should that fail
    // too, the journal stays and the next open of the image undoes it.
    (void)RecoverFromJournal(journal.Path(), m_file.Handle());
    return JournaledWrite::Failed;
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
        const std::uint64_t at =
            static_cast<std::uint64_t>(kFirstDirectorySector + k) * m_nRawSectorSize + m_nSectorHeaderSize;
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
        m_messages.Show(
            SystemNotice("file not found in the ISO!\nThis is not a QORLU ISO file!", "ERROR", Outcome::Failure));
        m_bLocated = false;
        return false;
    }
    // The record's two fields, before the name (m >= kRecordReach).
    const std::size_t m = static_cast<std::size_t>(hit - area.begin());
    const CByteReader record(std::span<const std::uint8_t>(area).subspan(m - kRecordReach));
    m_nStartSector = record.U8(0).value_or(0) * 256 + record.U8(1).value_or(0);
    m_nArchiveSize = record.LE32(2).value_or(0);
    if (m_nArchiveSize != kExpectedArchiveSize) {
        m_messages.Show(SystemNotice(
            "Size of filedtata.afs mismatch.\nThis is not a QORLU ISO File.\nMaybe it is MIRTA or DELSO ISO.", "ERROR",
            Outcome::Warning));
    }
    m_bLocated = true;
    return true;
}

} // namespace qorlu
