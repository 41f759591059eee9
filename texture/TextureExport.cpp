#include "texture/TextureExport.h"

#include "format/ByteReader.h"
#include "io/BinaryFile.h"
#include "base/Text.h"
#include "texture/BitmapFile.h"
#include "texture/ConverterSteps.h"
#include "texture/FlagSheet.h"
#include "texture/TextureFormat.h"
#include "texture/TextureMessages.h"

#include <cstdio>
#include <new>

namespace qorlu {

namespace msg = texture_messages;

std::string ExportedBitmapName(const std::string& path, int number) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_%03d.bmp", number);
    return path + suffix;
}

std::vector<std::uint8_t> BuildTextureBitmap(std::span<const std::uint8_t> container, const TextureInfo& info) {
    const std::uint64_t paletteBytes = static_cast<std::uint64_t>(info.colourCount) * 4;
    const std::uint64_t rowsBytes = static_cast<std::uint64_t>(info.height) * info.rowByteCount;
    if (!CByteReader(container).Has(info.pixelPosition, info.pixelByteCount) || rowsBytes > info.pixelByteCount ||
        info.pixelByteCount > UINT32_MAX) {
        return {};
    }

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(kBitmapHeadersBytes + paletteBytes + rowsBytes));
    BitmapLayout layout;
    layout.width = info.width;
    layout.height = info.height;
    layout.bitCount = static_cast<std::uint16_t>(info.bitsPerPixel);
    layout.colourCount = info.colourCount;
    layout.sizeImage = static_cast<std::uint32_t>(info.pixelByteCount);
    AppendBitmapHeaders(out, layout);

    const std::size_t paletteAt = out.size();
    out.resize(paletteAt + static_cast<std::size_t>(paletteBytes));
    if (!ReadTexturePalette(container, info, std::span(out).subspan(paletteAt))) return {};

    // Rows bottom-up, each at the texture's row byte count. For an odd
    // 4-bit width that is fewer bytes than the header's pixel byte count;
    // such a bitmap cannot go back (the import refuses its length).
    const std::uint8_t* pixels = container.data() + info.pixelPosition;
    const std::size_t rowBytes = static_cast<std::size_t>(info.rowByteCount);
    for (int i = 0; i < info.height; ++i) {
        const std::uint8_t* row = pixels + static_cast<std::size_t>(info.height - 1 - i) * rowBytes;
        out.insert(out.end(), row, row + rowBytes);
    }
    if (info.bitsPerPixel == 4) {
        SwapNibbles(std::span(out).subspan(paletteAt + static_cast<std::size_t>(paletteBytes)));
    }
    return out;
}

namespace {

void ExportTextureSteps(IMessageSink& owner, const std::string& path) {
    if (ContainsUpper(path, ".FLG")) {
        ExportFlagSheet(owner, path);
        return;
    }
    ContainerLock lock;
    const auto container = ReadContainer(owner, path, msg::CanNotReadFile(path), lock, LockKind::Shared);
    if (!container) return;
    const std::vector<TextureInfo> textures = ScanTextures(*container);
    if (textures.empty()) {
        msg::Report(owner, msg::kNotTextureFile);
        return;
    }
    for (const TextureInfo& info : textures) {
        const std::vector<std::uint8_t> bitmap = BuildTextureBitmap(*container, info);
        const std::string name = ExportedBitmapName(path, info.number);
        if (!WriteExportedBitmap(owner, name, bitmap)) return;
    }
    msg::Report(owner, msg::kOk);
}

} // namespace

void ExportTextures(IMessageSink& owner, const std::string& path) {
    // Allocations sized by the container are checked where they are made;
    // this catches what is left. Bitmaps already finished stay.
    try {
        ExportTextureSteps(owner, path);
    } catch (const std::bad_alloc&) {
        msg::Report(owner, msg::CanNotReadFile(path));
    }
}

} // namespace qorlu
