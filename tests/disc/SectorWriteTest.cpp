// Writing into raw images whose sectors carry checksums, and the two image
// layouts: which one an image is found to have, and transfers through the
// plain one.

#include "disc/DiscImage.h"
#include "disc/SectorChecksum.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace qorlu {
namespace {

using test::MessageRecorder;
using test::TempDir;

constexpr std::int32_t kStart = 3;
constexpr std::size_t kSectors = 14;

// What sector kStart + k is made into before the write.
enum class Prior { Valid, Form2, ZeroChecksums, AlreadyWrong, NoSync };

const char* PriorName(Prior p) {
    switch (p) {
    case Prior::Valid:
        return "valid";
    case Prior::Form2:
        return "Form 2";
    case Prior::ZeroChecksums:
        return "zero checksums";
    case Prior::AlreadyWrong:
        return "already wrong";
    case Prior::NoSync:
        return "no sync";
    }
    return "";
}

struct WriteCase {
    const char* name;
    std::uint32_t offset;
    std::uint32_t count;
    std::vector<Prior> priors; // of archive sectors 0, 1, 2, ...; the rest are valid
};

class ChecksumWrites : public ::testing::TestWithParam<WriteCase> {
protected:
    void SetUp() override {
        m_raw = tools::WrapIntoRawSectors(tools::PatternBytes(kSectors * 2048, 31));
        const auto& priors = GetParam().priors;
        for (std::size_t k = 0; k < priors.size(); ++k) {
            std::uint8_t* s = &m_raw[(kStart + k) * 2352];
            switch (priors[k]) {
            case Prior::Valid:
                break;
            case Prior::Form2:
                s[18] |= 0x20;
                s[22] |= 0x20;
                break;
            case Prior::ZeroChecksums:
                std::fill(s + 2072, s + 2352, 0);
                break;
            case Prior::AlreadyWrong:
                s[2072] ^= 0x5A;
                break;
            case Prior::NoSync:
                s[0] = 0x01;
                break;
            }
        }
        test::WriteFileBytes(m_path, m_raw);
        m_image.m_strImagePath = m_path;
        m_image.m_nStartSector = kStart;
    }
    Prior PriorOf(std::size_t sector) const {
        const auto& priors = GetParam().priors;
        const std::size_t k = sector - kStart;
        return sector >= static_cast<std::size_t>(kStart) && k < priors.size() ? priors[k] : Prior::Valid;
    }
    TempDir m_dir;
    std::string m_path = m_dir / "disc.bin";
    std::vector<std::uint8_t> m_raw;
    MessageRecorder m_messages;
    CDiscImage m_image{m_messages};
};

TEST_P(ChecksumWrites, OnlyValidForm1SectorsGetNewChecksums) {
    const WriteCase& c = GetParam();
    const auto data = tools::PatternBytes(c.count, 9);
    ASSERT_TRUE(m_image.OpenImage(CDiscImage::OpenMode::ReadWrite));
    ASSERT_TRUE(m_image.WriteAt(c.offset, data.data(), c.count));
    ASSERT_TRUE(m_image.CloseImage());
    const auto after = test::ReadFileBytes(m_path);
    ASSERT_EQ(after.size(), m_raw.size());

    auto expected = m_raw;
    for (std::uint32_t i = 0; i < c.count; ++i) {
        const std::uint64_t o = std::uint64_t{c.offset} + i;
        expected[(kStart + o / 2048) * 2352 + 24 + o % 2048] = data[i];
    }
    const std::size_t firstWritten = kStart + c.offset / 2048;
    const std::size_t lastWritten = c.count == 0 ? firstWritten - 1 : kStart + (c.offset + c.count - 1) / 2048;
    for (std::size_t s = 0; s < kSectors; ++s) {
        const auto* got = &after[s * 2352];
        const auto* want = &expected[s * 2352];
        const bool written = s >= firstWritten && s <= lastWritten;
        const Prior prior = PriorOf(s);
        if (written && prior == Prior::Valid) {
            // User data as written, checksums of the new bytes, header as it was.
            EXPECT_EQ(sector::Classify(got), sector::Kind::Form1Valid) << "sector " << s;
            EXPECT_TRUE(std::equal(got, got + 2072, want)) << "sector " << s;
        } else {
            EXPECT_TRUE(std::equal(got, got + 2352, want))
                << "sector " << s << " (" << PriorName(prior) << (written ? ", written" : "")
                << ") keeps every byte but its new user data";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Priors, ChecksumWrites,
    ::testing::Values(WriteCase{"InsideOneSector", 100, 50, {}}, WriteCase{"EndingMidSector", 0, 2048 * 3 + 700, {}},
                      WriteCase{"ManySectorsFromMidSector", 1500, 2048 * 8, {}},
                      WriteCase{"TouchingTheLastByteOnly", 2047, 1, {}}, WriteCase{"NothingWritten", 4096, 0, {}},
                      WriteCase{"EveryKindInARow",
                                10,
                                2048 * 6,
                                {Prior::Valid, Prior::Form2, Prior::ZeroChecksums, Prior::AlreadyWrong, Prior::NoSync}},
                      WriteCase{"Form2Alone", 2048, 2048, {Prior::Valid, Prior::Form2}},
                      WriteCase{
                          "AllZeroChecksums",
                          0,
                          2048 * 4,
                          {Prior::ZeroChecksums, Prior::ZeroChecksums, Prior::ZeroChecksums, Prior::ZeroChecksums}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ChecksumWritesAtTheEnd, AWriteBeyondTheFileKeepsTheOldZeroFill) {
    // Sector kStart + 1 is cut short in its user data; writing past the end
    // fills the gap with zeros and lengthens the file only to the last byte.
    TempDir dir;
    auto raw = tools::WrapIntoRawSectors(tools::PatternBytes(6 * 2048, 4));
    raw.resize((kStart + 1) * 2352 + 24 + 100);
    test::WriteFileBytes(dir / "cut.bin", raw);
    MessageRecorder messages;
    CDiscImage image(messages);
    image.m_strImagePath = dir / "cut.bin";
    image.m_nStartSector = kStart;
    const auto data = tools::PatternBytes(3000, 8);
    ASSERT_TRUE(image.OpenImage(CDiscImage::OpenMode::ReadWrite));
    ASSERT_TRUE(image.WriteAt(1000, data.data(), 3000));
    ASSERT_TRUE(image.CloseImage());

    auto expected = raw;
    expected.resize((kStart + 1) * 2352 + 24 + (4000 - 2048), 0);
    for (std::uint32_t i = 0; i < 3000; ++i)
        expected[(kStart + (1000 + i) / 2048) * 2352 + 24 + (1000 + i) % 2048] = data[i];
    // The whole first sector was valid and is re-encoded; the cut one is not.
    sector::EncodeForm1(&expected[kStart * 2352]);
    EXPECT_EQ(test::ReadFileBytes(dir / "cut.bin"), expected);
}

// A logical image with the primary volume descriptor in block 16 when `pvd`.
std::vector<std::uint8_t> Logical(std::size_t blocks, bool pvd) {
    auto bytes = tools::PatternBytes(blocks * 2048, 3);
    if (pvd) {
        const std::uint8_t id[6] = {1, 'C', 'D', '0', '0', '1'};
        std::copy(id, id + 6, bytes.begin() + 16 * 2048);
    } else {
        bytes[16 * 2048] = 0;
    }
    return bytes;
}

struct LayoutCase {
    const char* name;
    std::vector<std::uint8_t> (*make)();
    CDiscImage::Layout layout;
};

const LayoutCase kLayoutCases[] = {
    {"PlainWithDescriptor", [] { return Logical(40, true); }, CDiscImage::Layout::Plain},
    {"RawWithDescriptor", [] { return tools::WrapIntoRawSectors(Logical(40, true)); }, CDiscImage::Layout::Raw},
    {"RawWithDescriptorLengthAMultipleOf2048", [] { return tools::WrapIntoRawSectors(Logical(128, true)); },
     CDiscImage::Layout::Raw},
    {"RawWithoutSyncOrDescriptor",
     [] {
         auto raw = tools::WrapIntoRawSectors(Logical(40, false));
         raw[0] = 0xFF;
         return raw;
     },
     CDiscImage::Layout::Raw},
    {"RawWithoutSyncButWithDescriptor",
     [] {
         auto raw = tools::WrapIntoRawSectors(Logical(40, true));
         std::fill(raw.begin(), raw.begin() + 12, 0x55);
         return raw;
     },
     CDiscImage::Layout::Raw},
    {"NoDescriptorLengthOf2048s", [] { return Logical(40, false); }, CDiscImage::Layout::Plain},
    {"NoDescriptorSyncAndLengthOf2048s",
     [] {
         auto raw = tools::WrapIntoRawSectors(Logical(128, false));
         return raw;
     },
     CDiscImage::Layout::Raw},
    {"NoDescriptorOddLength", [] { return tools::PatternBytes(40 * 2048 + 1, 2); }, CDiscImage::Layout::Raw},
    {"TooShortForSector16", [] { return tools::PatternBytes(4096, 2); }, CDiscImage::Layout::Plain},
    {"Empty", [] { return std::vector<std::uint8_t>(); }, CDiscImage::Layout::Plain},
};

class Layouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layouts, OpeningFindsTheLayout) {
    TempDir dir;
    test::WriteFileBytes(dir / "image", GetParam().make());
    MessageRecorder messages;
    CDiscImage image(messages);
    image.m_strImagePath = dir / "image";
    ASSERT_TRUE(image.OpenImage(CDiscImage::OpenMode::ReadOnly));
    EXPECT_EQ(image.CurrentLayout(), GetParam().layout);
    const bool plain = GetParam().layout == CDiscImage::Layout::Plain;
    EXPECT_EQ(image.m_nRawSectorSize, plain ? 2048 : 2352);
    EXPECT_EQ(image.m_nSectorHeaderSize, plain ? 0 : 24);
    EXPECT_EQ(image.m_nSectorTrailerSize, plain ? 0 : 280);
}

INSTANTIATE_TEST_SUITE_P(Images, Layouts, ::testing::ValuesIn(kLayoutCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(PlainLayout, ReadsAndWritesAreContiguousAndPositionsFollowThem) {
    TempDir dir;
    const auto logical = Logical(40, true);
    test::WriteFileBytes(dir / "disc.iso", logical);
    MessageRecorder messages;
    CDiscImage image(messages);
    image.m_strImagePath = dir / "disc.iso";
    image.m_nStartSector = 20;
    ASSERT_TRUE(image.OpenImage(CDiscImage::OpenMode::ReadWrite));
    EXPECT_EQ(image.ImagePosition(5000), 20u * 2048 + 5000);
    EXPECT_EQ(image.ArchiveBytesInImage(), 20u * 2048);
    std::vector<std::uint8_t> got(6000);
    EXPECT_TRUE(image.ReadAt(100, got.data(), 6000));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), logical.begin() + 20 * 2048 + 100));
    const auto data = tools::PatternBytes(7000, 6);
    EXPECT_TRUE(image.WriteAt(2000, data.data(), 7000));
    ASSERT_TRUE(image.CloseImage());
    auto expected = logical;
    std::copy(data.begin(), data.end(), expected.begin() + 20 * 2048 + 2000);
    EXPECT_EQ(test::ReadFileBytes(dir / "disc.iso"), expected);
}

} // namespace
} // namespace qorlu
