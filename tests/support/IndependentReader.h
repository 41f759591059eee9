#pragma once
// Reading a disc image's files with tools that share no code with the kit:
// libcdio's cd-info and cd-read (raw images, through a cue sheet) and
// iso-read (plain ISO images).

#include <cstdint>
#include <string>
#include <vector>

namespace qorlu::test {

// The program is found on PATH.
bool HaveProgram(const std::string& name);

// Writes a one-track MODE2/2352 cue sheet for `bin` (named by its file name) at `cue`.
void WriteRawCueSheet(const std::string& cue, const std::string& bin);

// The bytes of `isoName` (e.g. "filedata.afs", matched case-blind) as cd-info
// lists it and cd-read reads it through `cue`. Empty, with a test failure
// added, when the tools do not find it.
std::vector<std::uint8_t> ReadFileThroughCue(const std::string& cue, const std::string& isoName,
                                             const std::string& scratch);

// The bytes of `isoPath` (e.g. "/FILEDATA.AFS;1") inside the plain image `iso`, as iso-read reads them.
std::vector<std::uint8_t> ReadFileFromIso(const std::string& iso, const std::string& isoPath,
                                          const std::string& scratch);

} // namespace qorlu::test
