#pragma once
// The rollback journal of an import: the old contents of every raw sector
// that an import is about to change, kept next to the image until the
// import has reached the disk.
//
// Journal file, little-endian:
//   0    8            magic "QORLUJNL"
//   8    4            format version, 1
//   12   4            S, raw sector size of the image when it was written
//   16   8            the image file's length before the import
//   24   4            K, number of sector records
//   28   4            0
//   32   K x (8 + S)  records: 8-byte image sector number (counted from 0 at
//                     the start of the file), then the sector's S old bytes
//                     (zero beyond the end of a short image)
//   end  4            CRC-32 of every byte before it
// A journal is complete when its length is exactly 36 + K x (8 + S) and the
// CRC holds; only a complete journal is ever written back. An import writes
// and flushes the whole journal (and its folder) before it changes the image.

#include <cstdint>
#include <string>
#include <vector>

namespace qorlu {

// The journal of the image file at `imageFile` (the file that holds the
// sectors, not a cue sheet that names it).
inline std::string JournalPathFor(const std::string& imageFile) { return imageFile + ".qorlu-undo"; }

enum class JournalState {
    None,       // no journal
    Incomplete, // a journal that was never finished: the image was not touched
    Complete,   // an import may have changed the image: it must be rolled back
    Unreadable, // a journal that exists but cannot be read
    Foreign,    // a file under the journal's name that is no journal: left alone
};

// What the journal of `imageFile` holds; reads it, changes nothing.
JournalState InspectJournal(const std::string& imageFile);

enum class RecoveryResult {
    NothingToDo,       // no journal
    DiscardedIncomplete,
    Restored,          // the image is as it was before the interrupted import
    ImageNotWritable,  // a complete (or unreadable) journal, and the image cannot be written: refuse
    RestoreFailed,     // writing the image back failed; the journal is kept
};

// Brings the image back to the state before an interrupted import: a
// complete journal is written back sector by sector, the image cut to its
// recorded length and flushed, then the journal is deleted. An incomplete
// journal is deleted.
RecoveryResult RecoverFromJournal(const std::string& imageFile);

// Collects the old raw sectors of an import and writes them as the journal.
class CImageJournal {
public:
    // `rawSectorSize` bytes per image sector; `imageLength` the image's
    // length now.
    CImageJournal(std::string imageFile, std::uint32_t rawSectorSize, std::uint64_t imageLength);
    ~CImageJournal();
    CImageJournal(const CImageJournal&) = delete;
    CImageJournal& operator=(const CImageJournal&) = delete;

    // The sectors that a write of `count` bytes at image positions
    // [position, position + count) touches; each sector is kept once.
    void AddRange(std::uint64_t position, std::uint64_t count);
    const std::vector<std::uint64_t>& Sectors() const { return m_sectors; }

    // Writes the journal, with the old bytes of every added sector read
    // through `readSector(number, buffer)` (a buffer of the raw sector size;
    // bytes the image lacks are zero), flushes it and its folder. False,
    // with no journal left, when any step failed.
    template <typename ReadSector>
    bool Write(ReadSector&& readSector);

    // Deletes the journal once the image holds the import. False when it
    // could not be deleted.
    bool Remove();

    const std::string& Path() const { return m_path; }

private:
    bool Begin();
    bool Append(const void* bytes, std::size_t count);
    bool Finish();
    void Abandon();

    std::string m_path;
    std::uint32_t m_rawSectorSize;
    std::uint64_t m_imageLength;
    std::vector<std::uint64_t> m_sectors;
    std::vector<std::uint8_t> m_sectorBuffer;
    void* m_file = nullptr; // std::FILE*
    std::uint32_t m_crc = 0;
    bool m_ok = false;
};

template <typename ReadSector>
bool CImageJournal::Write(ReadSector&& readSector) {
    if (!Begin()) return false;
    for (const std::uint64_t sector : m_sectors) {
        std::uint8_t number[8];
        for (int i = 0; i < 8; ++i) number[i] = static_cast<std::uint8_t>(sector >> (8 * i));
        if (!readSector(sector, m_sectorBuffer.data()) || !Append(number, 8) ||
            !Append(m_sectorBuffer.data(), m_sectorBuffer.size())) {
            Abandon();
            return false;
        }
    }
    return Finish();
}

} // namespace qorlu
