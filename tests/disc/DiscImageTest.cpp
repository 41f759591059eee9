#include "disc/DiscImage.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

namespace qorlu {
namespace {

using test::MessageRecorder;
using test::TempDir;

constexpr std::int32_t kStart = 3;

// Where archive byte `o` lies in the image, worked out byte by byte.
std::uint64_t Mapped(std::uint64_t o) { return (kStart + o / 2048) * 2352 + 24 + o % 2048; }

class SectorMapping : public ::testing::Test {
protected:
    void SetUp() override {
        m_raw = tools::PatternBytes(12 * 2352, 77);
        test::WriteFileBytes(m_path, m_raw);
        m_image.m_strImagePath = m_path;
        m_image.m_nStartSector = kStart;
    }
    TempDir m_dir;
    std::string m_path = m_dir / "Mixed Case.bin";
    std::vector<std::uint8_t> m_raw;
    MessageRecorder m_messages;
    CDiscImage m_image{m_messages};
};

TEST_F(SectorMapping, ImagePositionsOfTheWorkedExamples) {
    EXPECT_EQ(m_image.ImagePosition(4), kStart * 2352u + 28);
    EXPECT_EQ(m_image.ImagePosition(2047), kStart * 2352u + 2071);
    EXPECT_EQ(m_image.ImagePosition(2048), (kStart + 1) * 2352u + 24);
    EXPECT_EQ(m_image.ImagePosition(5000), (kStart + 2) * 2352u + 928);
}

struct Range {
    std::uint32_t offset;
    std::uint32_t count;
};

class SectorMappingRanges : public SectorMapping, public ::testing::WithParamInterface<Range> {};

TEST_P(SectorMappingRanges, ReadGathersUserBytesOnly) {
    const Range r = GetParam();
    ASSERT_TRUE(m_image.OpenImage(CDiscImage::OpenMode::ReadOnly));
    std::vector<std::uint8_t> got(r.count + 1, 0xAA);
    EXPECT_TRUE(m_image.ReadAt(r.offset, got.data(), r.count));
    for (std::uint32_t i = 0; i < r.count; ++i) ASSERT_EQ(got[i], m_raw[Mapped(r.offset + i)]) << "byte " << i;
    EXPECT_EQ(got[r.count], 0xAA) << "nothing is written past the count";
}

TEST_P(SectorMappingRanges, WriteChangesExactlyTheMappedBytes) {
    const Range r = GetParam();
    const auto data = tools::PatternBytes(r.count, 5);
    ASSERT_TRUE(m_image.OpenImage(CDiscImage::OpenMode::ReadWrite));
    EXPECT_TRUE(m_image.WriteAt(r.offset, data.data(), r.count));
    m_image.CloseImage();

    auto expected = m_raw;
    for (std::uint32_t i = 0; i < r.count; ++i) expected[Mapped(r.offset + i)] = data[i];
    EXPECT_EQ(test::ReadFileBytes(m_path), expected) << "headers, trailers and other sectors keep their bytes";
}

INSTANTIATE_TEST_SUITE_P(AcrossSectorBoundaries, SectorMappingRanges,
                         ::testing::Values(Range{0, 0}, Range{2040, 8}, Range{2040, 2056}, Range{0, 4096},
                                           Range{0, 2048}, Range{2047, 2}, Range{100, 5000}, Range{4096, 2049},
                                           Range{1, 6 * 2048}),
                         [](const ::testing::TestParamInfo<Range>& p) {
                             return "At" + std::to_string(p.param.offset) + "Count" + std::to_string(p.param.count);
                         });

TEST_F(SectorMapping, ShortReadAtTheEndLeavesZerosNotOldBytes) {
    // The image ends in the middle of sector kStart + 2's user data.
    m_raw.resize((kStart + 2) * 2352 + 24 + 100);
    test::WriteFileBytes(m_path, m_raw);
    ASSERT_TRUE(m_image.OpenImage(CDiscImage::OpenMode::ReadOnly));
    EXPECT_EQ(m_image.ArchiveBytesInImage(), 2 * 2048u + 100);
    std::vector<std::uint8_t> got(3000, 0xAA);
    EXPECT_FALSE(m_image.ReadAt(3000, got.data(), 3000));
    const std::uint32_t present = 2 * 2048 + 100 - 3000;
    for (std::uint32_t i = 0; i < present; ++i) ASSERT_EQ(got[i], m_raw[Mapped(3000 + i)]);
    for (std::uint32_t i = present; i < got.size(); ++i) ASSERT_EQ(got[i], 0) << "byte " << i;
}

TEST_F(SectorMapping, OpeningAMissingImageSaysSoWithTitleError) {
    m_image.m_strImagePath = m_dir / "missing.bin";
    EXPECT_FALSE(m_image.OpenImage(CDiscImage::OpenMode::ReadOnly));
    ASSERT_EQ(m_messages.Notices().size(), 1u);
    const Notice n = m_messages.Notices()[0];
    EXPECT_EQ(n.text, "Can not open ISO file!");
    EXPECT_EQ(n.title, "ERROR");
    EXPECT_TRUE(n.systemModal);
    EXPECT_FALSE(m_image.IsOpen());
}

// --- Locating the archive in the directory area -------------------------

struct LocateCase {
    const char* what;
    test::DirectoryRecordSpec record;
    const char* searchedName;
    bool found;
    std::int32_t startSector;
};

class Locator : public ::testing::TestWithParam<LocateCase> {};

TEST_P(Locator, FindsTheRecordOnlyWhereTheRulesSay) {
    const LocateCase& c = GetParam();
    TempDir dir;
    const std::string path = dir / "disc.bin";
    ASSERT_TRUE(tools::WriteRawImage(path, test::LogicalImageWithRecord(40, c.record)));
    MessageRecorder messages;
    CDiscImage image(messages);
    EXPECT_EQ(image.LocateArchive(path, c.searchedName), c.found);
    EXPECT_EQ(image.m_bLocated, c.found);
    EXPECT_EQ(image.m_strArchiveName, "FILEDATA.AFS");
    EXPECT_FALSE(image.IsOpen());
    if (c.found) {
        EXPECT_EQ(image.m_nStartSector, c.startSector);
        EXPECT_EQ(image.m_nArchiveSize, c.record.dataLength);
        EXPECT_TRUE(messages.Texts().empty());
    } else {
        ASSERT_EQ(messages.Texts().size(), 1u);
        EXPECT_EQ(messages.Texts()[0], "file not found in the ISO!\nThis is not a QORLU ISO file!");
        EXPECT_EQ(messages.Notices()[0].title, "ERROR");
    }
}

test::DirectoryRecordSpec Rec(std::ptrdiff_t at, std::string id, std::uint32_t extent) {
    return {at, std::move(id), extent, 465819648};
}

INSTANTIATE_TEST_SUITE_P(
    DirectoryArea, Locator,
    ::testing::Values(
        LocateCase{"upper case with version suffix", Rec(100, "FILEDATA.AFS;1", 40), "filedata.afs", true, 40},
        LocateCase{"lower case on the disc", Rec(100, "filedata.afs;1", 40), "filedata.afs", false, 0},
        LocateCase{"only the two low bytes of the extent", Rec(100, "FILEDATA.AFS", 65636), "filedata.afs", true, 100},
        LocateCase{"last byte is the last byte of sector 37", Rec(32768 - 12, "FILEDATA.AFS", 7), "filedata.afs", true,
                   7},
        LocateCase{"in sector 38", Rec(32768 + 10, "FILEDATA.AFS", 7), "filedata.afs", false, 0},
        LocateCase{"in sector 21", Rec(-100, "FILEDATA.AFS", 7), "filedata.afs", false, 0},
        LocateCase{"too close to the start of the area", Rec(10, "FILEDATA.AFS", 7), "filedata.afs", false, 0}),
    [](const auto& p) {
        std::string n = p.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(LocatorRules, TheLowerOfTwoMatchesWinsAndAMatchTooNearTheStartIsSkipped) {
    auto logical = test::LogicalImageWithRecord(40, Rec(5, "FILEDATA.AFS", 11)); // no room for a record
    test::PlaceRecord(logical, Rec(2000, "FILEDATA.AFS;1", 12));
    test::PlaceRecord(logical, Rec(9000, "FILEDATA.AFS;1", 13));
    TempDir dir;
    ASSERT_TRUE(tools::WriteRawImage(dir / "disc.bin", logical));
    MessageRecorder messages;
    CDiscImage image(messages);
    ASSERT_TRUE(image.LocateArchive(dir / "disc.bin", "filedata.afs"));
    EXPECT_EQ(image.m_nStartSector, 12);
}

TEST(LocatorRules, AnotherSizeWarnsAndStillLocates) {
    TempDir dir;
    ASSERT_TRUE(
        tools::WriteRawImage(dir / "disc.bin", test::LogicalImageWithRecord(40, {100, "FILEDATA.AFS;1", 33, 1234})));
    MessageRecorder messages;
    CDiscImage image(messages);
    EXPECT_TRUE(image.LocateArchive(dir / "disc.bin", "filedata.afs"));
    EXPECT_EQ(image.m_nStartSector, 33);
    EXPECT_EQ(image.m_nArchiveSize, 1234u);
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_EQ(messages.Texts()[0],
              "Size of filedtata.afs mismatch.\nThis is not a QORLU ISO File.\nMaybe it is MIRTA or DELSO ISO.");
    EXPECT_EQ(messages.Notices()[0].outcome, Outcome::Warning);
}

TEST(LocatorRules, NotADiscImageAndATruncatedImageAreNotFound) {
    TempDir dir;
    test::WriteFileBytes(dir.Path() / "notes.txt", std::vector<std::uint8_t>{'h', 'i', '\n'});
    auto logical = test::LogicalImageWithRecord(40, Rec(4000, "FILEDATA.AFS;1", 40));
    auto raw = tools::WrapIntoRawSectors(logical);
    raw.resize(23 * 2352); // cut inside the directory area, before the record
    test::WriteFileBytes(dir.Path() / "cut.bin", raw);
    for (const char* name : {"notes.txt", "cut.bin"}) {
        MessageRecorder messages;
        CDiscImage image(messages);
        EXPECT_FALSE(image.LocateArchive(dir / name, "filedata.afs")) << name;
        EXPECT_EQ(messages.Texts(),
                  std::vector<std::string>{"file not found in the ISO!\nThis is not a QORLU ISO file!"});
    }
}

TEST(LocatorRules, AFailedOpenKeepsThePreviousResultButReplacesThePath) {
    TempDir dir;
    ASSERT_TRUE(tools::WriteRawImage(dir / "Disc.bin", test::LogicalImageWithRecord(40, Rec(100, "FILEDATA.AFS", 21))));
    MessageRecorder messages;
    CDiscImage image(messages);
    ASSERT_TRUE(image.LocateArchive(dir / "Disc.bin", "filedata.afs")); // opened as given, not upper-cased
    EXPECT_FALSE(image.LocateArchive(dir / "gone.bin", "filedata.afs"));
    EXPECT_EQ(image.m_strImagePath, dir / "gone.bin");
    EXPECT_TRUE(image.m_bLocated);
    EXPECT_EQ(image.m_nStartSector, 21);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Can not open ISO file!"});
}

} // namespace
} // namespace qorlu
