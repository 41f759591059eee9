// The block scan: where it looks, what it skips, how it numbers, and where
// it stops; the palette conversion.

#include "tests/texture/TextureFixtures.h"
#include "texture/TextureFormat.h"

#include <gtest/gtest.h>

#include <array>

namespace qorlu::test {
namespace {

std::vector<std::uint64_t> Positions(const std::vector<TextureInfo>& found) {
    std::vector<std::uint64_t> p;
    for (const auto& t : found) p.push_back(t.position);
    return p;
}

TEST(TextureScan, ShortContainersHoldNothing) {
    // Signature at 0 and presence byte set as far as the bytes reach.
    for (std::size_t size = 0; size <= 9; ++size) {
        std::vector<std::uint8_t> c(kTextureSignature, kTextureSignature + 8);
        c.resize(size, 1);
        EXPECT_TRUE(ScanTextures(c).empty()) << size;
    }
}

TEST(TextureScan, SignatureOffTheSixteenByteStepsIsNotFound) {
    std::vector<std::uint8_t> c;
    AppendFiller(c, 8);
    AppendBlock(c, {});
    PadTo(c, c.size() + 64);
    EXPECT_TRUE(ScanTextures(c).empty());
}

TEST(TextureScan, EightBitBlockLayoutAndResumePosition) {
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 4, .width = 64, .height = 32});
    ASSERT_EQ(c.size(), 3200u);
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2});
    const auto found = ScanTextures(c);
    ASSERT_EQ(found.size(), 2u);
    const TextureInfo& t = found[0];
    EXPECT_EQ(t.number, 0);
    EXPECT_EQ(t.position, 0u);
    EXPECT_EQ(t.bitsPerPixel, 8);
    EXPECT_EQ(t.colourCount, 256);
    EXPECT_EQ(t.width, 64);
    EXPECT_EQ(t.height, 32);
    EXPECT_EQ(t.palettePosition, 128u);
    EXPECT_EQ(t.pixelPosition, 1152u);
    EXPECT_EQ(t.pixelByteCount, 2048u);
    EXPECT_EQ(t.rowByteCount, 64u);
    EXPECT_EQ(found[1].number, 1);
    EXPECT_EQ(found[1].position, 3200u);
}

TEST(TextureScan, FourBitBlockLayout) {
    std::vector<std::uint8_t> c;
    AppendFiller(c, 16);
    AppendBlock(c, {.depthCode = 1, .width = 32, .height = 32});
    AppendBlock(c, {.depthCode = 1, .width = 8, .height = 2});
    const auto found = ScanTextures(c);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].position, 16u);
    EXPECT_EQ(found[0].bitsPerPixel, 4);
    EXPECT_EQ(found[0].colourCount, 16);
    EXPECT_EQ(found[0].palettePosition, 80u);
    EXPECT_EQ(found[0].pixelPosition, 144u);
    EXPECT_EQ(found[0].pixelByteCount, 512u);
    EXPECT_EQ(found[0].rowByteCount, 16u);
    EXPECT_EQ(found[1].position, 656u);
}

TEST(TextureScan, AfterATextureTheStepsStartAtItsEnd) {
    // An 8 x 2 4-bit texture ends at 136, which is not a multiple of 16.
    std::vector<std::uint8_t> atEnd;
    AppendBlock(atEnd, {.depthCode = 0, .width = 8, .height = 2});
    ASSERT_EQ(atEnd.size(), 136u);
    AppendFiller(atEnd, 16); // next examined: 136, 152
    AppendBlock(atEnd, {.depthCode = 0, .width = 8, .height = 2});
    EXPECT_EQ(Positions(ScanTextures(atEnd)), (std::vector<std::uint64_t>{0, 152}));

    std::vector<std::uint8_t> offStep;
    AppendBlock(offStep, {.depthCode = 0, .width = 8, .height = 2});
    AppendFiller(offStep, 8); // 144 lies between 136 and 152
    AppendBlock(offStep, {.depthCode = 0, .width = 8, .height = 2});
    PadTo(offStep, offStep.size() + 64);
    EXPECT_EQ(Positions(ScanTextures(offStep)), (std::vector<std::uint64_t>{0}));
}

TEST(TextureScan, BytesInsideATextureAreNeverExamined) {
    std::vector<std::uint8_t> c;
    const std::size_t outer = AppendBlock(c, {.depthCode = 4, .width = 64, .height = 4});
    // A complete block hidden at a 16-byte step inside the outer pixel data.
    std::vector<std::uint8_t> inner;
    AppendBlock(inner, {.depthCode = 0, .width = 2, .height = 2});
    std::copy(inner.begin(), inner.end(), c.begin() + static_cast<std::ptrdiff_t>(outer + 1152));
    PadTo(c, c.size() + 32);
    EXPECT_EQ(ScanTextures(c).size(), 1u);
}

