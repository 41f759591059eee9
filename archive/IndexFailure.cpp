#include "archive/IndexFailure.h"

#include "archive/AfsLayout.h"

namespace qorlu {

namespace {

std::string Span(std::uint64_t offset, std::uint64_t size) {
    return "archive offsets " + std::to_string(offset) + " to " + std::to_string(offset + size);
}

std::string Holds(std::uint64_t available) {
    return "the image holds " + std::to_string(available) + " bytes of the archive";
}

} // namespace

std::string DescribeIndexFailure(const IndexFailure& f) {
    switch (f.kind) {
    case IndexFailureKind::OutOfMemory:
        return "the index does not fit in memory";
    case IndexFailureKind::NoEntries:
        return "the archive holds no entries (the count at archive offset " + std::to_string(afs::kCountOffset) +
               " is 0)";
    case IndexFailureKind::TablePastImage:
        return "the entry table of " + std::to_string(f.count) + " entries does not fit in the image (" +
               Span(f.offset, f.size) + ", " + Holds(f.available) + ")";
    case IndexFailureKind::LastEntryPastImage:
        return "the last entry ends beyond the image (entry " + std::to_string(f.count - 1) +
               " ends at archive offset " + std::to_string(f.offset) + ", " + Holds(f.available) + ")";
    case IndexFailureKind::NameDirPastImage:
        return "the name directory does not fit in the image (" + Span(f.offset, f.size) + ", " + Holds(f.available) +
               ")";
    case IndexFailureKind::NameDirOverTable:
        return "the name directory overlaps the entry table (it starts at archive offset " + std::to_string(f.offset) +
               ", the table ends at " + std::to_string(afs::TableEnd(f.count)) + ")";
    }
    return "the index was refused";
}

} // namespace qorlu
