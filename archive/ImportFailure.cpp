#include "archive/ImportFailure.h"

#include "archive/AfsArchive.h"
#include "base/Message.h"

namespace qorlu {

std::string ImportFailureText(const ImportFailure& f) {
    switch (f.kind) {
    case ImportFailureKind::CannotOpenFile:
        return "can not open file\n" + f.file;
    case ImportFailureKind::TooLarge:
        return "file size too large!";
    case ImportFailureKind::CannotReadFile:
        return CanNotReadFile(f.file);
    case ImportFailureKind::LastEntrySizeFixed:
        return "the size of the last entry can not change:\nthe archive's name directory would not be found again";
    case ImportFailureKind::CannotOpenImage:
        return "can not open ISO file!";
    case ImportFailureKind::ImageInUse:
        return "";
    case ImportFailureKind::ImageChanged:
        return ImageChangedSinceLoad(f.image);
    case ImportFailureKind::CannotWrite:
        return "can not write ISO file!";
    }
    return "can not write ISO file!";
}

} // namespace qorlu
