#pragma once
// Texture blocks inside the game's container files.
//
// The converter never interprets a container's own structure: it holds the
// whole file in memory, scans it for the block signature and reads each block
// it finds. Offsets count from the block's first signature byte; numbers are
// little-endian. Only these fields are read; every other byte of a block is
// left alone.
//
//   offset  size  field
//   0       8     signature 94 72 85 29 01 00 00 00
//   17      1     depth code: 4 = 8 bits per pixel, 256 colours;
//                 any other value = 4 bits per pixel, 16 colours
//   20      2     width, signed 16-bit
//   22      2     height, signed 16-bit
//   32      1     presence byte A  \ a block is a texture only when at least
//   33      1     presence byte B  / one of them is non-zero
//   64      64    palette, 4-bit blocks: 16 entries
//   128     1024  palette, 8-bit blocks: 256 entries
//   128     ...   pixel data, 4-bit blocks
//   1152    ...   pixel data, 8-bit blocks
//
// Palette entry, 4 bytes: red, green, blue, and a fourth byte carried into
// the bitmap's reserved byte unchanged. A 16-entry palette is stored in
// colour-index order. A 256-entry palette is stored in groups of 32 whose
// second and third runs of 8 entries are exchanged: the stored position is
// the colour index with bits 3 and 4 exchanged (its own inverse).
//
// Pixel data: palette indices, rows top first, no fill between rows.
// 8 bits: one index per byte. 4 bits: two per byte, the left pixel in the
// low nibble. pixel bytes = width * height * bits / 8 and
// row bytes = width * bits / 8, fractions dropped.
//
// The scan (ScanTextures) looks at positions 0, 16, 32, ... and, after each
// texture, at the first byte after its pixel data and on in steps of 16.
// Only positions p with p + 9 < container length are examined. A header
// with both presence bytes zero, or with a negative width or height, gets
// no number and the scan moves on by 48 bytes. A texture whose header,
// palette or pixel data would run past the end of the container ends the
// scan: nothing after it is a texture. Export and import share this scan,
// so bitmap number N always goes back into the texture exported as N.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qorlu {

inline constexpr std::uint8_t kTextureSignature[8] = {0x94, 0x72, 0x85, 0x29, 0x01, 0x00, 0x00, 0x00};

inline constexpr std::size_t kTextureDepthCodeOffset = 17;
inline constexpr std::size_t kTextureWidthOffset = 20;
inline constexpr std::size_t kTextureHeightOffset = 22;
inline constexpr std::size_t kTexturePresenceOffset = 32; // and 33
// The header is read up to and including the second presence byte.
inline constexpr std::size_t kTextureHeaderBytes = 34;
inline constexpr std::uint8_t kTextureDepthCode8Bit = 4;
// How far the scan moves past a header that is not a texture.
inline constexpr std::uint64_t kTextureSkipBytes = 48;
inline constexpr std::uint64_t kTextureScanStep = 16;

// What the scan reports for each texture.
struct TextureInfo {
    int number = 0;                    // 0 for the first texture found, then 1, 2, ...
    std::uint64_t position = 0;        // offset of the block's first byte
    int bitsPerPixel = 0;              // 8 or 4
    int colourCount = 0;               // 256 or 16
    int width = 0;                     // as read; never negative here
    int height = 0;                    // as read; never negative here
    std::uint64_t palettePosition = 0; // position + 128 (8-bit) or + 64 (4-bit)
    std::uint64_t pixelPosition = 0;   // position + 1152 (8-bit) or + 128 (4-bit)
    std::uint64_t pixelByteCount = 0;  // width * height * bits / 8
    std::uint64_t rowByteCount = 0;    // width * bits / 8
};

// Every texture of the container, in container order, numbered from 0.
std::vector<TextureInfo> ScanTextures(std::span<const std::uint8_t> container);

// The texture with the given number, or nothing when the scan ends first
// (negative or too large a number, or no textures at all). Stops scanning
// as soon as it is found.
std::optional<TextureInfo> FindTexture(std::span<const std::uint8_t> container, int number);

// The stored position of a colour in a 256-entry palette, and the colour at
// a stored position: bits 3 and 4 exchanged.
constexpr int ExchangePaletteRuns(int index) { return (index & ~0x18) | ((index & 0x08) << 1) | ((index & 0x10) >> 1); }

// Converts `colourCount` (16 or 256) stored palette entries (red, green,
// blue, fourth byte) into bitmap entries (blue, green, red, reserved) in
// colour-index order. `stored` and `bitmapEntries` must each hold exactly
// colourCount * 4 bytes; false, with nothing written, otherwise.
bool ConvertPalette(std::span<const std::uint8_t> stored, int colourCount, std::span<std::uint8_t> bitmapEntries);

// The texture's palette in colour-index order as bitmap entries (blue,
// green, red, reserved), colourCount * 4 bytes into `destination`. False,
// with nothing written, when the palette does not lie inside the container
// or the destination has the wrong size.
bool ReadTexturePalette(std::span<const std::uint8_t> container, const TextureInfo& info,
                        std::span<std::uint8_t> destination);

} // namespace qorlu
