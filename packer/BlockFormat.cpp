#include "packer/BlockFormat.h"

#include "format/ByteReader.h"

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
    const CByteReader reader(buffer);

    std::uint64_t p = 0;
    while (p < limit) {
        // At p = 0 the header would start 16 bytes before the file: skipped.
        if (p < kScanStep || std::memcmp(bytes + p, kBlockSignature, kBlockSignatureSize) != 0) {
            p += kScanStep;
            continue;
        }
        const std::uint64_t header = p - kScanStep;
        const std::uint32_t packed = reader.LE32(header + 4).value_or(0);
        if (result.count == 0) result.firstHeaderOffset = header;
        ++result.count;
        result.lastStreamOffset = header + kBlockHeaderSize;
        result.lastPackedSize = packed;
        result.lastUnpackedSize = reader.LE32(header + 8).value_or(0);
        // Resume at the stream's last 16-byte boundary: its contents are not
        // searched, but a block right after its end is still found.
        p += kScanStep + (packed & ~std::uint32_t{0xF});
    }
    return result;
}

std::optional<BlockIndex> FindBlockIndex(std::span<const std::uint8_t> buffer, const BlockScanResult& scan) {
    const CByteReader reader(buffer);
    for (std::uint64_t r = 0; r < scan.firstHeaderOffset; r += kScanStep) {
        const auto entryCount = reader.LE32(r);
        const auto layoutWord = reader.LE32(r + 4);
        const auto thirdWord = reader.LE32(r + 8);
        if (!entryCount || !layoutWord || !thirdWord) break;
        const std::uint32_t entries = *entryCount;
        const std::uint32_t layout = *layoutWord;
        const std::uint32_t third = *thirdWord;
        const bool countFits = entries == scan.count || entries == scan.count + 1;
        const bool layoutFits = layout == kLayoutTableAt8 || (layout == kLayoutTableAt16 && third == kLayout16Marker);
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

std::optional<std::uint32_t> ReadTableEntry(std::span<const std::uint8_t> buffer, const BlockIndex& index,
                                            std::uint64_t k) {
    if (k >= index.entryCount) return std::nullopt;
    return CByteReader(buffer).LE32(index.tableOffset + 4 * k);
}

std::optional<BlockLocation> LocateBlock(std::span<const std::uint8_t> buffer, std::uint64_t headerOffset) {
    const CByteReader reader(buffer);
    if (!reader.Has(headerOffset, kBlockHeaderSize)) return std::nullopt;
    BlockLocation block;
    block.headerOffset = headerOffset;
    block.packedSize = reader.LE32(headerOffset + 4).value_or(0);
    block.unpackedSize = reader.LE32(headerOffset + 8).value_or(0);
    if (!reader.Has(block.StreamOffset(), block.packedSize)) return std::nullopt;
    return block;
}

} // namespace qorlu