TEST(TextureScan, DepthCodeFourIsEightBitEverythingElseFourBit) {
    const struct {
        std::uint8_t code;
        int bits;
    } cases[] = {{4, 8}, {0, 4}, {5, 4}, {19, 4}, {255, 4}, {8, 4}};
    for (const auto& k : cases) {
        std::vector<std::uint8_t> c;
        AppendBlock(c, {.depthCode = k.code, .width = 4, .height = 4});
        const auto found = ScanTextures(c);
        ASSERT_EQ(found.size(), 1u) << int(k.code);
        EXPECT_EQ(found[0].bitsPerPixel, k.bits) << int(k.code);
        EXPECT_EQ(found[0].pixelPosition, k.bits == 8 ? 1152u : 128u) << int(k.code);
    }
}

// Header, a header that is no texture, header: the middle one gets no
// number and the scan moves on by exactly 48 bytes.
TEST(TextureScan, HeadersThatAreNoTextureAreSkippedByFortyEight) {
    const struct {
        const char* what;
        BlockShape skipped;
    } cases[] = {
        {"presence bytes zero", {.presenceA = 0, .presenceB = 0}},
        {"negative width", {.width = -8}},
        {"negative height", {.height = -1}},
        {"both negative", {.width = -32768, .height = -32768}},
    };
    for (const auto& k : cases) {
        std::vector<std::uint8_t> c;
        AppendBlock(c, {.depthCode = 0, .width = 8, .height = 4}); // ends at 144
        const std::size_t skipped = AppendHeaderOnly(c, k.skipped);
        const std::size_t third = AppendBlock(c, {.depthCode = 4, .width = 4, .height = 4});
        ASSERT_EQ(third, skipped + 48);
        const auto found = ScanTextures(c);
        ASSERT_EQ(found.size(), 2u) << k.what;
        EXPECT_EQ(found[1].number, 1) << k.what;
        EXPECT_EQ(found[1].position, third) << k.what;

        // A block starting 32 bytes after the skipped header lies inside the
        // 48 bytes passed over and is not found.
        std::vector<std::uint8_t> d;
        AppendHeaderOnly(d, k.skipped, 32);
        AppendBlock(d, {.depthCode = 0, .width = 8, .height = 4});
        PadTo(d, d.size() + 64);
        EXPECT_TRUE(ScanTextures(d).empty()) << k.what;
    }
}

TEST(TextureScan, EitherPresenceByteMakesATexture) {
    for (const auto& [a, b] : {std::pair<int, int>{1, 0}, {0, 1}, {0x80, 0x80}}) {
        std::vector<std::uint8_t> c;
        AppendBlock(c, {.presenceA = std::uint8_t(a), .presenceB = std::uint8_t(b)});
        EXPECT_EQ(ScanTextures(c).size(), 1u) << a << "," << b;
    }
}

TEST(TextureScan, ZeroWidthOrHeightIsATextureWithNoPixels) {
    for (const auto& [w, h] : {std::pair<int, int>{0, 5}, {5, 0}, {0, 0}}) {
        std::vector<std::uint8_t> c;
        AppendBlock(c, {.depthCode = 4, .width = std::int16_t(w), .height = std::int16_t(h)});
        const std::size_t next = AppendBlock(c, {.depthCode = 0, .width = 2, .height = 2});
        ASSERT_EQ(next, 1152u);
        const auto found = ScanTextures(c);
        ASSERT_EQ(found.size(), 2u) << w << "x" << h;
        EXPECT_EQ(found[0].pixelByteCount, 0u);
        EXPECT_EQ(found[1].position, 1152u);
    }
}

TEST(TextureScan, OddFourBitWidthDropsTheFraction) {
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 0, .width = 5, .height = 3});
    const auto found = ScanTextures(c);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].pixelByteCount, 7u); // 15 * 4 / 8
    EXPECT_EQ(found[0].rowByteCount, 2u);   // 5 * 4 / 8
}

// A block that does not fit ends the scan there; what came before stays.
TEST(TextureScan, CutOffBlockEndsTheScan) {
    std::vector<std::uint8_t> full;
    AppendBlock(full, {.depthCode = 0, .width = 8, .height = 2});
    const std::size_t last = AppendBlock(full, {.depthCode = 4, .width = 16, .height = 2});
    ASSERT_EQ(ScanTextures(full).size(), 2u);

    const struct {
        const char* what;
        std::size_t size;
    } cuts[] = {
        {"pixel data short by one", full.size() - 1}, {"palette short by one", last + 128 + 1023},
        {"second presence byte missing", last + 33},  {"header only to the width", last + 22},
        {"ten bytes of the header", last + 10},
    };
    for (const auto& k : cuts) {
        const std::vector<std::uint8_t> c(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(k.size));
        EXPECT_EQ(Positions(ScanTextures(c)), (std::vector<std::uint64_t>{0})) << k.what;
    }

    // Nothing after a cut-off block counts, even a texture that would fit.
    std::vector<std::uint8_t> c;
    AppendHeaderOnly(c, {.depthCode = 4, .width = 0x7FFF, .height = 0x7FFF});
    PadTo(c, 1152);
    AppendBlock(c, {.depthCode = 0, .width = 2, .height = 2});
    EXPECT_TRUE(ScanTextures(c).empty());
}

