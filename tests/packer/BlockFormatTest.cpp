// The scan's 16-byte steps and stream skips, and which index records count.

#include "packer/BlockFormat.h"
#include "tests/packer/BlockFixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qorlu::test {
namespace {

// Puts a header (first word, packed, unpacked, last word) at `header` and
// the signature after it; the stream bytes are left as they are.
void PutBlockHead(ByteVector& bytes, std::uint64_t header, std::uint32_t packed, std::uint32_t unpacked) {
    if (bytes.size() < header + 34) bytes.resize(header + 34, 0x55);
    SetWord(bytes, header + 0, kFirstHeaderWord);                                  // first word
    SetWord(bytes, header + 4, packed);                                            // packed size
    SetWord(bytes, header + 8, unpacked);                                          // unpacked size
    SetWord(bytes, header + 12, kLastHeaderWord);                                  // last word
    std::memcpy(bytes.data() + header + 16, kBlockSignature, kBlockSignatureSize); // zeros, 0x78 0xDA
}

TEST(ScanBlocks, FilesOfTwentyBytesOrLessHoldNoBlock) {
    for (std::size_t size = 0; size <= 20; ++size) {
        ByteVector bytes(size, 0);
        if (size >= 18) std::memcpy(bytes.data() + size - 18, kBlockSignature, kBlockSignatureSize);
        EXPECT_EQ(ScanBlocks(bytes).count, 0u) << size;
    }
}

TEST(ScanBlocks, SignatureStartingInTheLastTwentyBytesIsNotSeen) {
    ByteVector bytes;
    PutBlockHead(bytes, 0, 4, 4); // signature at 16
    bytes.resize(36, 0x55);       // 16 is not < 36 - 20
    EXPECT_EQ(ScanBlocks(bytes).count, 0u);
    bytes.resize(37, 0x55); // 16 < 37 - 20
    const auto scan = ScanBlocks(bytes);
    EXPECT_EQ(scan.count, 1u);
    EXPECT_EQ(scan.firstHeaderOffset, 0u);
    EXPECT_EQ(scan.lastStreamOffset, 32u);
}

TEST(ScanBlocks, SignatureAtOffsetZeroIsSkipped) {
    // Its header would lie 16 bytes before the file.
    ByteVector bytes(64, 0x55);
    std::memcpy(bytes.data(), kBlockSignature, kBlockSignatureSize);
    EXPECT_EQ(ScanBlocks(bytes).count, 0u);

    PutBlockHead(bytes, 64, 16, 100);
    bytes.resize(160, 0x55);
    const auto scan = ScanBlocks(bytes);
    EXPECT_EQ(scan.count, 1u);
    EXPECT_EQ(scan.firstHeaderOffset, 64u);
}

TEST(ScanBlocks, SignaturesAreSeenOnlyAtMultiplesOfSixteen) {
    for (std::uint64_t header = 16; header < 64; header += 4) {
        ByteVector bytes(160, 0x55);
        PutBlockHead(bytes, header, 8, 8);
        const auto scan = ScanBlocks(bytes);
        if (header % 16 == 0) {
            EXPECT_EQ(scan.count, 1u) << header;
            EXPECT_EQ(scan.firstHeaderOffset, header);
            EXPECT_EQ(scan.lastStreamOffset, header + 32);
        } else {
            EXPECT_EQ(scan.count, 0u) << header;
        }
    }
}

// Where a second signature sits relative to the first stream, and whether the
// skip over the stream lets the scan see it.
struct SkipCase {
    const char* name;
    std::uint32_t packed;       // packed size of the first block (stream at 48)
    std::uint64_t secondHeader; // where a second block head is put
    std::uint64_t expectedCount;
};

class ScanSkip : public ::testing::TestWithParam<SkipCase> {};

TEST_P(ScanSkip, SkipsTheStreamDownToItsLastSixteenByteBoundary) {
    const SkipCase& c = GetParam();
    ByteVector bytes(16, 0x55);
    PutBlockHead(bytes, 16, c.packed, 1000); // stream at 48
    bytes.resize(48 + c.packed + 256, 0x55);
    PutBlockHead(bytes, c.secondHeader, 40, 2000); // signature at secondHeader + 16
    bytes.resize(bytes.size() + 64, 0x55);
    const auto scan = ScanBlocks(bytes);
    EXPECT_EQ(scan.count, c.expectedCount);
    EXPECT_EQ(scan.firstHeaderOffset, 16u);
    if (c.expectedCount == 2) {
        EXPECT_EQ(scan.lastStreamOffset, c.secondHeader + 32);
        EXPECT_EQ(scan.lastPackedSize, 40u);
        EXPECT_EQ(scan.lastUnpackedSize, 2000u);
    } else {
        EXPECT_EQ(scan.lastStreamOffset, 48u);
        EXPECT_EQ(scan.lastPackedSize, c.packed);
        EXPECT_EQ(scan.lastUnpackedSize, 1000u);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, ScanSkip,
                         ::testing::Values(
                             // Stream 48..148: next header at 160, the first multiple of 16 after its end.
                             SkipCase{"NextBlockRightAfterStream", 100, 160, 2},
                             // A signature inside the stream, before its last boundary (48 + 96), is skipped.
                             SkipCase{"SignatureInsideStream", 100, 96, 1},
                             // Resuming at 48 + 96 = 144 still finds a signature at 144 (header 128),
                             // which overlaps the stream's last bytes.
                             SkipCase{"SignatureAtLastBoundary", 100, 128, 2},
                             // A stream of exactly 96 bytes: resume at 144, the next header's signature at 160.
                             SkipCase{"StreamMultipleOfSixteen", 96, 144, 2}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ScanBlocks, CountsEveryBlockOfARealContainer) {
    FixtureContainer plan;
    for (std::uint32_t k = 0; k < 5; ++k) plan.blocks.push_back({SampleText(300 + 700 * k, k)});
    plan.blocks[2].extraRoom = 40;
    const auto built = BuildIndexedContainer(plan);
    const auto scan = ScanBlocks(built.bytes);
    EXPECT_EQ(scan.count, 5u);
    EXPECT_EQ(scan.firstHeaderOffset, built.headerOffsets[0]);
    EXPECT_EQ(scan.lastStreamOffset, built.headerOffsets[4] + 32);
    EXPECT_EQ(scan.lastUnpackedSize, 300u + 700 * 4);
}

// Index records: a container with two fake blocks (headers at 64 and 128)
// and candidate records written in front of them.
struct Record {
    std::uint64_t offset;
    std::uint32_t w0, w1, w2;
};

struct IndexCase {
    const char* name;
    std::vector<Record> records;
    std::optional<std::uint64_t> recordOffset; // expected R, or no index
    std::uint64_t tableOffset;
    std::uint32_t entryCount;
};

class IndexRecords : public ::testing::TestWithParam<IndexCase> {};

TEST_P(IndexRecords, AcceptsOnlyRecordsThatFitTheScan) {
    const IndexCase& c = GetParam();
    ByteVector bytes(64, 0);
    for (const auto& r : c.records) {
        SetWord(bytes, r.offset, r.w0);     // entry count
        SetWord(bytes, r.offset + 4, r.w1); // layout word
        SetWord(bytes, r.offset + 8, r.w2); // entry 0, or 16
    }
    PutBlockHead(bytes, 64, 16, 16);
    // The first header's words read as a valid record (2, 8, ...): it must
    // not be taken, it is not ahead of the first block.
    SetWord(bytes, 64, 2);
    SetWord(bytes, 68, 8);
    bytes.resize(128, 0x55);
    PutBlockHead(bytes, 128, 16, 16);
    bytes.resize(256, 0x55);

    const auto scan = ScanBlocks(bytes);
    ASSERT_EQ(scan.count, 2u);
    ASSERT_EQ(scan.firstHeaderOffset, 64u);
    const auto index = FindBlockIndex(bytes, scan);
    if (!c.recordOffset) {
        EXPECT_FALSE(index.has_value());
        return;
    }
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(index->recordOffset, *c.recordOffset);
    EXPECT_EQ(index->tableOffset, c.tableOffset);
    EXPECT_EQ(index->entryCount, c.entryCount);
}

INSTANTIATE_TEST_SUITE_P(
    Records, IndexRecords,
    ::testing::Values(IndexCase{"CountEqualLayout8", {{0, 2, 8, 64}}, 0, 8, 2},
                      IndexCase{"CountPlusOneLayout8", {{16, 3, 8, 48}}, 16, 24, 3},
                      IndexCase{"CountEqualLayout0With16", {{32, 2, 0, 16}}, 32, 48, 2},
                      IndexCase{"CountPlusOneLayout0With16", {{0, 3, 0, 16}}, 0, 16, 3},
                      IndexCase{"Layout0Without16", {{0, 2, 0, 8}}, std::nullopt, 0, 0},
                      IndexCase{"OtherLayoutWord", {{0, 2, 4, 16}}, std::nullopt, 0, 0},
                      IndexCase{"CountPlusTwo", {{0, 4, 8, 64}}, std::nullopt, 0, 0},
                      IndexCase{"CountMinusOne", {{0, 1, 8, 64}}, std::nullopt, 0, 0},
                      IndexCase{"NearestTheStartWins", {{16, 2, 8, 48}, {32, 3, 0, 16}}, 16, 24, 2},
                      IndexCase{"FirstFittingAfterAMisfit", {{0, 5, 8, 0}, {48, 3, 8, 16}}, 48, 56, 3},
                      IndexCase{"NoneAtOrAfterTheFirstHeader", {}, std::nullopt, 0, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(LocateBlock, RefusesHeadersAndStreamsReachingPastTheEnd) {
    ByteVector bytes(200, 0x55);
    PutBlockHead(bytes, 64, 104, 1); // stream 96..200: exactly fits
    EXPECT_TRUE(LocateBlock(bytes, 64).has_value());
    SetWord(bytes, 68, 105); // one byte too long
    EXPECT_FALSE(LocateBlock(bytes, 64).has_value());
    SetWord(bytes, 68, 0xFFFFFFFF);
    EXPECT_FALSE(LocateBlock(bytes, 64).has_value());
    EXPECT_FALSE(LocateBlock(bytes, 169).has_value()); // header cut by the end
    EXPECT_FALSE(LocateBlock(bytes, ~std::uint64_t{0} - 8).has_value());
}

} // namespace
} // namespace qorlu::test
