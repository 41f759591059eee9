#include "tools/IconFile.h"

#include <cstdio>
#include <cstring>
#include <map>

namespace qorlu::tools {

std::optional<IconPixels> ReadXpm(const char* const* xpm) {
    if (!xpm || !xpm[0]) return std::nullopt;
    int width = 0, height = 0, colours = 0, perPixel = 0;
    if (std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &perPixel) != 4 || perPixel != 1 || width <= 0 ||
        height <= 0 || colours <= 0 || colours > 256)
        return std::nullopt;
    IconPixels icon;
    icon.width = width;
    icon.height = height;
    std::map<char, int> index;
    for (int c = 0; c < colours; ++c) {
        const char* line = xpm[1 + c];
        if (!line || std::strlen(line) < 5 || line[1] != ' ') return std::nullopt;
        const char* value = std::strstr(line + 2, "c ");
        if (!value) return std::nullopt;
        value += 2;
        if (std::strcmp(value, "None") == 0) {
            index[line[0]] = -1;
            continue;
        }
        unsigned rgb = 0;
        if (std::sscanf(value, "#%6x", &rgb) != 1) return std::nullopt;
        index[line[0]] = static_cast<int>(icon.palette.size());
        icon.palette.push_back(rgb);
    }
    for (int y = 0; y < height; ++y) {
        const char* row = xpm[1 + colours + y];
        if (!row || static_cast<int>(std::strlen(row)) != width) return std::nullopt;
        for (int x = 0; x < width; ++x) {
            const auto found = index.find(row[x]);
            if (found == index.end()) return std::nullopt;
            icon.pixels.push_back(found->second);
        }
    }
    return icon;
}

namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

} // namespace

std::vector<std::uint8_t> IcoFromPixels(const IconPixels& icon) {
    constexpr int kSize = 32;
    if (icon.width != kSize || icon.height != kSize || icon.palette.size() > 16 ||
        icon.pixels.size() != static_cast<std::size_t>(kSize * kSize))
        return {};
    constexpr std::uint32_t kColourBytes = kSize * kSize / 2;
    constexpr std::uint32_t kMaskBytes = kSize * kSize / 8;
    constexpr std::uint32_t kImageBytes = 40 + 16 * 4 + kColourBytes + kMaskBytes;
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, 1);
    out.insert(out.end(), {kSize, kSize, 16, 0});
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, kImageBytes);
    Put32(out, 22);
    Put32(out, 40);
    Put32(out, kSize);
    Put32(out, 2 * kSize);
    Put16(out, 1);
    Put16(out, 4);
    Put32(out, 0);
    Put32(out, kColourBytes + kMaskBytes);
    for (int i = 0; i < 4; ++i) Put32(out, 0);
    for (std::size_t i = 0; i < 16; ++i) {
        const std::uint32_t rgb = i < icon.palette.size() ? icon.palette[i] : 0;
        out.insert(out.end(), {static_cast<std::uint8_t>(rgb), static_cast<std::uint8_t>(rgb >> 8),
                               static_cast<std::uint8_t>(rgb >> 16), 0});
    }
    const auto at = [&](int x, int y) { return icon.pixels[static_cast<std::size_t>(y * kSize + x)]; };
    for (int y = kSize - 1; y >= 0; --y) {
        for (int x = 0; x < kSize; x += 2) {
            const int a = at(x, y) < 0 ? 0 : at(x, y);
            const int b = at(x + 1, y) < 0 ? 0 : at(x + 1, y);
            out.push_back(static_cast<std::uint8_t>((a << 4) | b));
        }
    }
    for (int y = kSize - 1; y >= 0; --y) {
        for (int x = 0; x < kSize; x += 8) {
            std::uint8_t bits = 0;
            for (int i = 0; i < 8; ++i)
                if (at(x + i, y) < 0) bits = static_cast<std::uint8_t>(bits | (0x80 >> i));
            out.push_back(bits);
        }
    }
    return out;
}

} // namespace qorlu::tools
