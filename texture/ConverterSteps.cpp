#include "texture/ConverterSteps.h"

#include "format/ByteReader.h"
#include "io/BinaryFile.h"
#include "texture/BitmapFile.h"
#include "texture/TextureMessages.h"

#include <new>

namespace qorlu {

namespace msg = texture_messages;

std::optional<std::vector<std::uint8_t>> ReadContainer(IMessageSink& owner, const std::string& path,
                                                       std::string_view unreadableText, ContainerLock& lock,
                                                       LockKind kind) {
    if (IsRewriteTemporary(path)) {
        msg::Report(owner, unreadableText);
        return std::nullopt;
    }
    if (lock.Take(path, kind) == LockedOpen::InUse) {
        msg::Report(owner, InUseByAnotherProgram(path));
        return std::nullopt;
    }
    WholeFile file = LoadWholeFile(path);
    if (file.status == WholeFileStatus::TooLarge) {
        msg::Report(owner, msg::CanNotReadFile(path));
        return std::nullopt;
    }
    if (!file.Ok()) {
        msg::Report(owner, unreadableText);
        return std::nullopt;
    }
    return std::move(file.bytes);
}

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
    // already held in memory, so this allocation is bounded by it; it may
    // still be more than is left.
    std::vector<std::uint8_t> rows;
    try {
        rows.resize(static_cast<std::size_t>(rowsLength));
    } catch (const std::bad_alloc&) {
        msg::Report(owner, msg::CanNotReadFile(bitmapPath));
        return std::nullopt;
    }
    if (!bitmap.Seek(headerLength) || bitmap.Read(rows.data(), rows.size()) != rows.size()) {
        msg::Report(owner, msg::CanNotReadFile(bitmapPath));
        return std::nullopt;
    }
    return rows;
}

void WritePixelsBack(IMessageSink& owner, const std::string& containerPath, std::span<const std::uint8_t> container,
                     std::uint64_t position, std::span<const std::uint8_t> pixels) {
    if (!CByteReader(container).Has(position, pixels.size())) {
        msg::Report(owner, msg::kIndexError);
        return;
    }
    const auto at = static_cast<std::size_t>(position);
    const std::span<const std::uint8_t> parts[] = {container.first(at), pixels, container.subspan(at + pixels.size())};
    ReplaceFailure failure = ReplaceFailure::None;
    if (ReplaceFileSafely(containerPath, parts, &failure)) {
        msg::Report(owner, msg::kOk);
    } else if (failure == ReplaceFailure::CannotOpen) {
        msg::Report(owner, msg::kCanNotWriteOriginal);
    } else {
        msg::Report(owner, msg::CanNotWriteFile(containerPath));
    }
}

} // namespace qorlu
