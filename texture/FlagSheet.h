#pragma once
// Flag sheets: one file holding several 8-bit images of one size that share
// one 256-colour palette. A sheet has no signature; the converter knows it
// by ".FLG" in its path. Little-endian, offsets from the sheet's first byte:
//
//   offset     size           field
//   0          2              image count, unsigned
//   2          1              width of every image, unsigned
//   3          1              height of every image, unsigned
//   4          8              (not read)
//   12         4              palette offset, unsigned
//   16         4              (not read)
//   20 + 8*i   4              pixel data offset of image i, unsigned
//   24 + 8*i   4              (not read)
//
// Palette: 256 entries of red, green, blue, fourth byte, in the stored order
// of a 256-entry texture palette (runs exchanged, see TextureFormat.h).
// Image: width * height palette indices, top row first, no fill.
//
// Sheet bitmaps are 8-bit with the texture bitmap headers, but every row is
// filled with zero bytes to R = the width rounded up to a multiple of 4, as
// the BMP format wants; a sheet bitmap is 1078 + R * height bytes long.
//
// Before anything is written, the export checks that the header, the
// palette, every table entry and every image lie inside the sheet, and the
// import that the image number lies in 0 .. count - 1 and that its table
// entry and image lie inside; otherwise "index error!".

#include "base/Message.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorlu {

inline constexpr std::size_t kFlagSheetTableOffset = 20;
inline constexpr std::size_t kFlagSheetEntryBytes = 8;
inline constexpr std::size_t kFlagSheetPaletteOffsetField = 12;
// The export reads the header up to the end of the palette offset field.
inline constexpr std::size_t kFlagSheetHeaderBytes = 16;

struct FlagSheetHeader {
    int imageCount = 0;
    int width = 0;
    int height = 0;
    std::uint32_t paletteOffset = 0;
};

// The bitmap row length: the width rounded up to a multiple of 4.
constexpr int FlagSheetRowLength(int width) { return width % 4 == 0 ? width : (width / 4) * 4 + 4; }

// The header, or nothing when the sheet is too short to hold it.
std::optional<FlagSheetHeader> ReadFlagSheetHeader(std::span<const std::uint8_t> sheet);

// Pixel data offset of image `index`, or nothing when the index is outside
// 0 .. count - 1, or its table entry or image does not lie inside the sheet.
std::optional<std::uint64_t> FlagSheetImageOffset(std::span<const std::uint8_t> sheet, const FlagSheetHeader& header,
                                                  int index);

// The complete bitmap of one image (header, palette in colour-index order,
// filled rows bottom-up). `bitmapPalette` holds the 1024 converted palette
// bytes; the image must lie inside the sheet.
std::vector<std::uint8_t> BuildFlagSheetBitmap(std::span<const std::uint8_t> sheet, const FlagSheetHeader& header,
                                               std::span<const std::uint8_t> bitmapPalette, std::uint64_t imageOffset);

void ExportFlagSheet(IMessageSink& owner, const std::string& path);
void ImportFlagSheet(IMessageSink& owner, const std::string& bitmapPath);

} // namespace qorlu
