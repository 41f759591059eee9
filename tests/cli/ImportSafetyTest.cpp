// qorlu import killed at every write, flush and deletion in turn, and under
// a memory limit; qorlu extract into the image's own folder. The image is
// always either as before or as after a complete import.

#include "disc/ImageJournal.h"
#include "format/ByteOrder.h"
#include "tests/support/LinuxTools.h"
#include "tests/support/CrashMatrix.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

// AddressSanitizer reserves far more address space than any limit allows.
#if defined(__SANITIZE_ADDRESS__)
#define QORLU_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QORLU_UNDER_ASAN 1
#endif
#endif

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunProgram;
using test::TempDir;
using test::WriteFileBytes;
using tools::PatternBytes;

const std::string kQorlu = QORLU_CLI_PATH;

// Entry 1 has a slot of 6144 bytes; its replacement of 5500 bytes spans
// three sectors and changes the recorded size in the table and the name record.
const std::vector<tools::AfsBuildEntry> kEntries = {{"A/FIRST.BIN", PatternBytes(3000, 1), 0},
                                                    {"B/VOICE.ADX", PatternBytes(5000, 2), 0},
                                                    {"C/LAST.BIN", PatternBytes(700, 3), 0}};

struct SmallDisc {
    TempDir dir;
    std::string bin = dir / "disc.bin";
    std::string replacement = (dir.Path() / "mods" / "VOICE.ADX").string();
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;

    SmallDisc() {
        test::WriteImageWithArchive(bin, tools::BuildAfs(kEntries).bytes);
        fs::create_directory(dir.Path() / "mods");
        WriteFileBytes(replacement, PatternBytes(5500, 50));
        before = ReadFileBytes(bin);
        const auto r = RunProgram(kQorlu, ImportArgs());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        after = ReadFileBytes(bin);
        EXPECT_NE(after, before);
        WriteFileBytes(bin, before);
    }
    std::vector<std::string> ImportArgs() const { return {"import", bin, replacement, "--yes"}; }
};

TEST(ImportCrash, AKilledImportLeavesTheImageAsBeforeOrAsAfter) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace (the crash matrix)");
    SmallDisc disc;
    const std::string journal = JournalPathFor(disc.bin);
    std::map<std::string, int> killsPerCall;
    int undone = 0;
    const int killed = test::RunCrashMatrix(
        kQorlu, disc.ImportArgs(),
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
            EXPECT_TRUE(now == disc.before || now == disc.after) << at << ": the image is neither old nor new";
            EXPECT_FALSE(fs::exists(journal)) << at;
            const bool told = list.err.find("An interrupted import was undone: " + disc.bin) != std::string::npos;
            if (left != disc.before && left != disc.after) {
                EXPECT_TRUE(told) << at << ": a half-written image was put back without a word";
            }
            if (told) ++undone;
        });
    // The import writes, flushes and deletes: each of those is a crash point.
    EXPECT_GT(killed, 0);
    for (const char* call : {"write", "fsync", "unlink"}) EXPECT_GT(killsPerCall[call], 0) << call;
    EXPECT_GT(undone, 0) << "some kill fell between the journal and its deletion";
}

TEST(ImportMemory, AReplacementTooLargeForMemoryIsRefusedWithItsName) {
#if defined(QORLU_UNDER_ASAN)
    GTEST_SKIP() << "an address-space limit does not work under AddressSanitizer";
#else
    // The first entry has 40 MiB of room up to the next one.
    TempDir dir;
    const std::vector<tools::AfsBuildEntry> entries = {{"HUGE.BIN", PatternBytes(100, 1), 40u << 20},
                                                       {"SMALL.BIN", PatternBytes(10, 2), 0}};
    const std::string bin = dir / "disc.bin";
    test::WriteImageWithArchive(bin, tools::BuildAfs(entries).bytes);
    const std::string big = dir / "HUGE.BIN";
    WriteFileBytes(big, std::vector<std::uint8_t>(32u << 20, 7));
    const auto image = ReadFileBytes(bin);

    const auto limited = [&](std::uint64_t kib, std::vector<std::string> args) {
        std::vector<std::string> shell = {"-c", "ulimit -v " + std::to_string(kib) + " && exec \"$0\" \"$@\"", kQorlu};
        shell.insert(shell.end(), args.begin(), args.end());
        return RunProgram("sh", shell);
    };
    // The least address space in which this program lists the disc, to 1 MiB.
    std::uint64_t low = 1024, high = 1u << 20;
    if (limited(high, {"list", bin}).exitCode != 0) GTEST_SKIP() << "qorlu does not run under `ulimit -v` here";
    while (high - low > 1024) {
        const std::uint64_t mid = (low + high) / 2;
        (limited(mid, {"list", bin}).exitCode == 0 ? high : low) = mid;
    }
    // Room for the program and the index, far too little for 32 MiB of file.
    const auto r = limited(high + 8 * 1024, {"import", bin, big, "--yes"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("can not read file\n" + big + "\n"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(bin), image);
    EXPECT_FALSE(fs::exists(JournalPathFor(bin)));
    // With room enough the same import goes through.
    const auto ok = limited(high + 128 * 1024, {"import", bin, big, "--yes"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
#endif
}

TEST(ExtractCommand, IntoTheImagesFolderNeverWritesOverTheImage) {
    TempDir dir;
    const std::vector<tools::AfsBuildEntry> entries = {{"FIRST.BIN", PatternBytes(3000, 1), 0},
                                                       {"disc.bin", PatternBytes(4000, 2), 0},
                                                       {"SUB/LAST.BIN", PatternBytes(5000, 3), 0}};
    const std::string bin = dir / "disc.bin";
    test::WriteImageWithArchive(bin, tools::BuildAfs(entries).bytes);
    const auto image = ReadFileBytes(bin);
    const auto r = RunProgram(kQorlu, {"extract", bin, dir.Path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("1 entry could not be written:\ndisc.bin"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not written: disc.bin: the file of this name is the image being read: "), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFileBytes(bin), image);
    EXPECT_EQ(ReadFileBytes(dir / "FIRST.BIN"), entries[0].data);
    EXPECT_EQ(ReadFileBytes(dir.Path() / "SUB" / "LAST.BIN"), entries[2].data);
}

TEST(ExtractCommand, ADamagedSizeIsNotWrittenAndNeedsNoRoom) {
    TempDir dir;
    auto afs = tools::BuildAfs(kEntries);
    WriteLE32(&afs.bytes[12], 0xFFFFFFF0u); // entry 0's size
    const std::string bin = dir / "disc.bin";
    test::WriteImageWithArchive(bin, afs.bytes);
    const std::string out = dir / "out";
    const auto r = RunProgram(kQorlu, {"extract", bin, out});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("1 entry could not be written:\nA/FIRST.BIN"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not written: A/FIRST.BIN: it reaches past the end of the image (archive offset "),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(fs::path(out) / "A" / "FIRST.BIN"));
    EXPECT_EQ(ReadFileBytes(fs::path(out) / "B" / "VOICE.ADX"), kEntries[1].data);
    EXPECT_EQ(ReadFileBytes(fs::path(out) / "C" / "LAST.BIN"), kEntries[2].data);
}

} // namespace
} // namespace qorlu
