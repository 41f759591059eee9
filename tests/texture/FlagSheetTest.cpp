// Flag sheets: bitmaps with filled rows, the round trip, and the index
// checks that keep both directions inside the sheet.

#include "format/ByteReader.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/texture/TextureFixtures.h"
#include "texture/FlagSheet.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

class FlagSheet : public TextureFileTest {};

TEST(FlagSheetRow, RoundsUpToAMultipleOfFour) {
    const std::pair<int, int> cases[] = {{0, 0}, {1, 4}, {3, 4}, {4, 4}, {5, 8}, {30, 32}, {32, 32}, {255, 256}};
    for (const auto& [width, row] : cases) EXPECT_EQ(FlagSheetRowLength(width), row) << width;
}

TEST_F(FlagSheet, ThirtyByTwentyImagesGiveFilledBitmapsOf1718Bytes) {
    std::vector<std::size_t> images;
    std::size_t palette = 0;
    const Bytes sheet = BuildSheet({.count = 3, .width = 30, .height = 20}, &images, &palette);
    const std::string path = Put("FACES.FLG", sheet);
    ExportTextures(rec, path);
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    EXPECT_FALSE(Exists(path + "_003.bmp"));
    for (int i = 0; i < 3; ++i) {
        const Bytes b = ReadFileBytes(path + "_00" + std::to_string(i) + ".bmp");
        ASSERT_EQ(b.size(), 1718u);
        EXPECT_EQ(CByteReader(b).LE16(0), 19778);
        EXPECT_EQ(CByteReader(b).LE32(2), 1718u);  // bfSize
        EXPECT_EQ(CByteReader(b).LE32(10), 1078u); // bfOffBits
        EXPECT_EQ(CByteReader(b).LE32(18), 30u);
        EXPECT_EQ(CByteReader(b).LE32(22), 20u);
        EXPECT_EQ(CByteReader(b).LE16(28), 8);
        EXPECT_EQ(CByteReader(b).LE32(34), 640u); // biSizeImage
        EXPECT_EQ(CByteReader(b).LE32(38), 3780u);
        // Palette: colour 8 is stored at 16, as in a 256-colour texture.
        EXPECT_EQ(b[54 + 8 * 4 + 2], sheet[palette + 16 * 4 + 0]); // red
        EXPECT_EQ(b[54 + 8 * 4 + 0], sheet[palette + 16 * 4 + 2]); // blue
        EXPECT_EQ(b[54 + 3 * 4 + 3], sheet[palette + 3 * 4 + 3]);  // reserved
        for (int r = 0; r < 20; ++r) {
            const std::size_t row = 1078 + static_cast<std::size_t>(r) * 32;
            const std::size_t src = images[static_cast<std::size_t>(i)] + static_cast<std::size_t>(19 - r) * 30;
            EXPECT_EQ(Bytes(b.begin() + row, b.begin() + row + 30),
                      Bytes(sheet.begin() + src, sheet.begin() + src + 30));
            EXPECT_EQ(b[row + 30], 0);
            EXPECT_EQ(b[row + 31], 0);
        }
    }
}

TEST_F(FlagSheet, WidthMultipleOfFourHasNoFill) {
    const std::string path = Put("W.FLG", BuildSheet({.count = 1, .width = 32, .height = 3}));
    ExportTextures(rec, path);
    EXPECT_EQ(ReadFileBytes(path + "_000.bmp").size(), 1078u + 96);
}

TEST_F(FlagSheet, CountZeroWritesNothingAndSaysOk) {
    const std::string path = Put("Z.FLG", BuildSheet({.count = 0}));
    ExportTextures(rec, path);
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    EXPECT_FALSE(Exists(path + "_000.bmp"));
}

TEST_F(FlagSheet, RoundTripIsByteIdentical) {
    for (const std::uint8_t width : {30, 32, 1, 7}) {
        rec.Clear();
        const Bytes sheet = BuildSheet({.count = 3, .width = width, .height = 5});
        const std::string path = Put("RT.flg", sheet);
        ExportTextures(rec, path);
        for (const char* s : {"_000.bmp", "_001.bmp", "_002.bmp"}) ImportTexture(rec, path + s);
        EXPECT_EQ(rec.Texts(), Texts(4, "OK!")) << int(width);
        EXPECT_EQ(ReadFileBytes(path), sheet) << int(width);
    }
}

