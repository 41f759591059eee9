#pragma once
// The promises that the fuzz targets check, one function per entry point
// that reads a file. Each takes one input, puts it into files in a folder
// of this process's own, runs the library's operation on them and returns
// what went wrong (empty when every promise held). The libFuzzer programs
// abort on a finding; the regression tests run the same functions on saved
// inputs.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qorlu::fuzz {

// What went wrong with one input; empty when every promise held.
using Finding = std::string;
using CheckFunction = Finding (*)(std::span<const std::uint8_t> input);

// Locating the archive and loading its index from an image (raw, plain, or
// through a cue sheet): nothing crashes, and a loaded index keeps its table,
// its name directory and every entry's room inside the image.
Finding CheckLocate(std::span<const std::uint8_t> input);
// Extracting every entry of such an image: nothing outside the output
// folder changes, no file is longer than the image, the job ends with one
// closing message, and a job that reports no failure wrote every entry whole.
Finding CheckExtract(std::span<const std::uint8_t> input);
// Importing a file over one entry: afterwards the image is the old one, or
// the old one with only that entry's room and its two size fields changed
// (and the checksums of the sectors holding them); no journal stays.
Finding CheckImport(std::span<const std::uint8_t> input);
// Texture scan, export and import of an arbitrary container and bitmap.
Finding CheckTexture(std::span<const std::uint8_t> input);
// Flag-sheet export and import of an arbitrary sheet and bitmap.
Finding CheckFlagSheet(std::span<const std::uint8_t> input);
// Block scan, index search, export and import of an arbitrary container and file.
Finding CheckBlocks(std::span<const std::uint8_t> input);
// A PPF patch applied to (or taken back from) a small image: a refused
// patch changes nothing, an applied one only the bytes its records write
// and the checksums of their sectors; one message, no journal.
Finding CheckPatch(std::span<const std::uint8_t> input);

struct FuzzTarget {
    std::string_view name;
    CheckFunction check;
};

// Every target, by the name its program and its seed folder carry.
std::span<const FuzzTarget> FuzzTargets();
const FuzzTarget* FindFuzzTarget(std::string_view name);

} // namespace qorlu::fuzz
