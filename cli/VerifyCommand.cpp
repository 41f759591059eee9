// qorlu verify IMAGE: checks the error-detection and -correction bytes of
// every sector of the image, and names the archive entry of each wrong one.
// It changes nothing: the image is opened read-only, and the journal of an
// interrupted import is reported, not rolled back.

#include "archive/AfsLayout.h"
#include "archive/ArchiveLoading.h"
#include "cli/Commands.h"
#include "cli/ConsoleSink.h"
#include "cli/Terminal.h"
#include "disc/CueSheet.h"
#include "disc/ImageJournal.h"
#include "disc/SectorChecksum.h"
#include "disc/SectorScan.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace qorlu::cli {

namespace {

// Wrong sectors listed one by one; the rest are only counted.
constexpr std::size_t kListedWrongSectors = 20;

// Keeps the locator's boxes to itself: an image without the archive is
// still checked, its wrong sectors just carry no entry names.
class QuietSink final : public IMessageSink {
public:
    Answer Show(const Notice&) override { return Answer::Ok; }
};

// Where image sector `s` lies with respect to the archive.
std::string PlaceOfSector(const CAfsArchive& archive, bool located, std::uint64_t s) {
    if (!located || s < static_cast<std::uint64_t>(archive.m_nStartSector))
        return "outside " + std::string(kArchiveName);
    const std::uint64_t from = (s - static_cast<std::uint64_t>(archive.m_nStartSector)) * sector::kUserSize;
    const std::uint64_t to = from + sector::kUserSize;
    const std::uint64_t names = archive.m_nNameDirOffset;
    const std::uint64_t end = std::max<std::uint64_t>(archive.m_nArchiveSize, names + 48ull * archive.m_nEntryCount);
    if (from >= end) return "outside " + std::string(kArchiveName);
    std::string found;
    std::uint32_t more = 0;
    for (std::uint32_t i = 0; i < archive.m_nEntryCount; ++i) {
        const std::uint64_t o = archive.GetEntryOffset(i);
        const std::uint64_t e = o + archive.GetEntrySize(i);
        if (o < to && from < e) {
            if (found.empty())
                found = archive.GetEntryName(i);
            else
                ++more;
        }
    }
    // Every part of the archive that the sector holds bytes of.
    std::string parts;
    const auto add = [&parts](const std::string& part) { parts += (parts.empty() ? "" : ", ") + part; };
    if (from < afs::TableEnd(archive.m_nEntryCount)) add("entry table");
    if (!found.empty()) add(found + (more ? " and " + std::to_string(more) + " more entries" : ""));
    if (from < names + afs::NameDirBytes(archive.m_nEntryCount) && names < to) add("name directory");
    return std::string(kArchiveName) + ": " + (parts.empty() ? "between entries" : parts);
}

class ProgressLine {
public:
    ProgressLine() : m_draw(StderrTakesProgress()) {}
    void Update(std::uint64_t done, std::uint64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (!m_draw || (m_open && done < total && now - m_last < std::chrono::milliseconds(100))) return;
        m_last = now;
        const int width = 30;
        const int filled = total == 0 ? width : static_cast<int>(done * width / total);
        std::fprintf(stderr, "\r[%-*s] %llu/%llu sectors\033[K", width,
                     std::string(static_cast<std::size_t>(filled), '#').c_str(), static_cast<unsigned long long>(done),
                     static_cast<unsigned long long>(total));
        m_open = true;
    }
    void End() {
        if (m_open) std::fputs("\n", stderr);
        m_open = false;
    }

private:
    bool m_draw;
    bool m_open = false;
    std::chrono::steady_clock::time_point m_last;
};

void PrintCount(const char* what, std::uint64_t n) {
    std::printf("%s\t%llu\n", what, static_cast<unsigned long long>(n));
}

// What the next open of the image does with the journal of an interrupted import.
const char* WhatTheNextOpenDoes(RecoveryResult next) {
    switch (next) {
    case RecoveryResult::Restored:
        return "the next open of the image (list, extract, import, patch-apply or a window) puts its old sectors back "
               "and deletes the journal";
    case RecoveryResult::OtherFile:
        return "the next open of the image refuses it and changes nothing: the image holds neither the import's old "
               "nor its new bytes in some block, and is not the file the journal was written for";
    case RecoveryResult::ImageChanged:
        return "the next open of the image refuses it and changes nothing: the image was changed by another program "
               "after the import";
    case RecoveryResult::UnknownVersion:
        return "the next open of the image refuses it and changes nothing: the journal comes from another version of "
               "qorlu";
    default:
        return "the next open of the image refuses it and changes nothing: the journal can not be read";
    }
}

} // namespace

