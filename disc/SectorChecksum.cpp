#include "disc/SectorChecksum.h"

#include "disc/SectorKernels.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qorlu::sector {

namespace kernel {

const QFinalTables& QFinal() {
    static const QFinalTables tables = [] {
        QFinalTables t{};
        for (unsigned x = 0; x < 256; ++x) {
            const auto v = static_cast<std::uint8_t>(x);
            t.plain[x] = GfMul(v, kOverOnePlusAlpha);
            for (int d = 0; d < 26; ++d) t.weighted[d][x] = GfMul(GfMul(v, GfPow(19 + d)), kOverOnePlusAlpha);
        }
        return t;
    }();
    return tables;
}

} // namespace kernel

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

namespace {

// The table CRC of n bytes at p, continued from `crc`.
std::uint32_t TableCrc(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    const auto& t = Crc().slice;
    for (; n >= 8; n -= 8, p += 8) {
        const std::uint32_t lo = crc ^ Load32(p);
        const std::uint32_t hi = Load32(p + 4);
        crc = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFFu] ^ t[2][(hi >> 8) & 0xFFu] ^ t[1][(hi >> 16) & 0xFFu] ^ t[0][hi >> 24];
    }
    for (; n > 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFFu];
    return crc;
}

#if defined(QORLU_X86_KERNELS)
bool CpuHasSsse3() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}
bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
bool CpuHasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul");
}
#endif

Engines& Active() {
    static Engines engines = BestEngines();
    return engines;
}

bool ParityMatchesByWords(const std::uint8_t* raw) {
    const auto coded = Recoded(raw);
    return std::memcmp(coded.data() + kPData, raw + kPOffset, kCodedSize - kPData) == 0;
}

// What Classify finds before P and Q are needed: the kind, or nothing when
// only P and Q can tell valid from wrong.
bool NeedsParity(const std::uint8_t* raw, Kind& kind) {
    if (!IsMode2Form1(raw)) {
        const bool form2 = HasSync(raw) && raw[kModeOffset] == 2 && SubheaderCopiesAgree(raw);
        kind = form2 ? Kind::Form2 : Kind::Other;
        return false;
    }
    const std::uint8_t* trailer = raw + kEdcOffset;
    if (Load32(trailer) == 0 && std::all_of(trailer, raw + kRawSize, [](std::uint8_t v) { return v == 0; })) {
        kind = Kind::Form1Unchecked;
        return false;
    }
    if (!EdcMatches(raw)) {
        kind = Kind::Form1Wrong;
        return false;
    }
    return true;
}

} // namespace

bool Available(ParityEngine engine) {
    switch (engine) {
    case ParityEngine::Words64:
        return true;
#if defined(QORLU_X86_KERNELS)
    case ParityEngine::Ssse3:
        return CpuHasSsse3();
    case ParityEngine::Avx2Pairs:
        return CpuHasSsse3() && CpuHasAvx2();
#else
    case ParityEngine::Ssse3:
    case ParityEngine::Avx2Pairs:
        return false;
#endif
    }
    return false;
}

bool Available(EdcEngine engine) {
    switch (engine) {
    case EdcEngine::Table:
        return true;
#if defined(QORLU_X86_KERNELS)
    case EdcEngine::CarryLess:
        return CpuHasClmul();
#else
    case EdcEngine::CarryLess:
        return false;
#endif
    }
    return false;
}

const char* NameOf(ParityEngine engine) {
    switch (engine) {
    case ParityEngine::Words64:
        return "64-bit words";
    case ParityEngine::Ssse3:
        return "SSSE3";
    case ParityEngine::Avx2Pairs:
        return "AVX2 pairs";
    }
    return "?";
}

const char* NameOf(EdcEngine engine) {
    return engine == EdcEngine::CarryLess ? "carry-less multiply" : "slice-by-8 tables";
}

