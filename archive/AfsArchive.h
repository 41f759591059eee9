#pragma once
// The archive "filedata.afs" inside the disc image, and its index.
//
// Archive layout (archive-relative offsets, little-endian 32-bit words;
// archive/AfsLayout.h names each position):
//   0        4        not read
//   4        4        N, the entry count
//   8        8 x N    entry table: AfsEntry { offset, size }
//   ...               entry data, entry i at its offset, size bytes long
//   E        <=32768  zero bytes; E = offset + size of entry N-1
//   D        48 x N   name directory: AfsNameRecord, D = first nonzero byte
//                     at or after E, looked for within the 32768 bytes from E
// AfsNameRecord (48 bytes):
//   0..31    name, ends at the first zero byte or after 32 bytes; "/" separates folders
//   32..43   not used
//   44..47   a second copy of the entry's size (written on replacement, never read)
//
// Slot space (how far entry i may grow in place): from its offset to the
// nearest of the next entry's offset in offset order (ties go by table
// order, so of two entries at one offset the earlier has no room), the name
// directory's offset and the end of the archive bytes in the image. A null
// entry (offset 0, size 0) has none and ends no other slot; neither has an
// entry whose offset lies inside the count and the table, inside the name
// directory or past the image. For offsets that ascend inside the image this
// is the next entry's offset minus its own, and for the last entry the name
// directory's offset minus its own.
//
// The index is checked once, when it is loaded: the count must be at least 1
// and the table and the name directory must lie inside the image. After that
// the accessors trust it; an index outside the table reads as 0 or "".

#include "archive/ExtractFailure.h"
#include "archive/ImportFailure.h"
#include "archive/IndexFailure.h"
#include "archive/ReadAheadRing.h"
#include "disc/DiscImage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qorlu {

class ExtractTargets;
class IExtractProgress;

struct AfsEntry {
    std::uint32_t offset;
    std::uint32_t size;
};

struct AfsNameRecord {
    std::uint8_t name[32];
    std::uint8_t unused[12];
    std::uint8_t size[4]; // little-endian copy of the entry's size
};
static_assert(sizeof(AfsEntry) == 8);
static_assert(sizeof(AfsNameRecord) == 48);

// The message of an import refused because the archive changed since the
// index was loaded.
inline std::string ImageChangedSinceLoad(const std::string& path) {
    return "The image was changed by another program since it was loaded:\n" + path +
           "\nNothing was written. Load the image again, then import again.";
}

// The slot space of every entry of `entries` (see above), given the name
// directory's offset and how many archive bytes the image holds.
std::vector<std::uint32_t> ComputeSlotSpaces(const AfsEntry* entries, std::uint32_t count, std::uint32_t nameDirOffset,
                                             std::uint64_t archiveBytes);

// The name of a record: its bytes up to the first zero (at most 32), with
// every "/" turned into the platform's separator, letter case as stored.
std::string NameOfRecord(const AfsNameRecord& record);

// Whether every folder and file name of the entry name `name` (separated
// by "/" or "\\") is one that Windows can hold as a file of that name: not
// a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an
// extension), free of control characters and of < > : " | ? *, and not
// ending in a dot or a space. Extraction applies it on Windows builds.
bool WindowsCanHoldName(std::string_view name);

class CAfsArchive : public CDiscImage {
public:
    explicit CAfsArchive(IMessageSink& messages) : CDiscImage(messages) {}

    // Reads the count, the entry table and the name directory. False, with
    // the index left as it was, when the image cannot be opened; false, with
    // the index emptied, when the archive is unusable (see LastLoadProblem).
    bool LoadIndex();
    // Why the last LoadIndex refused an archive that it could read; empty otherwise.
    std::string LastLoadProblem() const { return m_loadFailure ? DescribeIndexFailure(*m_loadFailure) : std::string(); }
    const std::optional<IndexFailure>& LastLoadFailure() const { return m_loadFailure; }

