// qorlu texture-export and texture-import: the printed messages and the exit
// status, and a container and a flag sheet going out and back.

#include "cli/Commands.h"
#include "tests/support/TempDir.h"
#include "tests/texture/TextureFixtures.h"

#include <gtest/gtest.h>

namespace qorlu::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun Texture(const char* which, const cli::Args& args) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = std::string(which) == "export" ? cli::RunTextureExport(args) : cli::RunTextureImport(args);
    CommandRun r{status, "", ""};
    r.out = ::testing::internal::GetCapturedStdout();
    r.err = ::testing::internal::GetCapturedStderr();
    return r;
}

TEST(TextureCommand, WrongArgumentCountPrintsUsage) {
    for (const char* which : {"export", "import"}) {
        for (const cli::Args& args : {cli::Args{}, cli::Args{"a", "b"}}) {
            const CommandRun r = Texture(which, args);
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, std::string("usage: qorlu texture-") + which +
                                 (std::string(which) == "export" ? " FILE\n" : " BMP\n"));
        }
    }
}

TEST(TextureCommand, FailuresGoToStderrWithStatusOne) {
    TempDir dir;
    const std::string empty = dir / "EMPTY.BIN";
    WriteFileBytes(empty, Bytes(64, 0));
    const CommandRun e = Texture("export", {empty});
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.out, "");
    EXPECT_EQ(e.err, "This is not a texture file?\n");

    const CommandRun i = Texture("import", {dir / "EMPTY.BIN"});
    EXPECT_EQ(i.status, 1);
    EXPECT_EQ(i.err, "not a bitmap file!\n");

    const CommandRun m = Texture("import", {dir / "EMPTY.BIN_000.bmp"});
    EXPECT_EQ(m.status, 1);
    EXPECT_EQ(m.err, "index error!\n");
}

// The whole round trip: a container with 8- and 4-bit textures, a skipped
// header and filler, and a flag sheet, out as bitmaps and back, unchanged
// and then with one pixel edited.
TEST(TextureCommand, ContainerAndSheetGoOutAndBack) {
    TempDir dir;
    Bytes c;
    AppendFiller(c, 48);
    AppendBlock(c, {.depthCode = 4, .width = 16, .height = 4, .seed = 3});
    AppendFiller(c, 32);
    AppendHeaderOnly(c, {.presenceA = 0});
    const std::size_t b = AppendBlock(c, {.depthCode = 7, .width = 6, .height = 3, .seed = 4});
    AppendFiller(c, 20);
    const std::string container = dir / "Stage.bin";
    WriteFileBytes(container, c);
    std::vector<std::size_t> images;
    const Bytes sheet = BuildSheet({.count = 2, .width = 10, .height = 3}, &images);
    const std::string sheetPath = dir / "nations.flg";
    WriteFileBytes(sheetPath, sheet);

    for (const std::string& path : {container, sheetPath}) {
        const CommandRun r = Texture("export", {path});
        EXPECT_EQ(r.status, 0) << path;
        EXPECT_EQ(r.out, "OK!\n") << path;
        EXPECT_EQ(r.err, "") << path;
    }
    for (const std::string& bmp :
         {container + "_000.bmp", container + "_001.bmp", sheetPath + "_000.bmp", sheetPath + "_001.bmp"}) {
        const CommandRun r = Texture("import", {bmp});
        EXPECT_EQ(r.status, 0) << bmp;
        EXPECT_EQ(r.out, "OK!\n") << bmp;
    }
    EXPECT_FALSE(std::filesystem::exists(container + "_002.bmp"));
    EXPECT_EQ(ReadFileBytes(container), c);
    EXPECT_EQ(ReadFileBytes(sheetPath), sheet);

    // Edit one pixel in each: the bitmaps' first pixel row is the bottom row.
    Bytes bmp = ReadFileBytes(container + "_001.bmp");
    bmp[118 + 1] = 0xAB; // bottom row, second byte
    WriteFileBytes(container + "_001.bmp", bmp);
    Bytes sheetBmp = ReadFileBytes(sheetPath + "_001.bmp");
    sheetBmp[1078 + 12 + 4] = 0xCD; // second row from the bottom, pixel 4
    WriteFileBytes(sheetPath + "_001.bmp", sheetBmp);
    EXPECT_EQ(Texture("import", {container + "_001.bmp"}).status, 0);
    EXPECT_EQ(Texture("import", {sheetPath + "_001.bmp"}).status, 0);

    Bytes expected = c;
    expected[b + 128 + 2 * 3 + 1] = 0xBA;
    EXPECT_EQ(ReadFileBytes(container), expected);
    Bytes expectedSheet = sheet;
    expectedSheet[images[1] + 1 * 10 + 4] = 0xCD;
    EXPECT_EQ(ReadFileBytes(sheetPath), expectedSheet);
}

} // namespace
} // namespace qorlu::test
