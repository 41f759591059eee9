// Rewriting a container through a temporary file in its folder.

#include "shell/BinaryFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

bool Replace(const std::string& path, const Bytes& a, const Bytes& b) {
    const std::span<const std::uint8_t> parts[] = {a, b};
    return ReplaceFileSafely(path, parts);
}

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ReplaceFileSafely, WritesThePartsInOrderAndLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir / "c.bin";
    WriteFileBytes(path, Bytes(1000, 7));
    ASSERT_TRUE(Replace(path, {1, 2, 3}, {4, 5}));
    EXPECT_EQ(ReadFileBytes(path), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(ReplaceFileSafely, ReplacesTheFileALinkNamesNotTheLink) {
    TempDir dir;
    fs::create_directory(dir.Path() / "real");
    const std::string real = dir / "real/c.bin";
    const std::string link = dir / "link.bin";
    WriteFileBytes(real, Bytes(10, 7));
    fs::create_symlink(real, link);
    ASSERT_TRUE(Replace(link, {9, 9}, {8}));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), (Bytes{9, 9, 8}));
    EXPECT_EQ(FilesIn(dir.Path() / "real"), 1u);
}

TEST(ReplaceFileSafely, RefusesWhatIsNotAnExistingFile) {
    TempDir dir;
    EXPECT_FALSE(Replace(dir / "missing.bin", {1}, {}));
    EXPECT_FALSE(fs::exists(dir / "missing.bin"));
    fs::create_directory(dir / "folder.bin");
    EXPECT_FALSE(Replace(dir / "folder.bin", {1}, {}));
    EXPECT_TRUE(fs::is_directory(dir / "folder.bin"));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(ReplaceFileSafely, FailureLeavesTheFileWhole) {
    TempDir dir;
    // The file's name fits the file system; its temporary's name does not.
    const std::string path = dir / std::string(250, 'n');
    WriteFileBytes(path, Bytes(100, 7));
    EXPECT_FALSE(Replace(path, {1}, {2}));
    EXPECT_EQ(ReadFileBytes(path), Bytes(100, 7));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

} // namespace
} // namespace qorlu::test
