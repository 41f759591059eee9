#pragma once
// The Qt builder of the dialog templates (resources/DialogTable.h): turns
// one into child widgets of a QDialog.
//
// Dialog units scale with the dialog's font:
//   horizontal base unit bx = average width of "A".."Z","a".."z" (total / 52, rounded)
//   vertical base unit   by = the font's line height
//   pixels x = du * bx / 4,  pixels y = du * by / 8  (integer division)
// A control's right and bottom edges are converted as edges (x + w, y + h),
// so controls that touch in dialog units still touch in pixels.

#include "resources/DialogTable.h"

#include <QFont>
#include <QIcon>
#include <QRect>

class QDialog;

namespace qorlu::gui {

// The dialog font: fontName when that family is installed, otherwise the
// application's default family, at pointSize either way.
QFont DialogFont(const DialogTemplate& tmpl);

// The base units (bx, by) of a font, see above.
QSize DialogBaseUnits(const QFont& font);

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int w, int h);

// Sets caption, font, window flags and fixed client size, then creates every
// control in template order as a child of dialog, places it and gives it its
// ID (ui/qt/ControlId.h). Widgets by kind:
//   PushButton  QPushButton (default only with kStyleDefaultButton)
//   Edit        QLineEdit, or QPlainTextEdit with kStyleMultiLine
//   CheckBox    QCheckBox
//   StaticText  QLabel, plain text, word wrap, top left
//   DropZone    CDropStatic (ui/qt/DropStatic.h), sunken frame
//   ProgressBar QProgressBar, range 0..100, no text
//   IconImage   QLabel showing icon at the style's large icon size
// Tab order follows template order.
void BuildFromTemplate(QDialog& dialog, const DialogTemplate& tmpl, const QIcon& icon = QIcon());

} // namespace qorlu::gui
