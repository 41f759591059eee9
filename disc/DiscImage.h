#pragma once
// A CD image and the archive that lies inside it.
//
// Two layouts of the image file, found when it is opened:
//   raw ("*.bin")    2352-byte sectors (CD-ROM XA Mode 2 Form 1):
//     0    24    header: 12 sync bytes, 4 address bytes, 8 subheader bytes
//     24   2048  user data
//     2072 280   trailer: 4 error-detection bytes, 276 error-correction bytes
//   plain ("*.iso")  2048-byte sectors, user data only.
// The layout whose sector 16 begins with the ISO 9660 primary volume
// descriptor (byte 1, then "CD001") is the image's. When neither or both
// do, a file that begins with the sync pattern is raw, one whose length is a
// multiple of 2048 is plain, and anything else is raw.
//
// Reads take user data only. A write changes user data, and in a raw image
// also rewrites the error-detection and -correction bytes of each sector
// written that was a Mode 2 Form 1 sector with a matching, nonzero
// error-detection code before the write; every other header and trailer
// byte keeps its contents. Writes at image file positions (PPF patches,
// PlanImageWrites) may set any byte of a sector; its checksums are then
// rewritten by the same rule, and only when the sector is still Mode 2 Form
// 1 after the write and none of its error-detection and -correction bytes
// was written (a patch that sets them brings its maker's checksums).
//
// The archive's bytes are the user data of consecutive sectors from
// m_nStartSector on, so archive offset o lies in image sector
// m_nStartSector + o / 2048 at byte header + o % 2048.
//
// The image may be given as a ".cue" sheet: LocateArchive then works on the
// data file the sheet names (m_strImageFile), while m_strImagePath keeps the
// path the user chose.
//
// Locating the archive: the user data of image sectors 22 to 37 (the disc's
// directory area) is searched as plain bytes for the archive's upper-case
// name. The ISO 9660 directory record holding it starts 33 bytes before the
// name; of it only two fields are read, at fixed distances before the match m:
//   m-25, m-24  low 16 bits of the big-endian extent location (start sector)
//   m-23..m-20  little-endian data length (archive size)
//
// Threads: one object is used by the window thread and by the extraction
// job, never at the same time (the main window is hidden while a job runs).

#include "disc/SectorPlan.h"
#include "io/BinaryFile.h"
#include "base/Message.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qorlu {

// The message for an image that another program holds locked.
inline std::string ImageInUse(const std::string& path) {
    return "The image is in use by another program:\n" + path + "\nNothing was changed.";
}

// Archive bytes that one change writes, at an archive offset.
struct ArchiveWrite {
    std::uint32_t offset;
    const std::uint8_t* bytes;
    std::uint32_t count;
};

// Bytes that one change writes at a position of the image file, headers
// and trailers of raw sectors included.
struct ImageWrite {
    std::uint64_t position;
    const std::uint8_t* bytes;
    std::uint32_t count;
};

// The two layouts' sector geometry: bytes per sector in the file, and the
// header and trailer bytes around each sector's 2048 user bytes.
struct SectorGeometry {
    std::int32_t rawSectorSize;
    std::int32_t headerSize;
    std::int32_t trailerSize;
};
inline constexpr SectorGeometry kRawGeometry{2352, 24, 280};
inline constexpr SectorGeometry kPlainGeometry{2048, 0, 0};

class CDiscImage {
public:
    enum class OpenMode { ReadOnly, ReadWrite };
    enum class Layout { Raw, Plain };

    static constexpr std::uint32_t kFirstDirectorySector = 22;
    static constexpr std::uint32_t kDirectorySectorCount = 16;
    // The size of the archive on the game's disc; any other size is only warned about.
    static constexpr std::uint32_t kExpectedArchiveSize = 465819648;

    explicit CDiscImage(IMessageSink& messages);
    virtual ~CDiscImage();
    CDiscImage(const CDiscImage&) = delete;
    CDiscImage& operator=(const CDiscImage&) = delete;

    enum class OpenFailure { None, CannotOpen, InUse, Journal };

    // Opens ImageFile() and takes on its layout; shows "Can not open ISO
    // file!" on failure. A read-only open holds a shared lock on the file, a
    // read-write one an exclusive lock, until CloseImage; a lock that another
    // program keeps is waited for a few seconds, then the open is refused
    // with ImageInUse. With m_bInspectOnly a read-write open is refused.
    // Every other open first undoes an interrupted import under the
    // exclusive lock (see disc/ImageJournal.h); when that is needed and
    // impossible, it refuses with a message naming the journal.
    bool OpenImage(OpenMode mode);
    // Why the last OpenImage failed.
    OpenFailure LastOpenFailure() const { return m_lastOpenFailure; }
    // False when data written through the image could not be flushed.
    bool CloseImage();
    bool IsOpen() const { return m_file.IsOpen(); }

    // Finds lpszName (compared in upper case) in the directory area of the
    // image and takes the archive's start sector and size from its record.
    bool LocateArchive(const std::string& lpszImagePath, const std::string& lpszName);

