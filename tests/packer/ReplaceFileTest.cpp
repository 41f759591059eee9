// Rewriting a container through a temporary file in its folder.

#include "io/BinaryFile.h"
#include "base/LastResort.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <new>
#include <set>
#include <stdexcept>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

struct NameCase {
    const char* path;
    bool temporary;
};

TEST(RewriteTemporaryName, OnlyTheExactFormCounts) {
    const NameCase cases[] = {
        {"C.BIN.qorlu-rewrite-0123456789abcdef", true},
        {"/data/x/C.BIN.qorlu-rewrite-fedcba9876543210", true},
        {"a.qorlu-rewrite-0000000000000000", true},
        {"C.BIN.qorlu-rewrite-0123456789ABCDEF", false},  // upper-case digits
        {"C.BIN.qorlu-rewrite-0123456789abcde", false},   // 15 digits
        {"C.BIN.qorlu-rewrite-0123456789abcdef0", false}, // 17 digits
        {"C.BIN.qorlu-rewrite-0123456789abcdeg", false},
        {"C.BIN.qorlu-rewrite-0123456789abcdef.bmp", false},
        {"C.BIN.qorlu-rewrite-0123456789abcdef_000", false},
        {".qorlu-rewrite-0123456789abcdef", false}, // no container name
        {"/x/.qorlu-rewrite-0123456789abcdef", false},
        {"C.BIN.0123abcd.tmp", false},
        {"C.BIN", false},
        {"", false},
    };
    for (const NameCase& c : cases) EXPECT_EQ(IsRewriteTemporary(c.path), c.temporary) << c.path;
}

// Leftovers of the container go, whatever their contents; files of other
// containers, look-alikes and folders stay.
TEST(ReplaceFileSafely, RemovesLeftoversOfTheSameContainerOnly) {
    TempDir dir;
    const std::string path = dir / "C.BIN";
    WriteFileBytes(path, Bytes(50, 1));
    const std::set<std::string> stay = {"C.BIN",
                                        "D.BIN.qorlu-rewrite-0123456789abcdef",
                                        "C.BIN.qorlu-rewrite-notes",
                                        "C.BIN.qorlu-rewrite-0123456789ABCDEF",
                                        "XC.BIN.qorlu-rewrite-0123456789abcdef",
                                        "C.BIN.bak"};
    for (const auto& name : stay) {
        if (name != "C.BIN") WriteFileBytes(dir / name, Bytes(3, 2));
    }
    WriteFileBytes(dir / "C.BIN.qorlu-rewrite-0123456789abcdef", Bytes(50, 3));
    WriteFileBytes(dir / "C.BIN.qorlu-rewrite-ffffffffffffffff", Bytes());
    fs::create_directory(dir / "C.BIN.qorlu-rewrite-1111111111111111");
    std::set<std::string> expected = stay;
    expected.insert("C.BIN.qorlu-rewrite-1111111111111111");

    RemoveLeftoverTemporaries(path);
    EXPECT_EQ(Names(dir.Path()), expected);
    EXPECT_EQ(ReadFileBytes(path), Bytes(50, 1));

    WriteFileBytes(dir / "C.BIN.qorlu-rewrite-0123456789abcdef", Bytes(50, 3));
    ASSERT_TRUE(Replace(path, {7}, {8}));
    EXPECT_EQ(Names(dir.Path()), expected);
    EXPECT_EQ(ReadFileBytes(path), (Bytes{7, 8}));
}

TEST(ReplaceFileSafely, KeepsThePermissions) {
    for (const fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write,
                                 fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                                 fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec}) {
        TempDir dir;
        const std::string path = dir / "c.bin";
        WriteFileBytes(path, Bytes(10, 7));
        fs::permissions(path, mode);
        ASSERT_TRUE(Replace(path, {1}, {2}));
        EXPECT_EQ(fs::status(path).permissions(), mode) << static_cast<int>(mode);
    }
}

