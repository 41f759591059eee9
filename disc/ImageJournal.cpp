#include "disc/ImageJournal.h"
#include "io/NativePath.h"

#include "format/ByteReader.h"
#include "format/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include <zlib.h>

namespace qorlu {

namespace {

constexpr char kMagic[8] = {'Q', 'O', 'R', 'L', 'U', 'J', 'N', 'L'};
constexpr std::uint32_t kVersion = 3;
constexpr std::uint32_t kBlockSize = 512;
constexpr std::size_t kHeaderSizeV1 = 32;
constexpr std::size_t kHeaderSize = 48;
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

bool ReadExactly(FileHandle& file, std::uint64_t position, void* buffer, std::size_t count) {
    const auto got = file.ReadAt(position, buffer, count);
    return got && *got == count;
}

// The most blocks of `blockSize` bytes that one sector of `rawSectorSize`
// bytes can reach, wherever in the file it starts.
std::size_t BlocksPerSector(std::uint32_t rawSectorSize, std::uint32_t blockSize) {
    return (std::size_t{rawSectorSize} + 2 * (std::size_t{blockSize} - 1)) / blockSize;
}

struct Header {
    std::uint32_t version = 0;
    std::uint32_t rawSectorSize = 0;
    std::uint64_t imageLength = 0;
    std::uint32_t sectorCount = 0;
    std::uint32_t blockSize = 0; // version 3
    FileIdentity image;

    std::size_t HeaderBytes() const { return version == 1 ? kHeaderSizeV1 : kHeaderSize; }
    // The CRCs of new bytes in a record: one per block (version 3), one of the
    // whole sector (version 2), none (version 1).
    std::size_t CrcCount() const {
        if (version == 1) return 0;
        return version == 2 ? 1 : BlocksPerSector(rawSectorSize, blockSize);
    }
    std::size_t RecordBytes() const { return 8 + 4 * CrcCount() + std::size_t{rawSectorSize}; }
};

// Checks the journal open in `file` whole: layout, length and CRC.
JournalState Check(FileHandle& file, Header& header) {
    const auto length = file.Length();
    if (!length) return JournalState::Unreadable;
    std::uint8_t head[kHeaderSize] = {};
    // Only a file that begins as a journal does (or is shorter than the magic
    // and agrees with it so far) is ever taken for one and deleted; anything
    // else under the journal's name is somebody's file and is left alone.
    const auto begun = static_cast<std::size_t>(std::min<std::uint64_t>(*length, sizeof kMagic));
    if (!ReadExactly(file, 0, head, begun)) return JournalState::Unreadable;
    if (std::memcmp(head, kMagic, begun) != 0) return JournalState::Foreign;
    if (*length < 12) return JournalState::Incomplete;
    if (!ReadExactly(file, 0, head, 12)) return JournalState::Unreadable;
    const CByteReader fields(head);
    header.version = fields.LE32(8).value_or(0);
    // A journal of a later release may hold an import that only that release
    // knows how to undo: it is neither applied nor thrown away.
    if (header.version < 1 || header.version > kVersion) return JournalState::UnknownVersion;
    if (*length < header.HeaderBytes() + kTrailerSize || !ReadExactly(file, 0, head, header.HeaderBytes()))
        return JournalState::Incomplete;
    header.rawSectorSize = fields.LE32(12).value_or(0);
    header.imageLength = fields.LE64(16).value_or(0);
    header.sectorCount = fields.LE32(24).value_or(0);
    if (header.version >= 2) {
        header.image.volume = fields.LE64(32).value_or(0);
        header.image.file = fields.LE64(40).value_or(0);
    }
    if (header.version >= 3) {
        header.blockSize = fields.LE32(28).value_or(0);
        if (header.blockSize != kBlockSize) return JournalState::Incomplete;
    }
    if (header.rawSectorSize == 0 || header.rawSectorSize > kMaxRawSectorSize) return JournalState::Incomplete;
    const std::uint64_t expected =
        header.HeaderBytes() + std::uint64_t{header.sectorCount} * header.RecordBytes() + kTrailerSize;
    if (*length != expected) return JournalState::Incomplete;

    std::uint32_t crc = Crc(0, head, header.HeaderBytes());
    std::vector<std::uint8_t> chunk(256 * 1024);
    std::uint64_t at = header.HeaderBytes();
    while (at < *length - kTrailerSize) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), *length - kTrailerSize - at));
        if (!ReadExactly(file, at, chunk.data(), n)) return JournalState::Unreadable;
        crc = Crc(crc, chunk.data(), n);
        at += n;
    }
    std::uint8_t stored[4];
    if (!ReadExactly(file, *length - kTrailerSize, stored, 4)) return JournalState::Unreadable;
    return CByteReader(stored).LE32(0) == crc ? JournalState::Complete : JournalState::Incomplete;
}

bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

bool Exists(const std::string& path) { return KindOf(path, Links::Keep) != NameKind::Missing; }

JournalState Inspect(const std::string& path, Header& header) {
    if (!Exists(path)) return JournalState::None;
    FileHandle file;
    if (!file.Open(path, FileHandle::Mode::Read)) return JournalState::Unreadable;
    return Check(file, header);
}

// One record of a journal: where the sector lies, what it held, and the
// CRCs of what the import left there.
struct Record {
    std::uint64_t sector = 0;
    std::vector<std::uint32_t> newCrcs;
    std::vector<std::uint8_t> old;
};

bool ReadRecord(FileHandle& journal, const Header& header, std::uint32_t k, Record& record) {
    const std::uint64_t at = header.HeaderBytes() + std::uint64_t{k} * header.RecordBytes();
    const std::size_t headBytes = 8 + 4 * header.CrcCount();
    std::vector<std::uint8_t> head(headBytes);
    record.old.resize(header.rawSectorSize);
    if (!ReadExactly(journal, at, head.data(), headBytes) ||
        !ReadExactly(journal, at + headBytes, record.old.data(), record.old.size()))
        return false;
    const CByteReader fields(head);
    record.sector = fields.LE64(0).value_or(0);
    record.newCrcs.resize(header.CrcCount());
    for (std::size_t i = 0; i < record.newCrcs.size(); ++i) record.newCrcs[i] = fields.LE32(8 + 4 * i).value_or(0);
    return true;
}

// The pieces [begin, end) of a sector's bytes, counted from the sector's
// start, that lie in one block of the file each, in file order.
template <typename Visit>
void ForEachBlockPiece(std::uint64_t sector, std::uint32_t rawSectorSize, std::uint32_t blockSize, Visit visit) {
    const std::uint64_t start = sector * rawSectorSize;
    std::size_t begin = 0;
    while (begin < rawSectorSize) {
        const std::uint64_t at = start + begin;
        const auto end =
            static_cast<std::size_t>(std::min<std::uint64_t>(rawSectorSize, begin + (blockSize - at % blockSize)));
        visit(begin, end);
        begin = end;
    }
}

// The sector as the image holds it now, zero beyond its end.
bool ReadSector(FileHandle& image, std::uint64_t sector, std::vector<std::uint8_t>& bytes) {
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (sector >= UINT64_MAX / bytes.size()) return true;
    return image.ReadAt(sector * bytes.size(), bytes.data(), bytes.size()).has_value();
}

// Writes the old bytes of one sector back, not past the old end of the image.
bool RestoreSector(FileHandle& image, const Header& header, const Record& record) {
    const std::uint64_t start = record.sector * header.rawSectorSize;
    if (record.sector >= UINT64_MAX / header.rawSectorSize || start >= header.imageLength) return true;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(header.rawSectorSize, header.imageLength - start));
    return image.WriteAt(start, record.old.data(), n);
}

RecoveryResult RestoreVersion1(FileHandle& journal, FileHandle& image, const Header& header) {
    // Earlier releases wrote no new-sector CRCs: their journals are applied as
    // those releases did, then the image is cut to its recorded length.
    Record record;
    for (std::uint32_t k = 0; k < header.sectorCount; ++k) {
        if (!ReadRecord(journal, header, k, record) || !RestoreSector(image, header, record))
            return RecoveryResult::RestoreFailed;
    }
    if (!image.Truncate(header.imageLength)) return RecoveryResult::RestoreFailed;
    return RecoveryResult::Restored;
}

// Whether every piece of `now` holds either the old bytes or bytes with the
// recorded CRC: version 3 by blocks, version 2 by whole sectors.
bool OldOrNewThroughout(const Header& header, const Record& record, const std::vector<std::uint8_t>& now) {
    if (header.version == 2) return now == record.old || Crc(0, now.data(), now.size()) == record.newCrcs[0];
    bool fits = true;
    std::size_t piece = 0;
    ForEachBlockPiece(record.sector, header.rawSectorSize, header.blockSize, [&](std::size_t begin, std::size_t end) {
        const bool old = std::equal(now.begin() + begin, now.begin() + end, record.old.begin() + begin);
        fits = fits && piece < record.newCrcs.size() &&
               (old || Crc(0, now.data() + begin, end - begin) == record.newCrcs[piece]);
        ++piece;
    });
    return fits;
}

