#pragma once
// Compressed-block containers: game files that carry one or more zlib
// streams. The container's own file type is unknown to us; a block is
// recognised by the fixed bytes between its header and its stream, and a
// container of several blocks lists them in a block index ahead of the first.
//
// All numbers are unsigned 32-bit little-endian words; offsets count from the
// start of the file unless a line says otherwise.
//
// One block, header at H (always a multiple of 16 from the file start):
//
//   H+0    4   first header word        never read or changed
//   H+4    4   packed size              length of the zlib stream at H+32
//   H+8    4   unpacked size            length of the data once inflated
//   H+12   4   last header word         never read or changed
//   H+16  16   sixteen 0x00 bytes
//   H+32   n   zlib stream (RFC 1950)   begins 0x78 0xDA: 32 KiB window, level 9
//   ...        filler up to the next header, not interpreted
//
// The signature is the 18 bytes H+16..H+33 (sixteen zeros, 0x78, 0xDA).
// compress2 at level 9 writes the same two stream bytes, so a block that the
// import has rewritten is found again by the next scan.
//
// Block index of a multi-block container, record at R (a multiple of 16,
// before the first block's header):
//
//   R+0    4   entry count N            the block count, or the count plus one
//   R+4    4   layout word              8: table at R+8; 0: table at R+16
//   R+8    4   layout 8: entry 0        layout 0: must be 16
//   R+12   4   layout 8: entry 1        layout 0: not interpreted
//   table 4N   entry k = offset of block k's header, counted from R
//
// With N = count + 1 the last entry is the offset (from R) of whatever
// follows the last block; export ignores it, import moves it with the rest.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qorlu {

// Header words plus the sixteen zero bytes: the stream starts this far after
// the header.
inline constexpr std::uint64_t kBlockHeaderSize = 32;
inline constexpr std::size_t kBlockSignatureSize = 18;
inline constexpr std::uint8_t kBlockSignature[kBlockSignatureSize] = {0, 0, 0, 0, 0, 0, 0, 0,    0,
                                                                      0, 0, 0, 0, 0, 0, 0, 0x78, 0xDA};

// What one pass over the file found. With exactly one block, "last" is that
// block; with several, callers take only `count` and `firstHeaderOffset` and
// find the blocks through the index.
struct BlockScanResult {
    std::uint64_t count = 0;             // signatures found; 0: no block
    std::uint64_t firstHeaderOffset = 0; // header of the first block found
    std::uint64_t lastStreamOffset = 0;  // stream of the last block found
    std::uint32_t lastPackedSize = 0;    // its header's packed size, unchecked
    std::uint32_t lastUnpackedSize = 0;  // its header's unpacked size, unchecked
};

struct BlockIndex {
    std::uint64_t recordOffset = 0; // R
    std::uint64_t tableOffset = 0;  // R+8 or R+16
    std::uint32_t entryCount = 0;   // N
};

// One block as a table entry or the scan names it. Sizes are as the header
// says; LocateBlock has already checked that header and stream lie inside
// the buffer.
struct BlockLocation {
    std::uint64_t headerOffset = 0;
    std::uint32_t packedSize = 0;
    std::uint32_t unpackedSize = 0;
    std::uint64_t StreamOffset() const { return headerOffset + kBlockHeaderSize; }
};

// Looks for signatures at every multiple of 16, skipping each block's stream
// (down to its last 16-byte boundary) once found. A signature that starts in
// the last 20 bytes is not seen, and one at offset 0 is skipped: its header
// would lie before the file.
BlockScanResult ScanBlocks(std::span<const std::uint8_t> buffer);

// The index record nearest the file start, at a multiple of 16 before the
// first block's header, whose count and layout fit the scan. Only meaningful
// when the scan found two or more blocks.
std::optional<BlockIndex> FindBlockIndex(std::span<const std::uint8_t> buffer, const BlockScanResult& scan);

// Table entry k of the index, or nothing when the table does not reach it
// inside the buffer.
std::optional<std::uint32_t> ReadTableEntry(std::span<const std::uint8_t> buffer, const BlockIndex& index,
                                            std::uint64_t k);

// The block whose header is at `headerOffset`, when its header and its whole
// packed stream lie inside the buffer.
std::optional<BlockLocation> LocateBlock(std::span<const std::uint8_t> buffer, std::uint64_t headerOffset);

} // namespace qorlu
