// The sector encoder checked against the code's definition rather than
// against itself: every P and Q codeword of an encoded sector has zero
// syndromes, computed here with a shift-and-add field multiply over 16-bit
// words, and the EDC is recomputed one bit at a time from the polynomial.
// Each way of computing them that the processor has is judged so.

#include "disc/SectorChecksum.h"
#include "tools/RawSectorWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>
#include <tuple>
#include <random>
#include <vector>

namespace qorlu {
namespace {

using Sector = std::array<std::uint8_t, 2352>;

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x^2 + 1, bit by bit.
std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
    unsigned product = 0;
    unsigned x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1u << bit)) product ^= x;
        x <<= 1;
        if (x & 0x100u) x ^= 0x11Du;
    }
    return static_cast<std::uint8_t>(product);
}

// The syndromes of a codeword v0..v(n-1): sum(v_j) and sum(v_j * alpha^(n-1-j)).
std::pair<std::uint8_t, std::uint8_t> Syndromes(const std::vector<std::uint8_t>& v) {
    std::uint8_t s0 = 0;
    std::uint8_t s1 = 0;
    for (std::size_t j = 0; j < v.size(); ++j) {
        std::uint8_t power = 1;
        for (std::size_t k = 0; k + 1 + j < v.size(); ++k) power = GfMul(power, 2);
        s0 ^= v[j];
        s1 ^= GfMul(v[j], power);
    }
    return {s0, s1};
}

// Byte `plane` (0: first, 1: second) of 16-bit word `n` of bytes 12..2351,
// with the address bytes read as zero.
std::uint8_t WordByte(const Sector& s, std::size_t n, int plane) {
    const std::size_t at = 12 + 2 * n + static_cast<std::size_t>(plane);
    return at < 16 ? 0 : s[at];
}

// Every P codeword (43 per plane: words 43*m + k, m = 0..25) and every Q
// codeword (26 per plane: words (44*m + 43*k) mod 1118 for m = 0..42, then
// words 1118 + k and 1144 + k) has zero syndromes.
void ExpectZeroSyndromes(const Sector& s) {
    for (int plane = 0; plane < 2; ++plane) {
        for (std::size_t k = 0; k < 43; ++k) {
            std::vector<std::uint8_t> v;
            for (std::size_t m = 0; m < 26; ++m) v.push_back(WordByte(s, 43 * m + k, plane));
            const auto [s0, s1] = Syndromes(v);
            ASSERT_EQ(s0 | s1, 0) << "P codeword " << k << " plane " << plane;
        }
        for (std::size_t k = 0; k < 26; ++k) {
            std::vector<std::uint8_t> v;
            for (std::size_t m = 0; m < 43; ++m) v.push_back(WordByte(s, (44 * m + 43 * k) % 1118, plane));
            v.push_back(WordByte(s, 1118 + k, plane));
            v.push_back(WordByte(s, 1144 + k, plane));
            const auto [s0, s1] = Syndromes(v);
            ASSERT_EQ(s0 | s1, 0) << "Q codeword " << k << " plane " << plane;
        }
    }
}

// The EDC, one message bit at a time, least significant bit of each byte
// first, dividing by x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1.
std::uint32_t BitwiseEdc(const std::uint8_t* p, std::size_t n) {
    std::uint32_t reflected = 0;
    for (int e : {0, 1, 3, 4, 15, 16, 31}) reflected |= 1u << (31 - e); // x^32 is the carry out
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool in = ((p[i] >> bit) & 1u) != 0;
            const bool out = (crc & 1u) != 0;
            crc >>= 1;
            if (in != out) crc ^= reflected;
        }
    }
    return crc;
}

Sector EncodedSector(unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> user(2048);
    for (auto& b : user) b = static_cast<std::uint8_t>(random());
    if (seed == 0) std::fill(user.begin(), user.end(), 0);
    if (seed == 1) std::fill(user.begin(), user.end(), 0xFF);
    Sector s{};
    tools::WriteRawSector(seed * 977, user, s.data());
    return s;
}

// Every way of computing the checksums that this processor has, each
// against the definitions above.
std::vector<sector::Engines> AvailableEngines() {
    std::vector<sector::Engines> all;
    for (auto parity : {sector::ParityEngine::Words64, sector::ParityEngine::Ssse3, sector::ParityEngine::Avx2Pairs})
        for (auto edc : {sector::EdcEngine::Table, sector::EdcEngine::CarryLess})
            if (sector::Available(parity) && sector::Available(edc)) all.push_back({parity, edc});
    return all;
}

std::string EngineLabel(const sector::Engines& e) {
    std::string label = std::string(sector::NameOf(e.parity)) + "_" + sector::NameOf(e.edc);
    for (char& c : label)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return label;
}

