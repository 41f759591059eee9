// P and Q of N sectors at once over a vector type V of 16-byte lanes, one
// sector per lane (see disc/SectorKernels.h for the method). Included by
// the kernel files, each built for its instruction set, after it has
// defined V:
//   T                        the register type (N x 16 bytes)
//   Load(s, off)             16 bytes from sector k's raw byte `off` into lane k
//   Broadcast(p)             the same 16 bytes from p into every lane
//   Set1, Xor, And, Add8     bytewise
//   Negative(x)              0xFF where a byte's top bit is set, else 0
//   Shuffle(table, index)    byte shuffle within each lane
//   Shr16by4(x)              16-bit words shifted right by 4
//   TurnIn(a, b)             per lane: b's top word, then a's words 0..6
//   TopWord(x)               per lane: x's bytes 0..3 moved to bytes 12..15, zero below
//   LastWord(x)              per lane: x's bytes 14..15 moved to bytes 0..1, zero above
//   Store(s, off, v)         lane k to sector k's raw byte `off`
//   NonZero(v)               bit k set when lane k has a nonzero byte
//   Spill(v, out)            lane k to out[k] (16 bytes)
// Only std-free code here: the file is compiled with processor-specific
// options, and nothing inline from outside may be instantiated with them.

namespace {

template <std::size_t N, ParityMode Mode>
class ParityKernel {
public:
    using T = typename V::T;

    // Check: bit k set when sector k's stored P and Q match. Store: writes
    // both and returns all bits set.
    static unsigned Run(std::uint8_t* const* s) {
        const ParityKernel kernel;
        unsigned wrong = kernel.P(s);
        wrong |= kernel.Q(s);
        return ~wrong & ((1u << N) - 1);
    }

private:
    static constexpr NibbleTable kInverse = MakeNibbleTable(kOverOnePlusAlpha);
    static constexpr NibbleTable kTurn = MakeNibbleTable(kQTurn);

    ParityKernel()
        : m_nibble(V::Set1(0x0F)), m_poly(V::Set1(0x1D)), m_invLo(V::Broadcast(kInverse.lo)),
          m_invHi(V::Broadcast(kInverse.hi)), m_turnLo(V::Broadcast(kTurn.lo)), m_turnHi(V::Broadcast(kTurn.hi)) {}

    const T m_nibble, m_poly, m_invLo, m_invHi, m_turnLo, m_turnHi;

