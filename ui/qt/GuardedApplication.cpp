#include "ui/qt/GuardedApplication.h"

#include "base/LastResort.h"
#include "base/Message.h"
#include "ui/qt/QtMessageSink.h"

#include <QSocketNotifier>
#include <QtGlobal>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qorlu::gui {

CGuardedApplication::CGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool CGuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    const std::optional<std::string> stopped = RunGuarded([&] { result = QApplication::notify(receiver, event); });
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

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    // Only an async-signal-safe write here; the event loop does the rest.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

} // namespace

void CGuardedApplication::QuitOnTerminationSignals() {
    if (g_signalPipe[0] >= 0 || ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {}
        // exit, not quit: quit asks the windows first, and the progress
        // window takes a close for Cancel only.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

} // namespace qorlu::gui
