#pragma once
// Icon 128 of a program by its name, for the tools that write the icons out
// (PNG files for the desktop, .ico files for the Windows resources).

#include "resources/BitmapperResources.h"
#include "resources/PackerResources.h"
#include "resources/UnpackerResources.h"

#include <cstring>

namespace qorlu::tools {

// The XPM text of `program`'s icon; null for a name that is no program's.
inline const char* const* ProgramIconXpm(const char* program) {
    if (std::strcmp(program, resources::unpacker::kProgramName) == 0) return resources::unpacker::IconXpm();
    if (std::strcmp(program, resources::bitmapper::kProgramName) == 0) return resources::bitmapper::IconXpm();
    if (std::strcmp(program, resources::packer::kProgramName) == 0) return resources::packer::IconXpm();
    return nullptr;
}

} // namespace qorlu::tools
