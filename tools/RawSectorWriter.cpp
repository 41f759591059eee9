#include "tools/RawSectorWriter.h"

#include "shell/BinaryFile.h"

#include <array>
#include <cstring>

namespace qorlu::tools {

namespace {

std::uint8_t Bcd(unsigned v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); }

// Error-detection code: a 32-bit CRC, polynomial x^32+x^31+x^16+x^15+x^4+x^3+x+1,
// processed least significant bit first.
std::uint32_t Edc(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t v = i;
            for (int k = 0; k < 8; ++k) v = (v >> 1) ^ ((v & 1) ? 0xD8018001u : 0u);
            t[i] = v;
        }
        return t;
    }();
    std::uint32_t edc = 0;
    for (std::size_t i = 0; i < size; ++i) edc = (edc >> 8) ^ table[(edc ^ data[i]) & 0xFF];
    return edc;
}

// Reed-Solomon parity over GF(2^8) with the field polynomial x^8+x^4+x^3+x^2+1.
struct GaloisTables {
    std::array<std::uint8_t, 256> forward{};
    std::array<std::uint8_t, 256> backward{};
    GaloisTables() {
        for (unsigned i = 0; i < 256; ++i) {
            const unsigned f = (i << 1) ^ ((i & 0x80) ? 0x11D : 0);
            forward[i] = static_cast<std::uint8_t>(f);
            backward[i ^ f] = static_cast<std::uint8_t>(i);
        }
    }
};

void ComputeParity(const std::uint8_t* source, unsigned majorCount, unsigned minorCount, unsigned majorMult,
                   unsigned minorStep, std::uint8_t* dest) {
    static const GaloisTables gf;
    const unsigned size = majorCount * minorCount;
    for (unsigned major = 0; major < majorCount; ++major) {
        unsigned index = (major >> 1) * majorMult + (major & 1);
        std::uint8_t a = 0;
        std::uint8_t b = 0;
        for (unsigned minor = 0; minor < minorCount; ++minor) {
            const std::uint8_t v = source[index];
            index += minorStep;
            if (index >= size) index -= size;
            a ^= v;
            b ^= v;
            a = gf.forward[a];
        }
        a = gf.backward[gf.forward[a] ^ b];
        dest[major] = a;
        dest[major + majorCount] = static_cast<std::uint8_t>(a ^ b);
    }
}

} // namespace

void WriteRawSector(std::uint32_t lba, std::span<const std::uint8_t> user, std::uint8_t* raw) {
    std::memset(raw, 0, kRawBytes);
    std::memset(raw + 1, 0xFF, 10);
    const std::uint32_t frames = lba + 150;
    std::memcpy(raw + 24, user.data(), std::min(user.size(), kUserBytes));
    const std::uint8_t subheader[4] = {0, 0, 0x08, 0};
    std::memcpy(raw + 16, subheader, 4);
    std::memcpy(raw + 20, subheader, 4);
    const std::uint32_t edc = Edc(raw + 16, 8 + kUserBytes);
    for (int i = 0; i < 4; ++i) raw[2072 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
    // Mode 2 parity is computed with the address bytes taken as zero.
    ComputeParity(raw + 12, 86, 24, 2, 86, raw + 2076);
    ComputeParity(raw + 12, 52, 43, 86, 88, raw + 2076 + 172);
    raw[12] = Bcd(frames / (60 * 75));
    raw[13] = Bcd((frames / 75) % 60);
    raw[14] = Bcd(frames % 75);
    raw[15] = 2;
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
