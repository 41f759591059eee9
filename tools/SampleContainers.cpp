#include "tools/SampleContainers.h"

#include "format/ByteOrder.h"
#include "texture/TextureFormat.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <zlib.h>

namespace qorlu::tools {

namespace {

using Bytes = std::vector<std::uint8_t>;

void PadTo16(Bytes& out, std::uint8_t fill) {
    while (out.size() % 16 != 0) out.push_back(fill);
}

// A texture block: header, palette, then pixels in a diagonal pattern.
void AppendTexture(Bytes& out, int bits, int width, int height) {
    const std::size_t paletteAt = bits == 8 ? 128 : 64;
    const std::size_t pixelsAt = bits == 8 ? 1152 : 128;
    const int colours = bits == 8 ? 256 : 16;
    const std::size_t pixelBytes = static_cast<std::size_t>(width) * height * bits / 8;
    // Made whole on its own, then appended: growing `out` in place here
    // makes GCC 12 at -O3 warn about the move of its old bytes.
    Bytes block(pixelsAt + pixelBytes, 0);
    std::uint8_t* b = block.data();
    std::memcpy(b, kTextureSignature, 8);
    b[kTextureDepthCodeOffset] = bits == 8 ? kTextureDepthCode8Bit : 0;
    WriteLE16(b + kTextureWidthOffset, static_cast<std::uint16_t>(width));
    WriteLE16(b + kTextureHeightOffset, static_cast<std::uint16_t>(height));
    b[kTexturePresenceOffset] = 1;
    for (int c = 0; c < colours; ++c) { // a ramp from blue to orange
        std::uint8_t* e = b + paletteAt + 4 * c;
        e[0] = static_cast<std::uint8_t>(c * 255 / (colours - 1));
        e[1] = static_cast<std::uint8_t>(c * 128 / (colours - 1));
        e[2] = static_cast<std::uint8_t>(255 - c * 255 / (colours - 1));
        e[3] = 0x80;
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int colour = (x + y) % colours;
            std::uint8_t* p = b + pixelsAt + (static_cast<std::size_t>(y) * width + x) * bits / 8;
            if (bits == 8)
                *p = static_cast<std::uint8_t>(colour);
            else
                *p = static_cast<std::uint8_t>(x % 2 == 0 ? (*p & 0xF0) | colour : (*p & 0x0F) | (colour << 4));
        }
    }
    out.insert(out.end(), block.begin(), block.end());
}

Bytes Text(int block) {
    std::string s;
    for (int line = 0; s.size() < 20000; ++line)
        s += "sample block " + std::to_string(block) + ", line " + std::to_string(line) + ": made-up game text\n";
    return Bytes(s.begin(), s.end());
}

} // namespace

std::vector<std::uint8_t> MakeTextureContainer() {
    Bytes out(64, 0xAB); // the container's own data
    AppendTexture(out, 8, 32, 16);
    PadTo16(out, 0);
    out.resize(out.size() + 48, 0); // a header whose presence bytes are both zero
    std::memcpy(&out[out.size() - 48], kTextureSignature, 8);
    out.resize(out.size() + 32, 0xCD); // filler
    AppendTexture(out, 4, 16, 8);
    out.resize(out.size() + 40, 0);
    return out;
}

std::vector<std::uint8_t> MakeBlockContainer() {
    constexpr std::size_t kRecord = 16;
    Bytes out(64, 0); // the index record: count, layout 8, four entries
    std::fill(out.begin(), out.begin() + kRecord, std::uint8_t{0xEE}); // before it, the container's own data
    std::vector<std::uint32_t> entries;
    for (int k = 0; k < 3; ++k) {
        entries.push_back(static_cast<std::uint32_t>(out.size() - kRecord));
        const Bytes data = Text(k);
        uLongf packed = compressBound(static_cast<uLong>(data.size()));
        Bytes stream(packed);
        compress2(stream.data(), &packed, data.data(), static_cast<uLong>(data.size()), 9);
        const std::size_t header = out.size();
        out.resize(header + 32, 0);
        WriteLE32(&out[header], 0x00010000u + static_cast<std::uint32_t>(k));
        WriteLE32(&out[header + 4], static_cast<std::uint32_t>(packed));
        WriteLE32(&out[header + 8], static_cast<std::uint32_t>(data.size()));
        out.insert(out.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(packed));
        PadTo16(out, 0);
    }
    entries.push_back(static_cast<std::uint32_t>(out.size() - kRecord));
    const std::string trailer = "end of the sample container\n";
    out.insert(out.end(), trailer.begin(), trailer.end());
    WriteLE32(&out[kRecord], static_cast<std::uint32_t>(entries.size()));
    WriteLE32(&out[kRecord + 4], 8);
    for (std::size_t k = 0; k < entries.size(); ++k) WriteLE32(&out[kRecord + 8 + 4 * k], entries[k]);
    return out;
}

} // namespace qorlu::tools
