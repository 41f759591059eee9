#include "texture/TextureFormat.h"

#include "format/ByteReader.h"

#include <cstring>

namespace qorlu {

namespace {

// What the scan finds at one examined position.
enum class BlockKind {
    Texture,    // a texture: report it and go on after its pixel data
    NotTexture, // a header that is not a texture: move on by 48
    CutOff,     // a texture that does not fit in the container: stop
};

BlockKind ReadBlock(std::span<const std::uint8_t> data, std::uint64_t p, TextureInfo& info) {
    const CByteReader reader(data);
    const auto header = reader.Bytes(p, kTextureHeaderBytes);
    if (!header) return BlockKind::CutOff;
    const CByteReader block(*header);
    if (block.LE16(kTexturePresenceOffset) == 0) return BlockKind::NotTexture;
    const auto width = static_cast<std::int16_t>(block.LE16(kTextureWidthOffset).value_or(0));
    const auto height = static_cast<std::int16_t>(block.LE16(kTextureHeightOffset).value_or(0));
    // A negative size would put the end of the pixel data before the block.
    if (width < 0 || height < 0) return BlockKind::NotTexture;

    const bool eightBit = block.U8(kTextureDepthCodeOffset) == kTextureDepthCode8Bit;
    info.position = p;
    info.bitsPerPixel = eightBit ? 8 : 4;
    info.colourCount = eightBit ? 256 : 16;
    info.width = width;
    info.height = height;
    info.palettePosition = p + (eightBit ? 128 : 64);
    info.pixelPosition = p + (eightBit ? 1152 : 128);
    // 64-bit: 32767 * 32767 * 8 does not fit in 32 bits. For every size
    // that does fit, the result is the same.
    const std::uint64_t bits = static_cast<std::uint64_t>(info.bitsPerPixel);
    info.pixelByteCount = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * bits / 8;
    info.rowByteCount = static_cast<std::uint64_t>(width) * bits / 8;

    if (!reader.Has(info.palettePosition, static_cast<std::uint64_t>(info.colourCount) * 4) ||
        !reader.Has(info.pixelPosition, info.pixelByteCount)) {
        return BlockKind::CutOff;
    }
    return BlockKind::Texture;
}

// Runs the scan, handing each texture to `visit` until it returns false.
template <class Visit>
void Scan(std::span<const std::uint8_t> data, Visit visit) {
    const std::uint64_t size = data.size();
    std::uint64_t p = 0;
    int number = 0;
    // p + 9 < size: the limit is nine bytes before the end, not eight.
    while (p + 9 < size) {
        if (std::memcmp(data.data() + p, kTextureSignature, sizeof kTextureSignature) != 0) {
            p += kTextureScanStep;
            continue;
        }
        TextureInfo info;
        switch (ReadBlock(data, p, info)) {
        case BlockKind::NotTexture:
            p += kTextureSkipBytes;
            break;
        case BlockKind::CutOff:
            return;
        case BlockKind::Texture:
            info.number = number++;
            if (!visit(info)) return;
            p = info.pixelPosition + info.pixelByteCount;
            break;
        }
    }
}

} // namespace

std::vector<TextureInfo> ScanTextures(std::span<const std::uint8_t> container) {
    std::vector<TextureInfo> found;
    Scan(container, [&](const TextureInfo& info) {
        found.push_back(info);
        return true;
    });
    return found;
}

std::optional<TextureInfo> FindTexture(std::span<const std::uint8_t> container, int number) {
    std::optional<TextureInfo> result;
    if (number < 0) return result;
    Scan(container, [&](const TextureInfo& info) {
        if (info.number != number) return true;
        result = info;
        return false;
    });
    return result;
}

bool ConvertPalette(std::span<const std::uint8_t> stored, int colourCount, std::span<std::uint8_t> bitmapEntries) {
    if (colourCount != 16 && colourCount != 256) return false;
    const std::size_t bytes = static_cast<std::size_t>(colourCount) * 4;
    if (stored.size() != bytes || bitmapEntries.size() != bytes) return false;
    const bool exchangeRuns = colourCount == 256;
    for (int c = 0; c < colourCount; ++c) {
        const int from = exchangeRuns ? ExchangePaletteRuns(c) : c;
        const std::uint8_t* entry = stored.data() + static_cast<std::size_t>(from) * 4;
        std::uint8_t* out = bitmapEntries.data() + static_cast<std::size_t>(c) * 4;
        out[0] = entry[2]; // blue
        out[1] = entry[1]; // green
        out[2] = entry[0]; // red
        out[3] = entry[3]; // reserved: the fourth byte as it stands
    }
    return true;
}

bool ReadTexturePalette(std::span<const std::uint8_t> container, const TextureInfo& info,
                        std::span<std::uint8_t> destination) {
    if (info.colourCount != 16 && info.colourCount != 256) return false;
    const auto palette =
        CByteReader(container).Bytes(info.palettePosition, static_cast<std::uint64_t>(info.colourCount) * 4);
    return palette && ConvertPalette(*palette, info.colourCount, destination);
}

} // namespace qorlu
