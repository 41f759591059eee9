// qorlu list IMAGE: the layout and the archive index of a CD image, located and loaded
// exactly as the unpacker window's "Select CD Image" does.

#include "archive/ArchiveLoading.h"
#include "cli/Commands.h"
#include "cli/ConsoleSink.h"

#include <cstdio>
#include <string>

namespace qorlu::cli {

int RunList(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: qorlu list IMAGE\n", stderr);
        return 2;
    }
    ConsoleSink sink;
    CAfsArchive archive(sink);
    if (!LocateAndLoadIndex(archive, args[0], sink)) {
        if (!archive.LastLoadProblem().empty()) std::fprintf(stderr, "%s\n", archive.LastLoadProblem().c_str());
        return 1;
    }

    std::printf("layout\t%s\n", CDiscImage::LayoutName(archive.CurrentLayout()));
    std::printf("start sector\t%d\n", archive.m_nStartSector);
    std::printf("archive size\t%u\n", archive.m_nArchiveSize);
    std::printf("entry count\t%u\n", archive.m_nEntryCount);
    std::printf("name directory offset\t%u\n", archive.m_nNameDirOffset);
    std::printf("index\toffset\tsize\tspace\tname\n");

    for (std::uint32_t i = 0; i < archive.m_nEntryCount; ++i) {
        const std::string name = archive.GetEntryName(i);
        const std::uint32_t offset = archive.GetEntryOffset(i);
        const std::uint32_t size = archive.GetEntrySize(i);
        std::printf("%u\t%u\t%u\t%u\t%s\n", i, offset, size, archive.GetEntrySpace(i), name.c_str());
        if (!archive.EntryLiesWithin(i, archive.ArchiveBytesAtLoad()))
            std::fprintf(stderr, "warning: entry %u (%s) lies beyond the end of the image\n", i, name.c_str());
    }
    std::fflush(stdout);
    return 0;
}

} // namespace qorlu::cli
