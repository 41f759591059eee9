// The texture converter targets: a texture container and a flag sheet, each
// exported, every exported bitmap imported back, then an arbitrary bitmap
// imported.
//
// Input: 0 flags (unused), 1..2 bitmap number (modulo 1000), 3..5 container
// length (at most what follows), then the container and the bitmap.

#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzWorkspace.h"
#include "format/ByteOrder.h"
#include "tests/support/MessageRecorder.h"
#include "texture/BitmapFile.h"
#include "texture/FlagSheet.h"
#include "texture/TextureExport.h"
#include "texture/TextureFormat.h"
#include "texture/TextureImport.h"

#include <algorithm>
#include <functional>

namespace qorlu::fuzz {

namespace {

// Exported bitmaps imported back one by one; the rest are only exported.
constexpr std::size_t kRoundTrips = 8;

struct ConverterInput {
    int number = 0;
    Bytes container;
    Bytes bitmap;
};

ConverterInput ParseConverterInput(std::span<const std::uint8_t> input) {
    InputReader in(input);
    ConverterInput parsed;
    in.U8();
    parsed.number = in.U16() % 1000;
    const auto container = in.Take(in.U24());
    parsed.container.assign(container.begin(), container.end());
    const auto bitmap = in.Rest();
    parsed.bitmap.assign(bitmap.begin(), bitmap.end());
    return parsed;
}

// Runs one operation and returns its one message, or a finding when it
// showed none or several.
std::optional<std::string> OneMessage(test::MessageRecorder& sink, const std::function<void()>& operation,
                                      Finding& finding, const char* what) {
    sink.Clear();
    operation();
    const auto texts = sink.Texts();
    if (texts.size() != 1) {
        finding = std::string(what) + " showed " + std::to_string(texts.size()) + " messages";
        return std::nullopt;
    }
    return texts.front();
}

// The pixel range that importing bitmap `number` may change, and where its
// rows lie in the bitmap: what the container says before the import.
struct ImageRange {
    std::uint64_t begin = 0, end = 0;
};

// Shared by textures and sheets: export, import each export back (the
// container must stay byte-identical), import the given bitmap (only its
// image's bytes may change, and exporting again gives its rows back).
struct ConverterCase {
    std::string containerName;
    // The range of image `number` in `container`, or nothing when it has none.
    std::function<std::optional<ImageRange>(const Bytes& container, int number)> rangeOf;
    // The bytes of bitmap `bitmap` that land in the container, in the order
    // the export writes them back; nothing when it carries none.
    std::function<std::optional<Bytes>(const Bytes& container, int number, const Bytes& bitmap)> pixelsOf;
    // Whether writing over `range` leaves the fields that find the images
    // alone; only then must the container export the same images again.
    std::function<bool(const Bytes& container, const ImageRange& range)> keepsLayout;
};

Finding RunConverterCase(const ConverterCase& c, std::span<const std::uint8_t> input) {
    const ConverterInput parsed = ParseConverterInput(input);
    const fs::path root = FreshFolder();
    const fs::path container = root / c.containerName;
    PutFile(container, parsed.container);
    test::MessageRecorder sink;
    Finding finding;

    const auto exported = OneMessage(
        sink, [&] { ExportTextures(sink, container.string()); }, finding, "the export");
    if (!exported) return finding;
    if (GetFile(container) != parsed.container) return "the export changed the container";
    Snapshot files = TakeSnapshot(root);
    for (const auto& [key, bytes] : files) {
        if (key == c.containerName) continue;
        const ExportedName name = ParseExportedName(key);
        if (!name.Accepted() || name.containerPath != c.containerName || !c.rangeOf(parsed.container, name.number))
            return "the export wrote \"" + key + "\", which is no image of the container";
    }
    if (*exported == "OK!") {
        std::size_t tried = 0;
        for (const auto& [key, bytes] : files) {
            if (key == c.containerName || tried++ == kRoundTrips) continue;
            const std::string path = (root / key).string();
            const auto imported = OneMessage(
                sink, [&] { ImportTexture(sink, path); }, finding, "importing an exported bitmap");
            if (!imported) return finding;
            if (GetFile(container) != parsed.container)
                return "importing the exported \"" + key + "\" back changed the container (" + *imported + ")";
        }
    }
    for (const auto& [key, bytes] : files)
        if (key != c.containerName) fs::remove(root / key);

    // An arbitrary bitmap for image `number`.
    const fs::path bitmap = root / ExportedBitmapName(c.containerName, parsed.number);
    PutFile(bitmap, parsed.bitmap);
    const auto imported = OneMessage(
        sink, [&] { ImportTexture(sink, bitmap.string()); }, finding, "the import");
    if (!imported) return finding;
    const auto now = GetFile(container);
    if (!now) return "the container can no longer be read";
    files = TakeSnapshot(root);
    if (files.size() != 2) return "the import left " + std::to_string(files.size() - 2) + " more files behind";
    if (*imported != "OK!") {
        if (*now != parsed.container) return "a refused import (" + *imported + ") changed the container";
        return {};
    }
    if (now->size() != parsed.container.size()) return "the import changed the container's length";
    const auto range = c.rangeOf(parsed.container, parsed.number);
    if (!range) return "an import into an image that does not exist said OK";
    for (std::size_t p = 0; p < now->size(); ++p) {
        if ((*now)[p] != parsed.container[p] && (p < range->begin || p >= range->end))
            return "the import changed byte " + std::to_string(p) + ", outside its image's pixels";
    }
    // A container that did not export before need not export now.
    if (*exported != "OK!" || !c.keepsLayout(parsed.container, *range)) return {};
    // Exporting again gives the imported rows back.
    const auto again = OneMessage(
        sink, [&] { ExportTextures(sink, container.string()); }, finding, "exporting again");
    if (!again) return finding;
    if (*again != "OK!") return "the container no longer exports after an import (" + *again + ")";
    const auto exportedAgain = GetFile(bitmap);
    const auto wanted = c.pixelsOf(parsed.container, parsed.number, parsed.bitmap);
    const auto got = exportedAgain ? c.pixelsOf(*now, parsed.number, *exportedAgain) : std::nullopt;
    if (wanted != got) return "exporting after the import does not give the imported pixels back";
    return {};
}

ImageRange TextureRange(const TextureInfo& info) {
    return {info.pixelPosition, info.pixelPosition + info.pixelByteCount};
}

} // namespace

Finding CheckTexture(std::span<const std::uint8_t> input) {
    ConverterCase c;
    c.containerName = "TEX.BIN";
    c.rangeOf = [](const Bytes& container, int number) -> std::optional<ImageRange> {
        const auto info = FindTexture(container, number);
        if (!info) return std::nullopt;
        return TextureRange(*info);
    };
    // The rows as the texture holds them: the bitmap's row bytes after its
    // header, bottom row first, each the texture's row byte count long.
    c.pixelsOf = [](const Bytes& container, int number, const Bytes& bitmap) -> std::optional<Bytes> {
        const auto info = FindTexture(container, number);
        if (!info) return std::nullopt;
        const std::uint64_t header = BitmapHeaderLength(info->colourCount);
        const std::uint64_t rows = static_cast<std::uint64_t>(info->height) * info->rowByteCount;
        if (bitmap.size() < header + rows) return std::nullopt;
        return Bytes(bitmap.begin() + static_cast<std::ptrdiff_t>(header),
                     bitmap.begin() + static_cast<std::ptrdiff_t>(header + rows));
    };
    // A texture's pixels never hold its own header, nor any header the scan reads.
    c.keepsLayout = [](const Bytes&, const ImageRange&) { return true; };
    return RunConverterCase(c, input);
}

Finding CheckFlagSheet(std::span<const std::uint8_t> input) {
    ConverterCase c;
    c.containerName = "SHEET.FLG";
    c.rangeOf = [](const Bytes& sheet, int number) -> std::optional<ImageRange> {
        const auto header = ReadFlagSheetHeader(sheet);
        const auto offset = header ? FlagSheetImageOffset(sheet, *header, number) : std::nullopt;
        if (!offset) return std::nullopt;
        return ImageRange{*offset, *offset + static_cast<std::uint64_t>(header->width) * header->height};
    };
    // The image's pixels, rows bottom first, without the fill of each row.
    c.pixelsOf = [](const Bytes& sheet, int number, const Bytes& bitmap) -> std::optional<Bytes> {
        const auto header = ReadFlagSheetHeader(sheet);
        if (!header || !FlagSheetImageOffset(sheet, *header, number)) return std::nullopt;
        const std::size_t width = static_cast<std::size_t>(header->width);
        const std::size_t rowLength = static_cast<std::size_t>(FlagSheetRowLength(header->width));
        const std::size_t headerLength = static_cast<std::size_t>(BitmapHeaderLength(256));
        const std::size_t height = static_cast<std::size_t>(header->height);
        if (bitmap.size() < headerLength + rowLength * height) return std::nullopt;
        Bytes pixels;
        for (std::size_t r = 0; r < height; ++r) {
            const auto row = bitmap.begin() + static_cast<std::ptrdiff_t>(headerLength + r * rowLength);
            pixels.insert(pixels.end(), row, row + static_cast<std::ptrdiff_t>(width));
        }
        return pixels;
    };
    // A sheet's image may lie over its own header or table; an import then
    // rewrites them as the bitmap says, and the sheet is another one.
    c.keepsLayout = [](const Bytes& sheet, const ImageRange& range) {
        const auto header = ReadFlagSheetHeader(sheet);
        return header &&
               range.begin >= kFlagSheetTableOffset + kFlagSheetEntryBytes * std::uint64_t(header->imageCount);
    };
    return RunConverterCase(c, input);
}

} // namespace qorlu::fuzz
