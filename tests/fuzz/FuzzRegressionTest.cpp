// Every fuzz target's promises on its seed inputs (valid images, containers
// and bitmaps of each layout) and on every input that once broke one, kept
// under fuzz/regressions/<target>/.

#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzSeeds.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>

namespace qorlu::fuzz {
namespace {

struct FuzzCase {
    std::string target;
    std::string name; // "seed_..." or "regression_..."
    std::vector<std::uint8_t> bytes;
};
// Failures name the case, not its bytes.
void PrintTo(const FuzzCase& c, std::ostream* os) { *os << c.target << "/" << c.name; }

std::vector<FuzzCase> AllCases() {
    std::vector<FuzzCase> cases;
    for (const FuzzTarget& target : FuzzTargets()) {
        for (auto& seed : SeedsFor(target.name))
            cases.push_back({std::string(target.name), "seed_" + seed.name, std::move(seed.bytes)});
        const std::filesystem::path saved = std::filesystem::path(QORLU_FUZZ_REGRESSIONS) / std::string(target.name);
        std::error_code ec;
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(saved, ec))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files)
            cases.push_back(
                {std::string(target.name), "regression_" + file.filename().string(), test::ReadFileBytes(file)});
    }
    return cases;
}

std::string CaseName(const testing::TestParamInfo<FuzzCase>& info) {
    std::string name = info.param.target + "_" + info.param.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class FuzzInputTest : public testing::TestWithParam<FuzzCase> {};

TEST_P(FuzzInputTest, EveryPromiseHolds) {
    const FuzzTarget* target = FindFuzzTarget(GetParam().target);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->check(GetParam().bytes), "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzInputTest, testing::ValuesIn(AllCases()), CaseName);

} // namespace
} // namespace qorlu::fuzz
