// qorlu list on images authored by a real ISO 9660 tool, and on bad input.

#include "format/ByteOrder.h"
#include "base/Text.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/IsoAuthoring.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::RunProgram;
using test::SplitLines;
using test::TempDir;
using tools::PatternBytes;

const std::string kQorlu = QORLU_CLI_PATH;

const std::vector<tools::AfsBuildEntry> kEntries = {
    {"BGM/TITLE.ADX", PatternBytes(30000, 1), 0},
    {"SE/click.adx", PatternBytes(3000, 2), 4096},
    {"A/B/DEEP.BIN", PatternBytes(1, 3), 0},
    {"ROOT.TXT", PatternBytes(700, 4), 0},
};

// A disc whose directory is written by genisoimage: FILEDATA.AFS among other
// files and a folder.
std::string AuthorDisc(const TempDir& dir, const std::vector<std::uint8_t>& afs) {
    const fs::path stage = dir.Path() / "stage";
    fs::create_directories(stage / "MOVIE");
    test::WriteFileBytes(stage / "ABOUT.TXT", PatternBytes(100, 9));
    test::WriteFileBytes(stage / "MOVIE" / "OPEN.SFD", PatternBytes(5000, 10));
    test::WriteFileBytes(stage / "FILEDATA.AFS", afs);
    test::WriteFileBytes(stage / "ZZZ.DAT", PatternBytes(3000, 11));
    const std::string bin = dir / "disc.bin";
    std::string error;
    EXPECT_TRUE(tools::AuthorRawImage(stage.string(), bin, error)) << error;
    return bin;
}

TEST(ListCommand, PrintsTheIndexOfAnAuthoredDiscAsBuilt) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the disc is authored with genisoimage or xorriso, Linux programs that a Windows build cannot start";
#endif
    TempDir dir;
    tools::AfsBuildOptions options;
    options.gapBeforeNames = 1000;
    const auto afs = tools::BuildAfs(kEntries, options);
    const std::string bin = AuthorDisc(dir, afs.bytes);

    const auto r = RunProgram(kQorlu, {"list", bin});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Size of filedtata.afs mismatch."), std::string::npos) << "a warning, not a stop";
    auto lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 6 + kEntries.size());
    EXPECT_EQ(lines[0], "layout\traw 2352-byte sectors");
    lines.erase(lines.begin());
    EXPECT_EQ(lines[1], "archive size\t" + std::to_string(afs.bytes.size()));
    EXPECT_EQ(lines[2], "entry count\t4");
    EXPECT_EQ(lines[3], "name directory offset\t" + std::to_string(afs.nameDirOffset));
    const std::uint32_t spaces[] = {30720, 4096 + 4096, 2048, 700 + 1000};
    const char* names[] = {"BGM#TITLE.ADX", "SE#click.adx", "A#B#DEEP.BIN", "ROOT.TXT"};
    for (std::size_t i = 0; i < kEntries.size(); ++i) {
        std::string name = names[i];
        for (char& c : name)
            if (c == '#') c = kPathSeparator;
        EXPECT_EQ(lines[5 + i], std::to_string(i) + "\t" + std::to_string(afs.offsets[i]) + "\t" +
                                    std::to_string(kEntries[i].data.size()) + "\t" + std::to_string(spaces[i]) + "\t" +
                                    name);
    }

    // The start sector printed is where the archive's bytes really are.
    const int start = std::stoi(lines[0].substr(lines[0].find('\t') + 1));
    const auto raw = test::ReadFileBytes(bin);
    ASSERT_GE(raw.size(), std::size_t(start) * 2352 + 24 + 2048);
    EXPECT_TRUE(std::equal(afs.bytes.begin(), afs.bytes.begin() + 2048, raw.begin() + start * 2352 + 24));
}

TEST(ListCommand, BadInputGetsAMessageAndAFailingStatus) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the disc is authored with genisoimage or xorriso, Linux programs that a Windows build cannot start";
#endif
    TempDir dir;
    const auto afs = tools::BuildAfs(kEntries);
    auto bigCount = afs.bytes;
    WriteLE32(&bigCount[4], 0xFFFFFFFFu);
    auto pastEnd = afs.bytes;
    WriteLE32(&pastEnd[8 + 8], 0x00F00000); // entry 1 far beyond the image
    const std::string good = AuthorDisc(dir, afs.bytes);
    auto truncated = test::ReadFileBytes(good);
    truncated.resize(30 * 2352);

    TempDir other;
    test::WriteFileBytes(other.Path() / "notes.txt", PatternBytes(200, 1));
    test::WriteFileBytes(other.Path() / "cut.bin", truncated);
    test::WriteFileBytes(other.Path() / "garbage.bin", PatternBytes(60 * 2352, 2));
    test::WriteImageWithArchive(other / "count.bin", bigCount);

    struct Case {
        std::string file;
        std::string message;
    } cases[] = {
        {other / "notes.txt", "file not found in the ISO!"}, {other / "garbage.bin", "file not found in the ISO!"},
        {other / "missing.bin", "Can not open ISO file!"},   {other / "cut.bin", "filedata.afs load error!"},
        {other / "count.bin", "filedata.afs load error!"},
    };
    for (const auto& c : cases) {
        const auto r = RunProgram(kQorlu, {"list", c.file});
        EXPECT_NE(r.exitCode, 0) << c.file;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.file << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.file;
    }

    test::WriteImageWithArchive(other / "past.bin", pastEnd);
    const auto r = RunProgram(kQorlu, {"list", other / "past.bin"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("warning: entry 1 (" + std::string("SE") + kPathSeparator + "click.adx) lies beyond"),
              std::string::npos)
        << r.err;
}

} // namespace
} // namespace qorlu
