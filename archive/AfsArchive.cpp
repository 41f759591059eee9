#include "archive/AfsArchive.h"

#include "shell/ByteOrder.h"
#include "shell/Text.h"

#include <algorithm>
#include <vector>

namespace qorlu {

std::string NameOfRecord(const AfsNameRecord& record) {
    const auto* end = std::find(std::begin(record.name), std::end(record.name), std::uint8_t{0});
    std::string name(std::begin(record.name), end);
    std::replace(name.begin(), name.end(), '/', kPathSeparator);
    return name;
}

void CAfsArchive::ClearIndex() {
    m_nEntryCount = 0;
    m_nNameDirOffset = 0;
    m_pEntries.reset();
    m_pNameRecords.reset();
}

bool CAfsArchive::RefuseIndex(std::string problem) {
    ClearIndex();
    m_strLoadProblem = std::move(problem);
    CloseImage();
    return false;
}

bool CAfsArchive::LoadIndex() {
    if (!OpenImage(OpenMode::ReadOnly)) return false;
    ClearIndex();
    m_strLoadProblem.clear();

    // What the image can hold of the archive bounds every size taken from it,
    // so a damaged count never leads to a huge allocation.
    const std::uint64_t available = ArchiveBytesInImage();
    std::uint8_t word[4] = {};
    ReadAt(4, word, 4);
    const std::uint32_t count = ReadLE32(word);
    if (count == 0) return RefuseIndex("the archive holds no entries");
    if (!InBounds(8, std::uint64_t{8} * count, available))
        return RefuseIndex("the entry table of " + std::to_string(count) + " entries does not fit in the image");

    std::vector<std::uint8_t> table(std::size_t{8} * count);
    ReadAt(8, table.data(), static_cast<std::uint32_t>(table.size()));
    auto entries = std::make_unique<AfsEntry[]>(count);
    for (std::uint32_t i = 0; i < count; ++i)
        entries[i] = {ReadLE32(&table[8 * std::size_t{i}]), ReadLE32(&table[8 * std::size_t{i} + 4])};

    const std::uint64_t end = std::uint64_t{entries[count - 1].offset} + entries[count - 1].size;
    if (end >= available || end > UINT32_MAX) return RefuseIndex("the last entry ends beyond the image");
    std::vector<std::uint8_t> scratch(kNameDirSearchSize, 0);
    ReadAt(static_cast<std::uint32_t>(end), scratch.data(), kNameDirSearchSize);
    const auto firstNonZero = std::find_if(scratch.begin(), scratch.end(), [](std::uint8_t b) { return b != 0; });
    const std::uint64_t nameDir = end + static_cast<std::uint64_t>(firstNonZero - scratch.begin());
    if (!InBounds(nameDir, std::uint64_t{48} * count, available))
        return RefuseIndex("the name directory does not fit in the image");

    auto names = std::make_unique<AfsNameRecord[]>(count);
    ReadAt(static_cast<std::uint32_t>(nameDir), names.get(), static_cast<std::uint32_t>(48 * std::uint64_t{count}));
    CloseImage();

    m_nEntryCount = count;
    m_nNameDirOffset = static_cast<std::uint32_t>(nameDir);
    m_pEntries = std::move(entries);
    m_pNameRecords = std::move(names);
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
    if (nIndex >= m_nEntryCount) return 0;
    // The last entry's slot reaches to the name directory: the zero run after
    // its data belongs to it, the directory never does.
    const std::uint32_t next =
        nIndex + 1 < m_nEntryCount ? m_pEntries[nIndex + 1].offset : m_nNameDirOffset;
    // Offsets that do not ascend leave the entry no room at all, rather than
    // a slot that wraps around the archive.
    return next >= m_pEntries[nIndex].offset ? next - m_pEntries[nIndex].offset : 0;
}

} // namespace qorlu
