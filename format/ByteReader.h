#pragma once
// Reads the numbers of a file held in memory, little-endian as the game's
// files and the kit's own (journals, patches) store them. A read that would
// run past the end of the bytes yields nothing instead of a value, so no
// parser can read outside its buffer, whatever its input says.

#include <cstdint>
#include <optional>
#include <span>

namespace qorlu {

class CByteReader {
public:
    explicit CByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::uint64_t Size() const { return m_bytes.size(); }
    // Whether [at, at + count) lies inside the bytes, without overflowing.
    bool Has(std::uint64_t at, std::uint64_t count) const { return at <= Size() && count <= Size() - at; }

    std::optional<std::uint8_t> U8(std::uint64_t at) const {
        if (!Has(at, 1)) return std::nullopt;
        return m_bytes[static_cast<std::size_t>(at)];
    }
    std::optional<std::uint16_t> LE16(std::uint64_t at) const {
        if (!Has(at, 2)) return std::nullopt;
        const std::uint8_t* p = m_bytes.data() + at;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::optional<std::uint32_t> LE32(std::uint64_t at) const {
        if (!Has(at, 4)) return std::nullopt;
        const std::uint8_t* p = m_bytes.data() + at;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::optional<std::uint64_t> LE64(std::uint64_t at) const {
        const auto low = LE32(at);
        const auto high = at <= UINT64_MAX - 4 ? LE32(at + 4) : std::nullopt;
        if (!low || !high) return std::nullopt;
        return std::uint64_t{*low} | std::uint64_t{*high} << 32;
    }
    // The `count` bytes at `at`.
    std::optional<std::span<const std::uint8_t>> Bytes(std::uint64_t at, std::uint64_t count) const {
        if (!Has(at, count)) return std::nullopt;
        return m_bytes.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(count));
    }

private:
    std::span<const std::uint8_t> m_bytes;
};

} // namespace qorlu
