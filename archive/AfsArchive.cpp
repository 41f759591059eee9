#include "archive/AfsArchive.h"

#include "archive/AfsLayout.h"
#include "format/ByteReader.h"
#include "format/ByteOrder.h"
#include "base/Text.h"

#include <algorithm>
#include <new>
#include <vector>

namespace qorlu {

std::string NameOfRecord(const AfsNameRecord& record) {
    const auto* end = std::find(std::begin(record.name), std::end(record.name), std::uint8_t{0});
    std::string name(std::begin(record.name), end);
    std::replace(name.begin(), name.end(), '/', kPathSeparator);
    return name;
}

std::vector<std::uint32_t> ComputeSlotSpaces(const AfsEntry* entries, std::uint32_t count, std::uint32_t nameDirOffset,
                                             std::uint64_t archiveBytes) {
    std::vector<std::uint32_t> space(count, 0);
    const std::uint64_t tableEnd = afs::TableEnd(count);
    const std::uint64_t namesEnd = nameDirOffset + afs::NameDirBytes(count);
    const auto isNull = [&](std::uint32_t i) { return entries[i].offset == 0 && entries[i].size == 0; };

    // Every entry but the null ones, by offset, then by table position.
    std::vector<std::uint32_t> order;
    order.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
        if (!isNull(i)) order.push_back(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return entries[a].offset != entries[b].offset ? entries[a].offset < entries[b].offset : a < b;
    });

    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t i = order[k];
        const std::uint64_t start = entries[i].offset;
        // Room inside the count and the table, inside the name directory or
        // past the image would overwrite the index or grow the image.
        if (start < tableEnd || start >= archiveBytes) continue;
        if (start >= nameDirOffset && start < namesEnd) continue;
        // Archive offsets are 32-bit: no slot reaches past 4 GiB.
        std::uint64_t end = std::min<std::uint64_t>(archiveBytes, std::uint64_t{UINT32_MAX} + 1);
        if (k + 1 < order.size()) end = std::min<std::uint64_t>(end, entries[order[k + 1]].offset);
        if (start < nameDirOffset) end = std::min<std::uint64_t>(end, nameDirOffset);
        space[i] = static_cast<std::uint32_t>(end - start);
    }
    return space;
}

void CAfsArchive::ClearIndex() {
    m_slotSpace.clear();
    m_nArchiveBytesAtLoad = 0;
    m_nEntryCount = 0;
    m_nNameDirOffset = 0;
    m_pEntries.reset();
    m_pNameRecords.reset();
}

bool CAfsArchive::RefuseIndex(const IndexFailure& failure) {
    ClearIndex();
    m_loadFailure = failure;
    CloseImage();
    return false;
}

bool CAfsArchive::LoadIndex() {
    if (!OpenImage(OpenMode::ReadOnly)) return false;
    // The table and the names are bounded by the image, but an image of a
    // few hundred MiB can still hold more than a memory limit allows.
    try {
        return LoadOpenIndex();
    } catch (const std::bad_alloc&) {
        return RefuseIndex({IndexFailureKind::OutOfMemory});
    }
}

bool CAfsArchive::LoadOpenIndex() {
    ClearIndex();
    m_loadFailure.reset();

    // What the image can hold of the archive bounds every size taken from it,
    // so a damaged count never leads to a huge allocation.
    const std::uint64_t available = ArchiveBytesInImage();
    std::uint8_t word[4] = {};
    ReadAt(afs::kCountOffset, word, sizeof word);
    const std::uint32_t count = CByteReader(word).LE32(0).value_or(0);
    if (count == 0) return RefuseIndex({IndexFailureKind::NoEntries, 0, afs::kCountOffset, 4, available});
    if (!InBounds(afs::kTableOffset, afs::kEntryBytes * count, available))
        return RefuseIndex(
            {IndexFailureKind::TablePastImage, count, afs::kTableOffset, afs::kEntryBytes * count, available});

    std::vector<std::uint8_t> table(static_cast<std::size_t>(afs::kEntryBytes * count));
    ReadAt(afs::kTableOffset, table.data(), static_cast<std::uint32_t>(table.size()));
    const CByteReader rows(table);
    auto entries = std::make_unique<AfsEntry[]>(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t row = afs::EntryAt(i) - afs::kTableOffset;
        entries[i] = {rows.LE32(row).value_or(0), rows.LE32(row + afs::kEntrySizeField).value_or(0)};
    }

    const std::uint64_t end = std::uint64_t{entries[count - 1].offset} + entries[count - 1].size;
    if (end >= available || end > UINT32_MAX)
        return RefuseIndex({IndexFailureKind::LastEntryPastImage, count, end, 0, available});
    std::vector<std::uint8_t> scratch(afs::kNameDirSearchSize, 0);
    ReadAt(static_cast<std::uint32_t>(end), scratch.data(), afs::kNameDirSearchSize);
    const auto firstNonZero = std::find_if(scratch.begin(), scratch.end(), [](std::uint8_t b) { return b != 0; });
    const std::uint64_t nameDir = end + static_cast<std::uint64_t>(firstNonZero - scratch.begin());
    if (!InBounds(nameDir, afs::NameDirBytes(count), available))
        return RefuseIndex({IndexFailureKind::NameDirPastImage, count, nameDir, afs::NameDirBytes(count), available});
    // A directory that overlaps the count or the entry table (a last entry
    // that ends inside them) would share size fields with the table: an
    // import would write one entry's size into another's.
    if (nameDir < afs::TableEnd(count))
        return RefuseIndex({IndexFailureKind::NameDirOverTable, count, nameDir, afs::NameDirBytes(count), available});

    auto names = std::make_unique<AfsNameRecord[]>(count);
    ReadAt(static_cast<std::uint32_t>(nameDir), names.get(), static_cast<std::uint32_t>(afs::NameDirBytes(count)));
    CloseImage();

    m_nEntryCount = count;
    m_nNameDirOffset = static_cast<std::uint32_t>(nameDir);
    m_pEntries = std::move(entries);
    m_pNameRecords = std::move(names);
    m_nArchiveBytesAtLoad = available;
    m_slotSpace = ComputeSlotSpaces(m_pEntries.get(), count, m_nNameDirOffset, available);
    return true;
}

std::string CAfsArchive::GetEntryName(std::uint32_t nIndex) const {
    if (nIndex >= m_nEntryCount) return {};
    return NameOfRecord(m_pNameRecords[nIndex]);
}

std::uint32_t CAfsArchive::GetEntryOffset(std::uint32_t nIndex) const {
    return nIndex < m_nEntryCount ? m_pEntries[nIndex].offset : 0;
}

std::uint32_t CAfsArchive::GetEntrySize(std::uint32_t nIndex) const {
    return nIndex < m_nEntryCount ? m_pEntries[nIndex].size : 0;
}

std::uint32_t CAfsArchive::GetEntrySpace(std::uint32_t nIndex) const {
    return nIndex < m_nEntryCount && nIndex < m_slotSpace.size() ? m_slotSpace[nIndex] : 0;
}

bool CAfsArchive::EntryLiesWithin(std::uint32_t nIndex, std::uint64_t archiveBytes) const {
    if (nIndex >= m_nEntryCount) return false;
    // Archive offsets are 32-bit: an entry that ends past 4 GiB would wrap
    // around to the archive's start.
    const std::uint64_t limit = std::min<std::uint64_t>(archiveBytes, std::uint64_t{UINT32_MAX} + 1);
    return InBounds(m_pEntries[nIndex].offset, m_pEntries[nIndex].size, limit);
}

} // namespace qorlu
