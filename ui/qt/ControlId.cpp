#include "ui/qt/ControlId.h"

#include <QVariant>

namespace qorlu::gui {

void SetControlId(QWidget* control, int id) {
    if (!control) return;
    control->setObjectName(QString::number(id));
    control->setProperty(kControlIdProperty, id);
}

int ControlIdOf(const QWidget* control) {
    if (!control) return -1;
    const QVariant v = control->property(kControlIdProperty);
    bool ok = false;
    const int id = v.toInt(&ok);
    return (v.isValid() && ok) ? id : -1;
}

QWidget* FindControl(QWidget* root, int id) {
    if (!root) return nullptr;
    // Search by the property, not the object name: Qt names some of its own
    // inner widgets, and a control's name may be changed by its window.
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        const QVariant v = w->property(kControlIdProperty);
        if (v.isValid() && v.toInt() == id) return w;
    }
    return nullptr;
}

} // namespace qorlu::gui
