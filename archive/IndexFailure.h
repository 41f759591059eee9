#pragma once
// Why an archive's index was refused, and where in the archive: made where
// the check fails, kept by the archive, and told by the front end that
// loaded it.

#include <cstdint>
#include <string>

namespace qorlu {

enum class IndexFailureKind {
    OutOfMemory,        // the table and the names do not fit in memory
    NoEntries,          // the count is 0
    TablePastImage,     // the entry table runs past the archive bytes in the image
    LastEntryPastImage, // the last entry ends past them
    NameDirPastImage,   // the name directory runs past them
    NameDirOverTable,   // the name directory starts inside the count or the table
};

struct IndexFailure {
    IndexFailureKind kind = IndexFailureKind::NoEntries;
    std::uint32_t count = 0;     // the entry count the archive records
    std::uint64_t offset = 0;    // archive offset of what was refused (table, end of the last entry, name directory)
    std::uint64_t size = 0;      // its size in bytes (0 for an end)
    std::uint64_t available = 0; // archive bytes the image holds
};

// "<what is wrong> (<where>)", for the line after the index is refused.
std::string DescribeIndexFailure(const IndexFailure& failure);

} // namespace qorlu
