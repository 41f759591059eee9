#pragma once
// CProgressDlg: the modeless window (template 103, "Progress Info") that
// stands in for the main window while an extraction job runs.
//
//   opening      Create(): the main window is hidden, the cancel flag
//                cleared, the text emptied; the window is shown
//   first paint  posts WM_BEGIN_EXTRACT (2024) to the main window, once per
//                opening, so the job starts only once the window is on screen
//   running      the job's thread calls IsCancelled, SetRange, SetPos, SetText
//   cancel       the Cancel button, Escape and the close box only set the
//                flag; the window stays until the job closes it
//   closing      the job's Close() posts the OK command (IDOK); on it the
//                window hides and the main window is shown again
//
// One window object serves every job: it is shown at each Create and hidden
// at each close, and every opening starts from the state of a new window.
//
// Threads: the window lives on the GUI thread. IsCancelled, SetRange, SetPos,
// SetText and Close may be called from the job's thread; SetRange, SetPos and
// SetText return once the GUI thread has applied them, Close only posts.

#include "ui/WindowRequests.h"
#include "ui/ProgressWindowSteps.h"
#include "archive/ExtractProgress.h"

#include <QDialog>
#include <QEvent>

#include <atomic>
#include <string>

class QPlainTextEdit;
class QProgressBar;

namespace qorlu::unpacker {

// A window's command (a button, or IDOK from the job), delivered through the
// event queue. wParam as a dialog command: the command identifier.
class CCommandEvent : public QEvent {
public:
    explicit CCommandEvent(int wParam) : QEvent(EventType()), m_wParam(wParam) {}
    static QEvent::Type EventType();
    int m_wParam;
};

class CProgressDlg : public QDialog, public qorlu::IExtractProgress, private gui::IProgressWindowSteps {
    Q_OBJECT
public:
    // Builds the window from template 103; it stays hidden until Create.
    explicit CProgressDlg(QWidget* parent = nullptr);
    ~CProgressDlg() override;

    // Opens the window modeless over `parent` (the main window). The caller
    // sets m_pMainDlg first.
    void Create(QWidget* parent);
    // From Create until the closing command.
    bool IsOpen() const { return m_bOpen; }

    bool IsCancelled() override;
    void SetRange(int lower, int upper) override;
    void SetPos(int position) override;
    void SetText(std::string text) override;
    // Posts IDOK to this window; safe from any thread.
    void Close() override;
    // Runs the job's requests that wait for this window (GUI thread only);
    // for whoever waits for the job on the GUI thread.
    void ServeRequests();

    // Set by Cancel, Escape and the close box on the GUI thread, read by the
    // job's thread before each entry; cleared at every opening.
    std::atomic<int> m_bCancel{0};
    // True from an opening until its first paint. GUI thread only.
    bool m_bFirstPaint = false;
    // The main window: hidden at opening, told to start, shown at closing. Not owned.
    QWidget* m_pMainDlg = nullptr;
    // Control 1008.
    QProgressBar* m_progress = nullptr;
    // Edit 1007's text as the OK command found it.
    std::string m_strText;

protected:
    virtual bool OnInitDialog();
    void OnCancel();
    // True when the command was handled.
    bool OnCommand(int wParam);

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    template <class F>
    void RunOnGuiThread(F&& f);

    // gui::IProgressWindowSteps
    void HideMainWindow() override;
    void ShowMainWindow() override;
    void ClearText() override { SetText(""); }
    void PostBeginExtract() override;
    void EndDialog() override;
    void DestroyWindow() override {} // one window object serves every job

    CWindowRequests m_requests;        // SetRange, SetPos, SetText from the job
    QPlainTextEdit* m_pText = nullptr; // edit 1007
    bool m_bOpen = false;
};

} // namespace qorlu::unpacker
