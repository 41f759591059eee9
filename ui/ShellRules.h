#pragma once
// What every main window's shell does alike in the Qt and in the Win32
// window: which system-menu commands open the About box, and where the
// icon of a minimised window goes.

#include "ui/PrivateMessages.h"

namespace qorlu::gui {

// A system-menu command keeps its four low bits for the system's own use:
// identifiers 16 to 31 all open the About box.
constexpr bool IsAboutCommand(unsigned id) { return (id & 0xFFF0u) == static_cast<unsigned>(kIdmAboutBox); }

struct IconPlace {
    int x;
    int y;
    bool operator==(const IconPlace&) const = default;
};

// The icon centred in a minimised client area, with the rounding
// (w - cx + 1) / 2, (h - cy + 1) / 2: C++ division truncates toward zero, so
// an icon larger than the area lands at the truncated, not the floored, half.
constexpr IconPlace MinimizedIconPlace(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

} // namespace qorlu::gui
