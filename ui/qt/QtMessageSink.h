#pragma once
// Message boxes of the windows. A notice becomes a QMessageBox:
//   title    notice.title when set (even empty), else the program's name
//   buttons  OK, or Yes/No
//   icon     none, information, question
//   owner    the window (window's boxes), or none, application modal and
//            above every window (system-modal boxes)
// Show() may be called from any thread: from a worker it runs the box on the
// GUI thread and blocks until the user answers.

#include "base/Message.h"

#include <QPointer>
#include <QWidget>

namespace qorlu::gui {

class CQtMessageSink : public qorlu::IMessageSink {
public:
    explicit CQtMessageSink(QWidget* owner = nullptr);
    Answer Show(const Notice& notice) override;

private:
    Answer ShowOnGuiThread(const Notice& notice);
    QPointer<QWidget> m_pOwner;
};

} // namespace qorlu::gui
