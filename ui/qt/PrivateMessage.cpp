#include "ui/qt/PrivateMessage.h"

#include <QCoreApplication>
#include <QEvent>

namespace qorlu::gui {

void PostPrivateMessage(QObject* target, int number) {
    if (!target) return;
    QCoreApplication::postEvent(target, new QEvent(static_cast<QEvent::Type>(number)));
}

} // namespace qorlu::gui
