// The scan of a whole raw image: every sector counted once by its kind,
// the lowest wrong ones listed in order, whichever thread checked them.

#include "disc/SectorScan.h"
#include "tests/support/TempDir.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace qorlu {
namespace {

struct ScanCase {
    const char* name;
    std::uint64_t sectors;
    std::set<std::uint64_t> wrong;     // a user byte changed after encoding
    std::set<std::uint64_t> form2;     // the form bit set in both subheader copies
    std::set<std::uint64_t> unchecked; // EDC and parity cleared
    std::size_t listLimit;
    std::size_t tailBytes; // a partial sector at the end
};

const ScanCase kScans[] = {
    {"Empty", 0, {}, {}, {}, 20, 0},
    {"OnlyAPartialSector", 0, {}, {}, {}, 20, 1000},
    {"OneSector", 1, {}, {}, {}, 20, 0},
    {"OneWrongSector", 1, {0}, {}, {}, 20, 0},
    {"AllValidOverSeveralRuns", 600, {}, {}, {}, 20, 0},
    {"WrongAtTheRunEdges", 785, {0, 255, 256, 511, 512, 767, 768, 784}, {3}, {400, 401}, 20, 0},
    {"MoreWrongThanListed", 785, {1, 2, 300, 301, 302, 700, 701}, {}, {}, 4, 0},
    {"NoneListed", 300, {5, 280}, {}, {}, 0, 0},
    {"APartialSectorAtTheEnd", 300, {299}, {0}, {}, 20, 2351},
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ImageScans : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ImageScans, CountEachSectorOnceAndListTheLowestWrongOnes) {
    const ScanCase& c = GetParam();
    test::TempDir dir;
    std::vector<std::uint8_t> image(c.sectors * 2352 + c.tailBytes, 0x33);
    std::vector<std::uint8_t> user(2048);
    for (std::uint64_t s = 0; s < c.sectors; ++s) {
        for (std::size_t i = 0; i < user.size(); ++i) user[i] = static_cast<std::uint8_t>(s * 7 + i);
        std::uint8_t* raw = image.data() + s * 2352;
        tools::WriteRawSector(static_cast<std::uint32_t>(s), user, raw);
        if (c.wrong.count(s)) raw[100] ^= 1;
        if (c.form2.count(s)) raw[18] |= 0x20, raw[22] |= 0x20;
        if (c.unchecked.count(s)) std::fill(raw + 2072, raw + 2352, 0);
    }
    test::WriteFileBytes(dir.Path() / "disc.bin", image);
    BinaryFile file;
    ASSERT_TRUE(file.Open(dir / "disc.bin", BinaryFile::Mode::Read));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
    const SectorScanResult r = ScanRawSectors(
        file, c.listLimit, [&](std::uint64_t done, std::uint64_t total) { calls.emplace_back(done, total); });

    EXPECT_EQ(r.sectors, c.sectors);
    EXPECT_EQ(r.wrong, c.wrong.size());
    EXPECT_EQ(r.form2, c.form2.size());
    EXPECT_EQ(r.unchecked, c.unchecked.size());
    EXPECT_EQ(r.other, 0u);
    EXPECT_EQ(r.valid, c.sectors - c.wrong.size() - c.form2.size() - c.unchecked.size());
    EXPECT_EQ(r.partialBytes, c.tailBytes);
    EXPECT_FALSE(r.readFailed);
    std::vector<std::uint64_t> listed(c.wrong.begin(), c.wrong.end());
    listed.resize(std::min(listed.size(), c.listLimit));
    EXPECT_EQ(r.firstWrong, listed);
    // Progress only grows and ends at the total.
    ASSERT_FALSE(calls.empty());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second, c.sectors);
        if (i > 0) {
            EXPECT_GE(calls[i].first, calls[i - 1].first);
        }
    }
    EXPECT_EQ(calls.back().first, c.sectors);
}

INSTANTIATE_TEST_SUITE_P(Images, ImageScans, ::testing::ValuesIn(kScans),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ImageScan, AFileThatIsNotOpenFailsToRead) {
    BinaryFile closed;
    const SectorScanResult r = ScanRawSectors(closed, 20);
    EXPECT_TRUE(r.readFailed);
    EXPECT_EQ(r.sectors, 0u);
}

} // namespace
} // namespace qorlu
