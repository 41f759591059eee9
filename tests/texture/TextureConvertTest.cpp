// Texture export and import through files: the bitmap layout, the names,
// the messages, and the round trip.

#include "format/ByteReader.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/texture/TextureFixtures.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

class TextureConvert : public TextureFileTest {};

// The field values of the bitmap headers for the sizes the converter writes.
TEST_F(TextureConvert, BitmapHeaderFields) {
    const struct {
        BlockShape block;
        std::size_t length;
        std::uint32_t offBits, sizeImage;
        std::uint16_t bitCount;
    } cases[] = {
        {{.depthCode = 0, .width = 8, .height = 2}, 126, 118, 8, 4},
        {{.depthCode = 4, .width = 64, .height = 64}, 5174, 1078, 4096, 8},
        {{.depthCode = 4, .width = 6, .height = 3}, 1096, 1078, 18, 8},
    };
    for (const auto& k : cases) {
        Bytes c;
        AppendBlock(c, k.block);
        const std::string path = Put("T.BIN", c);
        ExportTextures(rec, path);
        const Bytes b = ReadFileBytes(path + "_000.bmp");
        ASSERT_EQ(b.size(), k.length);
        EXPECT_EQ(CByteReader(b).LE16(0), 19778);      // bfType
        EXPECT_EQ(CByteReader(b).LE32(2), k.length);   // bfSize
        EXPECT_EQ(CByteReader(b).LE32(6), 0u);         // bfReserved1, 2
        EXPECT_EQ(CByteReader(b).LE32(10), k.offBits); // bfOffBits
        EXPECT_EQ(CByteReader(b).LE32(14), 40u);       // biSize
        EXPECT_EQ(CByteReader(b).LE32(18), std::uint32_t(k.block.width));
        EXPECT_EQ(CByteReader(b).LE32(22), std::uint32_t(k.block.height));
        EXPECT_EQ(CByteReader(b).LE16(26), 1); // biPlanes
        EXPECT_EQ(CByteReader(b).LE16(28), k.bitCount);
        EXPECT_EQ(CByteReader(b).LE32(30), 0u); // biCompression
        EXPECT_EQ(CByteReader(b).LE32(34), k.sizeImage);
        EXPECT_EQ(CByteReader(b).LE32(38), 3780u);
        EXPECT_EQ(CByteReader(b).LE32(42), 3780u);
        EXPECT_EQ(CByteReader(b).LE32(46), 0u); // biClrUsed
        EXPECT_EQ(CByteReader(b).LE32(50), 0u); // biClrImportant
    }
    EXPECT_EQ(rec.Texts(), Texts(3, "OK!"));
}

TEST_F(TextureConvert, RowsAreBottomUpAndFourBitNibblesSwapped) {
    Bytes c;
    AppendBlock(c, {.depthCode = 0, .width = 4, .height = 3});
    // Rows of 2 bytes: top row 0x21 0x43, then 0x65 0x87, bottom 0xA9 0xCB.
    const Bytes pixels = {0x21, 0x43, 0x65, 0x87, 0xA9, 0xCB};
    std::copy(pixels.begin(), pixels.end(), c.begin() + 128);
    const std::string path = Put("N.BIN", c);
    ExportTextures(rec, path);
    const Bytes b = ReadFileBytes(path + "_000.bmp");
    ASSERT_EQ(b.size(), 118u + 6);
    EXPECT_EQ(Bytes(b.begin() + 118, b.end()), (Bytes{0x9A, 0xBC, 0x56, 0x78, 0x12, 0x34}));
    // The palette: colour i as blue, green, red, reserved.
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(b[54 + i * 4 + 0], c[64 + i * 4 + 2]);
        EXPECT_EQ(b[54 + i * 4 + 2], c[64 + i * 4 + 0]);
    }
}

TEST_F(TextureConvert, EightBitRowsBottomUpWithoutFill) {
    Bytes c;
    AppendBlock(c, {.depthCode = 4, .width = 3, .height = 2});
    const Bytes pixels = {1, 2, 3, 4, 5, 6};
    std::copy(pixels.begin(), pixels.end(), c.begin() + 1152);
    const std::string path = Put("E.BIN", c);
    ExportTextures(rec, path);
    const Bytes b = ReadFileBytes(path + "_000.bmp");
    EXPECT_EQ(Bytes(b.begin() + 1078, b.end()), (Bytes{4, 5, 6, 1, 2, 3}));
}

