#pragma once
// The main window of the two drop-zone programs.

#include "ui/DropZoneRules.h"
#include <windows.h>

namespace qorlu::win32 {

// wWinMain of qorlu_bitmapper and qorlu_packer: the main dialog with its two
// zones, run until it closes. Returns the process's exit status.
int RunDropZoneProgram(const DropZoneProgram& program, HINSTANCE instance);

} // namespace qorlu::win32
