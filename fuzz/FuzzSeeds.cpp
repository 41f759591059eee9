#include "fuzz/FuzzSeeds.h"

#include "fuzz/FuzzWorkspace.h"
#include "format/ByteOrder.h"
#include "texture/FlagSheet.h"
#include "texture/TextureExport.h"
#include "texture/TextureFormat.h"
#include "tools/AfsBuilder.h"
#include "tools/PpfBuilder.h"
#include "tools/SampleContainers.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace qorlu::fuzz {

namespace {

using tools::PatternBytes;

// Entries of the kinds the game's archive holds: folders, ".ADX" in either
// case, a root entry, an empty one.
std::vector<tools::AfsBuildEntry> SeedEntries() {
    return {
        {"BGM/TITLE.ADX", PatternBytes(3000, 1), 0},
        {"se/Click.adx", PatternBytes(700, 2), 0},
        {"DATA/A/B.BIN", PatternBytes(100, 3), 0},
        {"README.TXT", PatternBytes(7, 4), 0},
        {"DATA/EMPTY.BIN", {}, 0},
    };
}

Bytes Archive(std::uint32_t alignment, std::uint32_t gap) {
    tools::AfsBuildOptions options;
    options.alignment = alignment;
    options.gapBeforeNames = gap;
    return tools::BuildAfs(SeedEntries(), options).bytes;
}

std::vector<Seed> DiscSeeds(std::string_view target) {
    struct Layout {
        const char* name;
        std::uint8_t flags;
    };
    const Layout layouts[] = {
        {"raw", 0}, {"plain", kPlainLayout}, {"raw-cue", kThroughCue}, {"plain-cue", kPlainLayout | kThroughCue}};
    const Bytes sectorAligned = Archive(2048, 0);
    const Bytes packed = Archive(16, 100);
    std::vector<Seed> seeds;
    for (const Layout& layout : layouts) {
        DiscInput disc;
        disc.flags = layout.flags;
        disc.payload = sectorAligned;
        seeds.push_back({std::string(layout.name) + "-2048", EncodeDiscInput(disc)});
        disc.payload = packed;
        seeds.push_back({std::string(layout.name) + "-16", EncodeDiscInput(disc)});
    }
    // Whole image files, as a user's dump would be.
    for (const std::uint8_t layout : {std::uint8_t{0}, std::uint8_t{kPlainLayout}}) {
        DiscInput composed;
        composed.flags = layout;
        composed.payload = sectorAligned;
        DiscInput verbatim;
        verbatim.flags = static_cast<std::uint8_t>(kVerbatim | layout);
        verbatim.payload = ComposeImage(composed);
        seeds.push_back({layout ? "verbatim-plain" : "verbatim-raw", EncodeDiscInput(verbatim)});
    }
    // A sheet with an unquoted name.
    DiscInput sheet;
    sheet.flags = kThroughCue;
    sheet.cue = "FILE disc.bin BINARY\n TRACK 1 MODE2/2352\n  INDEX 1 00:00:00\n";
    sheet.payload = sectorAligned;
    seeds.push_back({"raw-cue-unquoted", EncodeDiscInput(sheet)});

    if (target == "extract") {
        for (std::uint8_t filter = 0; filter < 3; ++filter) {
            DiscInput disc;
            disc.flags = static_cast<std::uint8_t>(filter << kFilterShift);
            disc.payload = sectorAligned;
            seeds.push_back({"filter-" + std::to_string(filter), EncodeDiscInput(disc)});
        }
        DiscInput beside;
        beside.flags = kIntoImageFolder;
        beside.payload = sectorAligned;
        seeds.push_back({"beside-image", EncodeDiscInput(beside)});
    }
    if (target == "import") {
        // The same length, a longer one that still fits, nothing, for several entries.
        const std::pair<std::uint16_t, std::uint16_t> imports[] = {{0, 3000}, {1, 1800}, {3, 0}, {4, 40}, {2, 2048}};
        for (const auto& [entry, length] : imports) {
            for (const std::uint8_t flags : {std::uint8_t{0}, std::uint8_t{kPlainLayout}}) {
                DiscInput disc;
                disc.flags = flags;
                disc.entry = entry;
                disc.replacementLength = length;
                disc.payload = sectorAligned;
                seeds.push_back(
                    {"entry" + std::to_string(entry) + "-" + std::to_string(length) + (flags ? "-plain" : "-raw"),
                     EncodeDiscInput(disc)});
            }
        }
    }
    return seeds;
}

Bytes ConverterInput(int number, const Bytes& container, const Bytes& file) {
    if (container.size() >= (1u << 24)) throw std::length_error("seed container");
    const std::uint8_t head[6] = {0,
                                  static_cast<std::uint8_t>(number),
                                  static_cast<std::uint8_t>(number >> 8),
                                  static_cast<std::uint8_t>(container.size()),
                                  static_cast<std::uint8_t>(container.size() >> 8),
                                  static_cast<std::uint8_t>(container.size() >> 16)};
    // Sized once and filled in place: no growth of a short vector, which
    // GCC's -O3 bounds check misreads.
    Bytes out(sizeof head + container.size() + file.size());
    std::copy(std::begin(head), std::end(head), out.begin());
    std::copy(container.begin(), container.end(), out.begin() + sizeof head);
    std::copy(file.begin(), file.end(), out.begin() + static_cast<std::ptrdiff_t>(sizeof head + container.size()));
    return out;
}

std::vector<Seed> TextureSeeds() {
    const Bytes container = tools::MakeTextureContainer();
    std::vector<Seed> seeds;
    for (const TextureInfo& info : ScanTextures(container)) {
        Bytes bitmap = BuildTextureBitmap(container, info);
        // Other pixels, so that the import changes something.
        for (std::size_t i = bitmap.size() - static_cast<std::size_t>(info.pixelByteCount); i < bitmap.size(); ++i)
            bitmap[i] = static_cast<std::uint8_t>(bitmap[i] + 1);
        seeds.push_back({"texture-" + std::to_string(info.number), ConverterInput(info.number, container, bitmap)});
    }
    return seeds;
}

// A sheet of `count` images of width x height: header, table, palette, images.
Bytes Sheet(std::uint16_t count, std::uint8_t width, std::uint8_t height) {
    const std::size_t palette = 20 + 8 * std::size_t{count} + 12;
    Bytes sheet(palette + 1024, 0xCC);
    WriteLE16(sheet.data(), count);                                    // image count
    sheet[2] = width;                                                  // width
    sheet[3] = height;                                                 // height
    WriteLE32(sheet.data() + 12, static_cast<std::uint32_t>(palette)); // palette offset
    for (std::size_t i = 0; i < 1024; ++i) sheet[palette + i] = static_cast<std::uint8_t>(i * 7);
    for (std::size_t k = 0; k < count; ++k) {
        WriteLE32(sheet.data() + 20 + 8 * k, static_cast<std::uint32_t>(sheet.size())); // pixel data offset
        const Bytes image = PatternBytes(std::size_t{width} * height, static_cast<std::uint32_t>(k + 10));
        sheet.insert(sheet.end(), image.begin(), image.end());
    }
    return sheet;
}

std::vector<Seed> FlagSheetSeeds() {
    std::vector<Seed> seeds;
    const std::pair<std::uint8_t, std::uint8_t> shapes[] = {{30, 20}, {8, 8}, {5, 3}};
    for (const auto& [width, height] : shapes) {
        const Bytes sheet = Sheet(3, width, height);
        const auto header = ReadFlagSheetHeader(sheet);
        Bytes palette(1024);
        ConvertPalette(std::span(sheet).subspan(header->paletteOffset, 1024), 256, palette);
        Bytes bitmap = BuildFlagSheetBitmap(sheet, *header, palette, *FlagSheetImageOffset(sheet, *header, 1));
        bitmap.back() ^= 0x55;
        bitmap[1078] ^= 0x33;
        seeds.push_back(
            {"sheet-" + std::to_string(width) + "x" + std::to_string(height), ConverterInput(1, sheet, bitmap)});
    }
    return seeds;
}

// One block behind 16 bytes of the container's own data.
Bytes SingleBlockContainer(const Bytes& data) {
    Bytes out(16, 0xEE);
    uLongf packed = compressBound(static_cast<uLong>(data.size()));
    Bytes stream(packed);
    if (compress2(stream.data(), &packed, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK)
        throw std::runtime_error("compress2");
    Bytes header(32, 0);
    WriteLE32(header.data(), 0xA1B2C3D4);                                  // first header word
    WriteLE32(header.data() + 4, static_cast<std::uint32_t>(packed));      // packed size
    WriteLE32(header.data() + 8, static_cast<std::uint32_t>(data.size())); // unpacked size
    WriteLE32(header.data() + 12, 0x5E6F7081);                             // last header word
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(packed));
    return out;
}

std::vector<Seed> BlockSeeds() {
    const std::string text = "a line of made-up game text\nanother line of made-up game text\n";
    const Bytes data(text.begin(), text.end());
    return {
        {"indexed-1", ConverterInput(1, tools::MakeBlockContainer(), data)},
        {"indexed-2", ConverterInput(2, tools::MakeBlockContainer(), {})},
        {"single", ConverterInput(0, SingleBlockContainer(PatternBytes(300, 5)), data)},
    };
}

} // namespace