TEST_F(TextureConvert, NamesFollowTheDroppedPath) {
    EXPECT_EQ(ExportedBitmapName("D:\\x\\A.BIN", 0), "D:\\x\\A.BIN_000.bmp");
    EXPECT_EQ(ExportedBitmapName("a.bin", 42), "a.bin_042.bmp");
    EXPECT_EQ(ExportedBitmapName("a", 1000), "a_1000.bmp");

    Bytes c;
    for (int i = 0; i < 3; ++i) AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2, .seed = std::uint8_t(i)});
    const std::string path = Put("A.bin", c);
    ExportTextures(rec, path);
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    for (const char* suffix : {"_000.bmp", "_001.bmp", "_002.bmp"}) EXPECT_TRUE(Exists(path + suffix)) << suffix;
    EXPECT_FALSE(Exists(path + "_003.bmp"));
    EXPECT_EQ(ReadFileBytes(path), c); // the container is never written
}

TEST_F(TextureConvert, OutcomeOfEveryBoxIsSuccessOnlyForOk) {
    Bytes c;
    AppendBlock(c, {});
    ExportTextures(rec, Put("S.BIN", c));
    ExportTextures(rec, Put("EMPTY.BIN", Bytes(100, 0)));
    const auto notices = rec.Notices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].outcome, Outcome::Success);
    EXPECT_EQ(notices[1].outcome, Outcome::Failure);
    for (const auto& n : notices) {
        EXPECT_FALSE(n.title.has_value());
        EXPECT_FALSE(n.systemModal);
        EXPECT_EQ(n.buttons, Buttons::Ok);
        EXPECT_EQ(n.icon, Icon::None);
    }
}

TEST_F(TextureConvert, NoTextureMeansNoBitmap) {
    Bytes onlySkipped;
    AppendHeaderOnly(onlySkipped, {.presenceA = 0});
    AppendHeaderOnly(onlySkipped, {.presenceA = 0});
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {{"none.bin", Bytes(4000, 0x5A)},
                 {"tiny.bin", Bytes(kTextureSignature, kTextureSignature + 8)},
                 {"skipped.bin", onlySkipped},
                 {"empty.bin", {}}};
    for (const auto& k : cases) {
        rec.Clear();
        const std::string path = Put(k.name, k.bytes);
        ExportTextures(rec, path);
        EXPECT_EQ(rec.Texts(), Texts{"This is not a texture file?"}) << k.name;
        EXPECT_FALSE(Exists(path + "_000.bmp")) << k.name;
    }
}

