// Import: the name rule, one-block and multi-block rewrites, and every
// refusal leaving the container byte for byte as it was.

#include "packer/BlockExport.h"
#include "packer/BlockFormat.h"
#include "packer/BlockImport.h"
#include "tests/packer/BlockFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

struct NameCase {
    const char* name;
    std::optional<int> number;
};

class NameRule : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameRule, ReadsTheNumberLikePercentD) {
    EXPECT_EQ(ParseBlockNumber(GetParam().name), GetParam().number) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameRule,
    ::testing::Values(NameCase{"dir/DATA.BIN_000", 0}, NameCase{"dir/DATA.BIN_007", 7},
                      NameCase{"dir/DATA.BIN_999", 999}, NameCase{"dir/DATA.BIN_12x", 12},
                      NameCase{"dir/DATA.BIN_1x2", 1}, NameCase{"dir/DATA.BIN_ 12", 12},
                      NameCase{"dir/DATA.BIN_+12", 12}, NameCase{"dir/DATA.BIN_-12", -12},
                      NameCase{"dir/DATA.BIN_x12", std::nullopt}, NameCase{"dir/DATA.BIN_-01", std::nullopt},
                      NameCase{"dir/DATA.BIN_-1x", std::nullopt}, NameCase{"dir/DATA.BIN_- 1", std::nullopt},
                      NameCase{"dir/DATA.BIN__12", std::nullopt}, NameCase{"dir/DATA.BIN_1000", std::nullopt},
                      NameCase{"dir/DATA.BIN_000.txt", std::nullopt}, NameCase{"dir/DATA.BIN", std::nullopt},
                      NameCase{"_5", 5}, NameCase{"_", std::nullopt}, NameCase{"", std::nullopt}),
    [](const ::testing::TestParamInfo<NameCase>& p) {
        // What follows "dir/DATA.BIN", spelt with letters, digits and '_'.
        std::string_view rest = p.param.name;
        const std::string_view container = "dir/DATA.BIN";
        std::string out = rest.substr(0, container.size()) == container ? "Suffix" : "Bare";
        if (out == "Suffix") rest.remove_prefix(container.size());
        if (rest.empty()) out += "Empty";
        for (const char c : rest) {
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '_')
                out += c;
            else if (c == ' ')
                out += "Space";
            else if (c == '+')
                out += "Plus";
            else if (c == '-')
                out += "Minus";
            else if (c == '.')
                out += "Dot";
            else
                out += "X";
        }
        return out;
    });

TEST(NameRule, ContainerIsTheNameWithoutItsLastFourCharacters) {
    EXPECT_EQ(ContainerPathOf("dir/DATA.BIN_000"), "dir/DATA.BIN");
    EXPECT_EQ(ContainerPathOf("dir/DATA.BIN_12x"), "dir/DATA.BIN");
    EXPECT_EQ(ContainerPathOf("_5"), "");
}

std::uint64_t Padded(std::uint64_t s) { return (s / 16 + 1) * 16; }

class BlockImportTest : public ::testing::Test {
protected:
    Texts Import(const std::string& dropped) {
        MessageRecorder sink;
        ImportBlock(sink, dropped);
        for (const auto& n : sink.Notices()) {
            EXPECT_FALSE(n.title.has_value());
            EXPECT_EQ(n.outcome, n.text == "OK!" ? Outcome::Success : Outcome::Failure) << n.text;
        }
        return sink.Texts();
    }
    // Drops `data` as block n of the container.
    Texts ImportData(int n, const ByteVector& data) {
        const std::string name = NumberedBlockName(m_container, static_cast<std::uint64_t>(n));
        WriteFileBytes(name, data);
        return Import(name);
    }
    ByteVector Container() const { return ReadFileBytes(m_container); }
    // Exports the container and returns every block file, numbered from 0.
    std::vector<ByteVector> ExportAll(std::size_t blocks) {
        MessageRecorder sink;
        ExportBlocks(sink, m_container);
        EXPECT_EQ(sink.Texts(), Texts{"OK!"});
        std::vector<ByteVector> files;
        for (std::size_t k = 0; k < blocks; ++k) files.push_back(ReadFileBytes(NumberedBlockName(m_container, k)));
        EXPECT_FALSE(fs::exists(NumberedBlockName(m_container, blocks)));
        return files;
    }
    bool OnlyExpectedFilesInFolder() const {
        for (const auto& e : fs::directory_iterator(m_dir.Path())) {
            if (e.path().filename().string().find(".tmp") != std::string::npos) return false;
        }
        return true;
    }

