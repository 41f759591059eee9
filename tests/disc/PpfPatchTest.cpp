// The PPF reader on files put together by hand from the format's
// description, the record writer read back by the reader, and the search
// for changed bytes against a plain byte-by-byte one.

#include "disc/PpfPatch.h"
#include "tools/AfsBuilder.h"
#include "tools/PpfBuilder.h"

#include <gtest/gtest.h>

#include <random>

namespace qorlu {
namespace {

using tools::EncodePpf;
using tools::PpfBuild;
using Bytes = std::vector<std::uint8_t>;

Bytes Block(std::uint32_t seed) { return tools::PatternBytes(1024, seed); }

struct ReadCase {
    const char* name;
    PpfBuild patch;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

PpfBuild Version(int version, bool validation, bool undo, bool diz) {
    PpfBuild p;
    p.version = version;
    p.description = "a hand-made patch";
    p.validation = validation;
    p.undo = undo;
    if (version == 2 || validation) p.block = Block(5);
    p.originalSize = 123456;
    // Three records: one byte, the longest, and one far out (beyond 4 GiB in 3.0).
    p.records = {{0x9330, {0xAA}, {0x11}},
                 {70000, tools::PatternBytes(255, 6), tools::PatternBytes(255, 7)},
                 {version == 3 ? 0x123456789AULL : 0x7FFFFFF0ULL, {1, 2, 3}, {4, 5, 6}}};
    if (diz) p.fileIdDiz = "Hand made\r\nfor the tests\r\n";
    return p;
}

class ReadsWhatTheFormatSays : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadsWhatTheFormatSays, EveryFieldAndRecord) {
    const PpfBuild& hand = GetParam().patch;
    const Bytes file = EncodePpf(hand);
    const ppf::ParseResult parsed = ppf::Parse(file);
    ASSERT_EQ(parsed.problem, ppf::Problem::None) << parsed.at;
    const ppf::Patch& p = parsed.patch;
    EXPECT_EQ(static_cast<int>(p.version), hand.version);
    EXPECT_EQ(p.description, hand.description);
    const bool hasBlock = hand.version == 2 || (hand.version == 3 && hand.validation);
    EXPECT_EQ(Bytes(p.validation.begin(), p.validation.end()), hasBlock ? hand.block : Bytes());
    EXPECT_EQ(p.originalSize.has_value(), hand.version == 2);
    if (hand.version == 2) {
        EXPECT_EQ(*p.originalSize, hand.originalSize);
    }
    EXPECT_EQ(p.hasUndo, hand.version == 3 && hand.undo);
    EXPECT_EQ(p.fileIdDiz, hand.fileIdDiz);
    ASSERT_EQ(p.records.size(), hand.records.size());
    for (std::size_t k = 0; k < p.records.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(p.records[k].offset, hand.records[k].offset);
        EXPECT_EQ(Bytes(p.records[k].newBytes.begin(), p.records[k].newBytes.end()), hand.records[k].newBytes);
        EXPECT_EQ(Bytes(p.records[k].oldBytes.begin(), p.records[k].oldBytes.end()),
                  p.hasUndo ? hand.records[k].oldBytes : Bytes());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ReadsWhatTheFormatSays,
    ::testing::Values(ReadCase{"Ppf1", Version(1, false, false, false)},
                      ReadCase{"Ppf2", Version(2, true, false, false)},
                      ReadCase{"Ppf2WithFileIdDiz", Version(2, true, false, true)},
                      ReadCase{"Ppf3", Version(3, false, false, false)},
                      ReadCase{"Ppf3Validation", Version(3, true, false, false)},
                      ReadCase{"Ppf3Undo", Version(3, false, true, false)},
                      ReadCase{"Ppf3ValidationUndo", Version(3, true, true, false)},
                      ReadCase{"Ppf3FileIdDiz", Version(3, false, false, true)},
                      ReadCase{"Ppf3ValidationFileIdDiz", Version(3, true, false, true)},
                      ReadCase{"Ppf3UndoFileIdDiz", Version(3, false, true, true)},
                      ReadCase{"Ppf3ValidationUndoFileIdDiz", Version(3, true, true, true)}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PpfRead, NoRecordsAndAnEmptyFileIdDizAreAPatchToo) {
    PpfBuild p = Version(3, true, true, false);
    p.records.clear();
    p.fileIdDiz = "";
    const Bytes file = EncodePpf(p);
    const auto parsed = ppf::Parse(file);
    ASSERT_EQ(parsed.problem, ppf::Problem::None);
    EXPECT_TRUE(parsed.patch.records.empty());
    EXPECT_EQ(parsed.patch.fileIdDiz, std::string());
}

TEST(PpfRead, AFileIdDizWhoseLengthIsWrongIsFoundByItsMarkers) {
    PpfBuild p = Version(2, true, false, true);
    Bytes file = EncodePpf(p);
    file[file.size() - 4] ^= 0x40; // the 4-byte length, off by 64
    const auto parsed = ppf::Parse(file);
    ASSERT_EQ(parsed.problem, ppf::Problem::None);
    EXPECT_EQ(parsed.patch.fileIdDiz, p.fileIdDiz);
    EXPECT_EQ(parsed.patch.records.size(), 3u);
}

struct DamageCase {
    const char* name;
    PpfBuild patch;
    void (*damage)(Bytes&);
    ppf::Problem problem;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class RefusesADamagedPatch : public ::testing::TestWithParam<DamageCase> {};

TEST_P(RefusesADamagedPatch, WithWhatIsWrong) {
    Bytes file = EncodePpf(GetParam().patch);
    GetParam().damage(file);
    const auto parsed = ppf::Parse(file);
    EXPECT_EQ(parsed.problem, GetParam().problem) << "at " << parsed.at;
    EXPECT_TRUE(parsed.patch.records.empty());
}

INSTANTIATE_TEST_SUITE_P(
    OneField, RefusesADamagedPatch,
    ::testing::Values(
        DamageCase{"OtherMagic", Version(3, true, false, false), [](Bytes& f) { f[3] = '4'; }, ppf::Problem::NotPpf},
        DamageCase{"LowerCaseMagic", Version(1, false, false, false), [](Bytes& f) { f[0] = 'p'; },
                   ppf::Problem::NotPpf},
        DamageCase{"FourBytes", Version(1, false, false, false), [](Bytes& f) { f.resize(4); },
                   ppf::Problem::NotPpf},
        DamageCase{"MagicOnly", Version(3, true, false, false), [](Bytes& f) { f.resize(5); },
                   ppf::Problem::CutShort},
        DamageCase{"MethodOfAnotherVersion", Version(2, true, false, false), [](Bytes& f) { f[5] = 2; },
                   ppf::Problem::DamagedHeader},
        DamageCase{"ImageTypeGi", Version(3, true, false, false), [](Bytes& f) { f[56] = 1; },
                   ppf::Problem::UnknownImageType},
        DamageCase{"HeaderCutShort", Version(1, false, false, false), [](Bytes& f) { f.resize(55); },
                   ppf::Problem::CutShort},
        DamageCase{"ValidationBlockCutShort", Version(3, true, false, false), [](Bytes& f) { f.resize(60 + 1000); },
                   ppf::Problem::CutShort},
        DamageCase{"Ppf2SizeCutShort", Version(2, true, false, false), [](Bytes& f) { f.resize(58); },
                   ppf::Problem::CutShort},
        DamageCase{"LastRecordLosesAByte", Version(3, true, false, false), [](Bytes& f) { f.pop_back(); },
                   ppf::Problem::CutShort},
        DamageCase{"LastRecordLosesItsUndoByte", Version(3, false, true, false), [](Bytes& f) { f.pop_back(); },
                   ppf::Problem::CutShort},
        DamageCase{"Ppf1RecordLosesAByte", Version(1, false, false, false), [](Bytes& f) { f.pop_back(); },
                   ppf::Problem::CutShort},
        DamageCase{"LengthByteLargerThanTheRest", Version(2, true, false, false),
                   [](Bytes& f) { f[f.size() - 4] = 200; }, ppf::Problem::CutShort},
        DamageCase{"FileIdDizLosesItsLength", Version(3, true, false, true), [](Bytes& f) { f.resize(f.size() - 2); },
                   ppf::Problem::DamagedTrailer},
        DamageCase{"FileIdDizLosesItsEnd", Version(2, true, false, true), [](Bytes& f) { f.resize(f.size() - 12); },
                   ppf::Problem::DamagedTrailer},
        DamageCase{"FileIdDizLosesItsBeginning", Version(3, false, false, true),
                   [](Bytes& f) {
                       const std::string begin = "@BEGIN_FILE_ID.DIZ";
                       const auto at = std::search(f.begin(), f.end(), begin.begin(), begin.end());
                       *at = '#';
                   },
                   ppf::Problem::DamagedTrailer}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PpfRead, EveryCutOfTheRecordsIsFoundExceptAtARecordsEnd) {
    // Cut at each length from the first record's start: only the lengths at
    // which a whole record ends make a (shorter) patch.
    const PpfBuild hand = Version(3, true, true, false);
    const Bytes file = EncodePpf(hand);
    std::vector<std::size_t> ends = {1084};
    for (const auto& r : hand.records) ends.push_back(ends.back() + 9 + 2 * r.newBytes.size());
    ASSERT_EQ(ends.back(), file.size());
    for (std::size_t n = 1084; n < file.size(); ++n) {
        const auto parsed = ppf::Parse(std::span<const std::uint8_t>(file).first(n));
        const auto whole = std::find(ends.begin(), ends.end(), n);
        if (whole != ends.end()) {
            EXPECT_EQ(parsed.problem, ppf::Problem::None) << n;
            EXPECT_EQ(parsed.patch.records.size(), static_cast<std::size_t>(whole - ends.begin())) << n;
        } else {
            EXPECT_EQ(parsed.problem, ppf::Problem::CutShort) << n;
        }
    }
}

// Changes handed to the writer, as (offset, count) of bytes from a pattern.
struct Change {
    std::uint64_t offset;
    std::size_t count;
};

struct WriterCase {
    const char* name;
    std::vector<Change> changes;
    std::vector<std::pair<std::uint64_t, std::size_t>> records; // what the reader finds
};

void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.name; }

class WrittenRecords : public ::testing::TestWithParam<WriterCase> {};

TEST_P(WrittenRecords, ReadBackAsTheChangesSplitAt255) {
    for (const bool undo : {false, true}) {
        SCOPED_TRACE(undo ? "with undo data" : "without undo data");
        Bytes file = ppf::Ppf3Header("writer", undo);
        const Bytes block = Block(3);
        file.insert(file.end(), block.begin(), block.end());
        int pieces = 0;
        ppf::RecordWriter writer(undo, [&](std::span<const std::uint8_t> bytes) {
            file.insert(file.end(), bytes.begin(), bytes.end());
            ++pieces;
            return true;
        });
        // New byte at image position o: o * 7 + 1; old byte: o * 3.
        std::size_t total = 0;
        for (const Change& c : GetParam().changes) {
            Bytes now(c.count), old(c.count);
            for (std::size_t i = 0; i < c.count; ++i) {
                now[i] = static_cast<std::uint8_t>((c.offset + i) * 7 + 1);
                old[i] = static_cast<std::uint8_t>((c.offset + i) * 3);
            }
            ASSERT_TRUE(writer.Changed(c.offset, now.data(), old.data(), c.count));
            total += c.count;
        }
        ASSERT_TRUE(writer.Finish());
        EXPECT_EQ(writer.ChangedBytes(), total);
        EXPECT_EQ(writer.Records(), GetParam().records.size());

        const auto parsed = ppf::Parse(file);
        ASSERT_EQ(parsed.problem, ppf::Problem::None);
        EXPECT_EQ(parsed.patch.description, "writer");
        EXPECT_EQ(parsed.patch.hasUndo, undo);
        EXPECT_EQ(Bytes(parsed.patch.validation.begin(), parsed.patch.validation.end()), block);
        ASSERT_EQ(parsed.patch.records.size(), GetParam().records.size());
        for (std::size_t k = 0; k < parsed.patch.records.size(); ++k) {
            const ppf::Record& r = parsed.patch.records[k];
            EXPECT_EQ(r.offset, GetParam().records[k].first) << k;
            ASSERT_EQ(r.newBytes.size(), GetParam().records[k].second) << k;
            ASSERT_EQ(r.oldBytes.size(), undo ? r.newBytes.size() : 0u) << k;
            for (std::size_t i = 0; i < r.newBytes.size(); ++i) {
                EXPECT_EQ(r.newBytes[i], static_cast<std::uint8_t>((r.offset + i) * 7 + 1));
                if (undo) {
                    EXPECT_EQ(r.oldBytes[i], static_cast<std::uint8_t>((r.offset + i) * 3));
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, WrittenRecords,
    ::testing::Values(
        WriterCase{"Nothing", {}, {}},
        WriterCase{"OneByte", {{100, 1}}, {{100, 1}}},
        WriterCase{"Exactly255", {{0, 255}}, {{0, 255}}},
        WriterCase{"256SplitInTwo", {{10, 256}}, {{10, 255}, {265, 1}}},
        WriterCase{"LongRunSplitEvery255", {{1000, 700}}, {{1000, 255}, {1255, 255}, {1510, 190}}},
        WriterCase{"AdjoiningChangesMakeOneRecord", {{50, 10}, {60, 5}, {65, 1}}, {{50, 16}}},
        WriterCase{"AdjoiningChangesAcross255", {{0, 200}, {200, 100}}, {{0, 255}, {255, 45}}},
        WriterCase{"AGapStartsANewRecord", {{50, 10}, {61, 5}}, {{50, 10}, {61, 5}}},
        WriterCase{"BeyondFourGibibytes", {{0x1'0000'0000ULL - 2, 4}}, {{0x1'0000'0000ULL - 2, 4}}},
        WriterCase{"ManyRecordsPastOneOutputPiece",
                   [] {
                       std::vector<Change> c;
                       for (std::uint64_t k = 0; k < 5000; ++k) c.push_back({k * 1000, 255});
                       return c;
                   }(),
                   [] {
                       std::vector<std::pair<std::uint64_t, std::size_t>> r;
                       for (std::uint64_t k = 0; k < 5000; ++k) r.emplace_back(k * 1000, 255);
                       return r;
                   }()}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PpfWrite, TheHeaderIsTheFormatsAndTheDescriptionPadded) {
    const Bytes header = ppf::Ppf3Header("Mod 1.0", true);
    ASSERT_EQ(header.size(), 60u);
    EXPECT_EQ(std::string(header.begin(), header.begin() + 5), "PPF30");
    EXPECT_EQ(header[5], 2);
    EXPECT_EQ(std::string(header.begin() + 6, header.begin() + 56), "Mod 1.0" + std::string(43, ' '));
    EXPECT_EQ((Bytes{header[56], header[57], header[58], header[59]}), (Bytes{0, 1, 1, 0}));
    EXPECT_EQ(ppf::Ppf3Header("", false)[58], 0);
}

TEST(PpfWrite, AFailedOutputStopsTheWriter) {
    ppf::RecordWriter writer(false, [](std::span<const std::uint8_t>) { return false; });
    const Bytes bytes(255, 1);
    // More records than the first output piece holds: the writer says so
    // as soon as that piece is refused.
    std::uint64_t k = 0;
    while (k < 5000 && writer.Changed(k * 1000, bytes.data(), bytes.data(), 255)) ++k;
    EXPECT_LT(k, 5000u);
    EXPECT_GT(k, 1000u) << "pieces of about 1 MiB";
    EXPECT_FALSE(writer.Finish());
}

// Every run of differing bytes, found a byte at a time.
std::vector<std::pair<std::size_t, std::size_t>> RunsByBytes(const Bytes& a, const Bytes& b) {
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == i) ++runs.back().second;
        else runs.emplace_back(i, 1);
    }
    return runs;
}

TEST(PpfDiff, FindsTheSameRunsAsAByteByByteComparison) {
    std::mt19937 random(7);
    // Lengths around the word and block sizes; differences at the edges,
    // in clusters and alone.
    for (const std::size_t n : {0u, 1u, 7u, 8u, 9u, 1023u, 1024u, 1025u, 5000u, 65536u}) {
        for (int round = 0; round < 6; ++round) {
            Bytes a = tools::PatternBytes(n, static_cast<std::uint32_t>(n + round));
            Bytes b = a;
            if (n > 0) {
                const int changes = round * 7;
                for (int c = 0; c < changes; ++c) {
                    const std::size_t at = random() % n;
                    const std::size_t len = 1 + random() % 40;
                    for (std::size_t i = at; i < std::min(n, at + len); ++i) b[i] ^= static_cast<std::uint8_t>(1 + random() % 255);
                }
                if (round == 1) b[0] ^= 1;
                if (round == 2) b[n - 1] ^= 1;
                if (round == 5) {
                    a.assign(n, 1);
                    b.assign(n, 0);
                }
            }
            std::vector<std::pair<std::size_t, std::size_t>> found;
            ppf::ForEachDifference(a.data(), b.data(), n, [&](std::size_t s, std::size_t c) { found.emplace_back(s, c); });
            EXPECT_EQ(found, RunsByBytes(a, b)) << "n " << n << " round " << round;
        }
    }
}

} // namespace
} // namespace qorlu
