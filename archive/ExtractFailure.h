#pragma once
// Why one entry of an extraction got no file, and where: made where the
// failure is found, kept by the archive, and told by the front end that
// reports the job.

#include <cstdint>
#include <string>

namespace qorlu {

enum class ExtractFailureKind {
    NotInIndex,            // no entry of that number
    NameLeavesFolder,      // a rooted name, a drive or ".." would reach outside the output folder
    NameWindowsCannotHold, // a device name or characters Windows refuses (Windows builds)
    PastTheImage,          // the entry's offset and size reach past the archive bytes in the image
    IsTheImage,            // the file under the entry's name is the image being read
    AnotherEntrysFile,     // this job wrote another entry to the same file (another letter case)
    CannotCreate,          // the output file can not be created
    CannotRead,            // the image can not be read where the entry lies
    CannotWrite,           // the output file can not be written or closed whole
};

struct ExtractFailure {
    ExtractFailureKind kind = ExtractFailureKind::NotInIndex;
    std::uint32_t entry = 0;
    std::string name;         // the entry's name, as the archive holds it
    std::uint64_t offset = 0; // archive offset and size of the entry
    std::uint64_t size = 0;
    std::string path; // the output file, where there is one
};

// One line that says why, for a list of the entries that were not written:
// "<name>: <reason>".
std::string DescribeExtractFailure(const ExtractFailure& failure);

} // namespace qorlu