int RunVerify(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: qorlu verify IMAGE\n", stderr);
        return 2;
    }
    const std::string& chosen = args[0];
    std::string file = chosen;
    if (IsCueSheetPath(chosen)) {
        std::string problem;
        const auto data = DataFileOfCueSheet(chosen, problem);
        if (!data) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 1;
        }
        file = *data;
    }

    // Read-only, under a shared lock: an import running meanwhile is waited
    // for, never read half done.
    BinaryFile image;
    const LockedOpen opened = image.OpenLocked(file, BinaryFile::Mode::Read, LockKind::Shared);
    if (opened == LockedOpen::InUse) {
        std::fprintf(stderr, "%s\n", ImageInUse(chosen).c_str());
        return 1;
    }
    if (opened != LockedOpen::Opened) {
        std::fprintf(stderr, "%s\n", CanNotReadFile(file).c_str());
        return 1;
    }
    const std::string journal = LocateJournal(file);
    const RecoveryResult next = PredictRecovery(journal, image.Handle());
    // A journal that the next open plays back or refuses means the image may
    // hold a half-made import; an unfinished one was written by an import
    // that died before it touched the image; a file that is no journal is
    // somebody else's.
    const bool interrupted = next != RecoveryResult::NothingToDo && next != RecoveryResult::DiscardedIncomplete;
    if (next == RecoveryResult::DiscardedIncomplete)
        std::printf("an unfinished journal lies beside the image\n%s\nthe import that wrote it never changed the "
                    "image; the next open deletes it\n",
                    journal.c_str());
    if (interrupted)
        std::fprintf(stderr, "an interrupted import left its journal\n%s\nverify leaves it as it is; %s\n",
                     journal.c_str(), WhatTheNextOpenDoes(next));
    const auto layout = CDiscImage::LayoutFromSyncPatterns(image);
    std::printf("layout\t%s\n", CDiscImage::LayoutName(layout));
    if (layout == CDiscImage::Layout::Plain) {
        image.Close();
        std::printf("%s: a plain image of 2048-byte sectors carries no sector checksums\n", chosen.c_str());
        return interrupted ? 1 : 0;
    }

    QuietSink quiet;
    CAfsArchive archive(quiet);
    archive.m_bInspectOnly = true;
    const bool located = LocateAndLoadIndex(archive, chosen, quiet);

    ProgressLine progress;
    const SectorScanResult scan = ScanRawSectors(
        image, kListedWrongSectors, [&](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
    progress.End();
    image.Close();

    for (const auto s : scan.firstWrong)
        std::printf("wrong sector %llu\t%s\n", static_cast<unsigned long long>(s),
                    PlaceOfSector(archive, located, s).c_str());
    if (scan.wrong > scan.firstWrong.size())
        std::printf("... and %llu more wrong sectors\n",
                    static_cast<unsigned long long>(scan.wrong - scan.firstWrong.size()));
    PrintCount("sectors", scan.sectors);
    PrintCount("valid Form 1", scan.valid);
    PrintCount("wrong Form 1", scan.wrong);
    PrintCount("Form 1 without checksums", scan.unchecked);
    PrintCount("Form 2", scan.form2);
    PrintCount("other kinds", scan.other);
    if (scan.partialBytes > 0)
        std::printf("partial last sector\t%llu bytes, not checked\n",
                    static_cast<unsigned long long>(scan.partialBytes));
    if (!located) std::printf("%s not found: wrong sectors are not named by entry\n", kArchiveName);
    if (scan.readFailed) std::fprintf(stderr, "%s\n", CanNotReadFile(file).c_str());
    std::fflush(stdout);
    return scan.wrong == 0 && !scan.readFailed && !interrupted ? 0 : 1;
}

} // namespace qorlu::cli
