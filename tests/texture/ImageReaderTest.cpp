// Exported bitmaps whose rows happen to be multiples of 4 bytes are standard
// BMP files: a real image reader (Python's PIL) opens them with the right
// size and colours.

#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/texture/TextureFixtures.h"
#include "texture/TextureExport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#ifndef QORLU_PIL_PYTHON
#error "QORLU_PIL_PYTHON names the Python that has PIL (Debian: python3-pil)"
#endif

namespace qorlu::test {
namespace {

// Width, height, then "r g b" of every pixel, row by row from the top.
std::string ReadWithPil(const std::string& path) {
    const std::string command =
        std::string(QORLU_PIL_PYTHON) +
        " -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "print(im.format, im.size[0], im.size[1]); rgb = im.convert('RGB'); "
        "[print(*rgb.getpixel((x, y))) for y in range(im.size[1]) for x in range(im.size[0])]\" '" +
        path + "' 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

std::string Expected(int width, int height, const std::vector<int>& colours, const std::vector<std::uint8_t>& c,
                     std::size_t palette, bool exchangeRuns) {
    std::ostringstream s;
    s << "BMP " << width << " " << height << "\n";
    for (const int colour : colours) {
        const std::size_t e =
            palette + static_cast<std::size_t>(exchangeRuns ? ExchangePaletteRuns(colour) : colour) * 4;
        s << int(c[e + 0]) << " " << int(c[e + 1]) << " " << int(c[e + 2]) << "\n";
    }
    return s.str();
}

TEST(ImageReader, EightBitTextureOpensWithItsSizeAndColours) {
#ifdef _WIN32
    GTEST_SKIP() << "PIL runs in Debian's python3, a Linux program that a Windows build cannot start";
#endif
    TempDir dir;
    MessageRecorder rec;
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 4, .width = 4, .height = 3, .seed = 40});
    // Top row first, as the texture holds them; 8 and 16 trade places in
    // the stored palette.
    const std::vector<int> pixels = {0, 8, 16, 31, 200, 255, 1, 2, 24, 23, 15, 9};
    for (std::size_t i = 0; i < pixels.size(); ++i) c[1152 + i] = static_cast<std::uint8_t>(pixels[i]);
    const std::string path = dir / "P.BIN";
    WriteFileBytes(path, c);
    ExportTextures(rec, path);
    ASSERT_EQ(rec.Texts(), std::vector<std::string>{"OK!"});
    EXPECT_EQ(ReadWithPil(path + "_000.bmp"), Expected(4, 3, pixels, c, 128, true));
}

TEST(ImageReader, FourBitTextureOpensWithItsSizeAndColours) {
#ifdef _WIN32
    GTEST_SKIP() << "PIL runs in Debian's python3, a Linux program that a Windows build cannot start";
#endif
    TempDir dir;
    MessageRecorder rec;
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2, .seed = 70});
    // Left pixel in the low nibble of the texture's bytes.
    const std::vector<std::uint8_t> bytes = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    std::copy(bytes.begin(), bytes.end(), c.begin() + 128);
    const std::string path = dir / "Q.BIN";
    WriteFileBytes(path, c);
    ExportTextures(rec, path);
    ASSERT_EQ(rec.Texts(), std::vector<std::string>{"OK!"});
    std::vector<int> pixels(16);
    for (int i = 0; i < 16; ++i) pixels[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(ReadWithPil(path + "_000.bmp"), Expected(8, 2, pixels, c, 64, false));
}

} // namespace
} // namespace qorlu::test
