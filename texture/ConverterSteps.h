#pragma once
// Steps that the texture and the flag-sheet operations share, each telling
// the user its own failure: reading a container whole, writing one exported
// bitmap, reading the pixel rows of a dropped bitmap, and rewriting a
// container with new pixels.

#include "io/BinaryFile.h"
#include "base/Message.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qorlu {

// The whole container at `path`, read under `lock` taken as `kind` (kept by
// the caller until its rewrite is done), after removing what killed
// rewrites of it left behind. A file too large for memory is told with
// CanNotReadFile(path); a missing or unreadable one, and a rewrite's
// temporary (never a container), with `unreadableText`; one that another
// program keeps locked with InUseByAnotherProgram. nullopt after the message.
std::optional<std::vector<std::uint8_t>> ReadContainer(IMessageSink& owner, const std::string& path,
                                                       std::string_view unreadableText, ContainerLock& lock,
                                                       LockKind kind);

// Writes an exported bitmap; false after "Create file error!" or a
// can-not-write message.
bool WriteExportedBitmap(IMessageSink& owner, const std::string& name, std::span<const std::uint8_t> bitmap);

// The `rowsLength` bytes after the bitmap's header of `headerLength` bytes.
// The bitmap must be exactly that long ("error:file size mismatch!"
// otherwise); nullopt after the message.
std::optional<std::vector<std::uint8_t>> ReadBitmapRows(IMessageSink& owner, const std::string& bitmapPath,
                                                        std::uint64_t headerLength, std::uint64_t rowsLength);

// Replaces the container at `containerPath`, whose bytes are `container`,
// with a copy in which `pixels` stand at `position`, then "OK!". The new
// file is written beside it and renamed over it (ReplaceFileSafely), so on
// any failure the container stays byte for byte as it was: "can not write
// original texture file!" when it may not be written at all, the
// can-not-write text naming it when writing the copy failed.
void WritePixelsBack(IMessageSink& owner, const std::string& containerPath, std::span<const std::uint8_t> container,
                     std::uint64_t position, std::span<const std::uint8_t> pixels);

} // namespace qorlu