TEST(TextureScan, LargestSizesDoNotOverflow) {
    std::vector<std::uint8_t> c;
    AppendHeaderOnly(c, {.depthCode = 4, .width = 0x7FFF, .height = 0x7FFF});
    PadTo(c, 4096);
    EXPECT_TRUE(ScanTextures(c).empty());
}

TEST(TextureScan, FindTextureStopsAtTheNumberOrFails) {
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2});
    AppendHeaderOnly(c, {.presenceA = 0});
    const std::size_t second = AppendBlock(c, {.depthCode = 4, .width = 4, .height = 2});
    ASSERT_TRUE(FindTexture(c, 1).has_value());
    EXPECT_EQ(FindTexture(c, 1)->position, second);
    EXPECT_EQ(FindTexture(c, 0)->position, 0u);
    EXPECT_FALSE(FindTexture(c, 2).has_value());
    EXPECT_FALSE(FindTexture(c, -1).has_value());
    EXPECT_FALSE(FindTexture(c, -2).has_value());
    EXPECT_FALSE(FindTexture({}, 0).has_value());
}

TEST(PaletteRuns, SecondAndThirdRunsOfEveryGroupAreExchanged) {
    const std::array<std::pair<int, int>, 12> cases = {{{0, 0},
                                                        {7, 7},
                                                        {8, 16},
                                                        {15, 23},
                                                        {16, 8},
                                                        {23, 15},
                                                        {24, 24},
                                                        {31, 31},
                                                        {40, 48},
                                                        {48, 40},
                                                        {232, 240},
                                                        {255, 255}}};
    for (const auto& [from, to] : cases) EXPECT_EQ(ExchangePaletteRuns(from), to) << from;
    for (int i = 0; i < 256; ++i) EXPECT_EQ(ExchangePaletteRuns(ExchangePaletteRuns(i)), i);
}

TEST(TexturePalette, SixteenColoursKeepTheirOrderInBitmapByteOrder) {
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 0, .width = 2, .height = 2, .seed = 9});
    const auto found = ScanTextures(c);
    ASSERT_EQ(found.size(), 1u);
    std::vector<std::uint8_t> out(64);
    ASSERT_TRUE(ReadTexturePalette(c, found[0], out));
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* stored = c.data() + 64 + i * 4;
        EXPECT_EQ(out[i * 4 + 0], stored[2]) << i; // blue
        EXPECT_EQ(out[i * 4 + 1], stored[1]) << i; // green
        EXPECT_EQ(out[i * 4 + 2], stored[0]) << i; // red
        EXPECT_EQ(out[i * 4 + 3], stored[3]) << i; // reserved
    }
}

TEST(TexturePalette, TwoHundredFiftySixColoursComeOutInColourOrder) {
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 4, .width = 2, .height = 2});
    const auto found = ScanTextures(c);
    ASSERT_EQ(found.size(), 1u);
    std::vector<std::uint8_t> out(1024);
    ASSERT_TRUE(ReadTexturePalette(c, found[0], out));
    // The fixture's stored entry s has red = s: the red of colour c tells
    // which stored position it came from.
    const std::array<std::pair<int, int>, 6> colourFromStored = {
        {{0, 0}, {8, 16}, {16, 8}, {23, 15}, {31, 31}, {200, 208}}};
    for (const auto& [colour, stored] : colourFromStored) {
        EXPECT_EQ(out[colour * 4 + 2], stored) << colour;
        EXPECT_EQ(out[colour * 4 + 0], static_cast<std::uint8_t>(stored * 3 + 1)) << colour;
        EXPECT_EQ(out[colour * 4 + 3], static_cast<std::uint8_t>(stored ^ 0xA5)) << colour;
    }
}

TEST(TexturePalette, RefusesAPaletteOutsideTheContainerOrAWrongDestination) {
    std::vector<std::uint8_t> c;
    AppendBlock(c, {.depthCode = 4, .width = 2, .height = 2});
    TextureInfo info = ScanTextures(c).at(0);
    std::vector<std::uint8_t> wrongSize(1020, 0x11);
    EXPECT_FALSE(ReadTexturePalette(c, info, wrongSize));
    EXPECT_EQ(wrongSize, std::vector<std::uint8_t>(1020, 0x11));

    info.palettePosition = c.size() - 1023;
    std::vector<std::uint8_t> out(1024, 0x22);
    EXPECT_FALSE(ReadTexturePalette(c, info, out));
    EXPECT_EQ(out, std::vector<std::uint8_t>(1024, 0x22));
}

} // namespace
} // namespace qorlu::test
