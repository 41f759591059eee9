#include "disc/SectorChecksum.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qorlu::sector {

namespace {

// Bytes 12..2351 as the parity sees them: 2064 bytes covered by P
// (header, subheader, user data, EDC), then P (172), then Q (104).
constexpr std::size_t kCodedSize = kRawSize - 12;
constexpr std::size_t kPData = 2064;
constexpr std::size_t kPColumns = 86; // P codeword c: bytes c, c + 86, ... (24 of them)
constexpr std::size_t kPRows = 24;
constexpr std::size_t kQCodewords = 52;
constexpr std::size_t kQLength = 43;
constexpr std::size_t kQData = kPData + 2 * kPColumns; // 2236 bytes covered by Q

// Reflected form of the EDC polynomial 0x8001801B.
constexpr std::uint32_t kEdcPolynomial = 0xD8018001u;

struct EdcTables {
    // Slicing by eight: slice[k][b] is the CRC of byte b followed by k zero bytes.
    std::array<std::array<std::uint32_t, 256>, 8> slice{};
    EdcTables() {
        for (std::uint32_t b = 0; b < 256; ++b) {
            std::uint32_t v = b;
            for (int bit = 0; bit < 8; ++bit) v = (v & 1u) ? (v >> 1) ^ kEdcPolynomial : v >> 1;
            slice[0][b] = v;
        }
        for (std::size_t k = 1; k < 8; ++k)
            for (std::size_t b = 0; b < 256; ++b)
                slice[k][b] = (slice[k - 1][b] >> 8) ^ slice[0][slice[k - 1][b] & 0xFFu];
    }
};

const EdcTables& Crc() {
    static const EdcTables tables;
    return tables;
}

std::uint32_t Load32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1 and the
// primitive element alpha = x (0x02).
struct ParityTables {
    std::array<std::uint8_t, 256> timesAlpha{};
    // x / (1 + alpha): solves the two parity equations of a codeword.
    std::array<std::uint8_t, 256> overOnePlusAlpha{};
    ParityTables() {
        for (unsigned x = 0; x < 256; ++x) {
            const unsigned doubled = (x << 1) ^ ((x & 0x80u) ? 0x11Du : 0u);
            timesAlpha[x] = static_cast<std::uint8_t>(doubled);
            overOnePlusAlpha[x ^ doubled] = static_cast<std::uint8_t>(x);
        }
    }
};

const ParityTables& Gf() {
    static const ParityTables tables;
    return tables;
}

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Eight field elements at once, one per byte: each times alpha. Every step
// works byte by byte, so the order in which the bytes sit in the word does
// not matter.
std::uint64_t TimesAlpha8(std::uint64_t x) {
    const std::uint64_t carries = (x >> 7) & 0x0101010101010101ull;
    return ((x & 0x7F7F7F7F7F7F7F7Full) << 1) ^ (carries * 0x1D);
}

// Horner's rule over `rows` vectors of `lanes` bytes (read 8 at a time):
// a = sum(row_j * alpha^(rows-j)), b = sum(row_j), byte by byte.
template <std::size_t Words>
void Accumulate(const std::uint8_t* row, std::array<std::uint64_t, Words>& a, std::array<std::uint64_t, Words>& b) {
    for (std::size_t w = 0; w < Words; ++w) {
        const std::uint64_t v = Load64(row + 8 * w);
        a[w] = TimesAlpha8(a[w] ^ v);
        b[w] ^= v;
    }
}

// The two parity bytes of each of `count` codewords whose sums are in `a`
// and `b`: p0 at parity[k], p1 at parity[count + k]. For a codeword
// d0..d(n-3) p0 p1 both sum(all) and sum(v_j * alpha^(n-1-j)) are zero.
template <std::size_t Words>
void Solve(const std::array<std::uint64_t, Words>& a, const std::array<std::uint64_t, Words>& b, std::size_t count,
           std::uint8_t* parity) {
    const ParityTables& gf = Gf();
    std::uint8_t as[8 * Words];
    std::uint8_t bs[8 * Words];
    std::memcpy(as, a.data(), sizeof as);
    std::memcpy(bs, b.data(), sizeof bs);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t p0 = gf.overOnePlusAlpha[gf.timesAlpha[as[k]] ^ bs[k]];
        parity[k] = p0;
        parity[count + k] = static_cast<std::uint8_t>(p0 ^ bs[k]);
    }
}

