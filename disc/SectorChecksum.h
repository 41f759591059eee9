#pragma once
// Error detection and correction of a raw CD-ROM XA Mode 2 Form 1 sector
// (2352 bytes), as ECMA-130 lays them out:
//   0     12    sync: 00, ten FF, 00
//   12    4     address (minute, second, frame) and mode byte (2)
//   16    4     subheader: file, channel, submode, coding
//   20    4     the same subheader again
//   24    2048  user data
//   2072  4     EDC: 32-bit CRC over bytes 16..2071, stored least significant byte first
//   2076  172   P parity: 86 RS(26,24) codewords over bytes 12..2075
//   2248  104   Q parity: 52 RS(45,43) codewords over bytes 12..2247
// While P and Q are computed the four address bytes count as zero, so a
// sector's parity does not depend on where it lies on the disc.
//
// Submode bit 5 (0x20) marks a Form 2 sector: 2324 user bytes, an optional
// EDC and no P or Q parity. Only Form 1 sectors are computed here.
//
// Every function is pure and may be called from any thread (UseEngines
// aside).

#include <cstdint>
#include <span>

namespace qorlu::sector {

inline constexpr std::size_t kRawSize = 2352;
inline constexpr std::size_t kUserOffset = 24;
inline constexpr std::size_t kUserSize = 2048;
inline constexpr std::size_t kEdcOffset = 2072;
inline constexpr std::size_t kPOffset = 2076;
inline constexpr std::size_t kQOffset = 2248;
inline constexpr std::size_t kModeOffset = 15;
inline constexpr std::uint8_t kSubmodeForm2 = 0x20;

// The EDC's CRC: polynomial (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1),
// bits taken least significant first, register starting at zero.
std::uint32_t Edc(std::span<const std::uint8_t> bytes);

// The 12 sync bytes are present.
bool HasSync(const std::uint8_t* raw);

// Sync present, mode 2, both subheader copies equal and the form bit clear.
bool IsMode2Form1(const std::uint8_t* raw);

// The stored EDC is the one of the sector's subheader and user data.
bool EdcMatches(const std::uint8_t* raw);

// The stored P and Q parity are those of the sector's bytes.
bool EccMatches(const std::uint8_t* raw);

// Computes and stores the EDC, P and Q parity of a Form 1 sector from its
// subheader and user data. Header and subheader are left as they are.
void EncodeForm1(std::uint8_t* raw);

enum class Kind {
    Form1Valid,     // EDC, P and Q all match the sector's bytes
    Form1Wrong,     // a Form 1 sector whose EDC or parity does not match
    Form1Unchecked, // a Form 1 sector whose EDC, P and Q are all zero
    Form2,          // Mode 2 Form 2: no parity to check
    Other,          // no sync, another mode, or subheader copies that differ
};

Kind Classify(const std::uint8_t* raw);

// Classify of `count` consecutive raw sectors into kinds[0..count).
void ClassifyMany(const std::uint8_t* raw, std::size_t count, Kind* kinds);

// How the checksums are computed. The fastest way that this processor has
// is chosen when first needed; every way gives the same bytes.
enum class ParityEngine {
    Words64,   // eight field elements per 64-bit word; runs anywhere
    Ssse3,     // 16 bytes per register, products by byte shuffles
    Avx2Pairs, // as Ssse3, and ClassifyMany checks two sectors per 32-byte register
};
enum class EdcEngine {
    Table,     // slicing by eight
    CarryLess, // folding by carry-less multiplication (PCLMULQDQ)
};
struct Engines {
    ParityEngine parity;
    EdcEngine edc;
};
bool Available(ParityEngine engine);
bool Available(EdcEngine engine);
const char* NameOf(ParityEngine engine);
const char* NameOf(EdcEngine engine);
// The fastest available.
Engines BestEngines();
Engines CurrentEngines();
// For tests and benchmarks: computes with `engines` from now on; false, and
// nothing changed, when one is not available. Not while other threads compute.
bool UseEngines(Engines engines);

} // namespace qorlu::sector
