#pragma once
// Checks the error-detection and -correction bytes of every sector of a raw
// image, without changing it.

#include "io/BinaryFile.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace qorlu {

struct SectorScanResult {
    std::uint64_t sectors = 0;             // whole sectors read
    std::uint64_t valid = 0;               // Mode 2 Form 1, EDC and parity match
    std::uint64_t wrong = 0;               // Mode 2 Form 1, EDC or parity does not match
    std::uint64_t unchecked = 0;           // Mode 2 Form 1 with an all-zero EDC and parity
    std::uint64_t form2 = 0;               // Mode 2 Form 2
    std::uint64_t other = 0;               // no sync pattern, another mode, subheader copies differ
    std::uint64_t partialBytes = 0;        // length of a last sector that is not whole
    std::vector<std::uint64_t> firstWrong; // the lowest wrong sector numbers, in order
    bool readFailed = false;               // the file ended before its length said
};

// Reads `file` (open, raw 2352-byte sectors) from its start in runs of a
// few hundred sectors, one seek and one read each, and classifies each
// sector; one thread per processor takes runs in turn, and only one reads
// the file at a time. `progress` is called on the calling thread with the
// sectors checked so far and the total, after some of the runs and at the
// end. At most `listLimit` wrong sectors are listed, the lowest first.
SectorScanResult ScanRawSectors(BinaryFile& file, std::size_t listLimit,
                                const std::function<void(std::uint64_t, std::uint64_t)>& progress = {});

} // namespace qorlu
