#pragma once
// A ".cue" sheet standing for the image file it describes.
//
// The lines that count (keywords in any letter case, other lines ignored):
//   FILE "name with spaces.bin" BINARY     or   FILE name.bin BINARY
//   TRACK 01 MODE2/2352                    the first TRACK after a FILE is that file's first track
// The data file is the first FILE whose first track is MODE2/2352 (raw
// sectors) or MODE1/2048 (plain 2048-byte sectors). Its name is taken
// relative to the sheet's folder, as written; where no file of that exact
// name exists, a name that differs only in letter case is taken instead.

#include <optional>
#include <string>

namespace qorlu {

// The path ends in ".cue", in any letter case.
bool IsCueSheetPath(const std::string& path);

// The data file named by the sheet at `sheetPath`. On failure nullopt, and
// `problem` holds the text to show, naming the sheet (and the file, when
// the sheet names one that does not exist).
std::optional<std::string> DataFileOfCueSheet(const std::string& sheetPath, std::string& problem);

} // namespace qorlu
