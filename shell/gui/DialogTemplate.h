#pragma once
// Dialog templates: the windows' layouts as plain constant data, in dialog
// units, and the builder that turns one into child widgets of a QDialog.
//
// Dialog units scale with the dialog's font:
//   horizontal base unit bx = average width of "A".."Z","a".."z" (total / 52, rounded)
//   vertical base unit   by = the font's line height
//   pixels x = du * bx / 4,  pixels y = du * by / 8  (integer division)
// A control's right and bottom edges are converted as edges (x + w, y + h),
// so controls that touch in dialog units still touch in pixels.

#include <QFont>
#include <QIcon>
#include <QRect>

#include <span>

class QDialog;

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

// The dialog font: fontName when that family is installed, otherwise the
// application's default family, at pointSize either way.
QFont DialogFont(const DialogTemplate& tmpl);

// The base units (bx, by) of a font, see above.
QSize DialogBaseUnits(const QFont& font);

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int w, int h);

// Sets caption, font, window flags and fixed client size, then creates every
// control in template order as a child of dialog, places it and gives it its
// ID (shell/gui/ControlId.h). Widgets by kind:
//   PushButton  QPushButton (default only with kStyleDefaultButton)
//   Edit        QLineEdit, or QPlainTextEdit with kStyleMultiLine
//   CheckBox    QCheckBox
//   StaticText  QLabel, plain text, word wrap, top left
//   DropZone    CDropStatic (shell/gui/DropStatic.h), sunken frame
//   ProgressBar QProgressBar, range 0..100, no text
//   IconImage   QLabel showing icon at the style's large icon size
// Tab order follows template order.
void BuildFromTemplate(QDialog& dialog, const DialogTemplate& tmpl, const QIcon& icon = QIcon());

} // namespace qorlu::gui
