// The windowed programs' application object: an exception that escapes an
// event handler is shown in a box and the program goes on. The test runs
// under its own CGuardedApplication, as the programs do.

#include "ui/qt/GuardedApplication.h"

#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

namespace qorlu::test {
namespace {

using gui::CGuardedApplication;

// Throws from its event handler what it was told to.
class Thrower : public QObject {
public:
    explicit Thrower(std::function<void()> what) : m_what(std::move(what)) {}
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++handled;
        m_what();
        return true;
    }
    int handled = 0;

private:
    std::function<void()> m_what;
};

// Closes the next message box once it is up and returns its text. Its
// timers go with it.
class BoxCloser : public QObject {
public:
    BoxCloser() {
        QTimer::singleShot(0, this, [this] { Close(); });
    }
    std::string text;

private:
    void Close() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text().toStdString();
            box->done(QMessageBox::Ok);
            return;
        }
        if (++m_tries < 200) QTimer::singleShot(5, this, [this] { Close(); });
    }
    int m_tries = 0;
};

CGuardedApplication& App() { return *static_cast<CGuardedApplication*>(QCoreApplication::instance()); }

struct ThrowCase {
    const char* name;
    std::function<void()> what;
    std::string box; // empty: no box
};

TEST(GuardedApplication, ExceptionFromAHandlerIsShownAndTheProgramGoesOn) {
    const ThrowCase cases[] = {
        {"bad_alloc", [] { throw std::bad_alloc(); }, "not enough memory\nthe operation was stopped"},
        {"runtime_error", [] { throw std::runtime_error("lost"); },
         "unexpected error\nlost\nthe operation was stopped"},
        {"nothing", [] {}, ""},
    };
    for (const ThrowCase& c : cases) {
        Thrower receiver(c.what);
        const int stoppedBefore = App().StoppedCount();
        BoxCloser closer;
        QEvent sent(QEvent::User);
        const bool accepted = QCoreApplication::sendEvent(&receiver, &sent);
        EXPECT_EQ(receiver.handled, 1) << c.name;
        EXPECT_EQ(closer.text, c.box) << c.name;
        EXPECT_EQ(App().StoppedCount() - stoppedBefore, c.box.empty() ? 0 : 1) << c.name;
        EXPECT_EQ(accepted, c.box.empty()) << c.name;

        // A posted event goes through the same guard inside the event loop.
        BoxCloser posted;
        QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(receiver.handled, 2) << c.name;
        EXPECT_EQ(posted.text, c.box) << c.name;
    }
}

} // namespace
} // namespace qorlu::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qorlu::gui::CGuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
