#pragma once
// The shell every main window shares: the window built from its template,
// the program icon, the About entry and box, the minimised icon, private
// message dispatch and the window's message boxes. And RunProgram, which is
// each program's main().

#include "base/Message.h"
#include "ui/qt/DialogTemplate.h"
#include "ui/qt/ProgramResources.h"
#include "ui/qt/QtMessageSink.h"

#include <QDialog>
#include <QIcon>

#include <functional>
#include <memory>

class QAction;

namespace qorlu::gui {

// Where the icon goes in a minimised client area (ui/ShellRules.h).
QPoint MinimizedIconPosition(QSize client, QSize icon);

// The About box (template 100). OK (control 1, default), Escape and the close
// box end it.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(const ProgramResources& res, QWidget* parent = nullptr);
};

class CShellDialog : public QDialog {
    Q_OBJECT
public:
    CShellDialog(const ProgramResources& res, const DialogTemplate& mainTemplate, QWidget* parent = nullptr);
    ~CShellDialog() override;

    // The shell part of the window's initialisation; the program's own steps
    // follow it. Adds a separator and the About entry (string 101) to the
    // window's context menu and sets the window icon.
    void InitShell();

    // System-menu command: the About identifiers (16 to 31) open the About
    // box; other identifiers do nothing.
    virtual void OnSysCommand(unsigned id);

    // Private messages (2024, 2025, 3024); true when handled.
    virtual bool OnPrivateMessage(int number);

    // The sink for this window's boxes: a CQtMessageSink owned by the window
    // unless replaced. SetMessageSink(nullptr) restores the window's own.
    IMessageSink& Messages();
    void SetMessageSink(IMessageSink* sink);

    const ProgramResources& Resources() const { return m_res; }
    // The About entry, null before InitShell.
    QAction* AboutAction() const { return m_pAboutAction; }

    QIcon m_hIcon; // icon 128

protected:
    // Constructs, runs and destroys the About box. Virtual so tests can see
    // the call without a modal loop.
    virtual void RunAboutBox();

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    const ProgramResources& m_res;
    CQtMessageSink m_ownSink;
    IMessageSink* m_pSink;
    QAction* m_pAboutAction = nullptr;
};

// Names the application after the program (its display name, the title of
// the windows' boxes, follows the name), sets its version and icon.
void ConfigureApplication(const ProgramResources& res);

// main() of each program: the application (a CGuardedApplication: name,
// display name, version), the main dialog made with no parent and run
// modally; returns 0 when it closes. With --version it prints the program's
// name and version and shows nothing; with --self-test it closes the window
// as soon as it is on the screen and returns 0 only if it got there.
int RunProgram(int argc, char** argv, const ProgramResources& res,
               std::function<std::unique_ptr<QDialog>()> makeMainDialog);

} // namespace qorlu::gui
