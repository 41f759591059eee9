// Export: one file per block, in table order, and every refusal.

#include "packer/BlockExport.h"
#include "tests/packer/BlockFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

class BlockExportTest : public ::testing::Test {
protected:
    // Writes the container and exports it; returns the boxes shown.
    Texts Export(const ByteVector& container) {
        WriteFileBytes(m_container, container);
        MessageRecorder sink;
        ExportBlocks(sink, m_container);
        for (const auto& n : sink.Notices()) {
            EXPECT_FALSE(n.title.has_value());
            EXPECT_FALSE(n.systemModal);
            EXPECT_EQ(n.outcome, n.text == "OK!" ? Outcome::Success : Outcome::Failure) << n.text;
        }
        return sink.Texts();
    }
    std::string Out(int n) const { return NumberedBlockName(m_container, static_cast<std::uint64_t>(n)); }
    // The names of all files in the folder besides the container.
    std::vector<std::string> Outputs() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir.Path())) {
            if (e.path().string() != m_container) names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir m_dir;
    std::string m_container = m_dir / "DATA.BIN";
};

TEST(NumberedBlockName, AtLeastThreeDigits) {
    EXPECT_EQ(NumberedBlockName("D/DATA.BIN", 0), "D/DATA.BIN_000");
    EXPECT_EQ(NumberedBlockName("D/DATA.BIN", 7), "D/DATA.BIN_007");
    EXPECT_EQ(NumberedBlockName("D/DATA.BIN", 42), "D/DATA.BIN_042");
    EXPECT_EQ(NumberedBlockName("D/DATA.BIN", 999), "D/DATA.BIN_999");
    EXPECT_EQ(NumberedBlockName("D/DATA.BIN", 1000), "D/DATA.BIN_1000");
}

TEST_F(BlockExportTest, OneBlockGoesToFileZero) {
    const ByteVector data = SampleText(5000, 1);
    const auto built = BuildSingleBlockContainer({data}, 48, BytesOf("tail of the file"));
    EXPECT_EQ(Export(built.bytes), Texts{"OK!"});
    EXPECT_EQ(Outputs(), std::vector<std::string>{"DATA.BIN_000"});
    EXPECT_EQ(ReadFileBytes(Out(0)), data);
}

TEST_F(BlockExportTest, EveryBlockInTableOrderExtraEntryIgnored) {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 4; ++k) plan.blocks.push_back({SampleText(1000 + 3000 * k, 10 + k)});
    plan.extraEntry = true;
    plan.trailer = BytesOf("trailing data, not a block");
    const auto built = BuildIndexedContainer(plan);
    EXPECT_EQ(Export(built.bytes), Texts{"OK!"});
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"DATA.BIN_000", "DATA.BIN_001", "DATA.BIN_002", "DATA.BIN_003"}));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(ReadFileBytes(Out(k)), plan.blocks[k].data) << k;
}

TEST_F(BlockExportTest, DataComesFromWhereTheTableSays) {
    FixtureContainer plan;
    plan.layout = 0;
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(2000, 20 + k)});
    auto built = BuildIndexedContainer(plan);
    // Table lists the blocks in reverse physical order.
    SetWord(built.bytes, built.tableOffset + 0, built.Entry(2));
    SetWord(built.bytes, built.tableOffset + 8,
            static_cast<std::uint32_t>(built.headerOffsets[0] - built.recordOffset));
    EXPECT_EQ(Export(built.bytes), Texts{"OK!"});
    EXPECT_EQ(ReadFileBytes(Out(0)), plan.blocks[2].data);
    EXPECT_EQ(ReadFileBytes(Out(1)), plan.blocks[1].data);
    EXPECT_EQ(ReadFileBytes(Out(2)), plan.blocks[0].data);
}

TEST_F(BlockExportTest, UnpackedSizeLargerThanTheDataGivesTheRealLength) {
    const ByteVector data = SampleText(3000, 2);
    for (std::uint32_t claimed : {3001u, 100000u, 0xFFFFFFFFu}) {
        const auto built = BuildSingleBlockContainer({data, std::nullopt, claimed}, 16, {});
        EXPECT_EQ(Export(built.bytes), Texts{"OK!"}) << claimed;
        EXPECT_EQ(ReadFileBytes(Out(0)), data) << claimed;
    }
}

TEST_F(BlockExportTest, ThousandAndOneBlocksNumberTheLastWithFourDigits) {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 1001; ++k) plan.blocks.push_back({BytesOf("block " + std::to_string(k))});
    const auto built = BuildIndexedContainer(plan);
    EXPECT_EQ(Export(built.bytes), Texts{"OK!"});
    EXPECT_EQ(Outputs().size(), 1001u);
    EXPECT_EQ(ReadFileBytes(Out(999)), BytesOf("block 999"));
    EXPECT_EQ(ReadFileBytes(m_dir / "DATA.BIN_1000"), BytesOf("block 1000"));
}