// Fills coded[2064..2339] with P and Q of coded[0..2063]. As 16-bit words
// (two bytes, one per plane) the coded area is a matrix of 26 rows of 43:
// P codeword k of a plane is column k (rows 0..23 data, 24..25 parity), Q
// codeword d takes word (d + i) mod 26 of column i at its position i.
void ComputeParity(std::uint8_t* coded) {
    // Row r of P codewords is the 86 bytes from 86r; read as 11 words, the
    // last two bytes belong to the next row and are not used.
    std::array<std::uint64_t, 11> pa{};
    std::array<std::uint64_t, 11> pb{};
    for (std::size_t row = 0; row < kPRows; ++row) Accumulate(coded + row * kPColumns, pa, pb);
    Solve(pa, pb, kPColumns, coded + kPData);

    std::array<std::uint64_t, 7> qa{};
    std::array<std::uint64_t, 7> qb{};
    std::uint8_t position[56] = {};
    for (std::size_t i = 0; i < kQLength; ++i) {
        std::size_t row = i % 26; // row of codeword d = 0, then one row down per codeword
        for (std::size_t d = 0; d < kQCodewords / 2; ++d) {
            const std::uint8_t* word = coded + 2 * (43 * row + i);
            position[2 * d] = word[0];
            position[2 * d + 1] = word[1];
            if (++row == 26) row = 0;
        }
        Accumulate(position, qa, qb);
    }
    Solve(qa, qb, kQCodewords, coded + kQData);
}

// The coded area of `raw` with its address bytes zero and its parity recomputed.
std::array<std::uint8_t, kCodedSize> Recoded(const std::uint8_t* raw) {
    std::array<std::uint8_t, kCodedSize> coded{};
    std::memcpy(coded.data() + 4, raw + 16, kPData - 4);
    ComputeParity(coded.data());
    return coded;
}

constexpr std::uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

bool SubheaderCopiesAgree(const std::uint8_t* raw) { return std::memcmp(raw + 16, raw + 20, 4) == 0; }

} // namespace

std::uint32_t Edc(std::span<const std::uint8_t> bytes) {
    const auto& t = Crc().slice;
    std::uint32_t crc = 0;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; n -= 8, p += 8) {
        const std::uint32_t lo = crc ^ Load32(p);
        const std::uint32_t hi = Load32(p + 4);
        crc = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
    }
    for (; n > 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFFu];
    return crc;
}

bool HasSync(const std::uint8_t* raw) { return std::memcmp(raw, kSync, sizeof kSync) == 0; }

bool IsMode2Form1(const std::uint8_t* raw) {
    return HasSync(raw) && raw[kModeOffset] == 2 && SubheaderCopiesAgree(raw) && (raw[18] & kSubmodeForm2) == 0;
}

bool EdcMatches(const std::uint8_t* raw) {
    return Load32(raw + kEdcOffset) == Edc({raw + 16, kEdcOffset - 16});
}

bool EccMatches(const std::uint8_t* raw) {
    const auto coded = Recoded(raw);
    return std::memcmp(coded.data() + kPData, raw + kPOffset, kCodedSize - kPData) == 0;
}

void EncodeForm1(std::uint8_t* raw) {
    const std::uint32_t edc = Edc({raw + 16, kEdcOffset - 16});
    for (int i = 0; i < 4; ++i) raw[kEdcOffset + i] = static_cast<std::uint8_t>(edc >> (8 * i));
    const auto coded = Recoded(raw);
    std::memcpy(raw + kPOffset, coded.data() + kPData, kCodedSize - kPData);
}

Kind Classify(const std::uint8_t* raw) {
    if (!IsMode2Form1(raw)) {
        const bool form2 = HasSync(raw) && raw[kModeOffset] == 2 && SubheaderCopiesAgree(raw);
        return form2 ? Kind::Form2 : Kind::Other;
    }
    const std::uint8_t* trailer = raw + kEdcOffset;
    if (std::all_of(trailer, raw + kRawSize, [](std::uint8_t v) { return v == 0; })) return Kind::Form1Unchecked;
    return EdcMatches(raw) && EccMatches(raw) ? Kind::Form1Valid : Kind::Form1Wrong;
}

} // namespace qorlu::sector
