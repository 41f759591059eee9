#pragma once
// The Win32 main window of qorlu_unpacker (template 102). Its rules are
// CUnpackerController's; this window shows what the controller says and
// forwards its buttons, boxes, drops and private messages to it.
//
// Closing the window (its close box, Escape, the system menu, the end of
// the session, or a WM_CLOSE from another program while it is hidden behind
// the progress window) stops a running job at its next entry and waits for
// it, answering the job's sent messages meanwhile, before the program ends.

#include "ui/win32/WindowShell.h"
#include "unpacker/UnpackerController.h"
#include "unpacker/win32/DropTarget.h"
#include "unpacker/win32/ProgressWindow.h"
#include "unpacker/win32/SystemPlatform.h"

namespace qorlu::win32 {

class CUnpackerWnd final : private IUnpackerView {
public:
    CUnpackerWnd();
    // Creates the window and runs it until it closes; the exit status.
    int Run(HINSTANCE instance);

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int id);
    // Stops a running job, then ends the window.
    void End();

    // IUnpackerView
    void ShowImagePath(const std::string& path) override;
    void ShowOutputDir(const std::string& path) override;
    void EnableStart(bool enabled) override;
    bool IsBoxChecked(int id) const override;
    void CheckBox(int id, bool checked) override;
    void OpenProgressWindow() override;
    void CloseProgressWindow() override;
    IMessageSink& WindowMessages() override { return m_messages; }
    void PostImportDropped() override;

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    bool m_bEnded = false;
    CMessageBoxSink m_messages;       // the window's own boxes
    CMessageBoxSink m_systemMessages; // the archive's and the job's
    CSystemPlatform m_platform;
    CImportDropTarget m_dropTarget;
    CProgressWnd m_progressDlg;
    CUnpackerController m_controller;
};

} // namespace qorlu::win32