TEST_F(TextureConvert, UnreadableDropNamesThePathAndWritesNothing) {
    const std::string missing = dir / "missing.bin";
    ExportTextures(rec, missing);
    const std::string folder = dir / "folder.bin";
    std::filesystem::create_directory(folder);
    ExportTextures(rec, folder);
    EXPECT_EQ(rec.Texts(), (Texts{"can not read file\n" + missing, "can not read file\n" + folder}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(TextureConvert, CreateErrorEndsTheExportAndKeepsEarlierBitmaps) {
    Bytes c;
    for (int i = 0; i < 3; ++i) AppendBlock(c, {.depthCode = 4, .width = 4, .height = 4});
    const std::string path = Put("C.BIN", c);
    std::filesystem::create_directory(path + "_001.bmp"); // cannot be created as a file
    ExportTextures(rec, path);
    EXPECT_EQ(rec.Texts(), Texts{"Create file error!"});
    EXPECT_EQ(ReadFileBytes(path + "_000.bmp").size(), 1078u + 16);
    EXPECT_FALSE(Exists(path + "_002.bmp"));
}

TEST_F(TextureConvert, FlgAnywhereInThePathGoesToTheSheet) {
    // A texture container inside a folder whose name holds ".flg": read as a
    // sheet with count 0, so "OK!" and no bitmap, where the texture export
    // would have written one.
    const std::string folder = dir / "flags.flg";
    std::filesystem::create_directory(folder);
    Bytes c(20, 0);
    AppendBlock(c, {});
    const std::string path = folder + "/pic.bin";
    WriteFileBytes(path, c);
    ExportTextures(rec, path);
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    EXPECT_FALSE(Exists(path + "_000.bmp"));
}

// ParseExportedName: accepted names, their number and container.
TEST(ExportedNameTest, AcceptedNames) {
    const struct {
        const char* path;
        int number;
        const char* container;
    } cases[] = {
        {"D:\\x\\A.BIN_003.BMP", 3, "D:\\x\\A.BIN"},
        {"/x/A.BIN_000.bmp", 0, "/x/A.BIN"},
        {"/x/A.BIN_999.Bmp", 999, "/x/A.BIN"},
        {"a_01x.bmp", 1, "a"},
        {"a_-02.bmp", -2, "a"},
        {"a_ 12.bmp", 12, "a"},
        {"a_+12.bmp", 12, "a"},
        {"a_7.x.bmp", 7, "a"},
        {"_000.bmp", 0, ""},
    };
    for (const auto& k : cases) {
        const ExportedName n = ParseExportedName(k.path);
        EXPECT_TRUE(n.Accepted()) << k.path << ": " << n.refusal;
        EXPECT_EQ(n.number, k.number) << k.path;
        EXPECT_EQ(n.containerPath, k.container) << k.path;
    }
}

TEST(ExportedNameTest, RefusedNames) {
    const struct {
        const char* path;
        const char* refusal;
    } cases[] = {
        {"a_000.bm", "not a bitmap file!"},
        {"a_000.bmpx", "not a bitmap file!"},
        {"A.BIN", "not a bitmap file!"},
        {"bmp", "not a bitmap file!"},
        {"", "not a bitmap file!"},
        {"D:\\x\\A.BIN_3.bmp", "not a extracted bitmap file!"},
        {"a_-01.bmp", "not a extracted bitmap file!"},
        {"a_1000.bmp", "not a extracted bitmap file!"},
        {"a_abc.bmp", "not a extracted bitmap file!"},
        {"a_.bmp", "not a extracted bitmap file!"},
        {"a_  -.bmp", "not a extracted bitmap file!"},
        {".bmp", "not a extracted bitmap file!"},
        {"_12.bmp", "not a extracted bitmap file!"},
        {"_.bmp", "not a extracted bitmap file!"},
    };
    for (const auto& k : cases) {
        const ExportedName n = ParseExportedName(k.path);
        EXPECT_EQ(n.refusal, k.refusal) << k.path;
    }
}

// A container with everything the scan meets: filler, an 8-bit texture of
// odd width, filler, a header that is no texture, filler, a 4-bit texture,
// more filler.
Bytes MixedContainer(std::vector<std::size_t>* pixelStarts = nullptr) {
    Bytes c;
    AppendFiller(c, 32);
    const std::size_t a = AppendBlock(c, {.depthCode = 4, .width = 7, .height = 5, .seed = 1});
    AppendFiller(c, 16); // A ends at 1219; the scan looks at 1219 + 16 * k
    AppendHeaderOnly(c, {.presenceA = 0, .presenceB = 0});
    AppendFiller(c, 32);
    const std::size_t b = AppendBlock(c, {.depthCode = 2, .width = 10, .height = 6, .seed = 2});
    AppendFiller(c, 40);
    if (pixelStarts) *pixelStarts = {a + 1152, b + 128};
    return c;
}

TEST_F(TextureConvert, MixedContainerRoundTripIsByteIdentical) {
    std::vector<std::size_t> starts;
    const Bytes c = MixedContainer(&starts);
    const std::string path = Put("MIX.BIN", c);
    ExportTextures(rec, path);
    ASSERT_EQ(rec.Texts(), Texts{"OK!"});
    EXPECT_EQ(ReadFileBytes(path + "_000.bmp").size(), 1078u + 35);
    EXPECT_EQ(ReadFileBytes(path + "_001.bmp").size(), 118u + 30);
    EXPECT_FALSE(Exists(path + "_002.bmp"));
    rec.Clear();
    ImportTexture(rec, path + "_000.bmp");
    ImportTexture(rec, path + "_001.bmp");
    EXPECT_EQ(rec.Texts(), (Texts{"OK!", "OK!"}));
    EXPECT_EQ(ReadFileBytes(path), c);
}

TEST_F(TextureConvert, EditedBitmapChangesExactlyItsPixelBytes) {
    std::vector<std::size_t> starts;
    const Bytes c = MixedContainer(&starts);
    const std::string path = Put("MIX.BIN", c);
    ExportTextures(rec, path);

    // 4-bit texture, 10 x 6: bitmap row 0 is the texture's bottom row (5).
    // Setting the bitmap's first byte to 0x12 puts 0x21 at row 5, byte 0.
    Bytes bmp = ReadFileBytes(path + "_001.bmp");
    bmp[118] = 0x12;
    // Recolour the whole bitmap palette: it must not reach the container.
    for (std::size_t i = 54; i < 118; ++i) bmp[i] = static_cast<std::uint8_t>(~bmp[i]);
    WriteFileBytes(path + "_001.bmp", bmp);
    rec.Clear();
    ImportTexture(rec, path + "_001.bmp");
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});

    Bytes expected = c;
    expected[starts[1] + 5 * 5] = 0x21;
    EXPECT_EQ(ReadFileBytes(path), expected);

    // 8-bit texture, 7 x 5: bitmap row 1 is texture row 3.
    bmp = ReadFileBytes(path + "_000.bmp");
    bmp[1078 + 7 + 2] = 0xEF;
    WriteFileBytes(path + "_000.bmp", bmp);
    ImportTexture(rec, path + "_000.bmp");
    expected[starts[0] + 3 * 7 + 2] = 0xEF;
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST_F(TextureConvert, SkippedHeaderTakesNoNumberOnImport) {
    Bytes c;
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2});
    AppendHeaderOnly(c, {.presenceA = 0});
    const std::size_t second = AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2});
    const std::string path = Put("K.BIN", c);
    // A bitmap made by hand: 118 header bytes (never read) and 8 pixel bytes.
    Bytes bmp(118, 0);
    for (std::uint8_t i = 0; i < 8; ++i) bmp.push_back(i);
    WriteFileBytes(path + "_001.bmp", bmp);
    ImportTexture(rec, path + "_001.bmp");
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    const Bytes after = ReadFileBytes(path);
    // Bitmap row 1 (4 .. 7) is the top row, nibbles swapped.
    EXPECT_EQ(Bytes(after.begin() + second + 128, after.begin() + second + 136),
              (Bytes{0x40, 0x50, 0x60, 0x70, 0x00, 0x10, 0x20, 0x30}));
    EXPECT_EQ(Bytes(after.begin(), after.begin() + second + 128), Bytes(c.begin(), c.begin() + second + 128));
}

