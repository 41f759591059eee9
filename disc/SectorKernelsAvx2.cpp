// The check of P and Q of two sectors at once with AVX2: each 32-byte
// register holds one sector in its lower 16 bytes and the other in its
// upper 16, and every instruction used works within each half. Built with
// -mavx2 and called only when the processor has it.

#include "disc/SectorKernels.h"

#include <immintrin.h>

namespace qorlu::sector::kernel {

namespace {

struct V {
    using T = __m256i;
    static T Load(std::uint8_t* const* s, std::size_t off) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[0] + off));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[1] + off));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    }
    static T Broadcast(const std::uint8_t* p) {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static T Set1(std::uint8_t c) { return _mm256_set1_epi8(static_cast<char>(c)); }
    static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
    static T Or(T a, T b) { return _mm256_or_si256(a, b); }
    static T And(T a, T b) { return _mm256_and_si256(a, b); }
    static T Add8(T a, T b) { return _mm256_add_epi8(a, b); }
    static T Negative(T x) { return _mm256_cmpgt_epi8(_mm256_setzero_si256(), x); }
    static T Shuffle(T table, T index) { return _mm256_shuffle_epi8(table, index); }
    static T Shr16by4(T x) { return _mm256_srli_epi16(x, 4); }
    static T TurnIn(T a, T b) { return _mm256_alignr_epi8(a, b, 14); }
    static T TopWord(T x) { return _mm256_bslli_epi128(x, 12); }
    static T LastWord(T x) { return _mm256_bsrli_epi128(x, 14); }
    static void Store(std::uint8_t* const* s, std::size_t off, T v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s[0] + off), _mm256_castsi256_si128(v));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(s[1] + off), _mm256_extracti128_si256(v, 1));
    }
    static unsigned NonZero(T v) {
        const unsigned zero = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
        return ((zero & 0xFFFFu) != 0xFFFFu ? 1u : 0u) | ((zero >> 16) != 0xFFFFu ? 2u : 0u);
    }
    static void Spill(T v, std::uint8_t* const* out) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out[0]), _mm256_castsi256_si128(v));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out[1]), _mm256_extracti128_si256(v, 1));
    }
};

#include "disc/ParityKernel.inl"

} // namespace

unsigned ParityCheckPairAvx2(const std::uint8_t* first, const std::uint8_t* second) {
    // Check mode only reads through these.
    std::uint8_t* const sectors[2] = {const_cast<std::uint8_t*>(first), const_cast<std::uint8_t*>(second)};
    return ParityKernel<2, ParityMode::Check>::Run(sectors);
}

} // namespace qorlu::sector::kernel
