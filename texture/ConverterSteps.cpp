#include "texture/ConverterSteps.h"

#include "shell/BinaryFile.h"
#include "texture/BitmapFile.h"
#include "texture/TextureMessages.h"

namespace qorlu {

namespace msg = texture_messages;

bool WriteExportedBitmap(IMessageSink& owner, const std::string& name, std::span<const std::uint8_t> bitmap) {
    switch (WriteNewFile(name, bitmap)) {
    case FileWriteResult::Written:
        return true;
    case FileWriteResult::CreateFailed:
        msg::Report(owner, msg::kCreateFileError);
        return false;
    case FileWriteResult::WriteFailed:
        msg::Report(owner, msg::CanNotWriteFile(name));
        return false;
    }
    return false;
}

std::optional<std::vector<std::uint8_t>> ReadBitmapRows(IMessageSink& owner, const std::string& bitmapPath,
                                                        std::uint64_t headerLength, std::uint64_t rowsLength) {
    BinaryFile bitmap;
    const auto length = bitmap.Open(bitmapPath, BinaryFile::Mode::Read) ? bitmap.Length() : std::nullopt;
    if (!length) {
        msg::Report(owner, msg::CanNotReadFile(bitmapPath));
        return std::nullopt;
    }
    if (*length < headerLength || *length - headerLength != rowsLength) {
        msg::Report(owner, msg::kSizeMismatch);
        return std::nullopt;
    }
    // The expected length comes from an image that lies inside a container
    // already held in memory, so this allocation is bounded by it.
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(rowsLength));
    if (!bitmap.Seek(headerLength) || bitmap.Read(rows.data(), rows.size()) != rows.size()) {
        msg::Report(owner, msg::CanNotReadFile(bitmapPath));
        return std::nullopt;
    }
    return rows;
}

void WritePixelsBack(IMessageSink& owner, const std::string& containerPath, std::uint64_t position,
                     std::span<const std::uint8_t> pixels) {
    BinaryFile target;
    if (!target.Open(containerPath, BinaryFile::Mode::ReadWrite)) {
        msg::Report(owner, msg::kCanNotWriteOriginal);
        return;
    }
    bool wrote = target.Seek(position) && target.Write(pixels.data(), pixels.size());
    wrote = target.Close() && wrote;
    if (wrote) msg::Report(owner, msg::kOk);
    else msg::Report(owner, msg::CanNotWriteFile(containerPath));
}

} // namespace qorlu