TEST_F(BlockExportTest, ExportingTwiceGivesTheSameFiles) {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(700, 30 + k)});
    const auto built = BuildIndexedContainer(plan);
    ASSERT_EQ(Export(built.bytes), Texts{"OK!"});
    std::vector<ByteVector> first;
    for (int k = 0; k < 3; ++k) first.push_back(ReadFileBytes(Out(k)));
    // A stale, longer file of the same name is replaced whole.
    WriteFileBytes(Out(1), SampleText(50000, 99));
    ASSERT_EQ(Export(built.bytes), Texts{"OK!"});
    for (int k = 0; k < 3; ++k) EXPECT_EQ(ReadFileBytes(Out(k)), first[k]);
}

TEST_F(BlockExportTest, NotCompressed) {
    EXPECT_EQ(Export(SampleText(4000, 3)), Texts{"this is not a zlib compressed file."});
    EXPECT_EQ(Export(ByteVector{}), Texts{"this is not a zlib compressed file."});
    // Two blocks and nothing ahead of them that reads as an index.
    ByteVector two(16, 0xEE);
    AppendBlock(two, {SampleText(100, 4)});
    AppendBlock(two, {SampleText(100, 5)});
    EXPECT_EQ(Export(two), Texts{"this is not a zlib compressed file."});
    EXPECT_TRUE(Outputs().empty());
}

// One-field corruptions of a three-block container. Sizes and table entries
// that point outside the file are refused before any file is written; an
// inflate failure keeps the blocks before it.
struct Corruption {
    const char* name;
    void (*apply)(BuiltContainer&);
    std::size_t filesLeft; // outputs that stay written
};

class BlockExportCorrupt : public BlockExportTest, public ::testing::WithParamInterface<Corruption> {};

TEST_P(BlockExportCorrupt, DecompressError) {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(4000, 40 + k)});
    auto built = BuildIndexedContainer(plan);
    GetParam().apply(built);
    EXPECT_EQ(Export(built.bytes), Texts{"decompress error!"});
    EXPECT_EQ(Outputs().size(), GetParam().filesLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BlockExportCorrupt,
    ::testing::Values(
        Corruption{"PackedSizePastTheEnd",
                   [](BuiltContainer& c) {
                       const auto h = c.headerOffsets[2];
                       SetWord(c.bytes, h + 4, static_cast<std::uint32_t>(c.bytes.size() - h - 32 + 1));
                   },
                   0},
        Corruption{"PackedSizeHuge", [](BuiltContainer& c) { SetWord(c.bytes, c.headerOffsets[1] + 4, 0xFFFFFFF0u); },
                   0},
        Corruption{
            "TableEntryPastTheEnd",
            [](BuiltContainer& c) { SetWord(c.bytes, c.tableOffset + 8, static_cast<std::uint32_t>(c.bytes.size())); },
            0},
        Corruption{"TableEntryHuge", [](BuiltContainer& c) { SetWord(c.bytes, c.tableOffset + 4, 0xFFFFFFFFu); }, 0},
        Corruption{"UnpackedSizeTooSmall", [](BuiltContainer& c) { SetWord(c.bytes, c.headerOffsets[1] + 8, 3999); },
                   1},
        Corruption{"UnpackedSizeZero", [](BuiltContainer& c) { SetWord(c.bytes, c.headerOffsets[0] + 8, 0); }, 0},
        Corruption{"StreamDamaged",
                   [](BuiltContainer& c) {
                       c.bytes[c.headerOffsets[2] + 32 + 40] ^= 0xFF;
                       c.bytes[c.headerOffsets[2] + 32 + 41] ^= 0xFF;
                   },
                   2},
        Corruption{"TableEntryOnNoBlock",
                   [](BuiltContainer& c) { SetWord(c.bytes, c.tableOffset + 4, c.Entry(1) + 16); }, 1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(BlockExportTest, SingleBlockWithPackedSizePastTheEndWritesNothing) {
    auto built = BuildSingleBlockContainer({SampleText(2000, 6)}, 16, {});
    SetWord(built.bytes, built.headerOffsets[0] + 4, 0x7FFFFFFF);
    EXPECT_EQ(Export(built.bytes), Texts{"decompress error!"});
    EXPECT_TRUE(Outputs().empty());
}

TEST_F(BlockExportTest, UnreadableContainerIsNamed) {
    MessageRecorder sink;
    const std::string missing = m_dir / "missing.bin";
    ExportBlocks(sink, missing);
    EXPECT_EQ(sink.Texts(), Texts{"can not read file\n" + missing});
    fs::create_directory(m_dir / "folder.bin");
    sink.Clear();
    ExportBlocks(sink, m_dir / "folder.bin");
    EXPECT_EQ(sink.Texts(), Texts{"can not read file\n" + (m_dir / "folder.bin")});
}

TEST_F(BlockExportTest, OutputThatCannotBeCreatedIsNamedAndStopsTheExport) {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(500, 50 + k)});
    const auto built = BuildIndexedContainer(plan);
    fs::create_directory(Out(1)); // a folder where DATA.BIN_001 should go
    EXPECT_EQ(Export(built.bytes), Texts{"can not write file\n" + Out(1)});
    EXPECT_TRUE(fs::exists(Out(0)));
    EXPECT_FALSE(fs::exists(Out(2)));
}

} // namespace
} // namespace qorlu::test