    T Alpha(T x) const { return V::Xor(V::Add8(x, x), V::And(V::Negative(x), m_poly)); }
    T Mul(T x, T lo, T hi) const {
        return V::Xor(V::Shuffle(lo, V::And(x, m_nibble)), V::Shuffle(hi, V::And(V::Shr16by4(x), m_nibble)));
    }
    // Bytes 0..3 of a row-0 load cleared: the address counts as zero.
    static T WithoutAddress(T x) {
        alignas(16) static constexpr std::uint8_t keep[16] = {0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF,
                                                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        return V::And(x, V::Broadcast(keep));
    }

    unsigned P(std::uint8_t* const* s) const {
        constexpr std::size_t kCoded = 12;
        constexpr std::size_t kParity = 2076;
        T a[6], b[6];
        for (int k = 0; k < 6; ++k) a[k] = b[k] = V::Set1(0);
        for (std::size_t r = 0; r < 24; ++r) {
            for (std::size_t k = 0; k < 6; ++k) {
                T v = V::Load(s, kCoded + 86 * r + 16 * k);
                if (r == 0 && k == 0) v = WithoutAddress(v);
                a[k] = Alpha(V::Xor(a[k], v));
                b[k] = V::Xor(b[k], v);
            }
        }
        T p0[6], p1[6];
        for (int k = 0; k < 6; ++k) {
            p0[k] = Mul(V::Xor(Alpha(a[k]), b[k]), m_invLo, m_invHi);
            p1[k] = V::Xor(p0[k], b[k]);
        }
        if constexpr (Mode == ParityMode::Store) {
            // 96 bytes each: p0's tail is overwritten by p1, p1's by Q.
            for (std::size_t k = 0; k < 6; ++k) V::Store(s, kParity + 16 * k, p0[k]);
            for (std::size_t k = 0; k < 6; ++k) V::Store(s, kParity + 86 + 16 * k, p1[k]);
            return 0;
        } else {
            // Of the last register only bytes 0..5 are parity.
            alignas(16) static constexpr std::uint8_t tail[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
            T diff = V::Set1(0);
            for (std::size_t k = 0; k < 6; ++k) {
                T d = V::Xor(p0[k], V::Load(s, kParity + 16 * k));
                T e = V::Xor(p1[k], V::Load(s, kParity + 86 + 16 * k));
                if (k == 5) {
                    d = V::And(d, V::Broadcast(tail));
                    e = V::And(e, V::Broadcast(tail));
                }
                diff = V::Or(diff, V::Or(d, e));
            }
            return V::NonZero(diff);
        }
    }

    unsigned Q(std::uint8_t* const* s) const {
        T g[4], h[4];
        for (std::size_t r = 0; r < 26; ++r) {
            const std::size_t base = 12 + 86 * r;
            T x0 = V::Load(s, base);
            const T x1 = V::Load(s, base + 16);
            const T x2 = V::Load(s, base + 32);
            const T x3 = V::Load(s, base + 48);
            if (r == 0) x0 = WithoutAddress(x0);
            // Words 26..42 of the row fold onto lanes 0..16.
            const T h0 = V::Load(s, base + 52);
            const T h1 = V::Load(s, base + 68);
            const T h2 = V::LastWord(V::Load(s, base + 70));
            const T f0 = V::Xor(x0, Mul(h0, m_turnLo, m_turnHi));
            const T f1 = V::Xor(x1, Mul(h1, m_turnLo, m_turnHi));
            const T f2 = V::Xor(x2, Mul(h2, m_turnLo, m_turnHi));
            const T e0 = V::Xor(x0, h0);
            const T e1 = V::Xor(x1, h1);
            const T e2 = V::Xor(x2, h2);
            if (r == 0) {
                g[0] = f0, g[1] = f1, g[2] = f2, g[3] = x3;
                h[0] = e0, h[1] = e1, h[2] = e2, h[3] = x3;
                continue;
            }
            // Turn by one lane: lane 25 (word 1 of register 3) to lane 0.
            const T gWrap = Mul(V::TopWord(g[3]), m_turnLo, m_turnHi);
            const T g3 = V::TurnIn(g[3], g[2]);
            const T g2 = V::TurnIn(g[2], g[1]);
            const T g1 = V::TurnIn(g[1], g[0]);
            const T g0 = V::TurnIn(g[0], gWrap);
            g[0] = V::Xor(Alpha(g0), f0);
            g[1] = V::Xor(Alpha(g1), f1);
            g[2] = V::Xor(Alpha(g2), f2);
            g[3] = V::Xor(Alpha(g3), x3);
            const T hWrap = V::TopWord(h[3]);
            const T h3 = V::TurnIn(h[3], h[2]);
            const T h2n = V::TurnIn(h[2], h[1]);
            const T h1n = V::TurnIn(h[1], h[0]);
            const T h0n = V::TurnIn(h[0], hWrap);
            h[0] = V::Xor(h0n, e0);
            h[1] = V::Xor(h1n, e1);
            h[2] = V::Xor(h2n, e2);
            h[3] = V::Xor(h3, x3);
        }
        alignas(32) std::uint8_t gs[N][64];
        alignas(32) std::uint8_t hs[N][64];
        for (int k = 0; k < 4; ++k) {
            std::uint8_t* gOut[N];
            std::uint8_t* hOut[N];
            for (std::size_t n = 0; n < N; ++n) gOut[n] = gs[n] + 16 * k, hOut[n] = hs[n] + 16 * k;
            V::Spill(g[k], gOut);
            V::Spill(h[k], hOut);
        }
        const QFinalTables& t = QFinal();
        unsigned wrong = 0;
        for (std::size_t n = 0; n < N; ++n) {
            std::uint8_t* q = s[n] + 2248;
            unsigned diff = 0;
            for (std::size_t d = 0; d < 26; ++d) {
                for (std::size_t plane = 0; plane < 2; ++plane) {
                    const std::size_t lane = 2 * (25 - d) + plane;
                    const std::uint8_t sum = hs[n][lane];
                    const std::uint8_t p0 = static_cast<std::uint8_t>(t.weighted[d][gs[n][lane]] ^ t.plain[sum]);
                    const std::uint8_t p1 = static_cast<std::uint8_t>(p0 ^ sum);
                    if constexpr (Mode == ParityMode::Store) {
                        q[2 * d + plane] = p0;
                        q[52 + 2 * d + plane] = p1;
                    } else {
                        diff |= static_cast<unsigned>(q[2 * d + plane] ^ p0) |
                                static_cast<unsigned>(q[52 + 2 * d + plane] ^ p1);
                    }
                }
            }
            if (diff != 0) wrong |= 1u << n;
        }
        return wrong;
    }
};

} // namespace
