#pragma once
// The inner loops of the sector checksums, one set per processor feature
// level, behind plain functions. disc/SectorChecksum.cpp picks the set once,
// at start-up, and is the only user; the portable set lives there too.
//
// Field arithmetic: GF(2^8) modulo x^8 + x^4 + x^3 + x^2 + 1, alpha = x (2).
// A product by a fixed c is taken nibble by nibble from two 16-entry
// tables (x*c = lo[x & 15] ^ hi[x >> 4]), which is what one byte shuffle
// instruction looks up for 16 or 32 bytes at once.
//
// How P and Q are computed without gathering bytes, over the coded area
// (raw bytes 12..2351, address bytes read as zero):
//   P  the 24 data rows of 86 bytes, by Horner's rule down the rows: every
//      lane is one codeword, 86 lanes side by side.
//   Q  the area is 26 rows of 43 16-bit words; word i of row r belongs to
//      codeword d = (r - i) mod 26 with weight alpha^(44 - i). Each row is
//      folded to 26 lanes (words i and i + 26 share a lane, the second
//      times alpha^-26), and the rows are added by Horner's rule into an
//      accumulator that turns by one lane per row, so that lane j holds
//      codeword (r - j) mod 26 after row r. The lane that wraps from 25 to 0
//      is multiplied by alpha^-26. After the last row, lane 25 - d holds
//      codeword d's sum up to the factor alpha^(19 + d), which the final
//      step applies together with the division by 1 + alpha.

#include <cstddef>
#include <cstdint>

namespace qorlu::sector::kernel {

// Internal linkage: the kernel files are built with other processor options,
// and no copy of these may be shared with the portable code.
static constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b) {
    unsigned product = 0;
    unsigned x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1u << bit)) product ^= x;
        x <<= 1;
        if (x & 0x100u) x ^= 0x11Du;
    }
    return static_cast<std::uint8_t>(product);
}

// alpha^e for any integer e (alpha has order 255).
static constexpr std::uint8_t GfPow(int e) {
    e %= 255;
    if (e < 0) e += 255;
    std::uint8_t v = 1;
    for (int i = 0; i < e; ++i) v = GfMul(v, 2);
    return v;
}

static constexpr std::uint8_t GfInverse(std::uint8_t a) {
    for (unsigned x = 1; x < 256; ++x)
        if (GfMul(a, static_cast<std::uint8_t>(x)) == 1) return static_cast<std::uint8_t>(x);
    return 0;
}

struct NibbleTable {
    std::uint8_t lo[16];
    std::uint8_t hi[16];
};

static constexpr NibbleTable MakeNibbleTable(std::uint8_t c) {
    NibbleTable t{};
    for (unsigned n = 0; n < 16; ++n) {
        t.lo[n] = GfMul(static_cast<std::uint8_t>(n), c);
        t.hi[n] = GfMul(static_cast<std::uint8_t>(n << 4), c);
    }
    return t;
}

// 1 / (1 + alpha): solves the two parity equations of a codeword.
inline constexpr std::uint8_t kOverOnePlusAlpha = GfInverse(3);
// Weight between the two words that share a Q lane, and of the wrap.
inline constexpr std::uint8_t kQTurn = GfPow(-26);

// The last step of Q, by table: for codeword d (lane 25 - d) and a lane's
// sums s (weighted) and b (plain), p0 = final[d][s] ^ plain[b], p1 = p0 ^ b.
struct QFinalTables {
    std::uint8_t weighted[26][256];
    std::uint8_t plain[256];
};
const QFinalTables& QFinal();

// Mode of the parity kernels: compare with the parity bytes stored in the
// sector, or write them.
enum class ParityMode { Check, Store };

// Functions of the x86 sets; defined only where the compiler builds them
// (QORLU_X86_KERNELS). Each expects its feature present.
#if defined(QORLU_X86_KERNELS)
// P and Q of one sector (SSSE3): Check returns whether both match; Store
// writes them (P first, Q then over the new P) and returns true.
bool ParitySsse3(std::uint8_t* raw, ParityMode mode);
// Check of two sectors at once (AVX2, one per 128-bit half): bit 0 set when
// the first matches, bit 1 the second.
unsigned ParityCheckPairAvx2(const std::uint8_t* first, const std::uint8_t* second);
// Folds `chunks` (at least 4) 16-byte blocks by carry-less multiplication
// (PCLMULQDQ) into 16 bytes whose EDC, continued over what follows the
// blocks, is the one of the blocks and what follows.
void EdcFoldClmul(const std::uint8_t* bytes, std::size_t chunks, std::uint8_t* residue);
#endif

} // namespace qorlu::sector::kernel
