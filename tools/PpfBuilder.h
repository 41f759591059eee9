#pragma once
// PPF patch files put together byte by byte from the format's description
// (not by the kit's writer), for the tests and the fuzzers' seeds.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qorlu::tools {

struct PpfBuildRecord {
    std::uint64_t offset = 0;           // 4 bytes in 1.0 and 2.0, 8 in 3.0
    std::vector<std::uint8_t> newBytes; // length byte, then these
    std::vector<std::uint8_t> oldBytes; // 3.0 with undo only, after the new ones
};

struct PpfBuild {
    int version = 3;                 // 1, 2 or 3: "PPF10" method 0, "PPF20" 1, "PPF30" 2
    std::string description;         // padded with spaces to 50 bytes
    std::vector<std::uint8_t> block; // the 1024 validation bytes (2.0; 3.0 when `validation`)
    std::uint32_t originalSize = 0;  // 2.0: after the 56-byte header
    bool validation = true;          // 3.0 byte 57
    bool undo = false;               // 3.0 byte 58
    std::uint8_t imageType = 0;      // 3.0 byte 56
    std::vector<PpfBuildRecord> records;
    std::optional<std::string> fileIdDiz; // 2.0 and 3.0: the trailer's text
    bool dizLengthPadded = false;         // 3.0: the trailer's 2-byte length followed by 2 zero bytes
};

std::vector<std::uint8_t> EncodePpf(const PpfBuild& patch);

// The 1024 bytes of `image` from 0x9320 on, zero past its end.
std::vector<std::uint8_t> ValidationBlockOf(const std::vector<std::uint8_t>& image);

} // namespace qorlu::tools
