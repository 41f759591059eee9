#pragma once
// Made-up game files for the sample disc, so that every tool has something
// to work on: a texture container and a compressed-block container.

#include <cstdint>
#include <vector>

namespace qorlu::tools {

// Filler, an 8-bit 32 x 16 texture, a header without presence bytes, and a
// 4-bit 16 x 8 texture, each with a palette of its own.
std::vector<std::uint8_t> MakeTextureContainer();

// Three zlib blocks of text behind an index record (layout word 8) that
// names them and the trailer after the last one.
std::vector<std::uint8_t> MakeBlockContainer();

} // namespace qorlu::tools
