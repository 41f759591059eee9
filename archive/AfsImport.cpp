// Writing a modified file back over one archive entry, in place inside the
// image: the data into the entry's slot, then, when the length changed, the
// size into the entry table and into the entry's name record. The old
// contents of the sectors it changes are kept in a journal beside the image
// until the image holds the import, so that an import cut off at any moment
// is undone by the next open of the image.

#include "archive/AfsArchive.h"
#include "archive/AfsLayout.h"
#include "format/ByteReader.h"
#include "format/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace qorlu {

namespace {

// A recorded size is never less than this much below the slot space.
constexpr std::uint32_t kSlotSlack = 2047;

Notice ImportNotice(std::string text) { return SystemNotice(std::move(text), "", Outcome::Failure); }

// Whether `table` (the entry table as read from the image) holds `entries`.
bool SameEntries(std::span<const std::uint8_t> table, const AfsEntry* entries, std::uint32_t count) {
    const CByteReader rows(table);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t row = afs::EntryAt(i) - afs::kTableOffset;
        if (rows.LE32(row) != entries[i].offset || rows.LE32(row + afs::kEntrySizeField) != entries[i].size)
            return false;
    }
    return true;
}

} // namespace

bool CAfsArchive::IndexMatchesImage(std::uint32_t nIndex) {
    // The count, the whole table (every entry's slot depends on the next
    // one's offset), the entry's name record and how much archive the image
    // holds: what the slot rule and the size fields of this import rest on.
    if (ArchiveBytesInImage() != m_nArchiveBytesAtLoad) return false;
    std::uint8_t word[4] = {};
    if (!ReadAt(afs::kCountOffset, word, sizeof word) || CByteReader(word).LE32(0) != m_nEntryCount) return false;
    std::vector<std::uint8_t> table(static_cast<std::size_t>(afs::kEntryBytes * m_nEntryCount));
    if (!ReadAt(afs::kTableOffset, table.data(), static_cast<std::uint32_t>(table.size())) ||
        !SameEntries(table, m_pEntries.get(), m_nEntryCount))
        return false;
    if (nIndex >= m_nEntryCount) return true;
    AfsNameRecord record{};
    return ReadAt(static_cast<std::uint32_t>(afs::NameRecordAt(m_nNameDirOffset, nIndex)), &record, sizeof record) &&
           std::memcmp(&record, &m_pNameRecords[nIndex], sizeof record) == 0;
}

int CAfsArchive::RefuseImport(ImportFailure failure) {
    const std::string text = ImportFailureText(failure);
    m_importFailure = std::move(failure);
    if (!text.empty()) Messages().Show(ImportNotice(text));
    return 0;
}

int CAfsArchive::ImportEntry(const std::string& lpszPath, std::uint32_t nIndex) {
    // A replacement too large for memory is refused like an unreadable one;
    // no allocation failure ever leaves this function.
    try {
        return ImportEntryJournaled(lpszPath, nIndex);
    } catch (const std::bad_alloc&) {
        if (IsOpen()) CloseImage();
        return RefuseImport({ImportFailureKind::CannotReadFile, nIndex, GetEntryOffset(nIndex), GetEntrySpace(nIndex),
                             0, lpszPath, m_strImagePath});
    }
}

