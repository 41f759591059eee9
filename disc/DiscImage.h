#pragma once
// A raw CD image (".bin") and the archive that lies inside it.
//
// Raw sector, 2352 bytes (CD-ROM XA Mode 2 Form 1):
//   0    24    header: 12 sync bytes, 4 address bytes, 8 subheader bytes
//   24   2048  user data
//   2072 280   trailer: 4 error-detection bytes, 276 error-correction bytes
// Only user data is ever read or written; headers and trailers keep their
// bytes. The archive's bytes are the user data of consecutive sectors from
// m_nStartSector on, so archive offset o lies in image sector
// m_nStartSector + o / 2048 at byte 24 + o % 2048.
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

#include "shell/BinaryFile.h"
#include "shell/Message.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qorlu {

class CDiscImage {
public:
    enum class OpenMode { ReadOnly, ReadWrite };

    static constexpr std::uint32_t kFirstDirectorySector = 22;
    static constexpr std::uint32_t kDirectorySectorCount = 16;
    // The size of the archive on the game's disc; any other size is only warned about.
    static constexpr std::uint32_t kExpectedArchiveSize = 465819648;

    explicit CDiscImage(IMessageSink& messages);
    virtual ~CDiscImage();
    CDiscImage(const CDiscImage&) = delete;
    CDiscImage& operator=(const CDiscImage&) = delete;

    // Opens the image at m_strImagePath; shows "Can not open ISO file!" on
    // failure. First undoes an interrupted import (see disc/ImageJournal.h);
    // when that is needed and impossible, refuses with a message naming the
    // journal.
    bool OpenImage(OpenMode mode);
    // False when data written through the image could not be flushed.
    bool CloseImage();
    bool IsOpen() const { return m_file.IsOpen(); }

    // Finds lpszName (compared in upper case) in the directory area of the
    // image and takes the archive's start sector and size from its record.
    bool LocateArchive(const std::string& lpszImagePath, const std::string& lpszName);

    // Reads nCount archive bytes from archive offset dwOffset. Bytes beyond
    // the end of the image read as zero. True when every byte came from the image.
    bool ReadAt(std::uint32_t dwOffset, void* lpBuf, std::uint32_t nCount);
    // Writes nCount bytes over the archive from dwOffset, user data only.
    // False when any seek or write failed.
    bool WriteAt(std::uint32_t dwOffset, const void* lpBuf, std::uint32_t nCount);

    // Archive bytes that the open image holds from archive offset 0 on
    // (user data of the sectors from the start sector to the end of the file).
    std::uint64_t ArchiveBytesInImage();

    // Where archive offset dwOffset lies in the image file.
    std::uint64_t ImagePosition(std::uint32_t dwOffset) const;

    IMessageSink& Messages() { return m_messages; }

    // The file that holds the image's sectors; its journal lies beside it.
    const std::string& ImageFile() const { return m_strImagePath; }

    // The image path exactly as the user gave it; every open uses it, so the
    // chosen file is found on file systems whose names are case-sensitive.
    std::string m_strImagePath;
    BinaryFile m_file;
    const std::int32_t m_nRawSectorSize = 2352;
    const std::int32_t m_nSectorHeaderSize = 24;
    const std::int32_t m_nSectorTrailerSize = 280;
    std::string m_strArchiveName;
    std::int32_t m_nStartSector = 0;
    std::uint32_t m_nArchiveSize = 0;
    bool m_bLocated = false;

protected:
    std::uint32_t UserDataSize() const {
        return static_cast<std::uint32_t>(m_nRawSectorSize - m_nSectorHeaderSize - m_nSectorTrailerSize);
    }

private:
    bool RecoverInterruptedImport();

    IMessageSink& m_messages;
    std::vector<std::uint8_t> m_rawScratch; // whole raw sectors of one read run
};

} // namespace qorlu
