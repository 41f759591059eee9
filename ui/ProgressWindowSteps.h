#pragma once
// The progress window's transitions, the same in the Qt and in the Win32
// window. The window keeps its state in its own members (the cancel flag
// the job polls, the mark of the first paint); these steps say what each
// moment does with that state and, through IProgressWindowSteps, with the
// windows.
//
//   opening        hide the main window, clear the flag, mark the first
//                  paint to come, empty the text
//   first paint    post WM_BEGIN_EXTRACT to the main window, once per opening
//   Cancel         (button, Escape, close box) set the flag, nothing else
//   IDOK           end the dialog (hiding it), show the main window, then
//                  destroy this window

#include <atomic>

namespace qorlu::gui {

// What a toolkit does to its windows at the steps below.
class IProgressWindowSteps {
public:
    virtual void HideMainWindow() = 0;
    virtual void ShowMainWindow() = 0;
    virtual void ClearText() = 0;
    // Posts WM_BEGIN_EXTRACT (2024) to the main window.
    virtual void PostBeginExtract() = 0;
    // The dialog's standard OK handling: keeps the text, hides the window.
    virtual void EndDialog() = 0;
    virtual void DestroyWindow() = 0;

protected:
    ~IProgressWindowSteps() = default;
};

inline void OnProgressOpening(IProgressWindowSteps& w, std::atomic<int>& cancel, bool& firstPaint) {
    w.HideMainWindow();
    cancel = 0;
    firstPaint = true;
    w.ClearText();
}

inline void OnProgressPaint(IProgressWindowSteps& w, bool& firstPaint) {
    if (!firstPaint) return;
    firstPaint = false;
    w.PostBeginExtract();
}

// The job sees the flag at its next entry and ends itself; the window stays
// until then.
inline void OnProgressCancel(std::atomic<int>& cancel) { cancel = 1; }

inline void OnProgressClosing(IProgressWindowSteps& w) {
    w.EndDialog();
    w.ShowMainWindow();
    w.DestroyWindow();
}

} // namespace qorlu::gui
