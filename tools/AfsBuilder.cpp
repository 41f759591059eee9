#include "tools/AfsBuilder.h"

#include "archive/AfsLayout.h"
#include "format/ByteOrder.h"

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
    std::uint32_t at = AlignUp(afs::TableEnd(count) + afs::kEntryBytes, options.alignment);
    for (const auto& e : entries) {
        layout.offsets.push_back(at);
        at = AlignUp(std::uint64_t{at} + e.data.size(), options.alignment) + e.extraRoom;
    }
    const std::uint32_t dataEnd =
        count == 0 ? at : layout.offsets.back() + static_cast<std::uint32_t>(entries.back().data.size());
    layout.nameDirOffset = dataEnd + options.gapBeforeNames;
    layout.bytes.assign(static_cast<std::size_t>(layout.nameDirOffset + afs::NameDirBytes(count)), 0);

    auto& b = layout.bytes;
    std::memcpy(b.data(), "AFS", 4);
    WriteLE32(&b[afs::kCountOffset], count);
    for (std::uint32_t i = 0; i < count; ++i) {
        WriteLE32(&b[afs::EntryAt(i)], layout.offsets[i]);
        WriteLE32(&b[afs::EntrySizeAt(i)], static_cast<std::uint32_t>(entries[i].data.size()));
        std::copy(entries[i].data.begin(), entries[i].data.end(), b.begin() + layout.offsets[i]);

        std::uint8_t* record = &b[afs::NameRecordAt(layout.nameDirOffset, i)];
        std::memcpy(record, entries[i].name.data(), std::min<std::size_t>(afs::kNameBytes, entries[i].name.size()));
        WriteLE16(record + 32, 2001); // a made-up date: year, month, day, hour, minute, second
        WriteLE16(record + 34, 4);
        WriteLE16(record + 36, 1);
        WriteLE32(record + afs::kNameSizeCopy, static_cast<std::uint32_t>(entries[i].data.size()));
    }
    WriteLE32(&b[afs::EntryAt(count)], layout.nameDirOffset);
    WriteLE32(&b[afs::EntrySizeAt(count)], static_cast<std::uint32_t>(afs::NameDirBytes(count)));
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
