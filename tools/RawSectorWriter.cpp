#include "tools/RawSectorWriter.h"

#include "disc/SectorChecksum.h"
#include "io/BinaryFile.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qorlu::tools {

namespace {

std::uint8_t Bcd(unsigned v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

} // namespace

void WriteRawSector(std::uint32_t lba, std::span<const std::uint8_t> user, std::uint8_t* raw) {
    std::memset(raw, 0, kRawBytes);
    std::memset(raw + 1, 0xFF, 10);
    const std::uint32_t frames = lba + 150;
    std::memcpy(raw + 24, user.data(), std::min(user.size(), kUserBytes));
    const std::uint8_t subheader[4] = {0, 0, 0x08, 0};
    std::memcpy(raw + 16, subheader, 4);
    std::memcpy(raw + 20, subheader, 4);
    raw[12] = Bcd(frames / (60 * 75));
    raw[13] = Bcd((frames / 75) % 60);
    raw[14] = Bcd(frames % 75);
    raw[15] = 2;
    sector::EncodeForm1(raw);
}

std::vector<std::uint8_t> WrapIntoRawSectors(std::span<const std::uint8_t> logical) {
    const std::size_t blocks = (logical.size() + kUserBytes - 1) / kUserBytes;
    std::vector<std::uint8_t> raw(blocks * kRawBytes);
    std::array<std::uint8_t, kUserBytes> block{};
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::size_t n = std::min(kUserBytes, logical.size() - i * kUserBytes);
        block.fill(0);
        std::memcpy(block.data(), logical.data() + i * kUserBytes, n);
        WriteRawSector(static_cast<std::uint32_t>(i), block, raw.data() + i * kRawBytes);
    }
    return raw;
}

bool WriteRawImage(const std::string& path, std::span<const std::uint8_t> logical) {
    return WriteWholeFile(path, WrapIntoRawSectors(logical));
}

} // namespace qorlu::tools
