#pragma once
// Control IDs of the dialog windows. Every control built from a template
// carries its ID twice: as its object name (the ID in decimal) and as the
// property "controlId", so windows and tests find a control by the number
// the dialog template gives it.

#include <QWidget>

namespace qorlu::gui {

// Name of the property that holds a control's ID.
inline constexpr const char* kControlIdProperty = "controlId";

void SetControlId(QWidget* control, int id);

// The control's ID, or -1 when it has none.
int ControlIdOf(const QWidget* control);

// The first descendant of root (in creation order) that carries the ID, or
// nullptr. root itself is not considered.
QWidget* FindControl(QWidget* root, int id);

template <class T>
T* FindControlAs(QWidget* root, int id) {
    return qobject_cast<T*>(FindControl(root, id));
}

} // namespace qorlu::gui
