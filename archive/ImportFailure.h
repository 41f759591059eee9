#pragma once
// Why a file was not written over an entry, and where: made where the
// import finds it, kept by the archive, and shown at that moment with the
// same text as ever.

#include <cstdint>
#include <string>

namespace qorlu {

enum class ImportFailureKind {
    CannotOpenFile,     // the replacement can not be opened
    TooLarge,           // it is longer than the entry's slot space
    CannotReadFile,     // it can not be read whole (or not held in memory)
    LastEntrySizeFixed, // the last entry's new size would lose the name directory
    CannotOpenImage,    // the image can not be opened for writing
    ImageInUse,         // another program holds the image (it said so itself)
    ImageChanged,       // another program changed the archive since it was loaded
    CannotWrite,        // the image could not be written or closed whole
};

struct ImportFailure {
    ImportFailureKind kind = ImportFailureKind::CannotOpenFile;
    std::uint32_t entry = 0;
    std::uint64_t offset = 0;   // the entry's archive offset
    std::uint64_t space = 0;    // its slot space
    std::uint64_t fileSize = 0; // the replacement's length, where it was found
    std::string file;           // the replacement
    std::string image;          // the image
};

// The text of the box that reports `failure`; empty for ImageInUse, whose
// box the image's opening has shown.
std::string ImportFailureText(const ImportFailure& failure);

} // namespace qorlu
