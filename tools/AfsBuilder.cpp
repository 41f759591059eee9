#include "tools/AfsBuilder.h"

#include "shell/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace qorlu::tools {

namespace {

std::uint32_t AlignUp(std::uint64_t v, std::uint32_t a) {
    return static_cast<std::uint32_t>(a <= 1 ? v : (v + a - 1) / a * a);
}

} // namespace

AfsLayout BuildAfs(const std::vector<AfsBuildEntry>& entries, const AfsBuildOptions& options) {
    AfsLayout layout;
    const auto count = static_cast<std::uint32_t>(entries.size());
    // Header, table, and one more pair that points at the name directory.
    std::uint32_t at = AlignUp(8 + 8 * std::uint64_t{count} + 8, options.alignment);
    for (const auto& e : entries) {
        layout.offsets.push_back(at);
        at = AlignUp(std::uint64_t{at} + e.data.size(), options.alignment) + e.extraRoom;
    }
    const std::uint32_t dataEnd =
        count == 0 ? at : layout.offsets.back() + static_cast<std::uint32_t>(entries.back().data.size());
    layout.nameDirOffset = dataEnd + options.gapBeforeNames;
    layout.bytes.assign(layout.nameDirOffset + 48 * std::size_t{count}, 0);

    auto& b = layout.bytes;
    std::memcpy(b.data(), "AFS", 4);
    WriteLE32(&b[4], count);
    for (std::uint32_t i = 0; i < count; ++i) {
        WriteLE32(&b[8 + 8 * i], layout.offsets[i]);
        WriteLE32(&b[12 + 8 * i], static_cast<std::uint32_t>(entries[i].data.size()));
        std::copy(entries[i].data.begin(), entries[i].data.end(), b.begin() + layout.offsets[i]);

        std::uint8_t* record = &b[layout.nameDirOffset + 48 * i];
        std::memcpy(record, entries[i].name.data(), std::min<std::size_t>(32, entries[i].name.size()));
        WriteLE16(record + 32, 2001); // a made-up date: year, month, day, hour, minute, second
        WriteLE16(record + 34, 4);
        WriteLE16(record + 36, 1);
        WriteLE32(record + 44, static_cast<std::uint32_t>(entries[i].data.size()));
    }
    WriteLE32(&b[8 + 8 * std::size_t{count}], layout.nameDirOffset);
    WriteLE32(&b[12 + 8 * std::size_t{count}], 48 * count);
    return layout;
}

std::vector<std::uint8_t> PatternBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> out(size);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& byte : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<std::uint8_t>(x >> 24);
    }
    return out;
}

} // namespace qorlu::tools
