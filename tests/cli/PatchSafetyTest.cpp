// qorlu patch-apply killed at every write, flush, rename and deletion in
// turn: once the next program has opened the image it is as before or as
// the patch leaves it, never half patched.

#include "disc/ImageJournal.h"
#include "disc/SectorChecksum.h"
#include "tests/support/LinuxTools.h"
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

const std::string kQorlu = QORLU_CLI_PATH;

TEST(PatchCrash, AKilledApplyLeavesTheImageAsBeforeOrAsPatched) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace (the crash matrix)");
    test::TempDir dir;
    const std::string bin = dir / "disc.bin";
    const std::string patch = dir / "mod.ppf";
    test::WriteImageWithArchive(bin, tools::BuildAfs({{"A/FIRST.BIN", tools::PatternBytes(60000, 1), 0}}).bytes);
    const auto before = ReadFileBytes(bin);
    // Sectors in three places, so that the image is written in several runs.
    auto after = before;
    for (const std::size_t s : {41u, 42u, 47u, 52u}) {
        for (std::size_t i = 0; i < 700; ++i) after[s * 2352 + 24 + i] ^= static_cast<std::uint8_t>(s + i);
        sector::EncodeForm1(&after[s * 2352]);
    }
    test::WriteFileBytes(dir / "modded.bin", after);
    ASSERT_EQ(RunProgram(kQorlu, {"patch-make", bin, dir / "modded.bin", patch}).exitCode, 0);

    const std::string journal = JournalPathFor(bin);
    std::map<std::string, int> kills;
    int undone = 0;
    test::RunCrashMatrix(
        kQorlu, {"patch-apply", bin, patch},
        [&] {
            test::WriteFileBytes(bin, before);
            fs::remove(journal);
        },
        [&](const test::CrashPoint& point, const test::KilledRun& run) {
            const std::string at = point.syscall + " #" + std::to_string(point.n);
            if (run.killed) {
                ++kills[point.syscall];
                const bool half = ReadFileBytes(bin) != before && ReadFileBytes(bin) != after;
                const auto list = RunProgram(kQorlu, {"list", bin});
                EXPECT_EQ(list.exitCode, 0) << at << ": " << list.err;
                const bool told = list.err.find("An interrupted import was undone: " + bin) != std::string::npos;
                EXPECT_TRUE(told || !half) << at << ": a half-patched image was put back without a word";
                undone += told;
            } else {
                EXPECT_EQ(run.result.exitCode, 0) << at << ": " << run.result.err;
            }
            const auto now = ReadFileBytes(bin);
            EXPECT_TRUE(now == before || now == after) << at << ": the image is half patched";
            EXPECT_TRUE(run.killed || now == after) << at;
            EXPECT_FALSE(fs::exists(journal)) << at;
        });
    for (const char* call : {"pwrite64", "fsync", "unlink"}) EXPECT_GT(kills[call], 0) << call;
    EXPECT_GT(undone, 0) << "some kill fell between the journal and its deletion";
}

} // namespace
} // namespace qorlu
