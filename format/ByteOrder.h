#pragma once
// Little-endian numbers written into the game's files and the kit's own,
// into buffers that the caller sized; buffers are never cast to structs.
// Every read goes through CByteReader (format/ByteReader.h), which cannot
// run past the end of its bytes.

#include <cstddef>
#include <cstdint>

namespace qorlu {

inline void WriteLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void WriteLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void WriteLE64(std::uint8_t* p, std::uint64_t v) {
    WriteLE32(p, static_cast<std::uint32_t>(v));
    WriteLE32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes,
// without overflowing.
inline bool InBounds(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

} // namespace qorlu
