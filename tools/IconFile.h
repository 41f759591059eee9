#pragma once
// A program's icon 128 (XPM text, as the resources hold it) as a Windows
// ".ico" file: one 32 x 32 image of 16 colours, the XPM's "None" pixels
// transparent through the AND mask.
//
// .ico layout (little-endian):
//   0   6    ICONDIR: 0, type 1, count 1
//   6   16   ICONDIRENTRY: width 32, height 32, 16 colours, 0, 1 plane,
//            4 bits, size of the image, offset 22
//   22  40   BITMAPINFOHEADER: 40, width 32, height 64 (colour + mask), 1,
//            4 bits, no compression, image size 512 + 128
//   62  64   16 palette entries (blue, green, red, 0)
//   126 512  colour rows, 16 bytes each, the bottom row first
//   638 128  mask rows, 4 bytes each, the bottom row first; 1 = transparent

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qorlu::tools {

struct IconPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> palette; // 0xRRGGBB
    // Per pixel, row by row from the top: a palette index, or -1 (transparent).
    std::vector<int> pixels;
};

// The pixels of an XPM image with one character per pixel and "c #RRGGBB"
// or "c None" colours; nullopt for anything else.
std::optional<IconPixels> ReadXpm(const char* const* xpm);

// The .ico bytes of a 32 x 32 icon of at most 16 colours; empty otherwise.
std::vector<std::uint8_t> IcoFromPixels(const IconPixels& icon);

} // namespace qorlu::tools
