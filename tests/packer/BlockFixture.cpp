#include "tests/packer/BlockFixture.h"

#include <zlib.h>

#include <random>
#include <stdexcept>

namespace qorlu::test {

ByteVector Deflate(std::span<const std::uint8_t> data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    ByteVector stream(size);
    if (compress2(stream.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    stream.resize(size);
    return stream;
}

ByteVector Inflate(std::span<const std::uint8_t> stream, std::size_t expectedSize) {
    ByteVector data(expectedSize + 1);
    uLongf size = static_cast<uLongf>(data.size());
    uLong used = static_cast<uLong>(stream.size());
    if (uncompress2(data.data(), &size, stream.data(), &used) != Z_OK) {
        throw std::runtime_error("not a whole zlib stream");
    }
    data.resize(size);
    return data;
}

ByteVector SampleText(std::size_t size, std::uint32_t seed) {
    static const char* const kWords[] = {"block ",  "stream ", "index ", "table ", "entry ",
                                         "header ", "packed ", "size ",  "zone ",  "drop "};
    std::mt19937 random(seed);
    ByteVector out;
    out.reserve(size + 8);
    while (out.size() < size) {
        const char* word = kWords[random() % 10];
        for (const char* c = word; *c != 0; ++c) out.push_back(static_cast<std::uint8_t>(*c));
        if (random() % 7 == 0) out.push_back(static_cast<std::uint8_t>('0' + random() % 10));
    }
    out.resize(size);
    return out;
}

ByteVector NoiseBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    ByteVector out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(random());
    return out;
}

ByteVector BytesOf(const std::string& text) { return ByteVector(text.begin(), text.end()); }

std::uint32_t Word(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    if (offset + 4 > bytes.size()) throw std::out_of_range("word outside the bytes");
    const std::uint8_t* p = bytes.data() + offset;
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

void SetWord(ByteVector& bytes, std::uint64_t offset, std::uint32_t value) {
    if (offset + 4 > bytes.size()) bytes.resize(offset + 4);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t BuiltContainer::Entry(std::size_t k) const { return Word(bytes, tableOffset + 4 * k); }

std::uint64_t AppendBlock(ByteVector& out, const FixtureBlock& block) {
    if (out.size() % 16 != 0) throw std::logic_error("blocks start at multiples of 16");
    const ByteVector stream = Deflate(block.data);
    const std::uint64_t header = out.size();
    SetWord(out, header + 0, kFirstHeaderWord); // first word, untouched
    SetWord(out, header + 4, block.packedSize.value_or(static_cast<std::uint32_t>(stream.size()))); // packed size
    SetWord(out, header + 8,
            block.unpackedSize.value_or(static_cast<std::uint32_t>(block.data.size()))); // unpacked size
    SetWord(out, header + 12, kLastHeaderWord);                                          // last word, untouched
    out.resize(header + 32, 0);                                                          // sixteen zero bytes
    out.insert(out.end(), stream.begin(), stream.end());                                 // 0x78 0xDA ...
    if (block.importPadding) {
        out.resize(out.size() + (16 - stream.size() % 16), 0); // 1 to 16 zeros
    } else {
        out.resize((out.size() + 15) / 16 * 16, 0); // zeros to the next 16
    }
    out.resize(out.size() + block.extraRoom, 0xCC); // room left behind
    out.resize((out.size() + 15) / 16 * 16, 0xCC);
    return header;
}

BuiltContainer BuildIndexedContainer(const FixtureContainer& plan) {
    BuiltContainer built;
    const std::uint64_t r = plan.recordOffset;
    const std::uint32_t n = static_cast<std::uint32_t>(plan.blocks.size() + (plan.extraEntry ? 1 : 0));
    built.recordOffset = r;
    built.entryCount = n;
    built.tableOffset = r + (plan.layout == 8 ? 8 : 16);

    ByteVector& out = built.bytes;
    out.assign(r, 0xEE);              // the container's own data ahead of the index
    SetWord(out, r + 0, n);           // entry count N
    SetWord(out, r + 4, plan.layout); // layout word
    if (plan.layout != 8) {
        SetWord(out, r + 8, 16);          // layout 0: 16, table at R+16
        SetWord(out, r + 12, 0x0BADF00D); // layout 0: not interpreted
    }
    const std::uint64_t tableEnd = built.tableOffset + 4ull * n;
    out.resize((tableEnd + 15) / 16 * 16 + 16, 0); // table (filled below), zeros to a 16 boundary

    for (const auto& block : plan.blocks) built.headerOffsets.push_back(AppendBlock(out, block));
    built.trailerOffset = out.size();
    out.insert(out.end(), plan.trailer.begin(), plan.trailer.end());

    for (std::size_t k = 0; k < plan.blocks.size(); ++k) {
        SetWord(out, built.tableOffset + 4 * k, static_cast<std::uint32_t>(built.headerOffsets[k] - r)); // entry k
    }
    if (plan.extraEntry) {
        SetWord(out, built.tableOffset + 4 * plan.blocks.size(),
                static_cast<std::uint32_t>(built.trailerOffset - r)); // what follows the last block
    }
    return built;
}

BuiltContainer BuildSingleBlockContainer(const FixtureBlock& block, std::size_t prefix, const ByteVector& trailer) {
    BuiltContainer built;
    built.bytes.assign(prefix, 0xEE); // the container's own data
    built.headerOffsets.push_back(AppendBlock(built.bytes, block));
    built.trailerOffset = built.bytes.size();
    built.bytes.insert(built.bytes.end(), trailer.begin(), trailer.end());
    return built;
}

} // namespace qorlu::test