    // Reads nCount archive bytes from archive offset dwOffset. Bytes beyond
    // the end of the image read as zero. True when every byte came from the image.
    bool ReadAt(std::uint32_t dwOffset, void* lpBuf, std::uint32_t nCount);
    // Writes nCount bytes over the archive from dwOffset: user data, and the
    // checksums of the raw sectors that had valid ones (see above). False
    // when any seek or write failed.
    bool WriteAt(std::uint32_t dwOffset, const void* lpBuf, std::uint32_t nCount);

    // The whole raw sectors that `writes` touch, read from the open image,
    // and the same sectors with the writes made (and their checksums
    // rewritten as WriteAt does). False when the image cannot be read.
    bool PlanWrites(std::span<const ArchiveWrite> writes, SectorPlan& plan);
    // The same for writes at image file positions (PPF patches): the bytes
    // go where they are aimed, headers and trailers too. Checksums follow
    // the same rule, and a sector whose error-detection or -correction
    // bytes a write sets keeps the bytes written. False when the image
    // cannot be read.
    bool PlanImageWrites(std::span<const ImageWrite> writes, SectorPlan& plan);
    // Writes the planned sectors, each once. False when a write failed.
    bool ApplyPlan(const SectorPlan& plan);

    enum class JournaledWrite {
        Written,    // the image holds the change, on disk, and the journal is gone
        NotStarted, // the journal could not be written (or the plan reaches past
                    // the image's end): the image is untouched
        Failed,     // a write failed: the change was undone from the journal, or
                    // the journal stays for the next open to undo it
    };
    // Makes a planned change of the image open for reading and writing, with
    // the rollback journal (disc/ImageJournal.h) around it: old sectors to
    // the journal and the disk, then each sector written once, then the
    // image flushed and the journal deleted. The caller holds the exclusive
    // lock (OpenImage(ReadWrite)) and keeps it until this returns.
    JournaledWrite WriteJournaled(const SectorPlan& plan);

    // Archive bytes that the open image holds from archive offset 0 on
    // (user data of the sectors from the start sector to the end of the file).
    std::uint64_t ArchiveBytesInImage();

    // Where archive offset dwOffset lies in the image file.
    std::uint64_t ImagePosition(std::uint32_t dwOffset) const;
    std::uint64_t ImagePosition64(std::uint64_t offset) const;

    // The layout of the open file `file` (its position moves).
    static Layout DetectLayout(BinaryFile& file);
    // The layout told by the sectors themselves: raw when the sync pattern
    // starts a fair share of the 2352-byte sectors sampled across the whole
    // file, so that one damaged sector (the volume descriptor's, say) does
    // not turn a raw image into a plain one.
    static Layout LayoutFromSyncPatterns(BinaryFile& file);
    // Sets the three geometry fields to `layout`'s.
    void UseLayout(Layout layout);
    Layout CurrentLayout() const { return m_nSectorHeaderSize == 0 ? Layout::Plain : Layout::Raw; }
    // "raw 2352-byte sectors" or "plain 2048-byte sectors".
    static const char* LayoutName(Layout layout);

    // The file that holds the sectors: the data file of a cue sheet, else m_strImagePath.
    const std::string& ImageFile() const { return m_strImageFile.empty() ? m_strImagePath : m_strImageFile; }

    IMessageSink& Messages() { return m_messages; }

    // The image path exactly as the user gave it (shown in messages), so the
    // chosen file is found on file systems whose names are case-sensitive.
    std::string m_strImagePath;
    // The data file named by a cue sheet at m_strImagePath; empty when the
    // image was given directly. Every open uses ImageFile().
    std::string m_strImageFile;
    BinaryFile m_file;
    // The geometry of the layout found by the last OpenImage; raw until then.
    std::int32_t m_nRawSectorSize = kRawGeometry.rawSectorSize;
    std::int32_t m_nSectorHeaderSize = kRawGeometry.headerSize;
    std::int32_t m_nSectorTrailerSize = kRawGeometry.trailerSize;
    std::string m_strArchiveName;
    std::int32_t m_nStartSector = 0;
    std::uint32_t m_nArchiveSize = 0;
    bool m_bLocated = false;
    // Looking only: every open is read-only and an interrupted import's
    // journal is left as found (qorlu verify reports it).
    bool m_bInspectOnly = false;

protected:
    std::uint32_t UserDataSize() const {
        return static_cast<std::uint32_t>(m_nRawSectorSize - m_nSectorHeaderSize - m_nSectorTrailerSize);
    }

private:
    bool RecoverInterruptedImport(bool holdsWriteLock);
    bool RefuseOpen(OpenFailure why, const Notice& notice);

    IMessageSink& m_messages;
    OpenFailure m_lastOpenFailure = OpenFailure::None;

    // ReadAt's: where each run's bytes go, and the bytes between sectors.
    std::vector<std::span<std::uint8_t>> m_readPieces;
    std::vector<std::uint8_t> m_readGap;
};

} // namespace qorlu
