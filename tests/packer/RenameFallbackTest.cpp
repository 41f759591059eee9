// A container rewrite cut off where the rename fallback left it (the old
// container set aside, its name free), mended by the next open; what a
// rewrite keeps of the old file; a read-only container left alone; and the
// names of temporaries.

#include "cli/Commands.h"
#include "packer/BlockExport.h"
#include "io/BinaryFile.h"
#include "tests/packer/BlockFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;

FixtureContainer Plan() {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(3000 + 500 * k, 40 + k), {}, {}, 0, true});
    return plan;
}

std::vector<std::string> NamesBeside(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The layouts a crash between the fallback's two renames leaves: the old
// container under its aside name, the container's own name missing, and
// the finished temporary beside it (or, cut off earlier, not).
TEST(RenameFallback, TheNextOpenOfAContainerCutOffBetweenItsRenamesMovesTheOldOneBack) {
    struct Row {
        const char* name;
        bool temporaryLeft;
        bool export_; // the next open is an export (else an import)
    } rows[] = {
        {"export, temporary left", true, true},
        {"export, no temporary", false, true},
        {"import, temporary left", true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string container = dir / "DATA.BIN";
        FixtureContainer plan = Plan();
        const auto old = BuildIndexedContainer(plan).bytes;
        WriteFileBytes(dir / "DATA.BIN.qorlu-aside-00001f2e0000c0de", old);
        if (row.temporaryLeft) WriteFileBytes(dir / "DATA.BIN.qorlu-rewrite-00001f2e0000c0df", SampleText(100, 1));
        if (row.export_) {
            EXPECT_EQ(cli::RunBlockExport({container}), 0);
            EXPECT_EQ(ReadFileBytes(NumberedBlockName(container, 2)), plan.blocks[2].data);
        } else {
            // A block exported before the crash, edited, and imported now.
            plan.blocks[1].data = BytesOf("edited after the crash");
            WriteFileBytes(NumberedBlockName(container, 1), plan.blocks[1].data);
            EXPECT_EQ(cli::RunBlockImport({NumberedBlockName(container, 1)}), 0);
        }
        EXPECT_EQ(ReadFileBytes(container), row.export_ ? old : BuildIndexedContainer(plan).bytes);
        for (const std::string& name : NamesBeside(dir)) EXPECT_FALSE(IsRewriteTemporary(name)) << name << " is left";
    }
}

// A name set aside is no container: nothing opens it as one.
TEST(RenameFallback, AFileSetAsideIsNeverTakenForAContainer) {
    TempDir dir;
    const std::string aside = dir / "DATA.BIN.qorlu-aside-00001f2e0000c0de";
    WriteFileBytes(aside, BuildIndexedContainer(Plan()).bytes);
    EXPECT_TRUE(IsRewriteTemporary(aside));
    EXPECT_EQ(cli::RunBlockExport({aside}), 1);
    EXPECT_FALSE(fs::exists(NumberedBlockName(aside, 0)));
}

TEST(RenameFallback, TemporaryNamesDifferWithinAProcessAndCarryItsId) {
    std::set<std::string> seen;
    std::vector<std::thread> threads;
    std::mutex m;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                const std::string digits = UniqueNameDigits();
                const std::lock_guard lock(m);
                seen.insert(digits);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(seen.size(), 8000u);
#ifdef _WIN32
    const unsigned long long id = GetCurrentProcessId();
#else
    const unsigned long long id = static_cast<unsigned long long>(getpid());
#endif
    for (const std::string& digits : seen) {
        ASSERT_EQ(digits.size(), 16u);
        EXPECT_EQ(std::stoull(digits.substr(0, 8), nullptr, 16), id) << digits;
    }
}

#ifdef _WIN32
// The container's creation time, as the system reports it, after it was set
// to `created`.
FILETIME CreationTime(const std::wstring& name) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data);
    return data.ftCreationTime;
}

bool SetCreationTime(const std::wstring& name, const FILETIME& created) {
    const HANDLE h =
        CreateFileW(name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool set = SetFileTime(h, &created, nullptr, nullptr) != 0;
    CloseHandle(h);
    return set;
}

// Rewrites the first block of the container at `container`.
void RewriteFirstBlock(const std::string& container, FixtureContainer& plan) {
    ASSERT_EQ(cli::RunBlockExport({container}), 0);
    plan.blocks[0].data = BytesOf("a new first block");
    WriteFileBytes(NumberedBlockName(container, 0), plan.blocks[0].data);
    ASSERT_EQ(cli::RunBlockImport({NumberedBlockName(container, 0)}), 0);
    EXPECT_EQ(ReadFileBytes(container), BuildIndexedContainer(plan).bytes);
}

// As a replace by the system: the rewritten container keeps its attributes.
TEST(RenameFallback, ARewrittenContainerKeepsItsAttributes) {
    const DWORD rows[] = {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_NORMAL};
    for (const DWORD attributes : rows) {
        SCOPED_TRACE(attributes);
        TempDir dir;
        const std::string container = dir / "DATA.BIN";
        FixtureContainer plan = Plan();
        WriteFileBytes(container, BuildIndexedContainer(plan).bytes);
        const std::wstring name = fs::path(container).wstring();
        ASSERT_TRUE(SetFileAttributesW(name.c_str(), attributes));
        // As the system reports them (Wine adds the archive attribute).
        const DWORD before = GetFileAttributesW(name.c_str());
        RewriteFirstBlock(container, plan);
        EXPECT_EQ(GetFileAttributesW(name.c_str()), before);
    }
}

// And its creation time, where the file system keeps one that was set
// (Wine on a Linux file system does not).
TEST(RenameFallback, ARewrittenContainerKeepsItsCreationTime) {
    TempDir dir;
    const std::string container = dir / "DATA.BIN";
    FixtureContainer plan = Plan();
    WriteFileBytes(container, BuildIndexedContainer(plan).bytes);
    const std::wstring name = fs::path(container).wstring();
    FILETIME created{};
    const SYSTEMTIME t{2001, 2, 0, 3, 4, 5, 6, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&t, &created));
    ASSERT_TRUE(SetCreationTime(name, created));
    const FILETIME kept = CreationTime(name);
    if (CompareFileTime(&kept, &created) != 0) GTEST_SKIP() << "this file system keeps no creation time that was set";
    RewriteFirstBlock(container, plan);
    const FILETIME now = CreationTime(name);
    EXPECT_EQ(CompareFileTime(&now, &created), 0);
}

// A read-only container is refused as on Linux (a file the user may not
// write), and stays read-only and byte for byte as it was.
TEST(RenameFallback, AReadOnlyContainerIsRefusedAndLeftAsItWas) {
    TempDir dir;
    const std::string container = dir / "DATA.BIN";
    const auto bytes = BuildIndexedContainer(Plan()).bytes;
    WriteFileBytes(container, bytes);
    ASSERT_EQ(cli::RunBlockExport({container}), 0);
    const std::wstring name = fs::path(container).wstring();
    ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = GetFileAttributesW(name.c_str());
    ASSERT_NE(attributes & FILE_ATTRIBUTE_READONLY, 0u);
    testing::internal::CaptureStderr();
    const int status = cli::RunBlockImport({NumberedBlockName(container, 0)});
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("can not open original compressed file!"), std::string::npos) << err;
    EXPECT_EQ(GetFileAttributesW(name.c_str()), attributes);
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFileBytes(container), bytes);
    for (const std::string& n : NamesBeside(dir)) EXPECT_FALSE(IsRewriteTemporary(n)) << n << " is left";
}
#endif

} // namespace
} // namespace qorlu::test
