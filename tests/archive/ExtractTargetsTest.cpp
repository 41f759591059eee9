// The output side of an extraction: which paths are the image, and which
// folders are made (once) and start out empty.

#include "archive/ExtractTargets.h"
#include "base/Text.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu {
namespace {

namespace fs = std::filesystem;

struct TargetCase {
    const char* name;
    void (*prepare)(const fs::path& dir); // dir holds "disc.bin", the image
    const char* target;                   // below dir
    bool isImage;
    bool symbolicLink = false; // needs symbolic links, which Wine cannot make
};

void Nothing(const fs::path&) {}

const TargetCase kTargets[] = {
    {"NothingThere", Nothing, "NEW.BIN", false},
    {"AnotherFile", [](const fs::path& d) { test::WriteFileBytes(d / "OTHER.BIN", std::vector<std::uint8_t>(10, 1)); },
     "OTHER.BIN", false},
    {"TheImageItself", Nothing, "disc.bin", true},
    {"AHardLink", [](const fs::path& d) { fs::create_hard_link(d / "disc.bin", d / "alias.bin"); }, "alias.bin", true},
    {"ASymbolicLink", [](const fs::path& d) { fs::create_symlink("disc.bin", d / "alias.bin"); }, "alias.bin", true,
     true},
    {"ALinkToAnotherFile",
     [](const fs::path& d) {
         test::WriteFileBytes(d / "OTHER.BIN", std::vector<std::uint8_t>(10, 1));
         fs::create_symlink("OTHER.BIN", d / "alias.bin");
     },
     "alias.bin", false, true},
    {"ADanglingLink", [](const fs::path& d) { fs::create_symlink("gone.bin", d / "alias.bin"); }, "alias.bin", false,
     true},
    {"ThroughALinkedFolder", [](const fs::path& d) { fs::create_directory_symlink(".", d / "SUB"); }, "SUB/disc.bin",
     true, true},
    {"BelowAFile", Nothing, "disc.bin/X.BIN", false},
};

class ImageTargets : public ::testing::TestWithParam<TargetCase> {};

TEST_P(ImageTargets, AreToldFromOtherFilesWithOneLookUpEach) {
#ifdef _WIN32
    if (GetParam().symbolicLink) GTEST_SKIP() << "Wine cannot make symbolic links";
#endif
    test::TempDir dir;
    test::WriteFileBytes(dir.Path() / "disc.bin", std::vector<std::uint8_t>(4096, 7));
    GetParam().prepare(dir.Path());
    ExtractTargets targets(dir / "disc.bin");
    const std::uint64_t before = targets.LookUps();
    EXPECT_EQ(targets.IsTheImage((dir.Path() / GetParam().target).string()), GetParam().isImage);
    EXPECT_EQ(targets.LookUps() - before, 1u);
}

INSTANTIATE_TEST_SUITE_P(Paths, ImageTargets, ::testing::ValuesIn(kTargets),
                         [](const auto& p) { return std::string(p.param.name); });

std::string Native(std::string s) {
    for (char& c : s)
        if (c == '/') c = kPathSeparator;
    return s;
}

TEST(ExtractFolders, AreMadeOnceAndOnlyNewOnesCountAsEmpty) {
    test::TempDir dir;
    fs::create_directory(dir.Path() / "OLD");
    const std::string out = dir.Path().string() + kPathSeparator;
    ExtractTargets targets(dir / "disc.bin");
    struct Step {
        const char* name;
        bool fresh;
    } steps[] = {
        {"TOP.BIN", false},      // the output folder was there before
        {"OLD/A.BIN", false},    // so was this one
        {"OLD/NEW/B.BIN", true}, // made here, below an old one
        {"A/B/C/D.BIN", true},   // three made at once
        {"A/E.BIN", true},       // made by the step before
        {"OLD/NEW/F.BIN", true},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(targets.MakeFolders(out, Native(step.name)), step.fresh) << step.name;
        const fs::path folder = (dir.Path() / step.name).parent_path();
        EXPECT_TRUE(fs::is_directory(folder)) << step.name;
    }
    // A folder is made once per object: gone now, it is not made again.
    fs::remove_all(dir.Path() / "A");
    EXPECT_TRUE(targets.MakeFolders(out, Native("A/B/C/G.BIN")));
    EXPECT_FALSE(fs::exists(dir.Path() / "A"));
    // A new object looks again, and finds the old folder.
    fs::create_directories(dir.Path() / "A" / "B");
    ExtractTargets again(dir / "disc.bin");
    EXPECT_FALSE(again.MakeFolders(out, Native("A/B/H.BIN")));
}

TEST(ExtractFolders, AFolderThatCanNotBeMadeIsNotNew) {
    test::TempDir dir;
    test::WriteFileBytes(dir.Path() / "FILE", std::vector<std::uint8_t>(1, 0));
    ExtractTargets targets(dir / "disc.bin");
    EXPECT_FALSE(targets.MakeFolders(dir.Path().string() + kPathSeparator, Native("FILE/X.BIN")));
}

} // namespace
} // namespace qorlu
