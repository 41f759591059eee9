#include "fuzz/FuzzWorkspace.h"

#include "io/BinaryFile.h"
#include "format/ByteOrder.h"
#include "tools/RawSectorWriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

namespace qorlu::fuzz {

namespace {

fs::path& ProcessFolder() {
    static fs::path folder;
    return folder;
}

void RemoveProcessFolder() {
    std::error_code ec;
    if (!ProcessFolder().empty()) fs::remove_all(ProcessFolder(), ec);
}

// The directory area's one record, at this offset of sector 22.
constexpr std::size_t kRecordAt = 34;
constexpr const char kIdentifier[] = "FILEDATA.AFS;1";
// The size of the game's archive, so that locating shows no size warning.
constexpr std::uint32_t kRecordedSize = 465819648;

void WriteBothEndian32(std::uint8_t* p, std::uint32_t v) {
    WriteLE32(p, v);
    for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// Blocks 0 to 22 of a composed image: a primary volume descriptor in block
// 16 and, in block 22, one ISO 9660 directory record naming the archive.
Bytes ComposedPrefix() {
    Bytes logical(std::size_t{kComposedArchiveSector} * 2048, 0);
    std::uint8_t* pvd = &logical[16 * 2048];
    pvd[0] = 1;                       // volume descriptor type: primary
    std::memcpy(pvd + 1, "CD001", 5); // standard identifier
    pvd[6] = 1;                       // version
    std::uint8_t* r = &logical[22 * 2048 + kRecordAt];
    const std::size_t nameLength = sizeof kIdentifier - 1;
    r[0] = static_cast<std::uint8_t>(33 + nameLength + 1); // record length, even
    WriteBothEndian32(r + 2, kComposedArchiveSector);      // extent location
    WriteBothEndian32(r + 10, kRecordedSize);              // data length
    r[32] = static_cast<std::uint8_t>(nameLength);         // identifier length
    std::memcpy(r + 33, kIdentifier, nameLength);          // identifier
    return logical;
}

} // namespace

fs::path FreshFolder() {
    fs::path& folder = ProcessFolder();
    if (folder.empty()) {
        std::random_device rd;
        for (;;) {
            folder = fs::temp_directory_path() / ("qorlu-fuzz-" + std::to_string(rd()) + std::to_string(rd()));
            if (fs::create_directory(folder)) break;
        }
        std::atexit(RemoveProcessFolder);
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path(), ec);
    return folder;
}

void PutFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
    if (!WriteWholeFile(path.string(), bytes)) throw std::runtime_error("cannot write " + path.string());
}

std::optional<Bytes> GetFile(const fs::path& path) { return ReadWholeFile(path.string()); }

Snapshot TakeSnapshot(const fs::path& root) {
    Snapshot shot;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string key = it->path().lexically_relative(root).generic_string();
        const auto status = it->symlink_status(ec);
        if (fs::is_regular_file(status)) {
            shot[key] = GetFile(it->path()).value_or(Bytes{});
        } else if (fs::is_directory(status)) {
            shot[key] = std::nullopt;
        } else {
            shot[key] = Bytes{'?'};
        }
    }
    return shot;
}

std::string DescribeChange(const Snapshot& before, const Snapshot& after) {
    for (const auto& [key, bytes] : before) {
        const auto it = after.find(key);
        if (it == after.end()) return "\"" + key + "\" disappeared";
        if (it->second != bytes) return "\"" + key + "\" changed";
    }
    for (const auto& [key, bytes] : after) {
        if (!before.contains(key)) return "\"" + key + "\" appeared";
    }
    return {};
}

std::uint8_t InputReader::U8() { return m_at < m_input.size() ? m_input[m_at++] : 0; }

std::uint16_t InputReader::U16() {
    const std::uint16_t lo = U8();
    return static_cast<std::uint16_t>(lo | (U8() << 8));
}

std::uint32_t InputReader::U24() {
    const std::uint32_t lo = U16();
    return lo | (std::uint32_t{U8()} << 16);
}