// Patches of every version for the patch target's images: an input is a
// flags byte (1: undo, 2: the plain image), then the patch.
std::vector<Seed> PatchSeeds() {
    std::vector<Seed> seeds;
    for (const bool plain : {false, true}) {
        const Bytes& image = PatchTargetImage(plain);
        tools::PpfBuild base;
        base.description = "seed";
        base.block = tools::ValidationBlockOf(image);
        base.originalSize = static_cast<std::uint32_t>(image.size());
        // A byte, a run across a sector's end, and a sector's 280 checksum bytes.
        for (const auto& [offset, count] : {std::pair<std::size_t, std::size_t>{100, 1},
                                            {2300, 120},
                                            {5 * 2352 + 2072, 255},
                                            {5 * 2352 + 2327, 25}}) {
            tools::PpfBuildRecord r;
            r.offset = offset;
            for (std::size_t i = 0; i < count; ++i) {
                r.oldBytes.push_back(image[offset + i]);
                r.newBytes.push_back(static_cast<std::uint8_t>(image[offset + i] ^ 0x55));
            }
            base.records.push_back(r);
        }
        struct Variant {
            const char* name;
            int version;
            bool validation, undo, diz;
            bool dizPadded = false; // the trailer's length in 4 bytes, 2 of them zero
        };
        const Variant variants[] = {
            {"ppf1", 1, false, false, false},        {"ppf2", 2, true, false, false},
            {"ppf2-diz", 2, true, false, true},      {"ppf3", 3, false, false, false},
            {"ppf3-checked", 3, true, false, false}, {"ppf3-undo", 3, true, true, false},
            {"ppf3-undo-diz", 3, false, true, true}, {"ppf3-undo-diz-padded", 3, true, true, true, true}};
        for (const Variant& v : variants) {
            tools::PpfBuild p = base;
            p.version = v.version;
            p.validation = v.validation;
            p.undo = v.undo;
            if (v.diz) p.fileIdDiz = "seed patch\r\n";
            p.dizLengthPadded = v.dizPadded;
            const Bytes patch = tools::EncodePpf(p);
            for (const bool undo : {false, true}) {
                if (undo && !v.undo) continue;
                Bytes input(1 + patch.size());
                input[0] = static_cast<std::uint8_t>((undo ? 1 : 0) | (plain ? 2 : 0));
                std::copy(patch.begin(), patch.end(), input.begin() + 1);
                std::string name = v.name;
                name += plain ? "-plain" : "-raw";
                if (undo) name += "-undone";
                seeds.push_back({name, std::move(input)});
            }
        }
    }
    return seeds;
}

std::vector<Seed> SeedsFor(std::string_view target) {
    if (target == "locate" || target == "extract" || target == "import") return DiscSeeds(target);
    if (target == "texture") return TextureSeeds();
    if (target == "flagsheet") return FlagSheetSeeds();
    if (target == "blocks") return BlockSeeds();
    if (target == "patch") return PatchSeeds();
    return {};
}

} // namespace qorlu::fuzz
