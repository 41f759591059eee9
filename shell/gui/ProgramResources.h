#pragma once
// What each program gives the shell: its name, the About entry's text
// (string 101), the About box (template 100), its icon (icon 128, XPM text)
// and its version.

#include "shell/Version.h"
#include "shell/gui/DialogTemplate.h"

namespace qorlu::gui {

struct ProgramResources {
    const char* programName;          // "qorlu_unpacker"; also the internal name
    const char* string101;            // "&About qorlu_unpacker..."
    const DialogTemplate* aboutTemplate; // template 100
    const char* const* iconXpm;       // icon 128, 32 x 32, 16 colours
    const char* version = kVersion;   // file and product version, 1.0.0.1
};

// Icon 128 as a QIcon (needs a QGuiApplication).
QIcon LoadProgramIcon(const ProgramResources& res);

} // namespace qorlu::gui
