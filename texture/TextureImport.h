#pragma once
// Bitmap to texture import: an exported bitmap goes back into the pixel data
// of the texture it came from. Container and texture are found
// from the bitmap's name alone ("<container>_<NNN>.bmp"); depth, size and
// row order come from the container, and of the bitmap only its length and
// the rows after the header are used. The container keeps its length and
// every byte outside the texture's pixel rows. Paths containing ".FLG" in
// any letter case are flag sheet bitmaps and go to ImportFlagSheet.
//
// Exactly one message ends every import: "OK!" or the refusal; nothing is
// written to the container before every check has passed. The container is
// then replaced whole through a temporary in its folder (ReplaceFileSafely),
// so a failure or a crash leaves it either as it was or completely
// imported. A container, or a bitmap, too large for memory is refused with
// "can not read file" and its path.

#include "base/Message.h"

#include <optional>
#include <string>
#include <string_view>

namespace qorlu {

struct ExportedName {
    int number = -1;           // the texture or sheet image number
    std::string containerPath; // the bitmap path without its last 8 characters
    // Empty when the name was accepted; otherwise "not a bitmap file!" or
    // "not a extracted bitmap file!".
    std::string refusal;

    bool Accepted() const { return refusal.empty(); }
};

// The name test shared by textures and flag sheets:
// - the last 4 characters, upper-cased, must be ".BMP";
// - of the rest, the last 4 characters must begin with "_";
// - what follows the "_" is read like a "%d" conversion (white space, a
//   sign, digits up to the first non-digit) into a number preset to -1; -1
//   afterwards refuses the name. Other negative numbers pass (the lookup
//   then fails with "index error!").
// A name with fewer than 4 characters before ".bmp" names no container and
// is refused.
ExportedName ParseExportedName(std::string_view bitmapPath);

void ImportTexture(IMessageSink& owner, const std::string& bitmapPath);

} // namespace qorlu
