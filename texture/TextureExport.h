#pragma once
// Texture to bitmap export: every texture of a dropped container becomes a
// numbered bitmap next to it, named "%s_%03d.bmp" from the path exactly as
// dropped and the texture's number (C:\data\TEX.BIN_000.bmp, ...; from 1000
// on the number has four digits). Paths containing ".FLG" in any letter
// case are flag sheets and go to ExportFlagSheet instead.
//
// Exactly one message ends every export: "OK!", "This is not a texture
// file?" (nothing found, nothing written), "Create file error!" (bitmaps
// already written stay, no further one is written), or, for a file that
// cannot be read or a bitmap that cannot be written completely, a message
// naming the path. The container itself is never written.

#include "base/Message.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qorlu {

struct TextureInfo;

// "<path>_<number, at least three digits>.bmp"
std::string ExportedBitmapName(const std::string& path, int number);

// The complete bitmap file for one texture: headers, palette in colour-index
// order, rows bottom-up at the texture's row byte count, nibbles in BMP
// order. The texture must lie inside the container (as ScanTextures
// guarantees); an empty result otherwise.
std::vector<std::uint8_t> BuildTextureBitmap(std::span<const std::uint8_t> container, const TextureInfo& info);

void ExportTextures(IMessageSink& owner, const std::string& path);

} // namespace qorlu
