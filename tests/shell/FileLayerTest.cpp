// The file layer against the real file system: locks between handles and
// between processes, reading and writing while a lock is held, 64-bit
// positions, UTF-8 names, and replacing by a rename.

#include "io/FileLayer.h"
#include "io/NativePath.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <span>
#include <vector>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using Mode = FileHandle::Mode;

std::string NewFile(const test::TempDir& dir, const std::string& name, const std::string& bytes = "0123456789") {
    const std::string path = Utf8FromPath(dir.Path() / PathFromUtf8(name));
    FileHandle f;
    EXPECT_TRUE(f.Open(path, Mode::CreateNew)) << path;
    EXPECT_TRUE(f.WriteAt(0, bytes.data(), bytes.size()));
    EXPECT_TRUE(f.Close());
    return path;
}

std::string ReadAll(FileHandle& f, std::size_t n) {
    std::string s(n, '\0');
    const auto got = f.ReadAt(0, s.data(), n);
    if (!got) return "<read failed>";
    s.resize(*got);
    return s;
}

struct LockRow {
    const char* name;
    LockKind held;
    LockKind wanted;
    bool granted;
};

constexpr std::array kLockRows = {
    LockRow{"SharedBesideShared", LockKind::Shared, LockKind::Shared, true},
    LockRow{"ExclusiveBesideShared", LockKind::Shared, LockKind::Exclusive, false},
    LockRow{"SharedBesideExclusive", LockKind::Exclusive, LockKind::Shared, false},
    LockRow{"ExclusiveBesideExclusive", LockKind::Exclusive, LockKind::Exclusive, false},
};

class LockBetweenHandles : public ::testing::TestWithParam<LockRow> {};

TEST_P(LockBetweenHandles, ConflictsAsTheKindsSayAndNeverBlockData) {
    const LockRow& row = GetParam();
    test::TempDir dir;
    const std::string path = NewFile(dir, "image.bin");
    FileHandle holder, other;
    ASSERT_TRUE(holder.Open(path, Mode::ReadWrite));
    ASSERT_TRUE(other.Open(path, Mode::ReadWrite));
    ASSERT_TRUE(holder.TryLock(row.held));
    EXPECT_EQ(other.TryLock(row.wanted), row.granted);
    // The lock covers no data: the other handle reads and writes the file.
    EXPECT_EQ(ReadAll(other, 10), "0123456789");
    EXPECT_TRUE(other.WriteAt(3, "x", 1));
    EXPECT_EQ(ReadAll(holder, 10), "012x456789");
    // Once the holder lets go, the other handle gets its lock.
    holder.Unlock();
    EXPECT_TRUE(other.TryLock(row.wanted));
}

