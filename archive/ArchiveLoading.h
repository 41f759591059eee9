#pragma once
// Choosing an image: locate "filedata.afs" in it and load its index, with
// the messages that the main window and the command line show.

#include "archive/AfsArchive.h"

#include <string>

namespace qorlu {

inline constexpr const char* kArchiveName = "filedata.afs";

// LocateArchive, then LoadIndex. A load failure shows "filedata.afs load
// error!" through `owner` (the locator shows its own messages). True when the
// index is loaded.
bool LocateAndLoadIndex(CAfsArchive& archive, const std::string& imagePath, IMessageSink& owner);

} // namespace qorlu