// What the journal would do to the image, and which of its records hold
// sectors the import reached (the ones to write back).
struct Verdict {
    RecoveryResult result = RecoveryResult::RestoreFailed;
    std::vector<std::uint32_t> toRestore;
};

Verdict Assess(FileHandle& journal, FileHandle& image, const Header& header) {
    Verdict verdict;
    const auto length = image.Length();
    if (!length) return verdict;
    const auto identity = image.Identity();
    const bool sameFile = identity && *identity == header.image;
    // Version 2 journals go only to the file they were written for.
    if (header.version == 2 && !sameFile) {
        verdict.result = identity ? RecoveryResult::OtherFile : RecoveryResult::RestoreFailed;
        return verdict;
    }
    if (*length != header.imageLength) {
        verdict.result = RecoveryResult::ImageChanged;
        return verdict;
    }
    Record record;
    std::vector<std::uint8_t> now(header.rawSectorSize);
    bool fits = true;
    for (std::uint32_t k = 0; k < header.sectorCount; ++k) {
        if (!ReadRecord(journal, header, k, record) || !ReadSector(image, record.sector, now)) return verdict;
        if (now == record.old) continue;
        fits = fits && OldOrNewThroughout(header, record, now);
        verdict.toRestore.push_back(k);
    }
    if (fits || (header.version >= 3 && sameFile))
        verdict.result = RecoveryResult::Restored;
    else
        verdict.result = header.version == 2 ? RecoveryResult::ImageChanged : RecoveryResult::OtherFile;
    return verdict;
}

RecoveryResult Restore(FileHandle& journal, FileHandle& image, const Header& header) {
    if (header.version == 1) return RestoreVersion1(journal, image, header);
    // First every sector is checked, then the ones the import reached are
    // written back: a journal that does not fit the image changes nothing.
    const Verdict verdict = Assess(journal, image, header);
    if (verdict.result != RecoveryResult::Restored) return verdict.result;
    Record record;
    for (const std::uint32_t k : verdict.toRestore) {
        if (!ReadRecord(journal, header, k, record) || !RestoreSector(image, header, record))
            return RecoveryResult::RestoreFailed;
    }
    return RecoveryResult::Restored;
}

// What a recovery comes to for a journal that is not played back.
RecoveryResult ResultWithoutPlayback(JournalState state) {
    switch (state) {
    case JournalState::Incomplete:
        return RecoveryResult::DiscardedIncomplete;
    case JournalState::Unreadable:
        return RecoveryResult::Unreadable;
    case JournalState::UnknownVersion:
        return RecoveryResult::UnknownVersion;
    default:
        return RecoveryResult::NothingToDo;
    }
}

} // namespace

std::string ResolvedImageFile(const std::string& path) {
    if (HasNul(path)) return path;
    return CanonicalPath(path).value_or(path);
}

std::string LocateJournal(const std::string& imageFile) {
    const std::string resolved = ResolvedImageFile(imageFile);
    const std::string own = JournalPathFor(resolved);
    if (HasNul(imageFile) || Exists(own)) return own;
    const auto identity = IdentityOf(resolved);
    if (!identity || identity->links <= 1) return own;
    // A hard link in the same folder: an import through that name left its
    // journal under that name, for this very file.
    const std::string suffix = kJournalSuffix;
    const std::filesystem::path folder = PathFromUtf8(resolved).parent_path();
    const std::string listed = folder.empty() ? std::string(".") : Utf8FromPath(folder);
    for (const std::string& inFolder : NamesInFolder(listed).value_or(std::vector<std::string>{})) {
        const std::string name = Utf8FromPath(PathFromUtf8(listed) / PathFromUtf8(inFolder));
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        Header header;
        if (Inspect(name, header) == JournalState::Complete && header.version >= 2 && header.image == *identity)
            return name;
    }
    return own;
}

JournalState InspectJournalFile(const std::string& journalPath) {
    Header header;
    return Inspect(journalPath, header);
}

