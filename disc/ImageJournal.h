#pragma once
// The rollback journal of an import: the old contents of every raw sector
// that an import is about to change, kept beside the image file until the
// import has reached the disk.
//
// Journal file, little-endian (version 3):
//   0    8            magic "QORLUJNL"
//   8    4            format version, 3
//   12   4            S, raw sector size of the image when it was written
//   16   8            the image file's length (an import never changes it)
//   24   4            K, number of sector records
//   28   4            B, block size, 512
//   32   8            the image file's volume (device)  } which file the
//   40   8            the image file's number (inode)   } journal was written for
//   48   K x R        records of R = 8 + 4 x M + S bytes, M = (S + 2 x (B - 1)) / B:
//          8          image sector number (counted from 0 at the start of the file)
//          4 x M      the CRC-32 of the sector's new bytes in each B-byte block
//                     of the file that the sector reaches, in file order (a
//                     block that two sectors share has its part in each);
//                     zero past the sector's last block
//          S          the sector's old bytes (zero beyond the end of a short image)
//   end  4            CRC-32 of every byte before it
// Version 2 has one CRC-32 of the whole new sector in place of the block
// CRCs (records of 12 + S bytes) and 0 in place of B; version 1 neither
// identity nor new-sector CRCs (a 32-byte header, records of 8 + S bytes).
//
// A journal is complete when its length is exactly what its header says and
// the CRC holds; only a complete journal is ever written back. A complete
// journal was flushed before the image's first byte changed, and alone holds
// the old bytes, so it decides:
//   - the image's length must be the recorded one (else it is kept);
//   - when every block of every journalled sector holds its old or its new
//     bytes, the journal is played back, whatever file numbers the image has
//     now: a write torn at a page or device-block boundary leaves just that,
//     and a copy to another file system (or FAT's file numbers, made up anew
//     at each mount) changes the identity, not the bytes;
//   - when some block holds neither, the journal is played back whole only
//     if the image is still the file it was written for (a device may tear
//     inside a block); otherwise the name now leads to another file, or the
//     image was changed since, and the journal is kept.
// Version 2 journals are played back only to the file they were written for,
// and only while each sector holds its old or its new bytes, as the release
// that wrote them did.
//
// The journal lies beside the file the image's name leads to (symbolic
// links and cue sheets resolved): "<file>.qorlu-undo". Every change and
// every recovery happens under the image's exclusive lock, so nobody reads
// a journal that is still being written.

#include "disc/SectorPlan.h"
#include "io/FileLayer.h"

#include <cstdint>
#include <string>

namespace qorlu {

inline constexpr const char* kJournalSuffix = ".qorlu-undo";

// The journal's name for the image file at `resolvedFile`.
inline std::string JournalPathFor(const std::string& resolvedFile) { return resolvedFile + kJournalSuffix; }

// The file that `path` leads to, symbolic links followed; `path` itself when
// it cannot be resolved.
std::string ResolvedImageFile(const std::string& path);

// Where the journal of the image at `imageFile` is: beside the resolved
// file, or, when that has none and the file has other names (hard links),
// a complete journal in that folder written for the same file.
std::string LocateJournal(const std::string& imageFile);

enum class JournalState {
    None,           // no journal
    Incomplete,     // a journal that was never finished: the image was not touched
    Complete,       // an import may have changed the image: it must be rolled back
    Unreadable,     // a journal that exists but cannot be read
    Foreign,        // a file under the journal's name that is no journal: left alone
    UnknownVersion, // a journal of another release: kept, never applied nor deleted
};

// What the journal at `journalPath` holds; reads it, changes nothing.
JournalState InspectJournalFile(const std::string& journalPath);
// The state of the journal of the image at `imageFile` (LocateJournal).
inline JournalState InspectJournal(const std::string& imageFile) {
    return InspectJournalFile(LocateJournal(imageFile));
}

enum class RecoveryResult {
    NothingToDo, // no journal, or a file that is no journal
    DiscardedIncomplete,
    Restored,       // the image is as it was before the interrupted import
    Unreadable,     // the journal cannot be read; it is kept
    UnknownVersion, // kept
    OtherFile,      // some block holds neither old nor new bytes, and the image is not the
                    // file the journal was written for; kept, image untouched
    ImageChanged,   // the image's length is not the recorded one (or, for a version 2
                    // journal, a sector holds neither); kept, image untouched
    RestoreFailed,  // writing the image back failed; the journal is kept
};

// Puts the image open (for reading and writing) in `image` back as it was
// before the interrupted import that the journal at `journalPath` belongs
// to, then deletes the journal; an incomplete journal is only deleted. The
// caller holds the image's exclusive lock.
RecoveryResult RecoverFromJournal(const std::string& journalPath, FileHandle& image);
// What RecoverFromJournal would do with `image` (open for reading), without
// writing or deleting anything: Restored, DiscardedIncomplete, or why the
// journal would be kept.
RecoveryResult PredictRecovery(const std::string& journalPath, FileHandle& image);

// Writes the journal of one planned change.
class CImageJournal {
public:
    CImageJournal(std::string journalPath, std::uint64_t imageLength, const FileIdentity& image);

    // Writes every sector of `plan` (old bytes and the CRC of the new ones),
    // flushes the journal and its folder. Created exclusively: a file already
    // under the journal's name is never emptied. False, with no journal of
    // ours left, when any step failed.
    bool Write(const SectorPlan& plan);
    // Deletes the journal once the image holds the change, durably. False
    // when it could not be deleted.
    bool Remove();

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::uint64_t m_imageLength;
    FileIdentity m_image;
};

} // namespace qorlu
