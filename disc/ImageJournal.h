#pragma once
// The rollback journal of an import: the old contents of every raw sector
// that an import is about to change, kept beside the image file until the
// import has reached the disk.
//
// Journal file, little-endian (version 2):
//   0    8            magic "QORLUJNL"
//   8    4            format version, 2
//   12   4            S, raw sector size of the image when it was written
//   16   8            the image file's length (an import never changes it)
//   24   4            K, number of sector records
//   28   4            0
//   32   8            the image file's volume (device)  } which file the
//   40   8            the image file's number (inode)   } journal belongs to
//   48   K x (12 + S) records: 8-byte image sector number (counted from 0 at
//                     the start of the file), the CRC-32 of the sector as
//                     the import leaves it, then the sector's S old bytes
//                     (zero beyond the end of a short image)
//   end  4            CRC-32 of every byte before it
// Version 1 (earlier releases) has no identity and no new-sector CRCs: a
// 32-byte header and records of 8 + S bytes.
//
// A journal is complete when its length is exactly what its header says and
// the CRC holds; only a complete journal is ever written back, and only to
// the file it was written for, and only while each of its sectors holds
// either the old bytes or the bytes the import left: anything else means
// another program changed the image since, and the journal is kept.
//
// The journal lies beside the file the image's name leads to (symbolic
// links and cue sheets resolved): "<file>.qorlu-undo". Every change and
// every recovery happens under the image's exclusive lock, so nobody reads
// a journal that is still being written.

#include "disc/SectorPlan.h"
#include "shell/FileLayer.h"

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
    OtherFile,      // the journal was written for another file; kept
    ImageChanged,   // the image was changed after the import; kept, image untouched
    RestoreFailed,  // writing the image back failed; the journal is kept
};

// Puts the image open (for reading and writing) in `image` back as it was
// before the interrupted import that the journal at `journalPath` belongs
// to, then deletes the journal; an incomplete journal is only deleted. The
// caller holds the image's exclusive lock.
RecoveryResult RecoverFromJournal(const std::string& journalPath, FileHandle& image);

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
