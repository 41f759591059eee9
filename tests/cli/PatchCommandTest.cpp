// qorlu patch-make and patch-apply as a user runs them: on the bundled
// sample changed by qorlu import, their messages on stdout and stderr,
// their exit statuses, and their arguments.

#include "disc/PpfPatch.h"
#include "tests/support/DiscFixture.h"
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
using test::TempDir;
using test::WriteFileBytes;

const std::string kQorlu = QORLU_CLI_PATH;
const std::string kSample = QORLU_SAMPLE_IMAGE;

// The sample, and a copy of it into which qorlu import wrote an edited
// README.TXT (its sectors with new checksums).
class SamplePatch : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(kSample, m_original);
        fs::copy_file(kSample, m_modified);
        const auto extracted = RunProgram(kQorlu, {"extract", m_modified, m_dir / "files"});
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        const std::string readme = (m_dir.Path() / "files" / "README.TXT").string();
        auto text = ReadFileBytes(readme);
        for (std::size_t i = 0; i < 100; ++i) text[i] = static_cast<std::uint8_t>('A' + i % 26);
        WriteFileBytes(readme, text);
        const auto imported = RunProgram(kQorlu, {"import", m_modified, readme, "--yes"});
        ASSERT_EQ(imported.exitCode, 0) << imported.err;
        m_before = ReadFileBytes(m_original);
        m_after = ReadFileBytes(m_modified);
        ASSERT_NE(m_before, m_after);
    }
    TempDir m_dir;
    std::string m_original = m_dir / "sample.bin";
    std::string m_modified = m_dir / "modded.bin";
    std::string m_patch = m_dir / "mod.ppf";
    std::vector<std::uint8_t> m_before;
    std::vector<std::uint8_t> m_after;
};

TEST_F(SamplePatch, MakeApplyVerifyUndo) {
    const auto made = RunProgram(kQorlu, {"patch-make", m_original, m_modified, m_patch, "--undo", "--description",
                                          "README in capitals"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out.rfind("The patch was written:\n" + m_patch + "\nIt changes ", 0), 0u) << made.out;
    EXPECT_NE(made.out.find(" records, with undo data.\n"), std::string::npos) << made.out;
    EXPECT_EQ(made.err, "");
    const auto file = ReadFileBytes(m_patch);
    const auto parsed = ppf::Parse(file);
    ASSERT_EQ(parsed.problem, ppf::Problem::None);
    EXPECT_EQ(parsed.patch.description, "README in capitals");

    const std::string copy = m_dir / "copy.bin";
    fs::copy_file(kSample, copy);
    const auto applied = RunProgram(kQorlu, {"patch-apply", copy, m_patch});
    ASSERT_EQ(applied.exitCode, 0) << applied.err;
    EXPECT_EQ(applied.out.rfind("The patch was applied:\n" + copy + "\n", 0), 0u) << applied.out;
    EXPECT_EQ(applied.err, "");
    EXPECT_EQ(ReadFileBytes(copy), m_after);
    const auto verified = RunProgram(kQorlu, {"verify", copy});
    EXPECT_EQ(verified.exitCode, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("wrong Form 1\t0\n"), std::string::npos) << verified.out;

    const auto undone = RunProgram(kQorlu, {"patch-apply", copy, m_patch, "--undo"});
    ASSERT_EQ(undone.exitCode, 0) << undone.err;
    EXPECT_EQ(undone.out.rfind("The patch was taken back:\n" + copy + "\n", 0), 0u) << undone.out;
    EXPECT_EQ(ReadFileBytes(copy), m_before);
    EXPECT_EQ(RunProgram(kQorlu, {"verify", copy}).exitCode, 0);
}

TEST_F(SamplePatch, FailuresGoToStderrWithStatus1AndChangeNothing) {
    ASSERT_EQ(RunProgram(kQorlu, {"patch-make", m_original, m_modified, m_patch}).exitCode, 0);
    // Another disc of another length: its validation bytes differ.
    const std::string other = m_dir / "other.bin";
    test::WriteImageWithArchive(other, tools::BuildAfs({{"A.BIN", tools::PatternBytes(5000, 1), 0}}).bytes);
    const auto otherBytes = ReadFileBytes(other);
    const auto wrong = RunProgram(kQorlu, {"patch-apply", other, m_patch});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err.rfind("The patch was made for another image:\n" + other + "\n", 0), 0u) << wrong.err;
    EXPECT_EQ(ReadFileBytes(other), otherBytes);

    const auto noUndo = RunProgram(kQorlu, {"patch-apply", m_modified, m_patch, "--undo"});
    EXPECT_EQ(noUndo.exitCode, 1);
    EXPECT_EQ(noUndo.err, "The patch carries no undo data, so it can not be taken back:\n" + m_patch +
                              "\nNothing was changed.\n");
    EXPECT_EQ(ReadFileBytes(m_modified), m_after);

    const auto lengths = RunProgram(kQorlu, {"patch-make", m_original, other, m_dir / "p2.ppf"});
    EXPECT_EQ(lengths.exitCode, 1);
    EXPECT_EQ(lengths.err.rfind("The two images differ in length:\n", 0), 0u) << lengths.err;
    EXPECT_FALSE(fs::exists(m_dir / "p2.ppf"));
}

TEST_F(SamplePatch, ADescriptionMayBeginWithADash) {
    const auto made = RunProgram(kQorlu, {"patch-make", "--description", "-v2- fan mod", m_original, m_modified, m_patch});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const auto file = ReadFileBytes(m_patch);
    EXPECT_EQ(ppf::Parse(file).patch.description, "-v2- fan mod");
}

struct ArgumentCase {
    const char* name;
    std::vector<std::string> args;
    std::string err; // the beginning of stderr
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class PatchArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(PatchArguments, AreRefusedWithTheUsageAndStatus2) {
    const auto r = RunProgram(kQorlu, GetParam().args);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind(GetParam().err, 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
}

const char* const kMakeUsage = "usage: qorlu patch-make ORIGINAL MODIFIED PATCH [--description TEXT] [--undo]\n";

INSTANTIATE_TEST_SUITE_P(
    Cli, PatchArguments,
    ::testing::Values(ArgumentCase{"MakeWithTwoFiles", {"patch-make", "a.bin", "b.bin"}, kMakeUsage},
                      ArgumentCase{"MakeWithFourFiles", {"patch-make", "a", "b", "c", "d"}, kMakeUsage},
                      ArgumentCase{"DescriptionWithoutText", {"patch-make", "a", "b", "c", "--description"}, kMakeUsage},
                      ArgumentCase{"ApplyWithOneFile", {"patch-apply", "a.bin"},
                                   "usage: qorlu patch-apply IMAGE PATCH [--undo]\n"},
                      ArgumentCase{"ApplyWithADescription", {"patch-apply", "a", "b", "--description", "x"},
                                   "qorlu patch-apply: unknown option '--description'\n"},
                      ArgumentCase{"MakeWithAnUnknownOption", {"patch-make", "a", "b", "c", "--force"},
                                   "qorlu patch-make: unknown option '--force'\n"
                                   "Usage: qorlu patch-make ORIGINAL MODIFIED PATCH [--description TEXT] [--undo]\n"}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace qorlu
