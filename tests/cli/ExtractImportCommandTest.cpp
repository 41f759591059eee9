// qorlu extract and qorlu import on a genisoimage-authored disc, checked with
// an independent reader of the raw image (libcdio's cd-info and cd-read).

#include "format/ByteReader.h"
#include "format/ByteOrder.h"
#include "base/Text.h"
#include "tests/support/IndependentReader.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/IsoAuthoring.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::RunProgram;
using test::TempDir;
using tools::PatternBytes;

const std::string kQorlu = QORLU_CLI_PATH;

const std::vector<tools::AfsBuildEntry> kEntries = {
    {"BGM/TITLE.ADX", PatternBytes(30000, 1), 0}, {"SE/click.adx", PatternBytes(3000, 2), 4096},
    {"DATA/STAGE.BIN", PatternBytes(9000, 3), 0}, {"A/B/DEEP.BIN", PatternBytes(1, 4), 0},
    {"README.TXT", PatternBytes(700, 5), 0},      {"DATA/EMPTY.DAT", {}, 0},
};

struct Disc {
    TempDir dir;
    tools::AfsLayout afs = tools::BuildAfs(kEntries);
    std::string bin = dir / "disc.bin";
    Disc() {
        const fs::path stage = dir.Path() / "stage";
        fs::create_directories(stage / "MOVIE");
        test::WriteFileBytes(stage / "MOVIE" / "OPEN.SFD", PatternBytes(5000, 10));
        test::WriteFileBytes(stage / "FILEDATA.AFS", afs.bytes);
        std::string error;
        EXPECT_TRUE(tools::AuthorRawImage(stage.string(), bin, error)) << error;
    }
    // The archive as libcdio reads it out of the raw image through a cue sheet.
    std::vector<std::uint8_t> ReadArchiveIndependently() {
        const std::string cue = dir / "disc.cue";
        test::WriteRawCueSheet(cue, bin);
        return test::ReadFileThroughCue(cue, "filedata.afs", dir / "independent.afs");
    }
};

using test::Tree;

TEST(ExtractCommand, WritesTheArchivesTreeForEachFilter) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the disc is authored with genisoimage or xorriso, Linux programs that a Windows build cannot start";
#endif
    Disc disc;
    struct Case {
        std::vector<std::string> flags;
        std::vector<std::string> names;
    } cases[] = {
        {{}, {"A/B/DEEP.BIN", "BGM/TITLE.ADX", "DATA/EMPTY.DAT", "DATA/STAGE.BIN", "README.TXT", "SE/click.adx"}},
        {{"--adx"}, {"BGM/TITLE.ADX", "SE/click.adx"}},
        {{"--others"}, {"A/B/DEEP.BIN", "DATA/EMPTY.DAT", "DATA/STAGE.BIN", "README.TXT"}},
    };
    for (const auto& c : cases) {
        const std::string out =
            disc.dir / ("out" + std::to_string(c.flags.size()) + (c.flags.empty() ? "" : c.flags[0]));
        std::vector<std::string> args = {"extract", disc.bin, out};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const auto r = RunProgram(kQorlu, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        // The job's end message, then the count and the folder.
        EXPECT_EQ(r.out, "Extract complete!\n" + std::to_string(c.names.size()) + " entries written into " +
                             fs::absolute(out).lexically_normal().string() + "\n");
        EXPECT_EQ(Tree(out), c.names);
        for (const auto& e : kEntries) {
            if (std::find(c.names.begin(), c.names.end(), e.name) != c.names.end()) {
                EXPECT_EQ(test::ReadFileBytes(fs::path(out) / e.name), e.data) << e.name;
            }
        }
    }
    EXPECT_EQ(RunProgram(kQorlu, {"extract", disc.bin}).exitCode, 2);
    EXPECT_EQ(RunProgram(kQorlu, {"extract", disc.bin, disc.dir / "x", "--adx", "--others"}).exitCode, 2);
    const auto missing = RunProgram(kQorlu, {"extract", disc.dir / "none.bin", disc.dir / "x"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Can not open ISO file!\n");
}

TEST(ImportCommand, AnExtractedFileEditedAndWrittenBackIsInTheImage) {
#ifdef _WIN32
    GTEST_SKIP()
        << "the disc is authored with genisoimage or xorriso, Linux programs that a Windows build cannot start";
#endif
    Disc disc;
    const std::string out = disc.dir / "out";
    ASSERT_EQ(RunProgram(kQorlu, {"extract", disc.bin, out}).exitCode, 0);

    // Edit two files: one that grows within its slot, one at the archive's root.
    const auto title = PatternBytes(30500, 40);
    const auto readme = PatternBytes(20, 41);
    test::WriteFileBytes(fs::path(out) / "BGM" / "TITLE.ADX", title);
    test::WriteFileBytes(fs::path(out) / "README.TXT", readme);
    const std::string stray = disc.dir / "stray.bin";
    test::WriteFileBytes(stray, PatternBytes(5, 1));
    const std::string titlePath = (fs::path(out) / "BGM" / "TITLE.ADX").string();
    const std::string readmePath = (fs::path(out) / "README.TXT").string();

    // Answer No to the first question: nothing changes for it.
    auto r = RunProgram(kQorlu, {"import", disc.bin, stray, titlePath, readmePath}, "n\ny\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("no archive entry matches " + stray), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("index = 0\nsize = 30000\navailable space = 30720\n" + titlePath + "\n\n Import this file ?"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("index = 4\nsize = 700\navailable space = 2048\n" + readmePath), std::string::npos);
    EXPECT_NE(r.out.find("file import OK!"), std::string::npos);

    auto afs = disc.ReadArchiveIndependently();
    ASSERT_EQ(afs.size(), disc.afs.bytes.size());
    EXPECT_TRUE(std::equal(readme.begin(), readme.end(), afs.begin() + disc.afs.offsets[4]));
    EXPECT_EQ(CByteReader(afs).LE32(12 + 8 * 4), 20u);
    EXPECT_EQ(CByteReader(afs).LE32(disc.afs.nameDirOffset + 48 * 4 + 44), 20u);
    EXPECT_EQ(CByteReader(afs).LE32(12), 30000u) << "answered No";

    r = RunProgram(kQorlu, {"import", disc.bin, titlePath, "--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    afs = disc.ReadArchiveIndependently();
    EXPECT_TRUE(std::equal(title.begin(), title.end(), afs.begin() + disc.afs.offsets[0]));
    EXPECT_EQ(CByteReader(afs).LE32(12), 30500u);
    EXPECT_EQ(CByteReader(afs).LE32(disc.afs.nameDirOffset + 44), 30500u);

    // Too large for its slot, and nothing matching at all: failing statuses.
    test::WriteFileBytes(titlePath, PatternBytes(40000, 42));
    r = RunProgram(kQorlu, {"import", disc.bin, titlePath, "--yes"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("file size too large!\nfile import error!\n"), std::string::npos) << r.err;
    EXPECT_EQ(RunProgram(kQorlu, {"import", disc.bin, stray, "--yes"}).exitCode, 1);
}

} // namespace
} // namespace qorlu
