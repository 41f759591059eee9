// The checked reader: every read inside the bytes gives the little-endian
// value, every read that reaches past the end (also through an offset that
// would wrap around) gives nothing.

#include "format/ByteReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace qorlu {
namespace {

const std::vector<std::uint8_t> kBytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};

TEST(ByteReader, ReadsInsideAndNothingPastTheEnd) {
    const CByteReader r(kBytes);
    struct Row {
        std::uint64_t at;
        std::optional<std::uint16_t> le16;
        std::optional<std::uint32_t> le32;
        std::optional<std::uint64_t> le64;
    };
    const Row rows[] = {
        {0, 0x0201, 0x04030201, 0x0807060504030201},
        {1, 0x0302, 0x05040302, 0x0908070605040302},
        {2, 0x0403, 0x06050403, std::nullopt},
        {5, 0x0706, 0x09080706, std::nullopt},
        {6, 0x0807, std::nullopt, std::nullopt},
        {7, 0x0908, std::nullopt, std::nullopt},
        {8, std::nullopt, std::nullopt, std::nullopt},
        {9, std::nullopt, std::nullopt, std::nullopt},
        {UINT64_MAX - 1, std::nullopt, std::nullopt, std::nullopt},
        {UINT64_MAX, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("at " + std::to_string(row.at));
        EXPECT_EQ(r.LE16(row.at), row.le16);
        EXPECT_EQ(r.LE32(row.at), row.le32);
        EXPECT_EQ(r.LE64(row.at), row.le64);
        EXPECT_EQ(r.U8(row.at).has_value(), row.at < kBytes.size());
    }
}

TEST(ByteReader, TellsWhichRangesLieInside) {
    const CByteReader r(kBytes);
    struct Row {
        std::uint64_t at, count;
        bool inside;
    };
    const Row rows[] = {
        {0, 0, true},  {0, 9, true},   {9, 0, true},           {8, 1, true},           {0, 10, false},
        {9, 1, false}, {10, 0, false}, {1, UINT64_MAX, false}, {UINT64_MAX, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.at) + " + " + std::to_string(row.count));
        EXPECT_EQ(r.Has(row.at, row.count), row.inside);
        const auto bytes = r.Bytes(row.at, row.count);
        ASSERT_EQ(bytes.has_value(), row.inside);
        if (bytes && row.count > 0) {
            EXPECT_EQ(bytes->size(), row.count);
            EXPECT_EQ((*bytes)[0], kBytes[row.at]);
        }
    }
    EXPECT_FALSE(CByteReader({}).LE16(0));
    EXPECT_TRUE(CByteReader({}).Has(0, 0));
}

} // namespace
} // namespace qorlu
