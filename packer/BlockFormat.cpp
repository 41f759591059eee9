#include "packer/BlockFormat.h"

#include "shell/ByteOrder.h"

#include <cstring>

namespace qorlu {

namespace {

// Candidates are tried only while they start more than 20 bytes before the
// end, so the 18 signature bytes are always inside the buffer.
constexpr std::uint64_t kScanTail = 20;
constexpr std::uint64_t kScanStep = 16;
constexpr std::uint32_t kLayoutTableAt8 = 8;
constexpr std::uint32_t kLayoutTableAt16 = 0;
constexpr std::uint32_t kLayout16Marker = 16;

} // namespace

BlockScanResult ScanBlocks(std::span<const std::uint8_t> buffer) {
    BlockScanResult result;
    const std::uint64_t length = buffer.size();
    if (length <= kScanTail) return result;
    const std::uint64_t limit = length - kScanTail;
    const std::uint8_t* bytes = buffer.data();

    std::uint64_t p = 0;
    while (p < limit) {
        // At p = 0 the header would start 16 bytes before the file: skipped.
        if (p < kScanStep || std::memcmp(bytes + p, kBlockSignature, kBlockSignatureSize) != 0) {
            p += kScanStep;
            continue;
        }
        const std::uint64_t header = p - kScanStep;
        const std::uint32_t packed = ReadLE32(bytes + header + 4);
        if (result.count == 0) result.firstHeaderOffset = header;
        ++result.count;
        result.lastStreamOffset = header + kBlockHeaderSize;
        result.lastPackedSize = packed;
        result.lastUnpackedSize = ReadLE32(bytes + header + 8);
        // Resume at the stream's last 16-byte boundary: its contents are not
        // searched, but a block right after its end is still found.
        p += kScanStep + (packed & ~std::uint32_t{0xF});
    }
    return result;
}

std::optional<BlockIndex> FindBlockIndex(std::span<const std::uint8_t> buffer,
                                         const BlockScanResult& scan) {
    const std::uint8_t* bytes = buffer.data();
    for (std::uint64_t r = 0; r < scan.firstHeaderOffset; r += kScanStep) {
        if (!InBounds(r, 12, buffer.size())) break;
        const std::uint32_t entries = ReadLE32(bytes + r);
        const std::uint32_t layout = ReadLE32(bytes + r + 4);
        const std::uint32_t third = ReadLE32(bytes + r + 8);
        const bool countFits = entries == scan.count || entries == scan.count + 1;
        const bool layoutFits =
            layout == kLayoutTableAt8 || (layout == kLayoutTableAt16 && third == kLayout16Marker);
        if (countFits && layoutFits) {
            BlockIndex index;
            index.recordOffset = r;
            index.entryCount = entries;
            index.tableOffset = r + (layout == kLayoutTableAt8 ? 8 : 16);
            return index;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ReadTableEntry(std::span<const std::uint8_t> buffer,
                                            const BlockIndex& index, std::uint64_t k) {
    if (k >= index.entryCount) return std::nullopt;
    const std::uint64_t at = index.tableOffset + 4 * k;
    if (!InBounds(at, 4, buffer.size())) return std::nullopt;
    return ReadLE32(buffer.data() + at);
}

std::optional<BlockLocation> LocateBlock(std::span<const std::uint8_t> buffer,
                                         std::uint64_t headerOffset) {
    if (!InBounds(headerOffset, kBlockHeaderSize, buffer.size())) return std::nullopt;
    BlockLocation block;
    block.headerOffset = headerOffset;
    block.packedSize = ReadLE32(buffer.data() + headerOffset + 4);
    block.unpackedSize = ReadLE32(buffer.data() + headerOffset + 8);
    if (!InBounds(block.StreamOffset(), block.packedSize, buffer.size())) return std::nullopt;
    return block;
}

} // namespace qorlu
