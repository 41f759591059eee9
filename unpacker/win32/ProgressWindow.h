#pragma once
// CProgressWnd: the Win32 progress window (template 103, "Progress Info"),
// modeless over the main window while an extraction job runs.
//
//   opening      Create(): the main window is hidden, the cancel flag
//                cleared, the text emptied
//   first paint  posts WM_BEGIN_EXTRACT (2024) to the main window, once
//   running      the job's thread sends PBM_SETRANGE32, PBM_SETPOS and the
//                text to the controls, and reads the cancel flag
//   cancel       the Cancel button, Escape and the close box only set the flag
//   closing      the job posts WM_COMMAND IDOK: the main window is shown
//                again and this window destroyed

#include "archive/ExtractProgress.h"
#include "ui/ProgressWindowSteps.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace qorlu::win32 {

class CProgressWnd final : public IExtractProgress, private gui::IProgressWindowSteps {
public:
    // Opens the window over `mainWindow`.
    void Create(HWND mainWindow);
    HWND Handle() const { return m_hWnd; }
    bool IsOpen() const { return m_hWnd != nullptr; }

    bool IsCancelled() override { return m_bCancel.load() != 0; }
    void SetRange(int lower, int upper) override;
    void SetPos(int position) override;
    void SetText(std::string text) override;
    // Posts IDOK; safe from any thread.
    void Close() override;

    std::atomic<int> m_bCancel{0};

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // gui::IProgressWindowSteps
    void HideMainWindow() override { ShowWindow(m_hMainDlg, SW_HIDE); }
    void ShowMainWindow() override { ShowWindow(m_hMainDlg, SW_SHOW); }
    void ClearText() override { SetText(""); }
    void PostBeginExtract() override;
    void EndDialog() override { ShowWindow(m_hWnd, SW_HIDE); }
    void DestroyWindow() override;

    std::atomic<HWND> m_hWnd{nullptr};
    HWND m_hMainDlg = nullptr;
    bool m_bFirstPaint = false;
};

} // namespace qorlu::win32
