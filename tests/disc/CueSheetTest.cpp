// Cue sheets: which data file a sheet stands for, and the locator working
// through one.

#include "disc/CueSheet.h"
#include "disc/DiscImage.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct SheetCase {
    const char* name;
    std::string sheet;
    std::vector<std::string> files; // created beside the sheet
    std::string expected;           // data file below the folder; empty: refused
    std::string problem;            // part of the refusal's text
};

const SheetCase kSheets[] = {
    {"QuotedNameWithSpaces",
     "FILE \"My Game (Disc 1).bin\" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n",
     {"My Game (Disc 1).bin"},
     "My Game (Disc 1).bin",
     ""},
    {"UnquotedName",
     "FILE game.bin BINARY\r\nTRACK 01 MODE2/2352\r\nINDEX 01 00:00:00\r\n",
     {"game.bin"},
     "game.bin",
     ""},
    {"KeywordsInLowerCase", "file \"game.bin\" binary\n track 01 mode2/2352\n", {"game.bin"}, "game.bin", ""},
    {"PlainTrack", "FILE \"game.iso\" BINARY\n  TRACK 01 MODE1/2048\n", {"game.iso"}, "game.iso", ""},
    {"NameInAnotherCase", "FILE \"GAME.BIN\" BINARY\n  TRACK 01 MODE2/2352\n", {"Game.bin"}, "Game.bin", ""},
    {"ExactCaseWinsOverOthers",
     "FILE \"Game.bin\" BINARY\n  TRACK 01 MODE2/2352\n",
     {"GAME.BIN", "Game.bin"},
     "Game.bin",
     ""},
    {"SubFolderWithBackslash",
     "FILE \"data\\game.bin\" BINARY\n  TRACK 01 MODE2/2352\n",
     {"data/game.bin"},
     "data/game.bin",
     ""},
    {"AudioFileFirst",
     "REM made by hand\nFILE \"music.wav\" WAVE\n  TRACK 01 AUDIO\nFILE \"game.bin\" BINARY\n  TRACK 02 MODE2/2352\n",
     {"music.wav", "game.bin"},
     "game.bin",
     ""},
    {"OnlyTheFilesFirstTrackCounts",
     "FILE \"mixed.bin\" BINARY\n  TRACK 01 AUDIO\n  TRACK 02 MODE2/2352\nFILE \"game.bin\" BINARY\n  TRACK 03 "
     "MODE1/2048\n",
     {"mixed.bin", "game.bin"},
     "game.bin",
     ""},
    {"AudioOnly",
     "FILE \"music.bin\" BINARY\n  TRACK 01 AUDIO\n  TRACK 02 AUDIO\n",
     {"music.bin"},
     "",
     "no MODE2/2352 or MODE1/2048 data track in the cue sheet"},
    {"RawMode1IsNotTaken",
     "FILE \"game.bin\" BINARY\n  TRACK 01 MODE1/2352\n",
     {"game.bin"},
     "",
     "no MODE2/2352 or MODE1/2048 data track in the cue sheet"},
    {"Empty", "", {}, "", "no MODE2/2352 or MODE1/2048 data track"},
    {"MissingFile", "FILE \"gone.bin\" BINARY\n  TRACK 01 MODE2/2352\n", {}, "", "names does not exist:\n"},
    {"NameWithANulByte",
     std::string("FILE game.bin\0\0<FILE BINARY\n  TRACK 01 MODE2/2352\n", 50),
     {"game.bin"},
     "",
     "no MODE2/2352 or MODE1/2048 data track"},
};

class Sheets : public ::testing::TestWithParam<SheetCase> {};

