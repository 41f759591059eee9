// qorlu patch-make and patch-apply as a user runs them: on the bundled
// sample changed by qorlu import, with their messages, exit statuses and
// arguments.

#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "disc/SectorChecksum.h"
#include "tools/AfsBuilder.h"
#include "tools/PpfBuilder.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

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

    const auto made =
        RunProgram(kQorlu, {"patch-make", original, modded, patch, "--description", "-v2- capitals", "--undo"});
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

// Runs of patch-apply on one image in turn: what is in place already says
// so on stdout with status 0, a record that finds other bytes is refused on
// stderr with status 1, and each leaves the bytes it says it leaves.
TEST(PatchCommands, RecordsFindTheirBytesOrThePatchIsRefused) {
    using Bytes = std::vector<std::uint8_t>;
    test::TempDir dir;
    const std::string image = dir / "disc.bin";
    const Bytes o = tools::WrapIntoRawSectors(tools::PatternBytes(40 * 2048, 5));
    const std::size_t a = 20 * 2352 + 124, b = 33 * 2352 + 600;
    const Bytes x = {1, 2, 3, 4}, y = {5, 6, 7, 8}, z = {9, 9, 9, 9};
    const auto at = [&o](std::size_t from) { return Bytes(o.begin() + from, o.begin() + from + 4); };
    const auto write = [&](const std::string& name, std::vector<tools::PpfBuildRecord> records) {
        tools::PpfBuild p;
        p.undo = true;
        p.block = tools::ValidationBlockOf(o);
        p.records = std::move(records);
        test::WriteFileBytes(dir / name, tools::EncodePpf(p));
        return dir / name;
    };
    const std::string v1 = write("v1.ppf", {{a, x, at(a)}});
    const std::string v2 = write("v2.ppf", {{a, y, at(a)}, {b, z, at(b)}});
    Bytes m2 = o;
    std::copy(y.begin(), y.end(), m2.begin() + a);
    std::copy(z.begin(), z.end(), m2.begin() + b);
    sector::EncodeForm1(&m2[20 * 2352]);
    sector::EncodeForm1(&m2[33 * 2352]);
    const std::string applied = "The patch is already applied:\n" + image +
                                "\nThe image holds every byte the patch writes.\nNothing was changed.\n";
    const std::vector<std::tuple<std::string, bool, int, std::string, const Bytes*>> steps = {
        {v2, true, 0,
         "The patch is already taken back:\n" + image +
             "\nThe image holds every byte the patch replaces.\nNothing was changed.\n",
         &o},
        {v2, false, 0, "The patch was applied:\n" + image + "\n8 bytes in 2 records, 2 sectors written.\n", &m2},
        {v2, false, 0, applied, &m2},
        {v1, true, 1,
         "The image holds other bytes than the patch writes:\n" + image +
             "\nAt byte 47164 (0xB83C) it holds neither the bytes the patch writes there nor the ones it "
             "replaces.\nNothing was changed.\n",
         &m2},
    };
    test::WriteFileBytes(image, o);
    for (const auto& [patch, undo, status, text, after] : steps) {
        SCOPED_TRACE(patch + (undo ? " --undo" : ""));
        std::vector<std::string> args = {"patch-apply", image, patch};
        if (undo) args.push_back("--undo");
        const auto r = RunProgram(kQorlu, args);
        EXPECT_EQ(r.exitCode, status);
        EXPECT_EQ(status == 0 ? r.out : r.err, text);
        EXPECT_EQ(status == 0 ? r.err : r.out, "");
        EXPECT_EQ(ReadFileBytes(image), *after);
    }
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