int CAfsArchive::ImportEntryJournaled(const std::string& lpszPath, std::uint32_t nIndex) {
    const std::uint32_t offset = GetEntryOffset(nIndex);
    const std::uint32_t oldSize = GetEntrySize(nIndex);
    const std::uint32_t space = GetEntrySpace(nIndex);
    m_importFailure.reset();
    const auto refuse = [&](ImportFailureKind kind, std::uint64_t fileSize = 0) {
        return RefuseImport({kind, nIndex, offset, space, fileSize, lpszPath, m_strImagePath});
    };

    BinaryFile replacement;
    if (!replacement.Open(lpszPath, BinaryFile::Mode::Read)) {
        return refuse(ImportFailureKind::CannotOpenFile);
    }
    const auto length = replacement.Length();
    if (length && *length > space) return refuse(ImportFailureKind::TooLarge, *length);
    // The file is read whole before the image is touched; one that cannot be
    // read is refused here.
    std::vector<std::uint8_t> data(length ? static_cast<std::size_t>(*length) : 0);
    if (!length || replacement.Read(data.data(), data.size()) != data.size())
        return refuse(ImportFailureKind::CannotReadFile, length.value_or(0));
    replacement.Close();

    const auto newLength = static_cast<std::uint32_t>(data.size());
    // Below a slot of 2047 bytes the raise rule has nothing to raise to, and
    // the length itself is recorded.
    std::uint32_t recorded = newLength;
    if (space >= kSlotSlack && newLength < space - kSlotSlack) recorded = space - kSlotSlack;
    const bool sizeChanged = newLength != oldSize;

    // The name directory is found as the first nonzero byte after the end of
    // the last entry in the table. When that entry's size changes, the bytes
    // from its new end up to the directory must be zero for the next load to
    // find the directory where it is: they are cleared, inside the entry's
    // slot. Where the slot does not reach the directory (a damaged table)
    // they cannot be, and the size is not changed at all.
    std::uint32_t clearFrom = 0;
    std::uint32_t clearCount = 0;
    if (sizeChanged && nIndex + 1 == m_nEntryCount) {
        const std::uint64_t newEnd = std::uint64_t{offset} + recorded;
        const std::uint64_t dir = m_nNameDirOffset;
        if (newEnd > dir || dir - newEnd > afs::kNameDirSearchSize || dir > std::uint64_t{offset} + space) {
            return refuse(ImportFailureKind::LastEntrySizeFixed, newLength);
        }
        clearFrom = static_cast<std::uint32_t>(newEnd);
        clearCount = static_cast<std::uint32_t>(dir - newEnd);
    }
    const std::vector<std::uint8_t> zeros(clearCount, 0);

    if (!OpenImage(OpenMode::ReadWrite)) {
        // A busy image has said so already; nothing else went wrong.
        return refuse(LastOpenFailure() == OpenFailure::InUse ? ImportFailureKind::ImageInUse
                                                              : ImportFailureKind::CannotOpenImage,
                      newLength);
    }
    // The index may be hours old: another program may have changed the
    // archive since. Under the lock it is read again where this import
    // depends on it; an import on a stale index would write one entry's
    // data over another's or a size the image no longer has.
    if (!IndexMatchesImage(nIndex)) {
        CloseImage();
        return refuse(ImportFailureKind::ImageChanged, newLength);
    }
    std::uint8_t word[4];
    WriteLE32(word, recorded);

    // Every write of this import: the data, the cleared end of the last
    // entry's slot, then the table's and the name record's size fields.
    std::vector<ArchiveWrite> pieces;
    if (newLength > 0) pieces.push_back({offset, data.data(), newLength});
    if (clearCount > 0) pieces.push_back({clearFrom, zeros.data(), clearCount});
    if (sizeChanged) {
        pieces.push_back({static_cast<std::uint32_t>(afs::EntrySizeAt(nIndex)), word, 4});
        pieces.push_back({static_cast<std::uint32_t>(afs::NameSizeCopyAt(m_nNameDirOffset, nIndex)), word, 4});
    }

    bool written = true;
    if (!pieces.empty()) {
        // Every sector is planned whole first and then written once, so that
        // each holds either its old or its new bytes at every moment, with
        // the old contents in the journal (WriteJournaled).
        SectorPlan plan;
        const JournaledWrite result = PlanWrites(pieces, plan) ? WriteJournaled(plan) : JournaledWrite::NotStarted;
        if (result == JournaledWrite::NotStarted) {
            CloseImage();
            return refuse(ImportFailureKind::CannotWrite, newLength);
        }
        written = CloseImage() && result == JournaledWrite::Written;
    } else {
        written = CloseImage();
    }
    if (!written) return refuse(ImportFailureKind::CannotWrite, newLength);
    // The index in memory follows the image only once the image holds the change.
    if (sizeChanged && nIndex < m_nEntryCount) {
        m_pEntries[nIndex].size = recorded;
        WriteLE32(m_pNameRecords[nIndex].size, recorded);
    }
    return 1;
}

} // namespace qorlu
