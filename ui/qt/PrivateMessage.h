#pragma once
// Private messages (ui/PrivateMessages.h) for the Qt windows: each is
// posted as a bare event of its number.

#include "ui/PrivateMessages.h"

#include <QObject>

namespace qorlu::gui {

using qorlu::kIdCancel;
using qorlu::kIdmAboutBox;
using qorlu::kIdOk;
using qorlu::kWmBeginExtract;
using qorlu::kWmDropExport;
using qorlu::kWmDropImport;
using qorlu::kWmImportDropped;

// Posts QEvent(QEvent::Type(number)) to target through the event queue.
// Does nothing when target is null.
void PostPrivateMessage(QObject* target, int number);

} // namespace qorlu::gui
