#pragma once
// The rollback journal of an import: the old contents of every raw sector
// that an import is about to change, kept next to the image until the
// import has reached the disk.

#include <string>

namespace qorlu {

// The journal of the image file at `imageFile` (the file that holds the
// sectors, not a cue sheet that names it).
inline std::string JournalPathFor(const std::string& imageFile) { return imageFile + ".qorlu-undo"; }

} // namespace qorlu