    TempDir m_dir;
    std::string m_container = m_dir / "DATA.BIN";
};

TEST_F(BlockImportTest, OneBlockEndsRightAfterTheNewStream) {
    const ByteVector trailer = BytesOf("bytes after the old stream, dropped by the import");
    const auto built = BuildSingleBlockContainer({SampleText(6000, 1)}, 64, trailer);
    WriteFileBytes(m_container, built.bytes);
    const ByteVector edited = SampleText(9000, 2);
    ASSERT_EQ(ImportData(0, edited), Texts{"OK!"});

    const ByteVector after = Container();
    const ByteVector stream = Deflate(edited);
    const std::uint64_t h = built.headerOffsets[0];
    ASSERT_EQ(after.size(), h + 32 + stream.size());
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + static_cast<long>(h), built.bytes.begin()));
    EXPECT_EQ(Word(after, h + 0), kFirstHeaderWord);
    EXPECT_EQ(Word(after, h + 4), stream.size());
    EXPECT_EQ(Word(after, h + 8), edited.size());
    EXPECT_EQ(Word(after, h + 12), kLastHeaderWord);
    EXPECT_TRUE(std::all_of(after.begin() + static_cast<long>(h + 16), after.begin() + static_cast<long>(h + 32),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(ByteVector(after.begin() + static_cast<long>(h + 32), after.end()), stream);
    EXPECT_EQ(ExportAll(1), std::vector<ByteVector>{edited});
}

TEST_F(BlockImportTest, EmptyAndOneByteFilesImport) {
    for (const ByteVector& edited : {ByteVector{}, ByteVector{0x41}}) {
        for (int k = 0; k < 3; ++k) fs::remove(NumberedBlockName(m_container, static_cast<std::uint64_t>(k)));
        WriteFileBytes(m_container, BuildSingleBlockContainer({SampleText(600, 3)}, 16, {}).bytes);
        ASSERT_EQ(ImportData(0, edited), Texts{"OK!"}) << edited.size();
        EXPECT_EQ(ExportAll(1), std::vector<ByteVector>{edited});

        FixtureContainer plan;
        for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(800, 4 + k)});
        WriteFileBytes(m_container, BuildIndexedContainer(plan).bytes);
        ASSERT_EQ(ImportData(1, edited), Texts{"OK!"}) << edited.size();
        EXPECT_EQ(ExportAll(3), (std::vector<ByteVector>{plan.blocks[0].data, edited, plan.blocks[2].data}));
    }
}

// Multi-block rewrites, checked against the rules: P = (S / 16 + 1) * 16,
// every later entry moved by P - D, the later bytes unchanged and moved.
struct RewriteCase {
    const char* name;
    std::uint32_t layout;
    bool extraEntry;
    std::size_t block;
    bool larger;
};

class MultiBlockRewrite : public BlockImportTest, public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(MultiBlockRewrite, MovesTheIndexAndTheLaterBlocks) {
    const RewriteCase& c = GetParam();
    FixtureContainer plan;
    plan.layout = c.layout;
    plan.extraEntry = c.extraEntry;
    plan.recordOffset = 32;
    plan.trailer = BytesOf("data that follows the last block");
    const std::size_t sizes[] = {3000, 5000, 4000, 2000};
    for (std::uint32_t k = 0; k < 4; ++k) plan.blocks.push_back({SampleText(sizes[k], 10 + k)});
    plan.blocks[1].extraRoom = 40; // room beyond the stream, as game files have
    plan.blocks[2].extraRoom = 7;
    const auto old = BuildIndexedContainer(plan);
    WriteFileBytes(m_container, old.bytes);

    const ByteVector edited = c.larger ? NoiseBytes(9000, 77) : BytesOf("a much shorter block");
    ASSERT_EQ(ImportData(static_cast<int>(c.block), edited), Texts{"OK!"});
    const ByteVector after = Container();