// Uses one set of engines for a test's life, then the best again.
class EngineScope {
public:
    explicit EngineScope(const sector::Engines& e) {
        EXPECT_TRUE(sector::UseEngines(e));
        EXPECT_EQ(sector::CurrentEngines().parity, e.parity);
        EXPECT_EQ(sector::CurrentEngines().edc, e.edc);
    }
    ~EngineScope() { sector::UseEngines(sector::BestEngines()); }
    EngineScope(const EngineScope&) = delete;
    EngineScope& operator=(const EngineScope&) = delete;
};

using EngineAndSeed = std::tuple<sector::Engines, unsigned>;

class EncodedSectors : public ::testing::TestWithParam<EngineAndSeed> {};

TEST_P(EncodedSectors, HaveZeroSyndromesAndTheBitwiseEdc) {
    const EngineScope engines(std::get<0>(GetParam()));
    const Sector s = EncodedSector(std::get<1>(GetParam()));
    ExpectZeroSyndromes(s);
    const std::uint32_t stored = s[2072] | s[2073] << 8 | s[2074] << 16 | std::uint32_t{s[2075]} << 24;
    EXPECT_EQ(stored, BitwiseEdc(s.data() + 16, 2056));
    EXPECT_EQ(sector::Edc({s.data() + 16, 2056}), stored);
    EXPECT_EQ(sector::Classify(s.data()), sector::Kind::Form1Valid);
}

TEST_P(EncodedSectors, ReencodingAfterAnEditMatchesTheDefinitionAgain) {
    const EngineScope engines(std::get<0>(GetParam()));
    Sector s = EncodedSector(std::get<1>(GetParam()));
    const Sector before = s;
    for (std::size_t i = 24; i < 2072; i += 97) s[i] = static_cast<std::uint8_t>(s[i] + 1 + i);
    sector::EncodeForm1(s.data());
    ExpectZeroSyndromes(s);
    EXPECT_EQ(s[2072] | s[2073] << 8 | s[2074] << 16 | std::uint32_t{s[2075]} << 24, BitwiseEdc(s.data() + 16, 2056));
    EXPECT_TRUE(std::equal(s.begin(), s.begin() + 24, before.begin())) << "header and subheader stay";
}

// The encoder writes bytes 2072..2351 and nothing else, whatever was there.
TEST_P(EncodedSectors, EncodingWritesOnlyTheTrailer) {
    const EngineScope engines(std::get<0>(GetParam()));
    std::vector<std::uint8_t> buffer(3 * 2352, 0xA5);
    std::uint8_t* s = buffer.data() + 2352;
    const Sector source = EncodedSector(std::get<1>(GetParam()));
    std::copy(source.begin(), source.begin() + 2072, s);
    const std::vector<std::uint8_t> before = buffer;
    sector::EncodeForm1(s);
    EXPECT_TRUE(std::equal(s + 2072, s + 2352, source.begin() + 2072));
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 2352 + 2072, before.begin()));
    EXPECT_TRUE(std::equal(buffer.begin() + 2 * 2352, buffer.end(), before.begin() + 2 * 2352));
}

INSTANTIATE_TEST_SUITE_P(Seeds, EncodedSectors,
                         ::testing::Combine(::testing::ValuesIn(AvailableEngines()),
                                            ::testing::Values(0u, 1u, 2u, 3u, 1234u)),
                         [](const auto& p) {
                             return EngineLabel(std::get<0>(p.param)) + "_Seed" + std::to_string(std::get<1>(p.param));
                         });

class EdcEngines : public ::testing::TestWithParam<sector::Engines> {};

TEST_P(EdcEngines, EveryLengthMatchesTheBitwiseDivision) {
    const EngineScope engines(GetParam());
    std::mt19937 random(99);
    std::vector<std::uint8_t> bytes(2100);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    for (std::size_t n :
         {0, 1, 7, 8, 9, 15, 16, 17, 40, 63, 64, 65, 79, 80, 127, 128, 129, 200, 2055, 2056, 2057, 2100})
        EXPECT_EQ(sector::Edc({bytes.data(), n}), BitwiseEdc(bytes.data(), n)) << n << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Engines, EdcEngines, ::testing::ValuesIn(AvailableEngines()),
                         [](const auto& p) { return EngineLabel(p.param); });

TEST(SectorEdc, UnevenLengthsMatchTheBitwiseDivision) {
    std::vector<std::uint8_t> bytes(40);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    for (std::size_t n : {0, 1, 7, 8, 9, 15, 16, 17, 40})
        EXPECT_EQ(sector::Edc({bytes.data(), n}), BitwiseEdc(bytes.data(), n)) << n << " bytes";
}

struct KindCase {
    const char* name;
    void (*damage)(Sector&);
    sector::Kind kind;
};

