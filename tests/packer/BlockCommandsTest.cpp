// qorlu block-export and block-import: a multi-block container out, two
// blocks edited (one larger, one smaller), back in, and out again.

#include "cli/Commands.h"
#include "packer/BlockExport.h"
#include "tests/packer/BlockFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;

FixtureContainer RoundTripPlan() {
    FixtureContainer plan;
    plan.extraEntry = true;
    plan.trailer = BytesOf("what follows the last block");
    // Streams padded the way the import pads them, so that the container
    // built with the edited blocks is exactly what the imports must produce.
    for (std::uint32_t k = 0; k < 5; ++k) plan.blocks.push_back({SampleText(4000 + 1000 * k, 90 + k), {}, {}, 0, true});
    return plan;
}

TEST(BlockCommands, RoundTripWithOneBlockLargerAndOneSmaller) {
    TempDir dir;
    const std::string container = dir / "DATA.BIN";
    FixtureContainer plan = RoundTripPlan();
    WriteFileBytes(container, BuildIndexedContainer(plan).bytes);

    ASSERT_EQ(cli::RunBlockExport({container}), 0);
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(ReadFileBytes(NumberedBlockName(container, k)), plan.blocks[k].data);

    plan.blocks[1].data = NoiseBytes(20000, 1);
    plan.blocks[3].data = BytesOf("smaller now");
    WriteFileBytes(NumberedBlockName(container, 1), plan.blocks[1].data);
    WriteFileBytes(NumberedBlockName(container, 3), plan.blocks[3].data);
    ASSERT_EQ(cli::RunBlockImport({NumberedBlockName(container, 1)}), 0);
    ASSERT_EQ(cli::RunBlockImport({NumberedBlockName(container, 3)}), 0);

    // The index and every later block where the rules put them.
    EXPECT_EQ(ReadFileBytes(container), BuildIndexedContainer(plan).bytes);
    for (std::size_t k = 0; k < 5; ++k) fs::remove(NumberedBlockName(container, k));
    ASSERT_EQ(cli::RunBlockExport({container}), 0);
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(ReadFileBytes(NumberedBlockName(container, k)), plan.blocks[k].data);
}

TEST(BlockCommands, ExitStatus) {
    TempDir dir;
    EXPECT_EQ(cli::RunBlockExport({}), 2);
    EXPECT_EQ(cli::RunBlockExport({"a", "b"}), 2);
    EXPECT_EQ(cli::RunBlockImport({}), 2);
    EXPECT_EQ(cli::RunBlockExport({dir / "missing"}), 1);
    WriteFileBytes(dir / "plain", SampleText(500, 1));
    EXPECT_EQ(cli::RunBlockExport({dir / "plain"}), 1);
    EXPECT_EQ(cli::RunBlockImport({dir / "plain_x12"}), 1);
    EXPECT_EQ(cli::RunBlockImport({dir / "plain_000"}), 1);
}

} // namespace
} // namespace qorlu::test