    std::string GetEntryName(std::uint32_t nIndex) const;
    std::uint32_t GetEntryOffset(std::uint32_t nIndex) const;
    std::uint32_t GetEntrySize(std::uint32_t nIndex) const;
    std::uint32_t GetEntrySpace(std::uint32_t nIndex) const;
    // Whether entry nIndex (offset and size, 64-bit) lies inside the
    // `archiveBytes` archive bytes that the image holds.
    bool EntryLiesWithin(std::uint32_t nIndex, std::uint64_t archiveBytes) const;
    // The archive bytes the image held when the index was loaded.
    std::uint64_t ArchiveBytesAtLoad() const { return m_nArchiveBytesAtLoad; }

    // Writes entry nIndex below lpszFolder, rebuilding its folders. The image
    // must be open. 1 when the whole entry was written; 0 when the index is
    // out of range, the name would reach outside the folder (or, on Windows,
    // is one that Windows cannot hold, see WindowsCanHoldName), the file is
    // one this job already wrote under a name in another letter case, or it
    // could not be created, read or written whole.
    int ExtractEntry(const std::string& lpszFolder, std::uint32_t nIndex);

    // Writes the replacement file lpszPath over entry nIndex inside the image
    // and records a changed size. 1 on success, 0 on failure (with a message).
    int ImportEntry(const std::string& lpszPath, std::uint32_t nIndex);
    // True when the last ImportEntry was refused because another program had
    // changed the archive since the index was loaded: load it again.
    bool LastImportFoundImageChanged() const {
        return m_importFailure && m_importFailure->kind == ImportFailureKind::ImageChanged;
    }
    // Why the last ImportEntry wrote nothing; empty after one that succeeded.
    const std::optional<ImportFailure>& LastImportFailure() const { return m_importFailure; }

    // The extraction job (run on CExtractJob's worker): every entry that
    // m_nFilterMode selects, extracted below m_strOutputDir, reported to
    // `progress`; its end message goes to `messages`. 0 when the image could
    // not be opened, 1 when cancelled, 2 when complete.
    std::uint32_t RunExtractJob(IExtractProgress& progress, IMessageSink& messages);
    // How many entries the last job wrote whole, and why each other selected
    // entry it reached was not written, in entry order.
    std::uint32_t WrittenByLastJob() const { return m_nJobWritten; }
    const std::vector<ExtractFailure>& FailuresOfLastJob() const { return m_jobFailures; }

    std::uint32_t m_nEntryCount = 0;
    std::uint32_t m_nNameDirOffset = 0;
    std::unique_ptr<AfsEntry[]> m_pEntries;
    std::unique_ptr<AfsNameRecord[]> m_pNameRecords;
    std::string m_strOutputDir;
    std::int32_t m_nFilterMode = 2;

private:
    void ClearIndex();
    bool LoadOpenIndex();
    int ImportEntryJournaled(const std::string& lpszPath, std::uint32_t nIndex);
    bool IndexMatchesImage(std::uint32_t nIndex);
    // Keeps `failure`, shows its box, and returns ImportEntry's 0.
    int RefuseImport(ImportFailure failure);
    bool RefuseIndex(const IndexFailure& failure);
    // ExtractEntry with what a whole job learns once: its output folders and
    // the image's identity (`targets`), and the archive bytes in the image.
    // `pieces`: the entry's bytes, read ahead (empty when it does not lie
    // within the image).
    int ExtractInto(ExtractTargets& targets, std::uint64_t archiveBytes, const std::string& lpszFolder,
                    std::uint32_t nIndex, CReadAheadRing::CEntryPieces& pieces);
    // What the reader thread reads for entry nIndex, and how.
    CReadAheadRing::Span ReadSpan(std::uint32_t nIndex, std::uint64_t archiveBytes) const;
    CReadAheadRing::Reader ImageReader();
    // Keeps why entry nIndex was not written (at `path`, where there is one); 0.
    int Fail(ExtractFailureKind kind, std::uint32_t nIndex, std::string path = {});

    std::optional<IndexFailure> m_loadFailure;
    std::vector<std::uint32_t> m_slotSpace; // per entry, computed once per load
    std::uint64_t m_nArchiveBytesAtLoad = 0;
    std::uint32_t m_nJobWritten = 0; // entries the last job wrote whole
    std::vector<ExtractFailure> m_jobFailures;
    std::optional<ExtractFailure> m_lastExtractFailure; // why the last ExtractInto returned 0
    std::optional<ImportFailure> m_importFailure;
};

} // namespace qorlu
