#pragma once
// The windows' layouts as plain constant data: each dialog template with
// its controls (IDs, texts, styles, positions and sizes in dialog units),
// and what each program gives the shell. The Qt windows build widgets from
// these tables (ui/qt/DialogTemplate.h), the Win32 windows in-memory
// dialog templates (ui/DialogBytes.h); neither adds a layout of
// its own.

#include "base/Version.h"

#include <span>

namespace qorlu::gui {

enum class ControlKind { PushButton, Edit, CheckBox, StaticText, DropZone, ProgressBar, IconImage };

// Control style bits (any combination; a bit that does not apply to a kind
// is ignored).
enum ControlStyle : unsigned {
    kStyleNone = 0,
    kStyleTabStop = 1u << 0,
    kStyleGroup = 1u << 1,         // starts a group
    kStyleDisabled = 1u << 2,      // created disabled
    kStyleReadOnly = 1u << 3,      // edit: the user cannot type
    kStyleMultiLine = 1u << 4,     // edit: several lines (QPlainTextEdit)
    kStyleAutoVScroll = 1u << 5,   // edit: scrolls down as lines are added, wraps words
    kStyleAutoHScroll = 1u << 6,   // edit: scrolls sideways; a multi-line edit does not wrap
    kStyleBorder = 1u << 7,        // edit, progress bar: thin frame
    kStyleDefaultButton = 1u << 8, // push button: Enter presses it
    kStyleLeftAlign = 1u << 9,     // static text (the default alignment anyway)
    kStyleSunkenEdge = 1u << 10,   // sunken client edge
    kStyleAcceptFiles = 1u << 11,  // accepts files dragged from the desktop
    kStyleSmooth = 1u << 12,       // progress bar: one smooth bar
};

struct ControlTemplate {
    int id; // -1 for a control without an ID
    ControlKind kind;
    const char* text; // "\n" breaks a line
    unsigned styles;
    int x, y, w, h; // dialog units
};

// Window style bits of a dialog template.
enum DialogStyle : unsigned {
    kDialogNone = 0,
    kDialogSystemModal = 1u << 0, // stays above every other window
    kDialogMinimizeBox = 1u << 1,
    kDialogVisible = 1u << 2, // shown as soon as it is created
    kDialogTaskBar = 1u << 3, // has a button in the task bar
};

struct DialogTemplate {
    int id;
    const char* caption;
    int width, height; // client area, dialog units
    const char* fontName;
    int pointSize;
    std::span<const ControlTemplate> controls; // template (tab) order
    unsigned windowStyles = kDialogNone;
};

// What each program gives the shell: its name, the About entry's text
// (string 101), the About box (template 100), its icon (icon 128, XPM text)
// and its version.
struct ProgramResources {
    const char* programName;             // "qorlu_unpacker"; also the internal name
    const char* string101;               // "&About qorlu_unpacker..."
    const DialogTemplate* aboutTemplate; // template 100
    const char* const* iconXpm;          // icon 128, 32 x 32, 16 colours
    const char* version = kVersion;      // file and product version, 1.0.0.1
};

} // namespace qorlu::gui