TEST_P(LockBetweenHandles, ConflictsWithAnotherProcess) {
    const LockRow& row = GetParam();
    test::TempDir dir;
    const std::string path = NewFile(dir, "image.bin");
    FileHandle holder;
    ASSERT_TRUE(holder.Open(path, Mode::ReadWrite));
    ASSERT_TRUE(holder.TryLock(row.held));
    const auto r = test::RunProgram(QORLU_LOCK_PROBE, {path, row.wanted == LockKind::Shared ? "shared" : "exclusive"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(test::SplitLines(r.out), (std::vector<std::string>{"io ok", row.granted ? "locked" : "refused"}));
    holder.Close();
    const auto after = test::RunProgram(QORLU_LOCK_PROBE, {path, "exclusive"});
    EXPECT_EQ(test::SplitLines(after.out), (std::vector<std::string>{"io ok", "locked"})) << "closing ends the lock";
}

INSTANTIATE_TEST_SUITE_P(Kinds, LockBetweenHandles, ::testing::ValuesIn(kLockRows),
                         [](const ::testing::TestParamInfo<LockRow>& p) { return std::string(p.param.name); });

TEST(FileLock, ARefusedChangeKeepsTheLockHeld) {
    test::TempDir dir;
    const std::string path = NewFile(dir, "image.bin");
    FileHandle a, b, c;
    ASSERT_TRUE(a.Open(path, Mode::ReadWrite) && b.Open(path, Mode::ReadWrite) && c.Open(path, Mode::ReadWrite));
    ASSERT_TRUE(a.TryLock(LockKind::Shared));
    ASSERT_TRUE(b.TryLock(LockKind::Shared));
    EXPECT_FALSE(a.TryLock(LockKind::Exclusive)) << "b holds a shared lock";
    b.Unlock();
    EXPECT_FALSE(c.TryLock(LockKind::Exclusive)) << "a still holds its shared lock";
    EXPECT_TRUE(a.TryLock(LockKind::Exclusive)) << "now a is the only holder";
    EXPECT_FALSE(c.TryLock(LockKind::Shared));
}

TEST(FileLock, TakingTheSameLockTwiceNeedsOneUnlock) {
    test::TempDir dir;
    const std::string path = NewFile(dir, "image.bin");
    FileHandle a, b;
    ASSERT_TRUE(a.Open(path, Mode::ReadWrite) && b.Open(path, Mode::ReadWrite));
    ASSERT_TRUE(a.TryLock(LockKind::Shared));
    ASSERT_TRUE(a.TryLock(LockKind::Shared));
    a.Unlock();
    EXPECT_TRUE(b.TryLock(LockKind::Exclusive));
}

TEST(FileLock, AMovedHandleTakesItsLockAlong) {
    test::TempDir dir;
    const std::string path = NewFile(dir, "image.bin");
    FileHandle a, b;
    ASSERT_TRUE(a.Open(path, Mode::ReadWrite) && b.Open(path, Mode::ReadWrite));
    ASSERT_TRUE(a.TryLock(LockKind::Exclusive));
    FileHandle moved = std::move(a);
    EXPECT_FALSE(b.TryLock(LockKind::Shared));
    moved.Unlock();
    EXPECT_TRUE(b.TryLock(LockKind::Shared));
}

TEST(FileHandle, PositionsPastFourGibibytes) {
    test::TempDir dir;
    const std::string path = NewFile(dir, "large.bin", "");
    FileHandle f;
    ASSERT_TRUE(f.Open(path, Mode::ReadWrite));
    const std::uint64_t far = (std::uint64_t{1} << 32) + 10;
    ASSERT_TRUE(f.Truncate(far + 4096));
    EXPECT_EQ(f.Length(), far + 4096);
    ASSERT_TRUE(f.WriteAt(far, "abc", 3));
    char back[4] = {};
    EXPECT_EQ(f.ReadAt(far - 1, back, 4), 4u);
    EXPECT_EQ(std::string(back, 4), std::string("\0abc", 4));
    // Not at 10: the offset's upper half reached the system too.
    EXPECT_EQ(f.ReadAt(10, back, 3), 3u);
    EXPECT_EQ(std::string(back, 3), std::string(3, '\0'));
    EXPECT_EQ(f.ReadAt(far + 4096, back, 4), 0u) << "nothing at the end";
}

TEST(FileHandle, AScatteredReadFillsThePiecesAsOneReadFillsOneBuffer) {
    // Compared with a plain read of the same bytes: piece by piece, past
    // the system's limit of pieces per call, with empty pieces, and cut
    // short by the end of the file.
    struct Row {
        const char* what;
        std::uint64_t position;
        std::size_t pieces;
        std::size_t cycle; // piece sizes run 0, 1, ..., cycle - 1, 0, ...
    };
    const Row rows[] = {
        {"a few pieces", 3, 5, 4},
        {"more pieces than one call takes", 0, 5000, 4},
        {"the end of the file inside a piece", 9000, 400, 7},
        {"starting past the end", 20000, 10, 3},
    };
    test::TempDir dir;
    std::string bytes(10000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + i / 256);
    const std::string path = NewFile(dir, "scatter.bin", bytes);
    FileHandle f;
    ASSERT_TRUE(f.Open(path, Mode::Read));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::vector<std::uint8_t>> storage;
        std::vector<std::span<std::uint8_t>> pieces;
        std::size_t total = 0;
        for (std::size_t i = 0; i < row.pieces; ++i) storage.emplace_back(i % row.cycle, std::uint8_t{0xEE});
        for (auto& piece : storage) {
            pieces.emplace_back(piece);
            total += piece.size();
        }
        std::string plain(total, '\0');
        const auto want = f.ReadAt(row.position, plain.data(), total);
        const auto got = f.ReadScatteredAt(row.position, pieces);
        ASSERT_TRUE(want && got);
        ASSERT_EQ(*got, *want);
        std::string joined;
        for (const auto& piece : storage) joined.append(piece.begin(), piece.end());
        EXPECT_EQ(joined.substr(0, *got), plain.substr(0, *want));
        // What lies past the end is left as it was.
        EXPECT_EQ(joined.substr(*got), std::string(total - *got, '\xEE'));
    }
}

TEST(FileHandle, UnicodeNamesReachTheFileSystemAsGiven) {
    test::TempDir dir;
    const std::string name = "\xc3\xbc\x62\x65r-\xe5\x90\x8d\xe5\x89\x8d.bin"; // "über-名前.bin"
    const std::string path = NewFile(dir, name);
    bool listed = false;
    for (const auto& e : fs::directory_iterator(dir.Path()))
        listed = listed || Utf8FromPath(e.path().filename()) == name;
    EXPECT_TRUE(listed) << "the folder holds the name in its own encoding";
    FileHandle f;
    ASSERT_TRUE(f.Open(path, Mode::Read));
    EXPECT_EQ(f.Identity(), IdentityOf(path));
    EXPECT_FALSE(f.Open(path + std::string(1, '\0') + "x", Mode::Read));
}

TEST(FileHandle, ModesOpenWhatTheySay) {
    test::TempDir dir;
    const std::string path = NewFile(dir, "a.bin");
    FileHandle f;
    EXPECT_FALSE(f.Open(path, Mode::CreateNew)) << "exists";
    EXPECT_FALSE(f.Open(Utf8FromPath(dir.Path() / "missing.bin"), Mode::ReadWrite)) << "never created";
    EXPECT_FALSE(f.Open(Utf8FromPath(dir.Path()), Mode::Read)) << "a folder is no file";
    ASSERT_TRUE(f.Open(path, Mode::Create));
    EXPECT_EQ(f.Length(), 0u) << "emptied";
}

TEST(FileHandle, LongNamesOpen) {
    test::TempDir dir;
    const fs::path folder = dir.Path() / std::string(200, 'd');
    ASSERT_TRUE(fs::create_directory(folder));
    const std::string path = Utf8FromPath(folder / (std::string(120, 'f') + ".bin"));
    ASSERT_GT(path.size(), 300u);
    FileHandle f;
    ASSERT_TRUE(f.Open(path, Mode::CreateNew));
    EXPECT_TRUE(f.WriteAt(0, "z", 1));
    EXPECT_TRUE(f.Flush());
    EXPECT_TRUE(f.Close());
    EXPECT_TRUE(IdentityOf(path).has_value());
    EXPECT_TRUE(RemoveDurably(path));
    EXPECT_FALSE(IdentityOf(path).has_value());
}

TEST(ReplaceByRename, ReplacesTheTargetEvenWhileItIsOpen) {
    test::TempDir dir;
    const std::string from = NewFile(dir, "new.bin", "new");
    const std::string to = NewFile(dir, "old.bin", "old");
    FileHandle reader;
    ASSERT_TRUE(reader.Open(to, Mode::Read));
    const auto oldId = reader.Identity();
    ASSERT_TRUE(ReplaceByRename(from, to));
    EXPECT_FALSE(IdentityOf(from).has_value());
    EXPECT_NE(IdentityOf(to), oldId) << "the name leads to the new file";
    EXPECT_EQ(ReadAll(reader, 3), "old") << "the open handle still reads the old file";
    FileHandle fresh;
    ASSERT_TRUE(fresh.Open(to, Mode::Read));
    EXPECT_EQ(ReadAll(fresh, 3), "new");
    EXPECT_TRUE(RemoveDurably(Utf8FromPath(dir.Path() / "never-there.bin")));
}

struct FolderRow {
    const char* path;
    const char* folder;
};

TEST(FolderOf, TheFolderPartOfAName) {
    std::vector<FolderRow> rows = {{"a.bin", "."}, {"dir/a.bin", "dir"}, {"/a.bin", "/"}, {"/x/y/a.bin", "/x/y"}};
#ifdef _WIN32
    rows.insert(rows.end(), {{"C:\\a.bin", "C:\\"},
                             {"C:a.bin", "C:"},
                             {"C:\\x\\a.bin", "C:\\x"},
                             {"\\\\server\\share\\a.bin", "\\\\server\\share"},
                             {"x\\y/a.bin", "x\\y"}});
#else
    rows.push_back({"x\\y", "."}); // a backslash is part of a POSIX name
#endif
    for (const auto& row : rows) EXPECT_EQ(FolderOf(row.path), row.folder) << row.path;
}

#ifdef _WIN32
// Which names go to the system in the long form: those whose full path is
// long, however the name itself was written.
TEST(SystemPath, TheLongFormWhereTheFullPathIsLong) {
    const std::wstring deep = L"C:\\" + std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b');
    const std::string deepUtf8 = Utf8FromWide(deep);
    const fs::path before = fs::current_path();
    fs::current_path(L"C:\\");
    struct Row {
        const char* name;
        std::string given;
        std::wstring expected;
    } rows[] = {
        {"short full path", "C:\\games\\disc.bin", L"C:\\games\\disc.bin"},
        {"short relative name", "disc.bin", L"disc.bin"},
        {"device", "NUL", L"NUL"},
        {"long full path", deepUtf8 + "\\disc.bin", L"\\\\?\\" + deep + L"\\disc.bin"},
        {"long, with forward slashes and ..",
         Utf8FromWide(L"C:/" + std::wstring(150, L'a') + L"/x/../" + std::wstring(150, L'b') + L"/disc.bin"),
         L"\\\\?\\" + deep + L"\\disc.bin"},
        {"long share path", "\\\\server\\share\\" + std::string(300, 'c'),
         L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'c')},
        {"short relative name in a long folder",
         Utf8FromWide(std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b')), L"\\\\?\\" + deep},
        {"long form given", "\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SystemPath(row.given), row.expected);
    }
    fs::current_path(before);
    // And back, for names the system gives.
    EXPECT_EQ(PlainPath(L"\\\\?\\C:\\x"), L"C:\\x");
    EXPECT_EQ(PlainPath(L"\\\\?\\UNC\\server\\share\\x"), L"\\\\server\\share\\x");
    EXPECT_EQ(PlainPath(L"C:\\x"), L"C:\\x");
}
#endif

} // namespace
} // namespace qorlu