std::span<const std::uint8_t> InputReader::Take(std::size_t count) {
    const std::size_t n = std::min(count, m_input.size() - m_at);
    const auto slice = m_input.subspan(m_at, n);
    m_at += n;
    return slice;
}

std::span<const std::uint8_t> InputReader::Rest() { return Take(m_input.size() - m_at); }

DiscInput ParseDiscInput(std::span<const std::uint8_t> input) {
    InputReader in(input);
    DiscInput disc;
    disc.flags = in.U8();
    disc.trim = in.U8();
    disc.entry = in.U16();
    disc.replacementLength = in.U16();
    const auto cue = in.Take(in.U8());
    disc.cue.assign(cue.begin(), cue.end());
    const auto rest = in.Rest();
    disc.payload.assign(rest.begin(), rest.end());
    return disc;
}

Bytes EncodeDiscInput(const DiscInput& disc) {
    const std::size_t cueLength = std::min<std::size_t>(disc.cue.size(), 255);
    Bytes out;
    out.reserve(7 + cueLength + disc.payload.size());
    out.push_back(disc.flags);
    out.push_back(disc.trim);
    out.push_back(static_cast<std::uint8_t>(disc.entry));
    out.push_back(static_cast<std::uint8_t>(disc.entry >> 8));
    out.push_back(static_cast<std::uint8_t>(disc.replacementLength));
    out.push_back(static_cast<std::uint8_t>(disc.replacementLength >> 8));
    out.push_back(static_cast<std::uint8_t>(cueLength));
    for (std::size_t i = 0; i < cueLength; ++i) out.push_back(static_cast<std::uint8_t>(disc.cue[i]));
    out.insert(out.end(), disc.payload.begin(), disc.payload.end());
    return out;
}

Bytes ComposeImage(const DiscInput& disc) {
    Bytes image;
    if (disc.flags & kVerbatim) {
        image = disc.payload;
    } else {
        if (disc.flags & kPlainLayout) {
            image = ComposedPrefix();
            image.insert(image.end(), disc.payload.begin(), disc.payload.end());
        } else {
            // The prefix is the same for every input: its sectors are encoded once.
            static const Bytes rawPrefix = tools::WrapIntoRawSectors(ComposedPrefix());
            const std::size_t sectors = (disc.payload.size() + 2047) / 2048;
            image = rawPrefix;
            image.resize(rawPrefix.size() + sectors * tools::kRawBytes);
            Bytes user(2048);
            for (std::size_t k = 0; k < sectors; ++k) {
                const std::size_t at = k * 2048, n = std::min<std::size_t>(2048, disc.payload.size() - at);
                std::fill(std::copy_n(disc.payload.begin() + static_cast<std::ptrdiff_t>(at), n, user.begin()),
                          user.end(), std::uint8_t{0});
                tools::WriteRawSector(static_cast<std::uint32_t>(kComposedArchiveSector + k), user,
                                      image.data() + rawPrefix.size() + k * tools::kRawBytes);
            }
        }
    }
    image.resize(image.size() - std::min<std::size_t>(image.size(), std::size_t{disc.trim} * 16));
    return image;
}

PlacedDisc PlaceDisc(const DiscInput& disc, const fs::path& folder) {
    PlacedDisc placed;
    placed.folder = folder;
    fs::create_directories(folder);
    placed.imageFile = folder / "disc.bin";
    PutFile(placed.imageFile, ComposeImage(disc));
    placed.chosen = placed.imageFile;
    if (disc.flags & kThroughCue) {
        std::string sheet = disc.cue;
        if (sheet.empty()) {
            sheet = std::string("FILE \"disc.bin\" BINARY\r\n  TRACK 01 ") +
                    ((disc.flags & kPlainLayout) ? "MODE1/2048" : "MODE2/2352") + "\r\n    INDEX 01 00:00:00\r\n";
        }
        placed.chosen = folder / "disc.cue";
        PutFile(placed.chosen, std::span(reinterpret_cast<const std::uint8_t*>(sheet.data()), sheet.size()));
    }
    return placed;
}

} // namespace qorlu::fuzz
