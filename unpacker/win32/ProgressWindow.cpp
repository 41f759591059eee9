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
        ShowWindow(m_hMainDlg, SW_HIDE);
        m_bCancel = 0;
        m_bFirstPaint = true;
        SetText("");
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(m_hWnd, &paint);
        EndPaint(m_hWnd, &paint);
        if (m_bFirstPaint) {
            m_bFirstPaint = false;
            // Posted: the job starts after this paint, with the window on screen.
            PostMessageW(m_hMainDlg, kWmBeginExtract, 0, 0);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (wParam == IDOK) {
            // The job's end: the main window comes back, this one goes.
            const HWND self = m_hWnd;
            m_hWnd = nullptr;
            ShowWindow(m_hMainDlg, SW_SHOW);
            DestroyWindow(self);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            // Cancel, Escape and the close box: the job sees the flag at its
            // next entry and ends itself; the window stays until then.
            m_bCancel = 1;
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace qorlu::win32
