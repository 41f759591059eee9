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
    // Byte of the coded area for Q codeword `q` and position `i`, row by row:
    // at(i * 52 + q). Codeword q = 2d + plane runs along the diagonal of
    // 16-bit words 43d, 43d + 44, 43d + 88, ... (modulo 1118).
    std::array<std::uint16_t, kQCodewords * kQLength> qAt{};
    ParityTables() {
        for (unsigned x = 0; x < 256; ++x) {
            const unsigned doubled = (x << 1) ^ ((x & 0x80u) ? 0x11Du : 0u);
            timesAlpha[x] = static_cast<std::uint8_t>(doubled);
            overOnePlusAlpha[x ^ doubled] = static_cast<std::uint8_t>(x);
        }
        for (std::size_t i = 0; i < kQLength; ++i) {
            for (std::size_t q = 0; q < kQCodewords; ++q) {
                const std::size_t word = ((q / 2) * 43 + i * 44) % (kQData / 2);
                qAt[i * kQCodewords + q] = static_cast<std::uint16_t>(2 * word + q % 2);
            }
        }
    }
};

const ParityTables& Gf() {
    static const ParityTables tables;
    return tables;
}

// Fills coded[2064..2339] with P and Q of coded[0..2063]. For a codeword
// d0..d(k-1) p0 p1 both sum(all) and sum(v_j * alpha^(n-1-j)) are zero;
// `a` gathers sum(d_j * alpha^(k-j)) by Horner's rule, `b` the plain sum.
void ComputeParity(std::uint8_t* coded) {
    const ParityTables& gf = Gf();
    std::array<std::uint8_t, kPColumns> a{};
    std::array<std::uint8_t, kPColumns> b{};
    for (std::size_t row = 0; row < kPRows; ++row) {
        const std::uint8_t* r = coded + row * kPColumns;
        for (std::size_t c = 0; c < kPColumns; ++c) {
            a[c] = gf.timesAlpha[a[c] ^ r[c]];
            b[c] ^= r[c];
        }
    }
    for (std::size_t c = 0; c < kPColumns; ++c) {
        const std::uint8_t p0 = gf.overOnePlusAlpha[gf.timesAlpha[a[c]] ^ b[c]];
        coded[kPData + c] = p0;
        coded[kPData + kPColumns + c] = static_cast<std::uint8_t>(p0 ^ b[c]);
    }

    std::array<std::uint8_t, kQCodewords> qa{};
    std::array<std::uint8_t, kQCodewords> qb{};
    for (std::size_t i = 0; i < kQLength; ++i) {
        const std::uint16_t* at = &gf.qAt[i * kQCodewords];
        for (std::size_t q = 0; q < kQCodewords; ++q) {
            const std::uint8_t v = coded[at[q]];
            qa[q] = gf.timesAlpha[qa[q] ^ v];
            qb[q] ^= v;
        }
    }
    for (std::size_t q = 0; q < kQCodewords; ++q) {
        const std::uint8_t p0 = gf.overOnePlusAlpha[gf.timesAlpha[qa[q]] ^ qb[q]];
        coded[kQData + q] = p0;
        coded[kQData + kQCodewords + q] = static_cast<std::uint8_t>(p0 ^ qb[q]);
    }
}

// The coded area of `raw` with its address bytes zero and its parity recomputed.
std::array<std::uint8_t, kCodedSize> Recoded(const std::uint8_t* raw) {
    std::array<std::uint8_t, kCodedSize> coded;
    std::memcpy(coded.data(), raw + 12, kPData);
    std::fill_n(coded.begin(), 4, std::uint8_t{0});
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
