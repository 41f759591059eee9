#include "texture/BitmapFile.h"

#include "io/BinaryFile.h"
#include "format/ByteOrder.h"

namespace qorlu {

void AppendBitmapHeaders(std::vector<std::uint8_t>& out, const BitmapLayout& layout) {
    const std::uint64_t headerLength = BitmapHeaderLength(layout.colourCount);
    std::uint8_t h[kBitmapHeadersBytes] = {};
    WriteLE16(h + 0, kBitmapType);
    WriteLE32(h + 2, static_cast<std::uint32_t>(headerLength + layout.sizeImage)); // bfSize
    // 6, 8: bfReserved1, bfReserved2 stay 0
    WriteLE32(h + 10, static_cast<std::uint32_t>(headerLength)); // bfOffBits
    WriteLE32(h + 14, 40);                                       // biSize
    WriteLE32(h + 18, static_cast<std::uint32_t>(layout.width));
    WriteLE32(h + 22, static_cast<std::uint32_t>(layout.height));
    WriteLE16(h + 26, 1); // biPlanes
    WriteLE16(h + 28, layout.bitCount);
    // 30: biCompression stays 0
    WriteLE32(h + 34, layout.sizeImage);
    WriteLE32(h + 38, kBitmapPelsPerMeter);
    WriteLE32(h + 42, kBitmapPelsPerMeter);
    // 46, 50: biClrUsed, biClrImportant stay 0
    out.insert(out.end(), h, h + sizeof h);
}

void SwapNibbles(std::span<std::uint8_t> bytes) {
    for (auto& b : bytes) b = static_cast<std::uint8_t>((b >> 4) | (b << 4));
}

FileWriteResult WriteNewFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    bool wrote = false;
    {
        BinaryFile file;
        if (!file.Open(path, BinaryFile::Mode::Create)) return FileWriteResult::CreateFailed;
        wrote = file.Write(bytes.data(), bytes.size());
        wrote = file.Close() && wrote;
    }
    if (wrote) return FileWriteResult::Written;
    // A cut-off bitmap would only mislead; take it away.
    (void)RemoveFile(path);
    return FileWriteResult::WriteFailed;
}

} // namespace qorlu
