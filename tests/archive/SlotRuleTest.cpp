// How far each entry may grow in place when the entry table is not in order,
// and that an import never reaches past that room.

#include "archive/AfsArchive.h"
#include "format/ByteOrder.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace qorlu {
namespace {

using tools::PatternBytes;

// Offsets 2048, 6144, 12288, 14336; the names follow the last entry's data
// at 14436 and end at 14628; the image holds 16384 archive bytes.
const std::vector<tools::AfsBuildEntry> kEntries = {{"A.BIN", PatternBytes(3000, 1), 0},
                                                    {"B.BIN", PatternBytes(5000, 2), 0},
                                                    {"C.BIN", PatternBytes(700, 3), 0},
                                                    {"D.BIN", PatternBytes(100, 4), 0}};
constexpr std::uint32_t kNameDir = 14436;
constexpr std::uint32_t kArchiveBytes = 16384;

struct Field {
    std::uint32_t entry;
    bool size; // false: the offset field
    std::uint32_t value;
};

struct Row {
    const char* name;
    std::vector<Field> damage;
    std::vector<std::uint32_t> spaces;
    // An import of this entry and length is refused, the image unchanged:
    // the room that the entry's next table row would give it.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> refused;
    // An import of this entry and length is accepted.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> accepted;
};

const Row kRows[] = {
    {"WellFormed", {}, {4096, 6144, 2048, 100}, std::pair{3u, 101u}, std::pair{1u, 6144u}},
    {"OffsetPastTheNameDirectory",
     {{2, false, 14640}},
     {4096, 14336 - 6144, kArchiveBytes - 14640, 100},
     std::pair{1u, 14640u - 6144u},
     std::pair{2u, kArchiveBytes - 14640}},
    {"OffsetInsideTheNameDirectory", {{2, false, kNameDir + 50}}, {4096, 14336 - 6144, 0, 100}, std::pair{2u, 1u}, {}},
    {"OffsetsBeyondTheImage",
     {{1, false, 0x00F00000}, {2, false, 0x01000000}},
     {14336 - 2048, 0, 0, 100},
     std::pair{0u, 0x10000u},
     std::pair{0u, 14336u - 2048u}},
    {"OffsetInsideTheTable", {{1, false, 16}}, {12288 - 2048, 0, 2048, 100}, std::pair{1u, 12288u - 16u}, {}},
    {"NullEntryInTheMiddle",
     {{1, false, 0}, {1, true, 0}},
     {12288 - 2048, 0, 2048, 100},
     std::pair{1u, 12288u},
     std::pair{0u, 12288u - 2048u}},
    {"TwoEntriesAtOneOffset",
     {{2, false, 6144}},
     {4096, 0, 14336 - 6144, 100},
     std::pair{1u, 1u},
     std::pair{2u, 8192u}},
    {"DescendingOffsets",
     {{0, false, 6144}, {1, false, 2048}},
     {12288 - 6144, 4096, 2048, 100},
     std::pair{1u, 12288u - 2048u},
     std::pair{1u, 4096u}},
};

// Shown by name in test listings.
void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

class SlotRule : public ::testing::TestWithParam<Row> {
protected:
    test::TempDir dir;
    test::MessageRecorder messages;
    CAfsArchive archive{messages};
    std::string bin = dir / "disc.bin";
    std::uintmax_t imageSize = 0;

    void SetUp() override {
        auto afs = tools::BuildAfs(kEntries);
        ASSERT_EQ(afs.nameDirOffset, kNameDir);
        ASSERT_EQ(afs.offsets, (std::vector<std::uint32_t>{2048, 6144, 12288, 14336}));
        for (const Field& f : GetParam().damage) WriteLE32(&afs.bytes[8 + 8 * f.entry + (f.size ? 4 : 0)], f.value);
        test::WriteImageWithArchive(bin, afs.bytes);
        ASSERT_TRUE(archive.LocateArchive(bin, "filedata.afs") && archive.LoadIndex());
        ASSERT_EQ(archive.ArchiveBytesAtLoad(), kArchiveBytes);
        imageSize = std::filesystem::file_size(bin);
        messages.Clear();
    }
    std::string Replacement(std::uint32_t size) {
        const std::string path = dir / ("new" + std::to_string(size));
        test::WriteFileBytes(path, PatternBytes(size, 77));
        return path;
    }
};

TEST_P(SlotRule, EachEntrysSpaceAndAnImportOnlyInsideIt) {
    const Row& row = GetParam();
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(archive.GetEntrySpace(i), row.spaces[i]) << "entry " << i;

    if (row.refused) {
        const auto [entry, length] = *row.refused;
        ASSERT_GT(length, row.spaces[entry]);
        const auto before = test::ReadFileBytes(bin);
        EXPECT_EQ(archive.ImportEntry(Replacement(length), entry), 0);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"file size too large!"});
        EXPECT_EQ(test::ReadFileBytes(bin), before) << "the image is byte-identical";
    }
    if (row.accepted) {
        const auto [entry, length] = *row.accepted;
        messages.Clear();
        EXPECT_EQ(archive.ImportEntry(Replacement(length), entry), 1);
        EXPECT_TRUE(messages.Texts().empty());
        // The index and every name are intact afterwards.
        CAfsArchive fresh(messages);
        ASSERT_TRUE(fresh.LocateArchive(bin, "filedata.afs") && fresh.LoadIndex());
        for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(fresh.GetEntryName(i), kEntries[i].name);
        EXPECT_EQ(std::filesystem::file_size(bin), imageSize) << "the image did not grow";
    }
}

INSTANTIATE_TEST_SUITE_P(MalformedIndexes, SlotRule, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& p) { return std::string(p.param.name); });

} // namespace
} // namespace qorlu
