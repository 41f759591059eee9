#pragma once
// qorlu_bitmapper's window rules: textures to bitmaps and back, in the Qt and in the
// Win32 window alike.

#include "ui/DropZoneRules.h"

namespace qorlu {

const DropZoneProgram& BitmapperProgram();

} // namespace qorlu
