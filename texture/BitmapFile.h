#pragma once
// The bitmap files that the converter writes and reads back.
//
// Little-endian; the BMP format's file header, information header and
// palette, as the converter fills them:
//
//   offset  size  field            value
//   0       2     bfType           19778 ("BM")
//   2       4     bfSize           header length + pixel bytes
//   6       2     bfReserved1      0
//   8       2     bfReserved2      0
//   10      4     bfOffBits        header length: 1078 (8 bits) or 118 (4 bits)
//   14      4     biSize           40
//   18      4     biWidth          width in pixels
//   22      4     biHeight         height, positive: rows stored bottom-up
//   26      2     biPlanes         1
//   28      2     biBitCount       8 or 4
//   30      4     biCompression    0 (uncompressed)
//   34      4     biSizeImage      pixel bytes
//   38      4     biXPelsPerMeter  3780
//   42      4     biYPelsPerMeter  3780
//   46      4     biClrUsed        0
//   50      4     biClrImportant   0
//   54      4 * colours            palette: blue, green, red, reserved
//   header length  pixel bytes    rows, bottom row first
//
// header length = 14 + 40 + 4 * colour count. Texture bitmaps store their
// rows at the texture's row byte count, without fill to a multiple of 4, so
// the import can find the rows from the texture alone. Flag sheet bitmaps
// fill each row to a multiple of 4, as the BMP format wants. In 4-bit
// bitmaps the left pixel of a byte is in the high nibble.
//
// The import never reads these headers: it takes depth and size from the
// container and needs only the file's length and the rows after the header.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qorlu {

inline constexpr std::uint16_t kBitmapType = 19778; // "BM"
inline constexpr std::size_t kBitmapHeadersBytes = 14 + 40;
inline constexpr std::uint32_t kBitmapPelsPerMeter = 3780;

// 1078 for 256 colours, 118 for 16.
constexpr std::uint64_t BitmapHeaderLength(int colourCount) {
    return kBitmapHeadersBytes + 4 * static_cast<std::uint64_t>(colourCount);
}

struct BitmapLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 8;
    int colourCount = 256;
    std::uint32_t sizeImage = 0; // pixel bytes as the header states them
};

// Appends the 14-byte file header and the 40-byte information header.
void AppendBitmapHeaders(std::vector<std::uint8_t>& out, const BitmapLayout& layout);

// Exchanges the two nibbles of every byte: textures keep the left pixel in
// the low nibble, bitmaps in the high one.
void SwapNibbles(std::span<std::uint8_t> bytes);

enum class FileWriteResult {
    Written,
    CreateFailed, // the file could not be created; nothing was written
    WriteFailed,  // created, but not all bytes arrived; the file was removed
};

// Creates `path` anew (replacing any file of that name) and writes `bytes`
// with one buffered write rather than one call per row.
FileWriteResult WriteNewFile(const std::string& path, std::span<const std::uint8_t> bytes);

} // namespace qorlu
