#include "unpacker/win32/ProgressWindow.h"

#include "resources/UnpackerResources.h"
#include "ui/PrivateMessages.h"
#include "ui/win32/WindowShell.h"

#include <commctrl.h>

namespace qorlu::win32 {

namespace res = resources::unpacker;

void CProgressWnd::Create(HWND mainWindow) {
    m_hMainDlg = mainWindow;
    static const CDialogBytes bytes(res::kProgressTemplate);
    CreateDialogIndirectParamW(GetModuleHandleW(nullptr), bytes.Template(), mainWindow, &CProgressWnd::Proc,
                               reinterpret_cast<LPARAM>(this));
}

void CProgressWnd::SetRange(int lower, int upper) {
    SendDlgItemMessageW(m_hWnd, res::kIdcProgressBar, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void CProgressWnd::SetPos(int position) {
    SendDlgItemMessageW(m_hWnd, res::kIdcProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CProgressWnd::SetText(std::string text) {
    const std::wstring wide = Wide(text);
    SendDlgItemMessageW(m_hWnd, res::kIdcProgressText, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void CProgressWnd::PostBeginExtract() { PostMessageW(m_hMainDlg, kWmBeginExtract, 0, 0); }

void CProgressWnd::DestroyWindow() {
    // The job's calls from now on find no window.
    const HWND self = m_hWnd;
    m_hWnd = nullptr;
    ::DestroyWindow(self);
}

void CProgressWnd::Close() { PostMessageW(m_hWnd, WM_COMMAND, IDOK, 0); }

INT_PTR CALLBACK CProgressWnd::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<CProgressWnd*>(lParam)->m_hWnd = dialog;
    }
    auto* self = reinterpret_cast<CProgressWnd*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CProgressWnd::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        gui::OnProgressOpening(*this, m_bCancel, m_bFirstPaint);
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(m_hWnd, &paint);
        EndPaint(m_hWnd, &paint);
        // Posted: the job starts after this paint, with the window on screen.
        gui::OnProgressPaint(*this, m_bFirstPaint);
        return TRUE;
    }
    case WM_COMMAND:
        if (wParam == IDOK) {
            gui::OnProgressClosing(*this);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            // Cancel, Escape and the close box.
            gui::OnProgressCancel(m_bCancel);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace qorlu::win32
