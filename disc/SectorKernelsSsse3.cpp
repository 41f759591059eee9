// P and Q of one sector with SSSE3: 16-byte registers, byte shuffles for
// the products by fixed field elements. Built with -mssse3 and called only
// when the processor has it.

#include "disc/SectorKernels.h"

#include <tmmintrin.h>

namespace qorlu::sector::kernel {

namespace {

struct V {
    using T = __m128i;
    static T Load(std::uint8_t* const* s, std::size_t off) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[0] + off));
    }
    static T Broadcast(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static T Set1(std::uint8_t c) { return _mm_set1_epi8(static_cast<char>(c)); }
    static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
    static T Or(T a, T b) { return _mm_or_si128(a, b); }
    static T And(T a, T b) { return _mm_and_si128(a, b); }
    static T Add8(T a, T b) { return _mm_add_epi8(a, b); }
    static T Negative(T x) { return _mm_cmplt_epi8(x, _mm_setzero_si128()); }
    static T Shuffle(T table, T index) { return _mm_shuffle_epi8(table, index); }
    static T Shr16by4(T x) { return _mm_srli_epi16(x, 4); }
    static T TurnIn(T a, T b) { return _mm_alignr_epi8(a, b, 14); }
    static T TopWord(T x) { return _mm_slli_si128(x, 12); }
    static T LastWord(T x) { return _mm_srli_si128(x, 14); }
    static void Store(std::uint8_t* const* s, std::size_t off, T v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s[0] + off), v);
    }
    static unsigned NonZero(T v) {
        return _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) == 0xFFFF ? 0u : 1u;
    }
    static void Spill(T v, std::uint8_t* const* out) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out[0]), v); }
};

#include "disc/ParityKernel.inl"

} // namespace

bool ParitySsse3(std::uint8_t* raw, ParityMode mode) {
    std::uint8_t* const sectors[1] = {raw};
    if (mode == ParityMode::Store) {
        ParityKernel<1, ParityMode::Store>::Run(sectors);
        return true;
    }
    return ParityKernel<1, ParityMode::Check>::Run(sectors) == 1u;
}

} // namespace qorlu::sector::kernel
