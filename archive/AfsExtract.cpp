// Writing one archive entry to a file below an output folder.

#include "archive/AfsArchive.h"
#include "archive/ExtractTargets.h"
#include "io/FileLayer.h"
#include "base/Text.h"

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

std::string DescribeExtractFailure(const ExtractFailure& failure) {
    const std::string where =
        "archive offset " + std::to_string(failure.offset) + ", " + std::to_string(failure.size) + " bytes";
    std::string why;
    switch (failure.kind) {
    case ExtractFailureKind::NotInIndex:
        why = "no such entry";
        break;
    case ExtractFailureKind::NameLeavesFolder:
        why = "its name would lead outside the output folder";
        break;
    case ExtractFailureKind::NameWindowsCannotHold:
        why = "Windows can not hold a file of this name";
        break;
    case ExtractFailureKind::PastTheImage:
        why = "it reaches past the end of the image (" + where + ")";
        break;
    case ExtractFailureKind::IsTheImage:
        why = "the file of this name is the image being read: " + failure.path;
        break;
    case ExtractFailureKind::AnotherEntrysFile:
        why = "another entry, whose name differs only in letter case, was written to the same file: " + failure.path;
        break;
    case ExtractFailureKind::CannotCreate:
        why = "the file can not be created: " + failure.path;
        break;
    case ExtractFailureKind::CannotRead:
        why = "the image can not be read there (" + where + ")";
        break;
    case ExtractFailureKind::CannotWrite:
        why = "the file could not be written whole: " + failure.path;
        break;
    }
    return (failure.name.empty() ? "entry " + std::to_string(failure.entry) : failure.name) + ": " + why;
}

int CAfsArchive::ExtractEntry(const std::string& lpszFolder, std::uint32_t nIndex) {
    if (m_nEntryCount == 0 || nIndex >= m_nEntryCount) return Fail(ExtractFailureKind::NotInIndex, nIndex);
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

int CAfsArchive::Fail(ExtractFailureKind kind, std::uint32_t nIndex, std::string path) {
    m_lastExtractFailure = ExtractFailure{
        kind, nIndex, GetEntryName(nIndex), GetEntryOffset(nIndex), GetEntrySize(nIndex), std::move(path)};
    return 0;
}

int CAfsArchive::ExtractInto(ExtractTargets& targets, std::uint64_t archiveBytes, const std::string& lpszFolder,
                             std::uint32_t nIndex, CReadAheadRing::CEntryPieces& pieces) {
    m_lastExtractFailure.reset();
    if (m_nEntryCount == 0 || nIndex >= m_nEntryCount) return Fail(ExtractFailureKind::NotInIndex, nIndex);
    std::string folder = lpszFolder;
    if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
    const std::string name = GetEntryName(nIndex);
    if (!StaysInsideFolder(name)) return Fail(ExtractFailureKind::NameLeavesFolder, nIndex);
#ifdef _WIN32
    // A name that Windows would refuse, or take for a device, is not written
    // rather than written somewhere else. Other systems hold these names.
    if (!WindowsCanHoldName(name)) return Fail(ExtractFailureKind::NameWindowsCannotHold, nIndex);
#endif
    // An entry that the image does not hold whole (a damaged size or offset)
    // gets no file at all: nothing is read past the image's end, and no
    // file of an extraction is longer than the image.
    if (!EntryLiesWithin(nIndex, archiveBytes)) return Fail(ExtractFailureKind::PastTheImage, nIndex);

    // The entry's folders, outermost first; a folder that exists already is
    // fine. Each is made (or found) once per job.
    const bool freshFolder = targets.MakeFolders(folder, name);

    // The image being read is never opened for writing: the same file under
    // the entry's name (a link to it, or its name in another letter case on
    // a file system that ignores case) is not written; nor is a file this
    // job wrote for another entry whose name differs only in letter case,
    // on a file system that ignores case.
    const std::string target = folder + name;
    switch (targets.ClashAt(target, freshFolder)) {
    case ExtractTargets::Clash::None:
        break;
    case ExtractTargets::Clash::TheImage:
        return Fail(ExtractFailureKind::IsTheImage, nIndex, target);
    case ExtractTargets::Clash::AnotherEntry:
        return Fail(ExtractFailureKind::AnotherEntrysFile, nIndex, target);
    }

    BinaryFile out;
    if (!out.Open(target, BinaryFile::Mode::Create)) return Fail(ExtractFailureKind::CannotCreate, nIndex, target);
    const auto written = out.Handle().Identity();
    // Each piece is written straight from the slot it was read into; an
    // entry up to the slot size goes out in one write.
    bool read = true;
    bool whole = true;
    std::span<const std::uint8_t> piece;
    while (read && whole && pieces.Left() > 0) {
        read = pieces.Next(piece);
        whole = read && out.Write(piece.data(), piece.size());
    }
    const bool closed = out.Close();
    if (whole && closed && !out.Failed()) {
        if (written) targets.Remember(target, *written);
        return 1;
    }
    // A file that did not receive the whole entry would look complete.
    (void)RemoveFile(target);
    return Fail(read ? ExtractFailureKind::CannotWrite : ExtractFailureKind::CannotRead, nIndex, target);
}

} // namespace qorlu