TEST_F(FlagSheet, ImportWritesImageNAtItsTableOffset) {
    std::vector<std::size_t> images;
    const Bytes sheet = BuildSheet({.count = 3, .width = 6, .height = 2}, &images);
    ASSERT_EQ(CByteReader(sheet).LE32(36), images[2]); // image 2's entry is at 36
    const std::string path = Put("FACES.FLG", sheet);
    // Rows of 8 bytes (6 pixels, 2 fill), bottom row first. Fill bytes and
    // headers are not carried into the sheet.
    Bytes bmp(1078, 0x77);
    for (std::uint8_t v : {1, 2, 3, 4, 5, 6, 0xF1, 0xF2, 7, 8, 9, 10, 11, 12, 0xF3, 0xF4}) bmp.push_back(v);
    WriteFileBytes(path + "_002.bmp", bmp);
    ImportTexture(rec, path + "_002.bmp");
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    Bytes expected = sheet;
    const Bytes image = {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6};
    std::copy(image.begin(), image.end(), expected.begin() + static_cast<std::ptrdiff_t>(images[2]));
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST_F(FlagSheet, ImportRefusalsLeaveTheSheetUntouched) {
    std::vector<std::size_t> images;
    const Bytes sheet = BuildSheet({.count = 2, .width = 6, .height = 2}, &images);
    Bytes entryOutside = sheet;
    WriteLE16(entryOutside.data(), 0xFFFF); // image 2000's entry lies beyond the end
    Bytes imageOutside = sheet;
    WriteLE32(&imageOutside[28], static_cast<std::uint32_t>(sheet.size() - 11)); // 12 bytes from here
    Bytes imageFar = sheet;
    WriteLE32(&imageFar[28], 0xFFFFFFF8u);
    const Bytes filled(1078 + 16, 0);

    const struct {
        const char* what;
        Bytes sheet;
        std::string bitmapSuffix;
        Bytes bitmap;
        std::string message;
    } cases[] = {
        {"number = count", sheet, "_002.bmp", filled, "index error!"},
        {"negative number", sheet, "_-05.bmp", filled, "index error!"},
        {"entry outside", entryOutside, "_999.bmp", filled, "index error!"},
        {"image cut off", imageOutside, "_001.bmp", filled, "index error!"},
        {"image far outside", imageFar, "_001.bmp", filled, "index error!"},
        {"header cut off", Bytes(sheet.begin(), sheet.begin() + 3), "_000.bmp", filled, "index error!"},
        {"rows without fill", sheet, "_001.bmp", Bytes(1078 + 12, 0), "error:file size mismatch!"},
        {"one byte more", sheet, "_001.bmp", Bytes(1078 + 17, 0), "error:file size mismatch!"},
        {"not a bitmap", sheet, "_001.png", filled, "not a bitmap file!"},
        {"not extracted", sheet, "_1.bmp", filled, "not a extracted bitmap file!"},
    };
    for (const auto& k : cases) {
        rec.Clear();
        const std::string path = Put("S.FLG", k.sheet);
        WriteFileBytes(path + k.bitmapSuffix, k.bitmap);
        ImportTexture(rec, path + k.bitmapSuffix);
        EXPECT_EQ(rec.Texts(), Texts{k.message}) << k.what;
        EXPECT_EQ(ReadFileBytes(path), k.sheet) << k.what;
    }

    rec.Clear();
    ImportTexture(rec, dir / "GONE.FLG_000.bmp");
    const std::string missingBitmap = Put("S.FLG", sheet) + "_000.bmp";
    std::filesystem::remove(missingBitmap);
    ImportTexture(rec, missingBitmap);
    EXPECT_EQ(rec.Texts(), (Texts{"can not read original texture file!", "can not read file\n" + missingBitmap}));
}

TEST_F(FlagSheet, ExportRefusesASheetThatPointsOutsideItself) {
    const Bytes sheet = BuildSheet({.count = 3, .width = 30, .height = 20});
    Bytes paletteOut = sheet;
    WriteLE32(&paletteOut[12], static_cast<std::uint32_t>(sheet.size() - 1023));
    Bytes paletteFar = sheet;
    WriteLE32(&paletteFar[12], 0xFFFFFF00u);
    Bytes lastImageOut = sheet;
    WriteLE32(&lastImageOut[20 + 16], static_cast<std::uint32_t>(sheet.size() - 599));
    Bytes tableOut = sheet;
    WriteLE16(tableOut.data(), 0x4000); // table runs far past the end

    const struct {
        const char* what;
        Bytes sheet;
    } cases[] = {
        {"palette cut off", paletteOut},
        {"palette far outside", paletteFar},
        {"last image cut off", lastImageOut},
        {"table outside", tableOut},
        {"header cut off", Bytes(sheet.begin(), sheet.begin() + 15)},
        {"empty", {}},
    };
    for (const auto& k : cases) {
        rec.Clear();
        const std::string path = Put("BAD.FLG", k.sheet);
        ExportTextures(rec, path);
        EXPECT_EQ(rec.Texts(), Texts{"index error!"}) << k.what;
        EXPECT_FALSE(Exists(path + "_000.bmp")) << k.what; // nothing written, not even image 0
    }
}

TEST_F(FlagSheet, UnreadableSheetNamesThePath) {
    const std::string missing = dir / "NONE.FLG";
    ExportTextures(rec, missing);
    EXPECT_EQ(rec.Texts(), Texts{"can not read file\n" + missing});
    EXPECT_FALSE(Exists(missing + "_000.bmp"));
}

TEST_F(FlagSheet, CreateErrorEndsTheExport) {
    const std::string path = Put("C.FLG", BuildSheet({.count = 3, .width = 4, .height = 4}));
    std::filesystem::create_directory(path + "_001.bmp");
    ExportTextures(rec, path);
    EXPECT_EQ(rec.Texts(), Texts{"Create file error!"});
    EXPECT_TRUE(Exists(path + "_000.bmp"));
    EXPECT_FALSE(Exists(path + "_002.bmp"));
}

} // namespace
} // namespace qorlu::test
