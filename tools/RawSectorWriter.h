#pragma once
// Turns 2048-byte logical blocks (an ISO 9660 file system) into a raw CD
// image of 2352-byte CD-ROM XA Mode 2 Form 1 sectors, as a disc reader that
// copies whole sectors would produce:
//   0     12   sync: 00, ten FF, 00
//   12    4    address (minute, second, frame in BCD, 150 frames lead-in) and mode 2
//   16    8    subheader, twice: file 0, channel 0, submode 08 (data), coding 0
//   24    2048 user data
//   2072  4    error-detection code over bytes 16..2071
//   2076  276  error-correction codes (P and Q parity, address bytes taken as zero)

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qorlu::tools {

constexpr std::size_t kUserBytes = 2048;
constexpr std::size_t kRawBytes = 2352;

// One raw sector for logical block `lba` holding `user` (2048 bytes).
void WriteRawSector(std::uint32_t lba, std::span<const std::uint8_t> user, std::uint8_t* raw);

// The whole image; the last block is padded with zero bytes.
std::vector<std::uint8_t> WrapIntoRawSectors(std::span<const std::uint8_t> logical);

// Writes `logical` wrapped into raw sectors to `path`; false on failure.
bool WriteRawImage(const std::string& path, std::span<const std::uint8_t> logical);

} // namespace qorlu::tools
