#pragma once
// Steps that the texture and the flag-sheet operations share, each telling
// the user its own failure: writing one exported bitmap, reading the pixel
// rows of a dropped bitmap, and writing pixels back into a container.

#include "shell/Message.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorlu {

// Writes an exported bitmap; false after "Create file error!" or a
// can-not-write message.
bool WriteExportedBitmap(IMessageSink& owner, const std::string& name, std::span<const std::uint8_t> bitmap);

// The `rowsLength` bytes after the bitmap's header of `headerLength` bytes.
// The bitmap must be exactly that long ("error:file size mismatch!"
// otherwise); nullopt after the message.
std::optional<std::vector<std::uint8_t>> ReadBitmapRows(IMessageSink& owner, const std::string& bitmapPath,
                                                        std::uint64_t headerLength, std::uint64_t rowsLength);

// Writes `pixels` at `position` of the existing container, then "OK!".
void WritePixelsBack(IMessageSink& owner, const std::string& containerPath, std::uint64_t position,
                     std::span<const std::uint8_t> pixels);

} // namespace qorlu
