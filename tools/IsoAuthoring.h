#pragma once
// Authors an ISO 9660 file system from a folder with the system's
// genisoimage (or xorriso in its genisoimage mode), so that the directory
// records of sample and test images come from a real authoring tool.

#include <string>

namespace qorlu::tools {

// Writes the file system holding `folder`'s contents to `isoPath`. False,
// with `error` telling why, when no authoring tool ran successfully.
bool AuthorIso(const std::string& folder, const std::string& isoPath, std::string& error);

// Authors `folder` and wraps the result into raw 2352-byte sectors at `binPath`.
bool AuthorRawImage(const std::string& folder, const std::string& binPath, std::string& error);

} // namespace qorlu::tools
