#pragma once
// The application object of the three windowed programs. Every event of
// every window passes through its notify(); an exception that escapes an
// event handler (a drop, a button, a private message) is shown in a message
// box and the program goes on, instead of ending with the window and any
// work the user has open in it.

#include <QApplication>

namespace qorlu::gui {

class CGuardedApplication : public QApplication {
    Q_OBJECT
public:
    CGuardedApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // SIGTERM, SIGINT and SIGHUP (a logout, Ctrl-C in the terminal that
    // started the program) end every event loop, as the last window's
    // closing would, instead of killing the program in the middle of its
    // work: the main window then stops what runs, as on any closing.
    // Nothing on Windows, whose programs are told by window messages.
    void QuitOnTerminationSignals();

    // How many exceptions notify() has stopped so far.
    int StoppedCount() const { return m_stopped; }

private:
    int m_stopped = 0;
    bool m_showing = false;
};

} // namespace qorlu::gui
