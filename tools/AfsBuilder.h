#pragma once
// Builds archives of the game's layout from made-up entries, for the sample
// image and the tests. See archive/AfsArchive.h for the layout.

#include <cstdint>
#include <string>
#include <vector>

namespace qorlu::tools {

struct AfsBuildEntry {
    std::string name; // "/" separates folders; at most 32 bytes are stored
    std::vector<std::uint8_t> data;
    std::uint32_t extraRoom = 0; // zero bytes added to the slot after the aligned data
};

struct AfsBuildOptions {
    std::uint32_t alignment = 2048;   // entries start at multiples of this
    std::uint32_t gapBeforeNames = 0; // zero bytes between the last entry's data and the names
};

struct AfsLayout {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> offsets;
    std::uint32_t nameDirOffset = 0;
};

AfsLayout BuildAfs(const std::vector<AfsBuildEntry>& entries, const AfsBuildOptions& options = {});

// Deterministic filler bytes: the same seed always gives the same bytes.
std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed);

} // namespace qorlu::tools
