#include "texture/TextureImport.h"

#include "io/BinaryFile.h"
#include "format/ByteOrder.h"
#include "base/Text.h"
#include "texture/BitmapFile.h"
#include "texture/ConverterSteps.h"
#include "texture/FlagSheet.h"
#include "texture/TextureFormat.h"
#include "texture/TextureMessages.h"

#include <new>
#include <vector>

namespace qorlu {

namespace msg = texture_messages;

namespace {

constexpr std::size_t kExtensionLength = 4;   // ".bmp"
constexpr std::size_t kNumberFieldLength = 4; // "_" and three characters

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A "%d" conversion over at most the few characters of the number field:
// leading white space, an optional sign, then digits. `fallback` when no
// digit follows.
int ReadDecimal(std::string_view text, int fallback) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return fallback;
    int value = 0; // three characters at most: no overflow
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

} // namespace

ExportedName ParseExportedName(std::string_view bitmapPath) {
    ExportedName result;
    if (bitmapPath.size() < kExtensionLength ||
        ToUpperAscii(bitmapPath.substr(bitmapPath.size() - kExtensionLength)) != ".BMP") {
        result.refusal = msg::kNotBitmapFile;
        return result;
    }
    const std::string_view stem = bitmapPath.substr(0, bitmapPath.size() - kExtensionLength);
    const std::string_view field =
        stem.size() < kNumberFieldLength ? stem : stem.substr(stem.size() - kNumberFieldLength);
    // A stem shorter than the field leaves no container name at all.
    if (field.empty() || field[0] != '_' || stem.size() < kNumberFieldLength) {
        result.refusal = msg::kNotExtractedBitmap;
        return result;
    }
    result.number = ReadDecimal(field.substr(1), -1);
    if (result.number == -1) {
        result.refusal = msg::kNotExtractedBitmap;
        return result;
    }
    result.containerPath = std::string(stem.substr(0, stem.size() - kNumberFieldLength));
    return result;
}

namespace {

void ImportTextureSteps(IMessageSink& owner, const std::string& bitmapPath) {
    if (ContainsUpper(bitmapPath, ".FLG")) {
        ImportFlagSheet(owner, bitmapPath);
        return;
    }
    const ExportedName name = ParseExportedName(bitmapPath);
    if (!name.Accepted()) {
        msg::Report(owner, name.refusal);
        return;
    }
    ContainerLock lock;
    const auto container =
        ReadContainer(owner, name.containerPath, msg::kCanNotReadOriginal, lock, LockKind::Exclusive);
    if (!container) return;
    const auto info = FindTexture(*container, name.number);
    if (!info) {
        msg::Report(owner, msg::kIndexError);
        return;
    }

    // Of the bitmap only its length and the rows after the header count.
    const auto rows = ReadBitmapRows(owner, bitmapPath, BitmapHeaderLength(info->colourCount), info->pixelByteCount);
    if (!rows) return;

    // The bitmap's last row is the texture's top row. For an odd 4-bit
    // width the rows cover fewer bytes than the pixel data; only they change.
    const std::size_t rowBytes = static_cast<std::size_t>(info->rowByteCount);
    const auto height = static_cast<std::size_t>(info->height);
    std::vector<std::uint8_t> pixels;
    pixels.reserve(height * rowBytes);
    for (std::size_t r = 0; r < height; ++r) {
        const std::uint8_t* row = rows->data() + (height - 1 - r) * rowBytes;
        pixels.insert(pixels.end(), row, row + rowBytes);
    }
    if (info->bitsPerPixel == 4) SwapNibbles(pixels);

    WritePixelsBack(owner, name.containerPath, *container, info->pixelPosition, pixels);
}

} // namespace

void ImportTexture(IMessageSink& owner, const std::string& bitmapPath) {
    // Every allocation sized by the input is checked where it is made; this
    // catches what is left, before anything has been written.
    try {
        ImportTextureSteps(owner, bitmapPath);
    } catch (const std::bad_alloc&) {
        msg::Report(owner, msg::CanNotReadFile(bitmapPath));
    }
}

} // namespace qorlu
