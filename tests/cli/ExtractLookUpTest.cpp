// How often `qorlu extract` looks at each output path, counted with strace:
// a folder is made once however the entries of different folders
// alternate, a file in a folder that the job made is never looked up, and
// any other file once.

#include "tests/support/LinuxTools.h"
#include "tests/support/CrashMatrix.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

namespace qorlu {
namespace {

namespace fs = std::filesystem;

TEST(ExtractLookUps, EachFolderIsMadeOnceAndEachFileLookedUpAtMostOnce) {
    QORLU_NEED_LINUX_TOOL(test::HaveStrace(), "strace");
    test::TempDir dir;
    const std::vector<tools::AfsBuildEntry> entries = {
        {"NEW/B.BIN", tools::PatternBytes(3000, 1), 0},      {"OLD/A.BIN", tools::PatternBytes(5000, 2), 0},
        {"NEW/C.BIN", tools::PatternBytes(7000, 3), 0},      {"TOP.BIN", tools::PatternBytes(100, 4), 0},
        {"NEW/DEEP/D.BIN", tools::PatternBytes(9000, 5), 0}, {"OLD/E.BIN", tools::PatternBytes(2048, 6), 0},
        {"NEW/F.BIN", tools::PatternBytes(1, 7), 0},
    };
    const std::string bin = dir / "disc.bin";
    test::WriteImageWithArchive(bin, tools::BuildAfs(entries).bytes);
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out / "OLD");
    const std::string trace = dir / "trace.txt";

    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string asanOptions = "ASAN_OPTIONS=";
    if (asan != nullptr && *asan != '\0') asanOptions.append(asan).append(":");
    asanOptions.append("detect_leaks=0");
    const auto run = test::RunProgram("strace", {"-f", "-qq", "-E", asanOptions, "-e", "trace=%stat,mkdir,mkdirat",
                                                 "-o", trace, QORLU_CLI_PATH, "extract", bin, out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const auto& e : entries) ASSERT_EQ(test::ReadFileBytes(out / e.name), e.data) << e.name;

    // Calls per quoted path below the output folder, and per kind.
    std::map<std::string, int> lookUps;
    std::map<std::string, int> made;
    std::ifstream lines(trace);
    // Appended piece by piece: GCC 12 at -O3 warns falsely about overlapping
    // copies in `"literal" + std::string&&`.
    std::string prefix = "\"";
    prefix.append(out.string()).append("/");
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find(prefix);
        if (at == std::string::npos) continue;
        const auto end = line.find('"', at + prefix.size());
        const std::string path = line.substr(at + prefix.size(), end - at - prefix.size());
        (line.find("mkdir") != std::string::npos ? made : lookUps)[path]++;
    }
    EXPECT_EQ(made, (std::map<std::string, int>{{"NEW", 1}, {"NEW/DEEP", 1}, {"OLD", 1}}));
    for (const char* name : {"NEW/B.BIN", "NEW/C.BIN", "NEW/DEEP/D.BIN", "NEW/F.BIN", "NEW", "NEW/DEEP"})
        EXPECT_EQ(lookUps[name], 0) << name;
    for (const char* name : {"OLD/A.BIN", "OLD/E.BIN", "TOP.BIN"}) EXPECT_LE(lookUps[name], 1) << name;
    // The old folder: the look-up that tells it is a folder, once.
    EXPECT_LE(lookUps["OLD"], 1);
}

} // namespace
} // namespace qorlu