Engines BestEngines() {
    Engines best{ParityEngine::Words64, EdcEngine::Table};
    for (const auto p : {ParityEngine::Ssse3, ParityEngine::Avx2Pairs})
        if (Available(p)) best.parity = p;
    if (Available(EdcEngine::CarryLess)) best.edc = EdcEngine::CarryLess;
    return best;
}

Engines CurrentEngines() { return Active(); }

bool UseEngines(Engines engines) {
    if (!Available(engines.parity) || !Available(engines.edc)) return false;
    Active() = engines;
    return true;
}

std::uint32_t Edc(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    const std::size_t n = bytes.size();
#if defined(QORLU_X86_KERNELS)
    if (n >= 64 && Active().edc == EdcEngine::CarryLess) {
        const std::size_t chunks = n / 16;
        std::uint8_t residue[16];
        kernel::EdcFoldClmul(p, chunks, residue);
        return TableCrc(TableCrc(0, residue, sizeof residue), p + 16 * chunks, n - 16 * chunks);
    }
#endif
    return TableCrc(0, p, n);
}

bool HasSync(const std::uint8_t* raw) { return std::memcmp(raw, kSync, sizeof kSync) == 0; }

bool IsMode2Form1(const std::uint8_t* raw) {
    return HasSync(raw) && raw[kModeOffset] == 2 && SubheaderCopiesAgree(raw) && (raw[18] & kSubmodeForm2) == 0;
}

bool EdcMatches(const std::uint8_t* raw) { return Load32(raw + kEdcOffset) == Edc({raw + 16, kEdcOffset - 16}); }

bool EccMatches(const std::uint8_t* raw) {
#if defined(QORLU_X86_KERNELS)
    // The check only reads the sector.
    if (Active().parity != ParityEngine::Words64)
        return kernel::ParitySsse3(const_cast<std::uint8_t*>(raw), kernel::ParityMode::Check);
#endif
    return ParityMatchesByWords(raw);
}

void EncodeForm1(std::uint8_t* raw) {
    const std::uint32_t edc = Edc({raw + 16, kEdcOffset - 16});
    for (int i = 0; i < 4; ++i) raw[kEdcOffset + i] = static_cast<std::uint8_t>(edc >> (8 * i));
#if defined(QORLU_X86_KERNELS)
    if (Active().parity != ParityEngine::Words64) {
        kernel::ParitySsse3(raw, kernel::ParityMode::Store);
        return;
    }
#endif
    const auto coded = Recoded(raw);
    std::memcpy(raw + kPOffset, coded.data() + kPData, kCodedSize - kPData);
}

Kind Classify(const std::uint8_t* raw) {
    Kind kind = Kind::Other;
    if (!NeedsParity(raw, kind)) return kind;
    return EccMatches(raw) ? Kind::Form1Valid : Kind::Form1Wrong;
}

void ClassifyMany(const std::uint8_t* raw, std::size_t count, Kind* kinds) {
    const bool pairs = Active().parity == ParityEngine::Avx2Pairs;
    std::size_t held = count; // a sector waiting for a second one to be checked with
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* s = raw + i * kRawSize;
        if (!NeedsParity(s, kinds[i])) continue;
        if (!pairs) {
            kinds[i] = EccMatches(s) ? Kind::Form1Valid : Kind::Form1Wrong;
            continue;
        }
#if defined(QORLU_X86_KERNELS)
        if (held == count) {
            held = i;
            continue;
        }
        const unsigned match = kernel::ParityCheckPairAvx2(raw + held * kRawSize, s);
        kinds[held] = (match & 1u) ? Kind::Form1Valid : Kind::Form1Wrong;
        kinds[i] = (match & 2u) ? Kind::Form1Valid : Kind::Form1Wrong;
        held = count;
#endif
    }
    if (held < count) kinds[held] = EccMatches(raw + held * kRawSize) ? Kind::Form1Valid : Kind::Form1Wrong;
}

} // namespace qorlu::sector
