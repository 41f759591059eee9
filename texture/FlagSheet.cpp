#include "texture/FlagSheet.h"

#include "format/ByteReader.h"
#include "io/BinaryFile.h"
#include "texture/BitmapFile.h"
#include "texture/ConverterSteps.h"
#include "texture/TextureExport.h"
#include "texture/TextureFormat.h"
#include "texture/TextureImport.h"
#include "texture/TextureMessages.h"

#include <new>

namespace qorlu {

namespace msg = texture_messages;

namespace {

constexpr std::uint64_t kPaletteBytes = 256 * 4;

} // namespace

std::optional<FlagSheetHeader> ReadFlagSheetHeader(std::span<const std::uint8_t> sheet) {
    const CByteReader reader(sheet);
    if (!reader.Has(0, kFlagSheetHeaderBytes)) return std::nullopt;
    FlagSheetHeader header;
    header.imageCount = reader.LE16(0).value_or(0);
    header.width = reader.U8(2).value_or(0);
    header.height = reader.U8(3).value_or(0);
    header.paletteOffset = reader.LE32(kFlagSheetPaletteOffsetField).value_or(0);
    return header;
}

std::optional<std::uint64_t> FlagSheetImageOffset(std::span<const std::uint8_t> sheet, const FlagSheetHeader& header,
                                                  int index) {
    if (index < 0 || index >= header.imageCount) return std::nullopt;
    const CByteReader reader(sheet);
    const std::uint64_t entry = kFlagSheetTableOffset + static_cast<std::uint64_t>(index) * kFlagSheetEntryBytes;
    const auto offset = reader.Has(entry, kFlagSheetEntryBytes) ? reader.LE32(entry) : std::nullopt;
    const std::uint64_t imageBytes = static_cast<std::uint64_t>(header.width) * header.height;
    if (!offset || !reader.Has(*offset, imageBytes)) return std::nullopt;
    return std::uint64_t{*offset};
}

std::vector<std::uint8_t> BuildFlagSheetBitmap(std::span<const std::uint8_t> sheet, const FlagSheetHeader& header,
                                               std::span<const std::uint8_t> bitmapPalette, std::uint64_t imageOffset) {
    const auto width = static_cast<std::size_t>(header.width);
    const auto height = static_cast<std::size_t>(header.height);
    const auto rowLength = static_cast<std::size_t>(FlagSheetRowLength(header.width));
    if (bitmapPalette.size() != kPaletteBytes || !CByteReader(sheet).Has(imageOffset, width * height)) {
        return {};
    }
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(BitmapHeaderLength(256)) + rowLength * height);
    BitmapLayout layout;
    layout.width = header.width;
    layout.height = header.height;
    layout.bitCount = 8;
    layout.colourCount = 256;
    layout.sizeImage = static_cast<std::uint32_t>(rowLength * height);
    AppendBitmapHeaders(out, layout);
    out.insert(out.end(), bitmapPalette.begin(), bitmapPalette.end());
    const std::uint8_t* image = sheet.data() + imageOffset;
    for (std::size_t r = 0; r < height; ++r) {
        const std::uint8_t* row = image + width * (height - 1 - r);
        out.insert(out.end(), row, row + width);
        out.insert(out.end(), rowLength - width, 0);
    }
    return out;
}

namespace {

void ExportFlagSheetSteps(IMessageSink& owner, const std::string& path) {
    ContainerLock lock;
    const auto sheet = ReadContainer(owner, path, msg::CanNotReadFile(path), lock, LockKind::Shared);
    if (!sheet) return;
    const auto header = ReadFlagSheetHeader(*sheet);
    if (!header) {
        msg::Report(owner, msg::kIndexError);
        return;
    }
    if (header->imageCount == 0) {
        msg::Report(owner, msg::kOk);
        return;
    }
    // Everything is checked before the first bitmap is written.
    if (!CByteReader(*sheet).Has(header->paletteOffset, kPaletteBytes)) {
        msg::Report(owner, msg::kIndexError);
        return;
    }
    std::vector<std::uint64_t> offsets;
    offsets.reserve(static_cast<std::size_t>(header->imageCount));
    for (int i = 0; i < header->imageCount; ++i) {
        const auto offset = FlagSheetImageOffset(*sheet, *header, i);
        if (!offset) {
            msg::Report(owner, msg::kIndexError);
            return;
        }
        offsets.push_back(*offset);
    }
    std::vector<std::uint8_t> palette(kPaletteBytes);
    ConvertPalette(std::span(*sheet).subspan(header->paletteOffset, kPaletteBytes), 256, palette);

    for (int i = 0; i < header->imageCount; ++i) {
        const std::vector<std::uint8_t> bitmap =
            BuildFlagSheetBitmap(*sheet, *header, palette, offsets[static_cast<std::size_t>(i)]);
        const std::string name = ExportedBitmapName(path, i);
        if (!WriteExportedBitmap(owner, name, bitmap)) return;
    }
    msg::Report(owner, msg::kOk);
}

void ImportFlagSheetSteps(IMessageSink& owner, const std::string& bitmapPath) {
    const ExportedName name = ParseExportedName(bitmapPath);
    if (!name.Accepted()) {
        msg::Report(owner, name.refusal);
        return;
    }
    ContainerLock lock;
    const auto sheet = ReadContainer(owner, name.containerPath, msg::kCanNotReadOriginal, lock, LockKind::Exclusive);
    if (!sheet) return;
    const auto header = ReadFlagSheetHeader(*sheet);
    const auto imageOffset =
        header ? FlagSheetImageOffset(*sheet, *header, name.number) : std::optional<std::uint64_t>();
    if (!imageOffset) {
        msg::Report(owner, msg::kIndexError);
        return;
    }

    const auto width = static_cast<std::size_t>(header->width);
    const auto height = static_cast<std::size_t>(header->height);
    const auto rowLength = static_cast<std::size_t>(FlagSheetRowLength(header->width));
    const auto rows = ReadBitmapRows(owner, bitmapPath, BitmapHeaderLength(256), rowLength * height);
    if (!rows) return;

    // The bitmap's last row is the image's top row; the fill is dropped.
    std::vector<std::uint8_t> image;
    image.reserve(width * height);
    for (std::size_t r = 0; r < height; ++r) {
        const std::uint8_t* row = rows->data() + (height - 1 - r) * rowLength;
        image.insert(image.end(), row, row + width);
    }

    WritePixelsBack(owner, name.containerPath, *sheet, *imageOffset, image);
}

} // namespace

// Every allocation sized by the input is checked where it is made; the
// guards catch what is left. An import has written nothing by then; an
// export keeps the bitmaps it has finished.
void ExportFlagSheet(IMessageSink& owner, const std::string& path) {
    try {
        ExportFlagSheetSteps(owner, path);
    } catch (const std::bad_alloc&) {
        msg::Report(owner, msg::CanNotReadFile(path));
    }
}

void ImportFlagSheet(IMessageSink& owner, const std::string& bitmapPath) {
    try {
        ImportFlagSheetSteps(owner, bitmapPath);
    } catch (const std::bad_alloc&) {
        msg::Report(owner, msg::CanNotReadFile(bitmapPath));
    }
}

} // namespace qorlu
