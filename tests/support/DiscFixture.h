#pragma once
// Raw disc images for tests, made without an authoring tool: a directory
// area (image sectors 22 to 37) holding one ISO 9660 directory record for
// the archive, and the archive's bytes from a chosen sector on.

#include "tools/AfsBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qorlu::test {

struct DirectoryRecordSpec {
    std::ptrdiff_t areaOffset = 100; // where the identifier starts in the 32768-byte area
    std::string identifier = "FILEDATA.AFS;1";
    std::uint32_t extent = 40;            // extent location, stored in both byte orders
    std::uint32_t dataLength = 465819648; // stored in both byte orders
};

// Logical 2048-byte blocks: `blocks` of them, zero, with `record` placed in
// the directory area.
std::vector<std::uint8_t> LogicalImageWithRecord(std::size_t blocks, const DirectoryRecordSpec& record);

// Places a directory record whose identifier starts at `areaOffset` of the directory area.
void PlaceRecord(std::vector<std::uint8_t>& logical, const DirectoryRecordSpec& record);

// A raw image (at `path`) holding `archive` from sector `startSector` on and
// a record that names it with its real size, unless `dataLength` is given.
void WriteImageWithArchive(const std::string& path, const std::vector<std::uint8_t>& archive,
                           std::uint32_t startSector = 40, std::int64_t dataLength = -1);

} // namespace qorlu::test