    const std::size_t i = c.block;
    const std::uint32_t n = old.entryCount;
    const ByteVector stream = Deflate(edited);
    const std::uint64_t p = Padded(stream.size());
    const std::uint64_t h = old.recordOffset + old.Entry(i);
    const bool hasTail = i + 1 < n;
    const std::int64_t d = hasTail ? std::int64_t{old.Entry(i + 1)} - old.Entry(i) - 32 : 0;
    const std::int64_t shift = static_cast<std::int64_t>(p) - d;

    // Everything up to the stream: unchanged but for the header's two size
    // words and the later table entries.
    ByteVector prefix(old.bytes.begin(), old.bytes.begin() + static_cast<long>(h + 32));
    SetWord(prefix, h + 4, static_cast<std::uint32_t>(stream.size()));
    SetWord(prefix, h + 8, static_cast<std::uint32_t>(edited.size()));
    for (std::size_t k = i + 1; k < n; ++k) {
        SetWord(prefix, old.tableOffset + 4 * k, static_cast<std::uint32_t>(old.Entry(k) + shift));
    }
    ASSERT_GE(after.size(), h + 32 + p);
    EXPECT_EQ(ByteVector(after.begin(), after.begin() + static_cast<long>(h + 32)), prefix);
    // The new stream, then 1 to 16 zero bytes.
    EXPECT_EQ(ByteVector(after.begin() + static_cast<long>(h + 32),
                         after.begin() + static_cast<long>(h + 32 + stream.size())),
              stream);
    EXPECT_TRUE(std::all_of(after.begin() + static_cast<long>(h + 32 + stream.size()),
                            after.begin() + static_cast<long>(h + 32 + p), [](std::uint8_t b) { return b == 0; }));
    if (hasTail) {
        // The rest, from the next entry on, unchanged and moved by P - D.
        const std::uint64_t t = old.recordOffset + old.Entry(i + 1);
        EXPECT_EQ(static_cast<std::int64_t>(after.size()), static_cast<std::int64_t>(old.bytes.size()) + shift);
        EXPECT_EQ(ByteVector(after.begin() + static_cast<long>(h + 32 + p), after.end()),
                  ByteVector(old.bytes.begin() + static_cast<long>(t), old.bytes.end()));
    } else {
        // The table's last entry: the file ends after the padded stream.
        EXPECT_EQ(after.size(), h + 32 + p);
    }
    EXPECT_EQ(Word(after, h + 4), stream.size()) << "the packed size holds S, not P";