const KindCase kKindCases[] = {
    {"Untouched", [](Sector&) {}, sector::Kind::Form1Valid},
    {"AnotherAddress", [](Sector& s) { s[14] ^= 0x11; }, sector::Kind::Form1Valid},
    {"UserByteFlipped", [](Sector& s) { s[1000] ^= 0x01; }, sector::Kind::Form1Wrong},
    {"EdcByteFlipped", [](Sector& s) { s[2074] ^= 0x80; }, sector::Kind::Form1Wrong},
    {"PByteFlipped", [](Sector& s) { s[2100] ^= 0x04; }, sector::Kind::Form1Wrong},
    {"LastQByteFlipped", [](Sector& s) { s[2351] ^= 0x40; }, sector::Kind::Form1Wrong},
    {"SubheaderFlippedInBothCopies",
     [](Sector& s) {
         s[16] ^= 1;
         s[20] ^= 1;
     },
     sector::Kind::Form1Wrong},
    {"TrailerAllZero", [](Sector& s) { std::fill(s.begin() + 2072, s.end(), 0); }, sector::Kind::Form1Unchecked},
    {"Form2",
     [](Sector& s) {
         s[18] |= 0x20;
         s[22] |= 0x20;
     },
     sector::Kind::Form2},
    {"SubheaderCopiesDiffer", [](Sector& s) { s[17] ^= 1; }, sector::Kind::Other},
    {"Mode1", [](Sector& s) { s[15] = 1; }, sector::Kind::Other},
    {"SyncBroken", [](Sector& s) { s[11] = 0xFF; }, sector::Kind::Other},
};

class SectorKinds : public ::testing::TestWithParam<std::tuple<sector::Engines, KindCase>> {};

TEST_P(SectorKinds, ClassifyTellsThemApart) {
    const EngineScope engines(std::get<0>(GetParam()));
    const KindCase& c = std::get<1>(GetParam());
    Sector s = EncodedSector(7);
    c.damage(s);
    EXPECT_EQ(sector::Classify(s.data()), c.kind);
}

// In a run, each sector is told apart as on its own, whichever sectors it
// is checked together with: the damaged one at every place of a run of
// valid ones, and among wrong ones.
TEST_P(SectorKinds, ClassifyManyTellsEachSectorOfARunApart) {
    const EngineScope engines(std::get<0>(GetParam()));
    const KindCase& c = std::get<1>(GetParam());
    constexpr std::size_t kRun = 5;
    for (std::size_t at = 0; at < kRun; ++at) {
        for (const bool othersWrong : {false, true}) {
            std::vector<std::uint8_t> run(kRun * 2352);
            std::vector<sector::Kind> expected(kRun, othersWrong ? sector::Kind::Form1Wrong : sector::Kind::Form1Valid);
            expected[at] = c.kind;
            for (std::size_t i = 0; i < kRun; ++i) {
                Sector s = EncodedSector(20 + static_cast<unsigned>(i));
                if (i == at)
                    c.damage(s);
                else if (othersWrong)
                    s[500 + i] ^= 0x10;
                std::copy(s.begin(), s.end(), run.begin() + static_cast<std::ptrdiff_t>(i * 2352));
            }
            std::vector<sector::Kind> kinds(kRun, sector::Kind::Other);
            sector::ClassifyMany(run.data(), kRun, kinds.data());
            EXPECT_EQ(kinds, expected) << "damaged sector " << at << (othersWrong ? ", the others wrong" : "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Damage, SectorKinds,
                         ::testing::Combine(::testing::ValuesIn(AvailableEngines()), ::testing::ValuesIn(kKindCases)),
                         [](const auto& p) {
                             return EngineLabel(std::get<0>(p.param)) + "_" + std::get<1>(p.param).name;
                         });

// A change of any one byte that the checksums cover is seen, in every row
// and plane of both codes, by every engine, in either sector of a pair.
TEST(SectorDamage, EveryCoveredByteCounts) {
    for (const auto& e : AvailableEngines()) {
        const EngineScope engines(e);
        const Sector good = EncodedSector(11);
        std::vector<std::uint8_t> run(2 * 2352);
        std::copy(good.begin(), good.end(), run.begin());
        std::copy(good.begin(), good.end(), run.begin() + 2352);
        int misses = 0;
        for (std::size_t at = 24; at < 2352; ++at) { // the subheader's copies must agree to be Form 1
            for (std::size_t which = 0; which < 2; ++which) {
                std::uint8_t* s = run.data() + which * 2352;
                s[at] ^= 0x5A;
                sector::Kind kinds[2];
                sector::ClassifyMany(run.data(), 2, kinds);
                if (kinds[which] != sector::Kind::Form1Wrong || kinds[1 - which] != sector::Kind::Form1Valid)
                    ADD_FAILURE() << EngineLabel(e) << ": byte " << at << " of sector " << which << " (" << ++misses
                                  << ")";
                s[at] ^= 0x5A;
                if (misses > 5) return;
            }
        }
    }
}

} // namespace
} // namespace qorlu
