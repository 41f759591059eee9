// Writing one archive entry to a file below an output folder.

#include "archive/AfsArchive.h"
#include "archive/ExtractTargets.h"
#include "shell/FileLayer.h"
#include "shell/Text.h"

#include <algorithm>
#include <vector>

namespace qorlu {

namespace {

// Names come from the disc and are untrusted: one that is rooted, carries a
// drive prefix or climbs out with ".." never becomes a path.
bool StaysInsideFolder(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

bool IsDeviceName(std::string_view part) {
    // "CON", "con.txt" and "Com1.tar.gz" all name the device.
    const std::string stem = ToUpperAscii(part.substr(0, part.find('.')));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

bool WindowsCanHoldPart(std::string_view part) {
    if (part.empty() || part == "." || part == "..") return true; // StaysInsideFolder's business
    if (part.back() == '.' || part.back() == ' ') return false;
    for (const char c : part) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
            return false;
    }
    return !IsDeviceName(part);
}

} // namespace

bool WindowsCanHoldName(std::string_view name) {
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
        if (!WindowsCanHoldPart(name.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

int CAfsArchive::ExtractEntry(const std::string& lpszFolder, std::uint32_t nIndex) {
    if (m_nEntryCount == 0 || nIndex >= m_nEntryCount) return 0;
    const std::uint64_t archiveBytes = ArchiveBytesInImage();
    ExtractTargets targets(ImageFile());
    CReadAheadRing ring(std::vector<CReadAheadRing::Span>{ReadSpan(nIndex, archiveBytes)}, ImageReader());
    auto pieces = ring.NextEntry();
    return ExtractInto(targets, archiveBytes, lpszFolder, nIndex, pieces);
}

CReadAheadRing::Span CAfsArchive::ReadSpan(std::uint32_t nIndex, std::uint64_t archiveBytes) const {
    // An entry that the image does not hold whole is not read at all.
    if (!EntryLiesWithin(nIndex, archiveBytes)) return {};
    return {GetEntryOffset(nIndex), GetEntrySize(nIndex)};
}

CReadAheadRing::Reader CAfsArchive::ImageReader() {
    return [this](std::uint32_t offset, std::uint8_t* buffer, std::uint32_t count) {
        return ReadAt(offset, buffer, count);
    };
}

int CAfsArchive::ExtractInto(ExtractTargets& targets, std::uint64_t archiveBytes, const std::string& lpszFolder,
                             std::uint32_t nIndex, CReadAheadRing::CEntryPieces& pieces) {
    if (m_nEntryCount == 0 || nIndex >= m_nEntryCount) return 0;
    std::string folder = lpszFolder;
    if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
    const std::string name = GetEntryName(nIndex);
    if (!StaysInsideFolder(name)) return 0;
#ifdef _WIN32
    // A name that Windows would refuse, or take for a device, is not written
    // rather than written somewhere else. Other systems hold these names.
    if (!WindowsCanHoldName(name)) return 0;
#endif
    // An entry that the image does not hold whole (a damaged size or offset)
    // gets no file at all: nothing is read past the image's end, and no
    // file of an extraction is longer than the image.
    if (!EntryLiesWithin(nIndex, archiveBytes)) return 0;

    // The entry's folders, outermost first; a folder that exists already is
    // fine. Each is made (or found) once per job.
    const bool freshFolder = targets.MakeFolders(folder, name);

    // The image being read is never opened for writing: the same file under
    // the entry's name (a link to it, or its name in another letter case on
    // a file system that ignores case) is not written; nor is a file this
    // job wrote for another entry whose name differs only in letter case,
    // on a file system that ignores case.
    const std::string target = folder + name;
    if (!targets.MayWrite(target, freshFolder)) return 0;

    BinaryFile out;
    if (!out.Open(target, BinaryFile::Mode::Create)) return 0;
    const auto written = out.Handle().Identity();
    // Each piece is written straight from the slot it was read into; an
    // entry up to the slot size goes out in one write.
    bool whole = true;
    std::span<const std::uint8_t> piece;
    while (whole && pieces.Left() > 0) whole = pieces.Next(piece) && out.Write(piece.data(), piece.size());
    const bool closed = out.Close();
    if (whole && closed && !out.Failed()) {
        if (written) targets.Remember(target, *written);
        return 1;
    }
    // A file that did not receive the whole entry would look complete.
    (void)RemoveFile(target);
    return 0;
}

} // namespace qorlu
