#pragma once
// Texture containers and flag sheets built in code for the converter tests.

#include "format/ByteOrder.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "texture/TextureFormat.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qorlu::test {

struct BlockShape {
    std::uint8_t depthCode = 4; // 4: 8 bits; anything else: 4 bits
    std::int16_t width = 8;
    std::int16_t height = 4;
    std::uint8_t presenceA = 1;
    std::uint8_t presenceB = 0;
    std::uint8_t seed = 0; // varies palette and pixels between blocks
};

inline bool IsEightBit(const BlockShape& s) { return s.depthCode == 4; }
inline std::size_t PaletteOffset(const BlockShape& s) { return IsEightBit(s) ? 128 : 64; }
inline std::size_t PixelOffset(const BlockShape& s) { return IsEightBit(s) ? 1152 : 128; }
inline std::size_t PixelBytes(const BlockShape& s) {
    if (s.width < 0 || s.height < 0) return 0;
    return static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height) * (IsEightBit(s) ? 8 : 4) / 8;
}

// Appends zero bytes until the container is `size` long.
inline void PadTo(std::vector<std::uint8_t>& c, std::size_t size) {
    if (c.size() < size) c.resize(size, 0);
}

// Appends filler that never holds the signature (bytes 0x5A).
inline void AppendFiller(std::vector<std::uint8_t>& c, std::size_t count) { c.insert(c.end(), count, 0x5A); }

// Appends one block (header, palette, pixel data) at the current end and
// returns its position. Header bytes not read by the converter are filled
// with 0xEE so that a round trip that touched them would show.
inline std::size_t AppendBlock(std::vector<std::uint8_t>& c, const BlockShape& s) {
    const std::size_t at = c.size();
    c.resize(at + PixelOffset(s) + PixelBytes(s), 0xEE);
    std::uint8_t* b = c.data() + at;
    for (std::size_t i = 0; i < 8; ++i) b[i] = kTextureSignature[i]; // signature
    b[17] = s.depthCode;                                             // depth code
    WriteLE16(b + 20, static_cast<std::uint16_t>(s.width));          // width
    WriteLE16(b + 22, static_cast<std::uint16_t>(s.height));         // height
    b[32] = s.presenceA;                                             // presence A
    b[33] = s.presenceB;                                             // presence B
    const int colours = IsEightBit(s) ? 256 : 16;
    for (int i = 0; i < colours; ++i) { // palette, stored order
        std::uint8_t* e = b + PaletteOffset(s) + static_cast<std::size_t>(i) * 4;
        e[0] = static_cast<std::uint8_t>(i + s.seed); // red
        e[1] = static_cast<std::uint8_t>(255 - i);    // green
        e[2] = static_cast<std::uint8_t>(i * 3 + 1);  // blue
        e[3] = static_cast<std::uint8_t>(i ^ 0xA5);   // fourth byte
    }
    for (std::size_t i = 0; i < PixelBytes(s); ++i) { // pixel data
        b[PixelOffset(s) + i] = static_cast<std::uint8_t>(i * 7 + s.seed + 3);
    }
    return at;
}

// A header only (no palette or pixels of its own), as the scan sees a block
// it skips.
inline std::size_t AppendHeaderOnly(std::vector<std::uint8_t>& c, const BlockShape& s, std::size_t length = 48) {
    const std::size_t at = c.size();
    c.resize(at + length, 0);
    std::uint8_t* b = c.data() + at;
    for (std::size_t i = 0; i < 8; ++i) b[i] = kTextureSignature[i];
    b[17] = s.depthCode;
    WriteLE16(b + 20, static_cast<std::uint16_t>(s.width));
    WriteLE16(b + 22, static_cast<std::uint16_t>(s.height));
    if (length > 33) {
        b[32] = s.presenceA;
        b[33] = s.presenceB;
    }
    return at;
}

struct SheetShape {
    std::uint16_t count = 3;
    std::uint8_t width = 30;
    std::uint8_t height = 20;
};

// A flag sheet: header, table, 1024-byte palette, then the images one after
// the other with 4 filler bytes between them. `imageOffsets` receives where
// each image's pixels are.
inline std::vector<std::uint8_t> BuildSheet(const SheetShape& s, std::vector<std::size_t>* imageOffsets = nullptr,
                                            std::size_t* paletteOffset = nullptr) {
    const std::size_t tableEnd = 20 + 8 * static_cast<std::size_t>(s.count);
    const std::size_t palette = tableEnd + 12;
    std::vector<std::uint8_t> sheet(palette + 1024, 0xCC);
    WriteLE16(sheet.data(), s.count);                                  // image count
    sheet[2] = s.width;                                                // width
    sheet[3] = s.height;                                               // height
    WriteLE32(sheet.data() + 12, static_cast<std::uint32_t>(palette)); // palette offset
    for (int i = 0; i < 256; ++i) {                                    // palette, stored order
        std::uint8_t* e = sheet.data() + palette + static_cast<std::size_t>(i) * 4;
        e[0] = static_cast<std::uint8_t>(i);
        e[1] = static_cast<std::uint8_t>(i * 5);
        e[2] = static_cast<std::uint8_t>(255 - i);
        e[3] = static_cast<std::uint8_t>(i + 17);
    }
    const std::size_t imageBytes = static_cast<std::size_t>(s.width) * s.height;
    for (std::size_t i = 0; i < s.count; ++i) {
        const std::size_t at = sheet.size() + 4;
        sheet.resize(at, 0xCC);
        WriteLE32(sheet.data() + 20 + 8 * i, static_cast<std::uint32_t>(at)); // pixel data offset
        WriteLE32(sheet.data() + 24 + 8 * i, 0xDDDDDDDD);                     // not read
        for (std::size_t k = 0; k < imageBytes; ++k) sheet.push_back(static_cast<std::uint8_t>(k * 3 + i * 11));
        if (imageOffsets) imageOffsets->push_back(at);
    }
    if (paletteOffset) *paletteOffset = palette;
    return sheet;
}

// A folder of files for one test, and the boxes the operations showed.
class TextureFileTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder rec;

    std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir / name;
        WriteFileBytes(path, bytes);
        return path;
    }
    bool Exists(const std::string& path) const { return std::filesystem::exists(path); }
};

} // namespace qorlu::test
