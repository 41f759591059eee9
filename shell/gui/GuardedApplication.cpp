#include "shell/gui/GuardedApplication.h"

#include "shell/LastResort.h"
#include "shell/Message.h"
#include "shell/gui/QtMessageSink.h"

#include <QtGlobal>

namespace qorlu::gui {

CGuardedApplication::CGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool CGuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    const std::optional<std::string> stopped =
        RunGuarded([&] { result = QApplication::notify(receiver, event); });
    if (!stopped) return result;
    ++m_stopped;
    // A box is shown at most once at a time: should the box's own events
    // throw as well, they are only logged.
    if (m_showing) {
        qWarning("%s", stopped->c_str());
        return false;
    }
    m_showing = true;
    RunGuarded([&] {
        CQtMessageSink sink(activeWindow());
        sink.Show(WindowNotice(*stopped, Outcome::Failure));
    });
    m_showing = false;
    return false;
}

} // namespace qorlu::gui
