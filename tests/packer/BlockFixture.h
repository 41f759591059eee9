#pragma once
// Compressed-block containers built in code for the tests, field by field.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace qorlu::test {

using ByteVector = std::vector<std::uint8_t>;

// A zlib stream of `data` at level 9, as the import writes it.
ByteVector Deflate(std::span<const std::uint8_t> data);
// The inverse, for checking streams; throws when the stream is not whole.
ByteVector Inflate(std::span<const std::uint8_t> stream, std::size_t expectedSize);

// Word-like text that compresses well, the same for the same seed.
ByteVector SampleText(std::size_t size, std::uint32_t seed);
// Bytes that do not compress.
ByteVector NoiseBytes(std::size_t size, std::uint32_t seed);

ByteVector BytesOf(const std::string& text);

// The header words the fixtures put around every block, to prove the tool
// neither reads nor changes them.
inline constexpr std::uint32_t kFirstHeaderWord = 0xA1B2C3D4;
inline constexpr std::uint32_t kLastHeaderWord = 0x5E6F7081;

struct FixtureBlock {
    FixtureBlock(ByteVector bytes, std::optional<std::uint32_t> packed = std::nullopt,
                 std::optional<std::uint32_t> unpacked = std::nullopt, std::size_t room = 0, bool padLikeImport = false)
        : data(std::move(bytes)), packedSize(packed), unpackedSize(unpacked), extraRoom(room),
          importPadding(padLikeImport) {}

    ByteVector data;
    // Overrides of the header's size words (the real ones when unset).
    std::optional<std::uint32_t> packedSize;
    std::optional<std::uint32_t> unpackedSize;
    // Filler after the stream: at least up to the next multiple of 16, plus
    // this many bytes of 0xCC (game files leave such room behind a stream).
    std::size_t extraRoom = 0;
    // true: the filler is what the import writes, (S / 16 + 1) * 16 - S zero
    // bytes; false: zero bytes up to the next multiple of 16 only.
    bool importPadding = false;
};

// Appends one block at the end of `out` (which must be a multiple of 16 long):
// header, sixteen zeros, the level-9 stream, then the filler. Returns the
// header's offset.
std::uint64_t AppendBlock(ByteVector& out, const FixtureBlock& block);

struct FixtureContainer {
    std::vector<FixtureBlock> blocks;
    // Where the index record goes (a multiple of 16); bytes before it are
    // 0xEE, the container's own data.
    std::uint64_t recordOffset = 16;
    // Layout word: 8 (table at R+8) or 0 (16 at R+8, table at R+16).
    std::uint32_t layout = 8;
    // true: N = blocks + 1, the last entry naming `trailer`.
    bool extraEntry = false;
    // Bytes after the last block.
    ByteVector trailer;
};

struct BuiltContainer {
    ByteVector bytes;
    std::uint64_t recordOffset = 0;
    std::uint64_t tableOffset = 0;
    std::uint32_t entryCount = 0;
    std::vector<std::uint64_t> headerOffsets; // per block, from the file start
    std::uint64_t trailerOffset = 0;
    // Table entry k as stored (offset from the record).
    std::uint32_t Entry(std::size_t k) const;
};

// A multi-block container with its index ahead of the first block.
BuiltContainer BuildIndexedContainer(const FixtureContainer& plan);

// A container of one block behind `prefix` bytes (a multiple of 16) and
// followed by `trailer`.
BuiltContainer BuildSingleBlockContainer(const FixtureBlock& block, std::size_t prefix, const ByteVector& trailer);

std::uint32_t Word(std::span<const std::uint8_t> bytes, std::uint64_t offset);
void SetWord(ByteVector& bytes, std::uint64_t offset, std::uint32_t value);

} // namespace qorlu::test
