// qorlu patch-apply and patch-make killed at every write, flush, rename and
// deletion in turn: the image is always as before or as the patch leaves
// it once the next program has opened it, and the patch file is always the
// old one or the whole new one.

#include "disc/ImageJournal.h"
#include "disc/SectorChecksum.h"
#include "shell/BinaryFile.h"
#include "tests/support/CrashMatrix.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunProgram;
using test::TempDir;
using test::WriteFileBytes;
using tools::PatternBytes;

const std::string kQorlu = QORLU_CLI_PATH;

std::size_t Temporaries(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += IsRewriteTemporary(e.path().string()) ? 1 : 0;
    return n;
}

// A disc with an archive, and a changed copy: sectors in three places (so
// that the patch is written in more than one run), each with checksums of
// its new bytes.
struct PatchedDisc {
    TempDir dir;
    std::string bin = dir / "disc.bin";
    std::string modded = dir / "modded.bin";
    std::string patch = dir / "mod.ppf";
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;

    PatchedDisc() {
        test::WriteImageWithArchive(bin, tools::BuildAfs({{"A/FIRST.BIN", PatternBytes(30000, 1), 0},
                                                          {"B/SECOND.BIN", PatternBytes(20000, 2), 0}})
                                             .bytes);
        before = ReadFileBytes(bin);
        after = before;
        for (const std::size_t s : {41u, 42u, 47u, 52u}) {
            for (std::size_t i = 0; i < 700; ++i) after[s * 2352 + 24 + i] ^= static_cast<std::uint8_t>(s + i);
            sector::EncodeForm1(&after[s * 2352]);
        }
        WriteFileBytes(modded, after);
        const auto made = RunProgram(kQorlu, {"patch-make", bin, modded, patch, "--undo"});
        EXPECT_EQ(made.exitCode, 0) << made.err;
    }
};

TEST(PatchCrash, AKilledApplyLeavesTheImageAsBeforeOrAsPatched) {
    if (!test::HaveStrace()) GTEST_SKIP() << "strace is not installed; the crash matrix needs it";
    PatchedDisc disc;
    const std::string journal = JournalPathFor(disc.bin);
    std::map<std::string, int> killsPerCall;
    int undone = 0;
    const int killed = test::RunCrashMatrix(
        kQorlu, {"patch-apply", disc.bin, disc.patch},
        [&] {
            WriteFileBytes(disc.bin, disc.before);
            fs::remove(journal);
        },
        [&](const test::CrashPoint& point, const test::KilledRun& run) {
            const std::string at = point.syscall + " #" + std::to_string(point.n);
            if (!run.killed) {
                EXPECT_EQ(run.result.exitCode, 0) << at << ": " << run.result.err;
                EXPECT_EQ(ReadFileBytes(disc.bin), disc.after) << at;
                EXPECT_FALSE(fs::exists(journal)) << at;
                return;
            }
            ++killsPerCall[point.syscall];
            const auto left = ReadFileBytes(disc.bin);
            const auto list = RunProgram(kQorlu, {"list", disc.bin});
            EXPECT_EQ(list.exitCode, 0) << at << ": " << list.err;
            const auto now = ReadFileBytes(disc.bin);
            EXPECT_TRUE(now == disc.before || now == disc.after) << at << ": the image is half patched";
            EXPECT_FALSE(fs::exists(journal)) << at;
            const bool told = list.err.find("An interrupted import was undone: " + disc.bin) != std::string::npos;
            if (left != disc.before && left != disc.after) {
                EXPECT_TRUE(told) << at << ": a half-patched image was put back without a word";
            }
            if (told) ++undone;
        });
    EXPECT_GT(killed, 0);
    for (const char* call : {"pwrite64", "fsync", "unlink"}) EXPECT_GT(killsPerCall[call], 0) << call;
    EXPECT_GT(undone, 0) << "some kill fell between the journal and its deletion";
}

TEST(PatchCrash, AKilledMakeLeavesTheOldPatchOrTheWholeNewOne) {
    if (!test::HaveStrace()) GTEST_SKIP() << "strace is not installed; the crash matrix needs it";
    PatchedDisc disc;
    const auto whole = ReadFileBytes(disc.patch);
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    int killed = 0;
    int renames = 0;
    for (const bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "over an old patch" : "a new patch");
        killed += test::RunCrashMatrix(
            kQorlu, {"patch-make", disc.bin, disc.modded, disc.patch, "--undo"},
            [&] {
                if (existing) WriteFileBytes(disc.patch, old);
                else fs::remove(disc.patch);
            },
            [&](const test::CrashPoint& point, const test::KilledRun& run) {
                const std::string at = point.syscall + " #" + std::to_string(point.n);
                if (!run.killed) {
                    EXPECT_EQ(run.result.exitCode, 0) << at << ": " << run.result.err;
                    EXPECT_EQ(ReadFileBytes(disc.patch), whole) << at;
                    // Leftovers go under the lock of an existing patch;
                    // a new one has none to take.
                    if (existing) {
                        EXPECT_EQ(Temporaries(disc.dir.Path()), 0u) << at;
                    }
                    return;
                }
                if (point.syscall.rfind("rename", 0) == 0) ++renames;
                if (fs::exists(disc.patch)) {
                    const auto now = ReadFileBytes(disc.patch);
                    EXPECT_TRUE(now == whole || (existing && now == old)) << at << ": a partial patch";
                } else {
                    EXPECT_FALSE(existing) << at << ": the old patch went away";
                }
                EXPECT_EQ(ReadFileBytes(disc.bin), disc.before) << at;
                EXPECT_EQ(ReadFileBytes(disc.modded), disc.after) << at;
            });
        // A run that replaces an existing patch clears what killed runs left.
        ASSERT_EQ(RunProgram(kQorlu, {"patch-make", disc.bin, disc.modded, disc.patch, "--undo"}).exitCode, 0);
        ASSERT_EQ(RunProgram(kQorlu, {"patch-make", disc.bin, disc.modded, disc.patch, "--undo"}).exitCode, 0);
        EXPECT_EQ(Temporaries(disc.dir.Path()), 0u);
    }
    EXPECT_GT(killed, 0);
    EXPECT_GT(renames, 0) << "some kill fell on the rename";
}

} // namespace
} // namespace qorlu