// Which step failed decides the message the tools show.
TEST(ReplaceFileSafely, TellsWhichStepFailed) {
    TempDir dir;
    const std::string missing = dir / "missing.bin";
    const std::string longName = dir / std::string(250, 'n');
    WriteFileBytes(longName, Bytes(100, 7));
    const std::string temporary = dir / "c.bin.qorlu-rewrite-0123456789abcdef";
    WriteFileBytes(temporary, Bytes(100, 7));
    const std::string big = dir / "big.bin";
    WriteFileBytes(big, Bytes(100, 7));
    const std::set<std::string> before = Names(dir.Path());

    const std::pair<std::string, ReplaceFailure> cases[] = {
        {missing, ReplaceFailure::CannotOpen},
        {longName, ReplaceFailure::CannotOpen}, // no room in the name for the temporary
        {temporary, ReplaceFailure::CannotOpen},
    };
    const Bytes large(5000, 9);
    for (const auto& [path, expected] : cases) {
        ReplaceFailure why = ReplaceFailure::None;
        const std::span<const std::uint8_t> parts[] = {large};
        EXPECT_FALSE(ReplaceFileSafely(path, parts, &why)) << path;
        EXPECT_EQ(why, expected) << path;
    }
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Ok());
        ReplaceFailure why = ReplaceFailure::None;
        const std::span<const std::uint8_t> parts[] = {large};
        EXPECT_FALSE(ReplaceFileSafely(big, parts, &why));
        EXPECT_EQ(why, ReplaceFailure::WriteFailed);
    }
    EXPECT_EQ(Names(dir.Path()), before);
    EXPECT_EQ(ReadFileBytes(big), Bytes(100, 7));
    EXPECT_EQ(ReadFileBytes(temporary), Bytes(100, 7));
}

// A rename needs only the folder's permission; a container the user may not
// write is still left alone. Root may write anything, so as root the
// replacement runs in a child that has given up its rights.
TEST(ReplaceFileSafely, ReadOnlyFileInAWritableFolderIsRefused) {
    TempDir dir;
    fs::permissions(dir.Path(), fs::perms::all);
    const std::string path = dir / "c.bin";
    WriteFileBytes(path, Bytes(20, 5));
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto attempt = [&]() -> int {
        ReplaceFailure why = ReplaceFailure::None;
        const Bytes one{1};
        const std::span<const std::uint8_t> parts[] = {one};
        const bool replaced = ReplaceFileSafely(path, parts, &why);
        return replaced ? 1 : why == ReplaceFailure::CannotOpen ? 0 : 2;
    };
    int outcome = -1;
    if (geteuid() != 0) {
        outcome = attempt();
    } else {
        const pid_t pid = fork();
        if (pid == 0) {
            const gid_t nobody = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
            _exit(attempt());
        }
        int status = 0;
        waitpid(pid, &status, 0);
        outcome = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    EXPECT_EQ(outcome, 0) << "0: refused as not writable, 1: replaced, 2: another failure, 3: no child";
    EXPECT_EQ(ReadFileBytes(path), Bytes(20, 5));
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"c.bin"});
}

TEST(LoadWholeFile, TellsWhyAFileWasNotRead) {
    TempDir dir;
    WriteFileBytes(dir / "f", Bytes(10, 4));
    fs::create_directory(dir / "folder");
    const WholeFile read = LoadWholeFile(dir / "f");
    EXPECT_EQ(read.status, WholeFileStatus::Read);
    EXPECT_EQ(read.bytes, Bytes(10, 4));
    EXPECT_EQ(LoadWholeFile(dir / "missing").status, WholeFileStatus::CannotOpen);
    EXPECT_EQ(LoadWholeFile(dir / "folder").status, WholeFileStatus::CannotOpen);
}

struct GuardCase {
    const char* name;
    std::function<void()> work;
    std::optional<std::string> text;
};

TEST(RunGuarded, TurnsEveryExceptionIntoAText) {
    const GuardCase cases[] = {
        {"returns", [] {}, std::nullopt},
        {"bad_alloc", [] { throw std::bad_alloc(); }, "not enough memory\nthe operation was stopped"},
        {"runtime_error", [] { throw std::runtime_error("disk gone"); },
         "unexpected error\ndisk gone\nthe operation was stopped"},
        {"int", [] { throw 42; }, "unexpected error\n(no description)\nthe operation was stopped"},
    };
    for (const GuardCase& c : cases) EXPECT_EQ(RunGuarded(c.work), c.text) << c.name;
}

} // namespace
} // namespace qorlu::test