TEST_P(Sheets, NameTheirDataFileOrAreRefused) {
    const SheetCase& c = GetParam();
    TempDir dir;
    const std::string sheet = dir / "disc.cue";
    std::ofstream(sheet, std::ios::binary) << c.sheet;
    for (const auto& f : c.files) {
        fs::create_directories((dir.Path() / f).parent_path());
        test::WriteFileBytes(dir.Path() / f, tools::PatternBytes(10, 1));
    }
    std::string problem;
    const auto data = DataFileOfCueSheet(sheet, problem);
    if (c.expected.empty()) {
        EXPECT_FALSE(data) << *data;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_NE(problem.find(sheet), std::string::npos) << "the sheet is named: " << problem;
    } else {
        ASSERT_TRUE(data) << problem;
#ifdef _WIN32
        // The file system ignores case: the sheet's own spelling finds the file.
        EXPECT_TRUE(fs::equivalent(fs::path(*data), dir.Path() / c.expected)) << *data;
#else
        EXPECT_EQ(fs::path(*data), dir.Path() / c.expected);
#endif
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, Sheets, ::testing::ValuesIn(kSheets),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(CueSheetPaths, AreKnownByTheirEndingInAnyCase) {
    EXPECT_TRUE(IsCueSheetPath("a/disc.cue"));
    EXPECT_TRUE(IsCueSheetPath("DISC.CUE"));
    EXPECT_TRUE(IsCueSheetPath("x.Cue"));
    EXPECT_FALSE(IsCueSheetPath("disc.bin"));
    EXPECT_FALSE(IsCueSheetPath("cue"));
    EXPECT_FALSE(IsCueSheetPath("disc.cue.bin"));
}

TEST(CueSheetLocate, WorksOnTheDataFileAndKeepsTheChosenPath) {
    TempDir dir;
    const auto afs = tools::BuildAfs({{"A.BIN", tools::PatternBytes(3000, 1), 0}});
    test::WriteImageWithArchive(dir / "Disc One.bin", afs.bytes);
    std::ofstream(dir / "disc.cue") << "FILE \"Disc One.bin\" BINARY\n  TRACK 01 MODE2/2352\n";
    test::MessageRecorder messages;
    CDiscImage image(messages);
    ASSERT_TRUE(image.LocateArchive(dir / "disc.cue", "filedata.afs")) << testing::PrintToString(messages.Texts());
    EXPECT_EQ(image.m_strImagePath, dir / "disc.cue");
    EXPECT_EQ(fs::path(image.ImageFile()), dir.Path() / "Disc One.bin");
    EXPECT_EQ(image.m_nStartSector, 40);
    ASSERT_TRUE(image.OpenImage(CDiscImage::OpenMode::ReadOnly));
    std::vector<std::uint8_t> head(3000);
    EXPECT_TRUE(image.ReadAt(0, head.data(), 3000));
    EXPECT_TRUE(std::equal(head.begin(), head.end(), afs.bytes.begin()));
    image.CloseImage();

    // The same object given the data file directly forgets the sheet.
    ASSERT_TRUE(image.LocateArchive(dir / "Disc One.bin", "filedata.afs"));
    EXPECT_EQ(image.ImageFile(), dir / "Disc One.bin");
}

TEST(CueSheetLocate, AnUnusableSheetOpensNothingAndSaysWhy) {
    TempDir dir;
    std::ofstream(dir / "audio.cue") << "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n";
    std::ofstream(dir / "gone.cue") << "FILE \"gone.bin\" BINARY\n  TRACK 01 MODE2/2352\n";
    for (const std::string& sheet : std::vector<std::string>{dir / "audio.cue", dir / "gone.cue", dir / "absent.cue"}) {
        test::MessageRecorder messages;
        CDiscImage image(messages);
        EXPECT_FALSE(image.LocateArchive(sheet, "filedata.afs"));
        EXPECT_FALSE(image.IsOpen());
        EXPECT_FALSE(image.m_bLocated);
        ASSERT_EQ(messages.Notices().size(), 1u) << sheet;
        const Notice n = messages.Notices()[0];
        EXPECT_EQ(n.title, "ERROR");
        EXPECT_NE(n.text.find(sheet), std::string::npos) << n.text;
        if (sheet == dir / "gone.cue") {
            EXPECT_NE(n.text.find("gone.bin"), std::string::npos) << n.text;
        }
    }
}

} // namespace
} // namespace qorlu
