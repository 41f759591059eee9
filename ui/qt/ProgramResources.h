#pragma once
// Icon 128 of a program (resources/DialogTable.h) for the Qt windows.

#include "resources/DialogTable.h"

#include <QIcon>

namespace qorlu::gui {

// Icon 128 as a QIcon (needs a QGuiApplication).
QIcon LoadProgramIcon(const ProgramResources& res);

} // namespace qorlu::gui
