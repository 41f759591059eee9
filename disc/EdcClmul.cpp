// The EDC's CRC by carry-less multiplication. Built with -mpclmul and
// called only when the processor has PCLMULQDQ.
//
// Four 16-byte lanes are folded forward 64 bytes at a time: a lane L that
// stands for the polynomial L_hi x^64 + L_lo (bytes 0..7 are the higher
// degrees, bits taken least significant first, as the CRC takes them)
// moves D bits on as L_hi * (x^(D+64) mod P) + L_lo * (x^D mod P), each
// product of a 64-bit and a 32-bit polynomial, which fits 128 bits. In this
// bit order the multiply's result comes out shifted by one degree, so the
// constants are x^(D+63) and x^(D-1). The four lanes are then folded into
// one, and the caller finishes those 16 bytes and any tail by table: the
// CRC of a message depends only on its polynomial modulo P.

#include "disc/SectorKernels.h"

#include <emmintrin.h>
#include <wmmintrin.h>

namespace qorlu::sector::kernel {

namespace {

// x^n mod P, P = x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1; bit d of
// the result is the coefficient of x^d.
constexpr std::uint32_t PowerModP(unsigned n) {
    std::uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i) r = (r << 1) ^ ((r & 0x80000000u) ? 0x8001801Bu : 0u);
    return r;
}

// A polynomial of degree below 32 in the register's bit order: x^d at bit 63 - d.
constexpr std::uint64_t InRegisterOrder(std::uint32_t r) {
    std::uint64_t v = 0;
    for (unsigned d = 0; d < 32; ++d)
        if ((r >> d) & 1u) v |= std::uint64_t{1} << (63 - d);
    return v;
}

struct FoldConstants {
    std::uint64_t high; // for bytes 0..7 of a lane
    std::uint64_t low;  // for bytes 8..15
};

constexpr FoldConstants ForDistance(unsigned bits) {
    return {InRegisterOrder(PowerModP(bits + 63)), InRegisterOrder(PowerModP(bits - 1))};
}

constexpr FoldConstants k128 = ForDistance(128);
constexpr FoldConstants k256 = ForDistance(256);
constexpr FoldConstants k384 = ForDistance(384);
constexpr FoldConstants k512 = ForDistance(512);

__m128i Constants(const FoldConstants& k) {
    return _mm_set_epi64x(static_cast<long long>(k.low), static_cast<long long>(k.high));
}

__m128i Fold(__m128i lane, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

__m128i Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

} // namespace

void EdcFoldClmul(const std::uint8_t* bytes, std::size_t chunks, std::uint8_t* residue) {
    __m128i l0 = Load(bytes);
    __m128i l1 = Load(bytes + 16);
    __m128i l2 = Load(bytes + 32);
    __m128i l3 = Load(bytes + 48);
    std::size_t i = 4;
    const __m128i by512 = Constants(k512);
    for (; i + 4 <= chunks; i += 4) {
        const std::uint8_t* p = bytes + 16 * i;
        l0 = _mm_xor_si128(Fold(l0, by512), Load(p));
        l1 = _mm_xor_si128(Fold(l1, by512), Load(p + 16));
        l2 = _mm_xor_si128(Fold(l2, by512), Load(p + 32));
        l3 = _mm_xor_si128(Fold(l3, by512), Load(p + 48));
    }
    __m128i s = _mm_xor_si128(_mm_xor_si128(Fold(l0, Constants(k384)), Fold(l1, Constants(k256))),
                              _mm_xor_si128(Fold(l2, Constants(k128)), l3));
    const __m128i by128 = Constants(k128);
    for (; i < chunks; ++i) s = _mm_xor_si128(Fold(s, by128), Load(bytes + 16 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(residue), s);
}

} // namespace qorlu::sector::kernel
