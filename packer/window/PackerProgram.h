#pragma once
// qorlu_packer's window rules: compressed blocks out and back in, in the Qt and in the
// Win32 window alike.

#include "ui/DropZoneRules.h"

namespace qorlu {

const DropZoneProgram& PackerProgram();

} // namespace qorlu