RecoveryResult RecoverFromJournal(const std::string& journalPath, FileHandle& image) {
    Header header;
    const JournalState state = Inspect(journalPath, header);
    if (state == JournalState::Incomplete) {
        // Written before the image was touched and never finished (its writer
        // held the lock that the caller holds now): the image is as it was.
        (void)RemoveDurably(journalPath);
    }
    if (state != JournalState::Complete) return ResultWithoutPlayback(state);
    FileHandle journal;
    if (!journal.Open(journalPath, FileHandle::Mode::Read)) return RecoveryResult::Unreadable;
    const RecoveryResult result = Restore(journal, image, header);
    if (result != RecoveryResult::Restored) return result;
    // The old sectors on the device before the journal goes: a crash in
    // between repeats the recovery, which finds them old and is done.
    if (!image.Flush()) return RecoveryResult::RestoreFailed;
    journal.Close();
    if (!RemoveDurably(journalPath)) return RecoveryResult::RestoreFailed;
    return RecoveryResult::Restored;
}

RecoveryResult PredictRecovery(const std::string& journalPath, FileHandle& image) {
    Header header;
    const JournalState state = Inspect(journalPath, header);
    if (state != JournalState::Complete) return ResultWithoutPlayback(state);
    if (header.version == 1) return RecoveryResult::Restored;
    FileHandle journal;
    if (!journal.Open(journalPath, FileHandle::Mode::Read)) return RecoveryResult::Unreadable;
    return Assess(journal, image, header).result;
}

CImageJournal::CImageJournal(std::string journalPath, std::uint64_t imageLength, const FileIdentity& image)
    : m_path(std::move(journalPath)), m_imageLength(imageLength), m_image(image) {}

bool CImageJournal::Write(const SectorPlan& plan) {
    if (plan.sectors.size() > UINT32_MAX || plan.rawSectorSize == 0) return false;
    FileHandle file;
    if (!file.Open(m_path, FileHandle::Mode::CreateNew)) return false;
    // The journal is assembled in memory in pieces and written in large runs.
    std::vector<std::uint8_t> bytes(kHeaderSize, 0);
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    WriteLE32(bytes.data() + 8, kVersion);
    WriteLE32(bytes.data() + 12, plan.rawSectorSize);
    WriteLE64(bytes.data() + 16, m_imageLength);
    WriteLE32(bytes.data() + 24, static_cast<std::uint32_t>(plan.sectors.size()));
    WriteLE32(bytes.data() + 28, kBlockSize);
    WriteLE64(bytes.data() + 32, m_image.volume);
    WriteLE64(bytes.data() + 40, m_image.file);
    std::uint32_t crc = 0;
    std::uint64_t at = 0;
    bool ok = true;
    const auto flush = [&] {
        crc = Crc(crc, bytes.data(), bytes.size());
        ok = ok && file.WriteAt(at, bytes.data(), bytes.size());
        at += bytes.size();
        bytes.clear();
    };
    std::vector<std::uint8_t> head(8 + 4 * BlocksPerSector(plan.rawSectorSize, kBlockSize));
    for (std::size_t k = 0; ok && k < plan.sectors.size(); ++k) {
        std::fill(head.begin(), head.end(), std::uint8_t{0});
        WriteLE64(head.data(), plan.sectors[k]);
        const auto after = plan.After(k);
        std::size_t piece = 0;
        ForEachBlockPiece(plan.sectors[k], plan.rawSectorSize, kBlockSize, [&](std::size_t begin, std::size_t end) {
            WriteLE32(head.data() + 8 + 4 * piece++, Crc(0, after.data() + begin, end - begin));
        });
        bytes.insert(bytes.end(), head.begin(), head.end());
        const auto before = plan.Before(k);
        bytes.insert(bytes.end(), before.begin(), before.end());
        if (bytes.size() >= 1024 * 1024) flush();
    }
    flush();
    std::uint8_t trailer[4];
    WriteLE32(trailer, crc);
    ok = ok && file.WriteAt(at, trailer, sizeof trailer);
    // The journal's data and its name in the folder must reach the disk
    // before the image changes, or a power loss could leave a changed image
    // without it.
    ok = ok && file.Flush();
    ok = file.Close() && ok;
    ok = ok && FlushFolder(FolderOf(m_path));
    if (!ok) (void)RemoveDurably(m_path);
    return ok;
}

bool CImageJournal::Remove() { return RemoveDurably(m_path); }

} // namespace qorlu
