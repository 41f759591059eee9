// qorlu's help, version and refusal of unknown options, and the alignment
// of its usage table.

#include "tests/support/RunCommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorlu {
namespace {

using test::RunProgram;
using test::SplitLines;

const std::string kQorlu = QORLU_CLI_PATH;

const std::vector<std::string> kSubcommands = {"list",           "extract",        "import",       "verify",
                                               "texture-export", "texture-import", "block-export", "block-import",
                                               "patch-make",     "patch-apply"};

struct HelpCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    // Text expected at the start of stdout (or of stderr when `onStderr`).
    std::string begins;
    bool onStderr;
};

class Arguments : public ::testing::TestWithParam<HelpCase> {};

TEST_P(Arguments, GiveTheHelpOrTheUsageAndTheirExitStatus) {
    const HelpCase& c = GetParam();
    const auto r = RunProgram(kQorlu, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    const std::string& shown = c.onStderr ? r.err : r.out;
    EXPECT_EQ(shown.substr(0, c.begins.size()), c.begins) << shown;
    if (c.onStderr)
        EXPECT_EQ(r.out, "");
    else
        EXPECT_EQ(r.err, "");
    // Never taken for a file name.
    EXPECT_EQ(r.err.find("Can not open"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Arguments,
    ::testing::Values(
        HelpCase{"Help", {"--help"}, 0, "Usage: qorlu SUBCOMMAND [ARGUMENTS]\n", false},
        HelpCase{"ShortHelp", {"-h"}, 0, "Usage: qorlu SUBCOMMAND [ARGUMENTS]\n", false},
        HelpCase{"HelpWord", {"help"}, 0, "Usage: qorlu SUBCOMMAND [ARGUMENTS]\n", false},
        HelpCase{"HelpOfASubcommand", {"help", "import"}, 0, "Usage: qorlu import IMAGE FILE... [--yes]\n", false},
        HelpCase{"Version", {"--version"}, 0, "qorlu 1.0.0.1\n", false},
        HelpCase{"ListHelp", {"list", "--help"}, 0, "Usage: qorlu list IMAGE\n\n", false},
        HelpCase{"ListShortHelp", {"list", "-h"}, 0, "Usage: qorlu list IMAGE\n\n", false},
        HelpCase{"HelpAfterTheArguments",
                 {"extract", "disc.bin", "out", "--help"},
                 0,
                 "Usage: qorlu extract IMAGE OUTDIR [--adx | --others]\n",
                 false},
        HelpCase{"HelpBeforeAnUnknownOption",
                 {"block-export", "--help", "--what"},
                 0,
                 "Usage: qorlu block-export FILE\n",
                 false},
        HelpCase{"NoArguments", {}, 2, "Usage: qorlu SUBCOMMAND [ARGUMENTS]\n", true},
        HelpCase{"UnknownSubcommand", {"frobnicate"}, 2, "qorlu: unknown subcommand 'frobnicate'\n", true},
        HelpCase{"UnknownTopOption", {"--frobnicate"}, 2, "qorlu: unknown option '--frobnicate'\n", true},
        HelpCase{"UnknownOption",
                 {"list", "--bogus"},
                 2,
                 "qorlu list: unknown option '--bogus'\nUsage: qorlu list IMAGE\n",
                 true},
        HelpCase{"OptionOfAnotherSubcommand",
                 {"extract", "disc.bin", "out", "--yes"},
                 2,
                 "qorlu extract: unknown option '--yes'\n",
                 true},
        HelpCase{
            "ShortUnknownOption", {"texture-import", "-x"}, 2, "qorlu texture-import: unknown option '-x'\n", true}),
    [](const ::testing::TestParamInfo<HelpCase>& p) { return std::string(p.param.name); });

TEST(Help, EverySubcommandIsListedAndDescribesItsExitStatuses) {
    const auto top = RunProgram(kQorlu, {"--help"});
    ASSERT_EQ(top.exitCode, 0);
    for (const auto& name : kSubcommands) {
        SCOPED_TRACE(name);
        EXPECT_NE(top.out.find("\n  " + name + " "), std::string::npos) << top.out;
        const auto r = RunProgram(kQorlu, {name, "--help"});
        ASSERT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out.rfind("Usage: qorlu " + name, 0), 0u) << r.out;
        for (const char* section : {"\nOptions:\n", "\nExit status:\n", "\n  0  ", "\n  1  ", "\n  2  "})
            EXPECT_NE(r.out.find(section), std::string::npos) << section << " in\n" << r.out;
        for (const auto& line : SplitLines(r.out)) EXPECT_LE(line.size(), 79u) << line;
    }
}

TEST(Help, TheSubcommandTableIsAligned) {
    const auto r = RunProgram(kQorlu, {"--help"});
    ASSERT_EQ(r.exitCode, 0);
    // The description column of each subcommand line starts at one place:
    // after the widest synopsis and two spaces.
    std::vector<std::size_t> columns;
    std::size_t rows = 0;
    bool inTable = false;
    for (const auto& line : SplitLines(r.out)) {
        if (line == "Subcommands:") {
            inTable = true;
            continue;
        }
        if (inTable && line.empty()) break;
        if (!inTable) continue;
        const auto indent = line.find_first_not_of(' ');
        if (indent > 2) { // a description's next line
            columns.push_back(indent);
            continue;
        }
        ++rows;
        const auto gap = line.find("  ", 2);
        ASSERT_NE(gap, std::string::npos) << line;
        columns.push_back(line.find_first_not_of(' ', gap));
    }
    EXPECT_EQ(rows, kSubcommands.size());
    for (const std::size_t c : columns) EXPECT_EQ(c, columns.front()) << r.out;
}

} // namespace
} // namespace qorlu
