// Writing a modified file back over one archive entry, in place inside the
// image: the data into the entry's slot, then, when the length changed, the
// size into the entry table and into the entry's name record.

#include "archive/AfsArchive.h"
#include "shell/ByteOrder.h"

#include <vector>

namespace qorlu {

namespace {

// A recorded size is never less than this much below the slot space.
constexpr std::uint32_t kSlotSlack = 2047;

Notice ImportNotice(std::string text) { return SystemNotice(std::move(text), "", Outcome::Failure); }

} // namespace

int CAfsArchive::ImportEntry(const std::string& lpszPath, std::uint32_t nIndex) {
    const std::uint32_t offset = GetEntryOffset(nIndex);
    const std::uint32_t oldSize = GetEntrySize(nIndex);
    const std::uint32_t space = GetEntrySpace(nIndex);

    BinaryFile replacement;
    if (!replacement.Open(lpszPath, BinaryFile::Mode::Read)) {
        Messages().Show(ImportNotice("can not open file\n" + lpszPath));
        return 0;
    }
    const auto length = replacement.Length();
    if (length && *length > space) {
        Messages().Show(ImportNotice("file size too large!"));
        return 0;
    }
    // The file is read whole before the image is touched; one that cannot be
    // read is refused here.
    std::vector<std::uint8_t> data(length ? static_cast<std::size_t>(*length) : 0);
    if (!length || replacement.Read(data.data(), data.size()) != data.size()) {
        Messages().Show(ImportNotice(CanNotReadFile(lpszPath)));
        return 0;
    }
    replacement.Close();

    if (!OpenImage(OpenMode::ReadWrite)) {
        Messages().Show(ImportNotice("can not open ISO file!"));
        return 0;
    }
    const auto newLength = static_cast<std::uint32_t>(data.size());
    bool written = WriteAt(offset, data.data(), newLength);
    // Below a slot of 2047 bytes the raise rule has nothing to raise to, and
    // the length itself is recorded.
    std::uint32_t recorded = newLength;
    if (space >= kSlotSlack && newLength < space - kSlotSlack) recorded = space - kSlotSlack;
    const bool sizeChanged = newLength != oldSize;
    if (written && sizeChanged) {
        std::uint8_t word[4];
        WriteLE32(word, recorded);
        written = WriteAt(12 + 8 * nIndex, word, 4) && WriteAt(m_nNameDirOffset + 48 * nIndex + 44, word, 4);
    }
    const bool flushed = CloseImage();
    if (!written || !flushed) {
        Messages().Show(ImportNotice("can not write ISO file!"));
        return 0;
    }
    // The index in memory follows the image only once the image holds the change.
    if (sizeChanged && nIndex < m_nEntryCount) {
        m_pEntries[nIndex].size = recorded;
        WriteLE32(m_pNameRecords[nIndex].size, recorded);
    }
    return 1;
}

} // namespace qorlu