// Refusals of the import: the message, and the container left as it was.
TEST_F(TextureConvert, ImportRefusalsLeaveTheContainerUntouched) {
    Bytes c;
    AppendBlock(c, {.depthCode = 4, .width = 4, .height = 2});
    AppendBlock(c, {.depthCode = 1, .width = 5, .height = 2});
    const std::string path = Put("R.BIN", c);
    ExportTextures(rec, path);
    ASSERT_EQ(ReadFileBytes(path + "_001.bmp").size(), 118u + 4); // odd width: 2 rows of 2

    Bytes longer = ReadFileBytes(path + "_000.bmp");
    longer.push_back(0);
    Bytes shorter = ReadFileBytes(path + "_000.bmp");
    shorter.pop_back();
    const struct {
        std::string bitmap;
        Bytes bytes;
        std::string message;
    } cases[] = {
        {"R.BIN_002.bmp", Bytes(1078 + 8), "index error!"},
        {"R.BIN_-02.bmp", Bytes(1078 + 8), "index error!"},
        {"R.BIN_-01.bmp", Bytes(1078 + 8), "not a extracted bitmap file!"},
        {"R.BIN_0.bmp", Bytes(1078 + 8), "not a extracted bitmap file!"},
        {"R.BIN_000.bmpx", Bytes(1078 + 8), "not a bitmap file!"},
        {"Q.BIN_000.bmp", Bytes(1078 + 8), "can not read original texture file!"},
        {"R.BIN_000.bmp", longer, "error:file size mismatch!"},
        {"R.BIN_000.bmp", shorter, "error:file size mismatch!"},
        {"R.BIN_000.bmp", Bytes(100), "error:file size mismatch!"},
        // Odd 4-bit width: the export's rows hold fewer bytes than the texture.
        {"R.BIN_001.bmp", ReadFileBytes(path + "_001.bmp"), "error:file size mismatch!"},
    };
    for (const auto& k : cases) {
        rec.Clear();
        WriteFileBytes(dir / k.bitmap, k.bytes);
        ImportTexture(rec, dir / k.bitmap);
        EXPECT_EQ(rec.Texts(), Texts{k.message}) << k.bitmap;
        EXPECT_EQ(ReadFileBytes(path), c) << k.bitmap;
    }
}

TEST_F(TextureConvert, MissingBitmapNamesItsPath) {
    Bytes c;
    AppendBlock(c, {});
    const std::string path = Put("M.BIN", c);
    ImportTexture(rec, path + "_000.bmp");
    EXPECT_EQ(rec.Texts(), Texts{"can not read file\n" + path + "_000.bmp"});
    EXPECT_EQ(ReadFileBytes(path), c);
}

} // namespace
} // namespace qorlu::test