    auto expected =
        std::vector<ByteVector>{plan.blocks[0].data, plan.blocks[1].data, plan.blocks[2].data, plan.blocks[3].data};
    expected[i] = edited;
    EXPECT_EQ(ExportAll(4), expected);
    if (c.extraEntry) {
        EXPECT_EQ(ByteVector(after.begin() + old.recordOffset + Word(after, old.tableOffset + 16), after.end()),
                  plan.trailer);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MultiBlockRewrite,
                         ::testing::Values(RewriteCase{"InnerLarger", 8, false, 1, true},
                                           RewriteCase{"InnerSmaller", 8, false, 1, false},
                                           RewriteCase{"InnerLargerLayout0Extra", 0, true, 2, true},
                                           RewriteCase{"FirstSmallerLayout0Extra", 0, true, 0, false},
                                           RewriteCase{"LastLargerWithExtraEntry", 8, true, 3, true},
                                           RewriteCase{"LastLargerNoExtraEntry", 8, false, 3, true},
                                           RewriteCase{"LastSmallerLayout0", 0, false, 3, false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(BlockImportTest, ResultEqualsAContainerBuiltWithTheEditedBlock) {
    FixtureContainer plan;
    plan.extraEntry = true;
    plan.trailer = BytesOf("0123456789");
    for (std::uint32_t k = 0; k < 5; ++k) plan.blocks.push_back({SampleText(1500 + 100 * k, 20 + k), {}, {}, 0, true});
    WriteFileBytes(m_container, BuildIndexedContainer(plan).bytes);

    plan.blocks[1].data = SampleText(12000, 30);
    ASSERT_EQ(ImportData(1, plan.blocks[1].data), Texts{"OK!"});
    plan.blocks[3].data = BytesOf("short");
    ASSERT_EQ(ImportData(3, plan.blocks[3].data), Texts{"OK!"});
    EXPECT_EQ(Container(), BuildIndexedContainer(plan).bytes);
}

TEST_F(BlockImportTest, StreamOfAMultipleOfSixteenIsFollowedBySixteenZeros) {
    ByteVector edited;
    for (std::size_t size = 100; size < 2000 && edited.empty(); ++size) {
        ByteVector candidate = SampleText(size, 5);
        if (Deflate(candidate).size() % 16 == 0) edited = candidate;
    }
    ASSERT_FALSE(edited.empty());
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(1000, 40 + k)});
    const auto old = BuildIndexedContainer(plan);
    WriteFileBytes(m_container, old.bytes);
    ASSERT_EQ(ImportData(1, edited), Texts{"OK!"});

    const ByteVector after = Container();
    const std::uint64_t s = Deflate(edited).size();
    const std::uint64_t h = old.headerOffsets[1];
    const std::uint64_t next = old.recordOffset + Word(after, old.tableOffset + 8);
    EXPECT_EQ(next, h + 32 + s + 16);
    EXPECT_TRUE(std::all_of(after.begin() + static_cast<long>(h + 32 + s), after.begin() + static_cast<long>(next),
                            [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(Word(after, next), kFirstHeaderWord);
}

// Refusals: the message, and the container byte for byte as it was.
struct Refusal {
    const char* name;
    const char* dropped;             // name of the dropped file in the folder
    void (*damage)(BuiltContainer&); // applied to a three-block container
    std::string message;
};

class ImportRefusal : public BlockImportTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ImportRefusal, LeavesTheContainerAsItWas) {
    const Refusal& c = GetParam();
    FixtureContainer plan;
    plan.extraEntry = true;
    for (std::uint32_t k = 0; k < 3; ++k) plan.blocks.push_back({SampleText(1200, 50 + k)});
    auto built = BuildIndexedContainer(plan);
    if (c.damage) c.damage(built);
    WriteFileBytes(m_container, built.bytes);
    const std::string dropped = m_dir / c.dropped;
    WriteFileBytes(dropped, SampleText(3000, 60));

    EXPECT_EQ(Import(dropped), Texts{c.message});
    EXPECT_EQ(Container(), built.bytes);
    EXPECT_TRUE(OnlyExpectedFilesInFolder());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportRefusal,
    ::testing::Values(
        Refusal{"LetterFirst", "DATA.BIN_x12", nullptr, "not a extracted file!"},
        Refusal{"MinusOne", "DATA.BIN_-01", nullptr, "not a extracted file!"},
        Refusal{"NoUnderscore", "DATA.BIN.001", nullptr, "not a extracted file!"},
        Refusal{"OtherContainer", "OTHER.BIN_001", nullptr, "can not read original compressed file!"},
        Refusal{"BeyondTheBlocks", "DATA.BIN_003", nullptr, "index error."},
        Refusal{"Negative", "DATA.BIN_-02", nullptr, "index error."},
        Refusal{"NoBlock", "DATA.BIN_000", [](BuiltContainer& c) { c.bytes = SampleText(5000, 1); },
                "the target is not a zlib compressed file."},
        Refusal{"NoIndex", "DATA.BIN_001", [](BuiltContainer& c) { SetWord(c.bytes, c.recordOffset, 7); },
                "the target is not a zlib compressed file."},
        Refusal{"EntriesDescend", "DATA.BIN_000",
                [](BuiltContainer& c) {
                    const auto e1 = c.Entry(1);
                    SetWord(c.bytes, c.tableOffset + 4, c.Entry(2));
                    SetWord(c.bytes, c.tableOffset + 8, e1);
                },
                "index error."},
        Refusal{"EqualEntries", "DATA.BIN_002",
                [](BuiltContainer& c) { SetWord(c.bytes, c.tableOffset + 12, c.Entry(2)); }, "index error."},
        Refusal{"EntryPastTheEnd", "DATA.BIN_000",
                [](BuiltContainer& c) {
                    SetWord(c.bytes, c.tableOffset + 12,
                            static_cast<std::uint32_t>(c.bytes.size() - c.recordOffset + 1));
                },
                "index error."},
        Refusal{"HeaderPastTheEnd", "DATA.BIN_002",
                [](BuiltContainer& c) {
                    SetWord(c.bytes, c.tableOffset + 8,
                            static_cast<std::uint32_t>(c.bytes.size() - c.recordOffset - 16));
                    SetWord(c.bytes, c.tableOffset + 12, static_cast<std::uint32_t>(c.bytes.size() - c.recordOffset));
                },
                "index error."},
        Refusal{"TableReachesIntoTheBlocks", "DATA.BIN_002",
                [](BuiltContainer& c) {
                    SetWord(c.bytes, c.tableOffset, static_cast<std::uint32_t>(c.tableOffset - c.recordOffset + 8));
                },
                "index error."},
        Refusal{"EntryOnNoBlock", "DATA.BIN_001",
                [](BuiltContainer& c) { SetWord(c.bytes, c.tableOffset + 8, c.Entry(2) + 64); }, "index error."},
        Refusal{"NoRoomForTheHeader", "DATA.BIN_002",
                [](BuiltContainer& c) { SetWord(c.bytes, c.tableOffset + 12, c.Entry(2) + 16); }, "index error."}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(BlockImportTest, SingleBlockNumberBeyondZeroIsAnIndexError) {
    const auto built = BuildSingleBlockContainer({SampleText(700, 7)}, 16, {});
    WriteFileBytes(m_container, built.bytes);
    EXPECT_EQ(ImportData(1, SampleText(100, 8)), Texts{"index error."});
    EXPECT_EQ(Container(), built.bytes);
}

TEST_F(BlockImportTest, UnreadableDroppedFileIsNamedAndTheContainerKept) {
    const auto built = BuildSingleBlockContainer({SampleText(700, 9)}, 16, {});
    WriteFileBytes(m_container, built.bytes);
    const std::string dropped = NumberedBlockName(m_container, 0);
    fs::create_directory(dropped); // a folder, not a file
    EXPECT_EQ(Import(dropped), Texts{"can not read file\n" + dropped});
    EXPECT_EQ(Container(), built.bytes);
}

TEST_F(BlockImportTest, ContainerIsCheckedBeforeTheDroppedFileIsRead) {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 2; ++k) plan.blocks.push_back({SampleText(700, 10 + k)});
    auto built = BuildIndexedContainer(plan);
    SetWord(built.bytes, built.tableOffset + 4, 0xFFFFFF00u);
    WriteFileBytes(m_container, built.bytes);
    EXPECT_EQ(Import(NumberedBlockName(m_container, 0)), Texts{"index error."}); // the file does not exist
}

TEST_F(BlockImportTest, ContainerThatCannotBeReplacedStaysWhole) {
    // A 250-character name: the exported name (254) fits, the temporary
    // file's name gets longer than the file system allows.
    const std::string longName = m_dir / (std::string(246, 'L') + ".BIN");
    const auto built = BuildSingleBlockContainer({SampleText(700, 12)}, 16, {});
    WriteFileBytes(longName, built.bytes);
    const std::string dropped = NumberedBlockName(longName, 0);
    WriteFileBytes(dropped, SampleText(900, 13));
    EXPECT_EQ(Import(dropped), Texts{"can not open original compressed file!"});
    EXPECT_EQ(ReadFileBytes(longName), built.bytes);
    EXPECT_TRUE(OnlyExpectedFilesInFolder());
}

TEST_F(BlockImportTest, ContainerKeepsItsPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX permission bits; Windows keeps read-only as an attribute";
#endif
    WriteFileBytes(m_container, BuildSingleBlockContainer({SampleText(700, 14)}, 16, {}).bytes);
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read |
                       fs::perms::owner_exec;
    fs::permissions(m_container, perms, fs::perm_options::replace);
    ASSERT_EQ(ImportData(0, SampleText(3000, 15)), Texts{"OK!"});
    EXPECT_EQ(fs::status(m_container).permissions(), perms);
}

} // namespace
} // namespace qorlu::test
