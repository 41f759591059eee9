// qorlu patch-make and patch-apply as a user runs them: on the bundled
// sample changed by qorlu import, with their messages, exit statuses and
// arguments.

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunProgram;

const std::string kQorlu = QORLU_CLI_PATH;

TEST(PatchCommands, OnTheSampleMakeApplyVerifyAndUndo) {
    test::TempDir dir;
    const std::string original = dir / "sample.bin";
    const std::string modded = dir / "modded.bin";
    const std::string patch = dir / "mod.ppf";
    const std::string copy = dir / "copy.bin";
    for (const auto& to : {original, modded, copy}) fs::copy_file(QORLU_SAMPLE_IMAGE, to);
    // README.TXT in capitals, written back by qorlu import (new checksums).
    ASSERT_EQ(RunProgram(kQorlu, {"extract", modded, dir / "files"}).exitCode, 0);
    const std::string readme = dir / "files/README.TXT";
    test::WriteFileBytes(readme, std::vector<std::uint8_t>(400, 'A'));
    ASSERT_EQ(RunProgram(kQorlu, {"import", modded, readme, "--yes"}).exitCode, 0);

    const auto made = RunProgram(kQorlu, {"patch-make", original, modded, patch, "--description", "-v2- capitals", "--undo"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out.rfind("The patch was written:\n" + patch + "\nIt changes ", 0), 0u) << made.out;
    EXPECT_EQ(made.err, "");
    const auto file = ReadFileBytes(patch);
    EXPECT_EQ(std::string(file.begin() + 6, file.begin() + 20), "-v2- capitals ");

    const auto applied = RunProgram(kQorlu, {"patch-apply", copy, patch});
    ASSERT_EQ(applied.exitCode, 0) << applied.err;
    EXPECT_EQ(applied.out.rfind("The patch was applied:\n" + copy + "\n", 0), 0u) << applied.out;
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(modded));
    const auto verified = RunProgram(kQorlu, {"verify", copy});
    EXPECT_EQ(verified.exitCode, 0) << verified.out;
    EXPECT_NE(verified.out.find("wrong Form 1\t0\n"), std::string::npos) << verified.out;

    const auto undone = RunProgram(kQorlu, {"patch-apply", copy, patch, "--undo"});
    EXPECT_EQ(undone.exitCode, 0) << undone.err;
    EXPECT_EQ(undone.out.rfind("The patch was taken back:\n" + copy + "\n", 0), 0u) << undone.out;
    EXPECT_EQ(ReadFileBytes(copy), ReadFileBytes(original));

    // Another disc: refused on stderr with status 1, and left as it was.
    const std::string other = dir / "other.bin";
    test::WriteFileBytes(other, tools::PatternBytes(fs::file_size(original), 3));
    const auto before = ReadFileBytes(other);
    const auto wrong = RunProgram(kQorlu, {"patch-apply", other, patch});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err.rfind("The patch was made for another image:\n" + other + "\n", 0), 0u) << wrong.err;
    EXPECT_EQ(ReadFileBytes(other), before);
}

TEST(PatchCommands, WrongArgumentsGiveTheUsageAndStatus2) {
    const std::string make = "usage: qorlu patch-make ORIGINAL MODIFIED PATCH [--description TEXT] [--undo]\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"patch-make", "a.bin", "b.bin"}, make},
        {{"patch-make", "a", "b", "c", "--description"}, make},
        {{"patch-apply", "a.bin"}, "usage: qorlu patch-apply IMAGE PATCH [--undo]\n"},
        {{"patch-apply", "a", "b", "--description", "x"}, "qorlu patch-apply: unknown option '--description'\n"},
    };
    for (const auto& [args, err] : cases) {
        const auto r = RunProgram(kQorlu, args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_EQ(r.err.rfind(err, 0), 0u) << r.err;
    }
}

} // namespace
} // namespace qorlu
