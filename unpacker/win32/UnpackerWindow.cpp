#include "unpacker/win32/UnpackerWindow.h"

#include "resources/UnpackerResources.h"
#include "base/LastResort.h"
#include "ui/PrivateMessages.h"

#include <commctrl.h>
#include <shellapi.h>

#include <optional>

namespace qorlu::win32 {

namespace res = resources::unpacker;

CUnpackerWnd::CUnpackerWnd()
    : m_messages(nullptr, res::kProgramName), m_systemMessages(nullptr, res::kProgramName),
      m_controller(*this, m_platform, m_dropTarget, m_systemMessages) {}

int CUnpackerWnd::Run(HINSTANCE instance) {
    const CDialogBytes bytes(res::kMainTemplate);
    if (!CreateDialogIndirectParamW(instance, bytes.Template(), nullptr, &CUnpackerWnd::Proc,
                                    reinterpret_cast<LPARAM>(this)))
        return 1;
    ShowWindow(m_hWnd, SW_SHOW);
    // The window's own modal loop, which also gives the progress window its
    // keyboard (Escape is Cancel there).
    MSG msg;
    while (!m_bEnded && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        const HWND progress = m_progressDlg.Handle();
        if (progress && IsDialogMessageW(progress, &msg)) continue;
        if (m_hWnd && IsDialogMessageW(m_hWnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

INT_PTR CALLBACK CUnpackerWnd::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<CUnpackerWnd*>(lParam)->m_hWnd = dialog;
    }
    auto* self = reinterpret_cast<CUnpackerWnd*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    // An exception that escapes a handler is shown; the window stays.
    const auto stopped = RunGuarded([&] { result = self->OnMessage(message, wParam, lParam); });
    if (stopped) {
        const CUnpackerController::DropHold hold(self->m_controller);
        self->m_messages.Show(WindowNotice(*stopped, Outcome::Failure));
    }
    return result;
}

void CUnpackerWnd::OnInitDialog() {
    m_hIcon = InitShell(m_hWnd, res::Program());
    m_messages.SetOwner(m_hWnd);
    m_platform.SetOwner(m_hWnd);
    // The whole window takes drops: OLE's drop target, and the dropped-files
    // message where a drop comes that way.
    m_dropTarget.Register(m_hWnd);
    DragAcceptFiles(m_hWnd, TRUE);
    m_controller.OnInitDialog();
}

INT_PTR CUnpackerWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = 0;
    // The About box is a box of the window too.
    std::optional<CUnpackerController::DropHold> hold;
    if (message == WM_SYSCOMMAND) hold.emplace(m_controller);
    if (HandleShellMessage(m_hWnd, message, wParam, lParam, res::Program(), m_hIcon, result)) {
        SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return message == WM_QUERYDRAGICON ? result : TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_DROPFILES:
        m_dropTarget.OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) End();
        return TRUE;
    default:
        break;
    }
    if (message == static_cast<UINT>(kWmBeginExtract)) {
        m_controller.OnBeginExtract(m_progressDlg);
        return TRUE;
    }
    if (message == static_cast<UINT>(kWmImportDropped)) {
        m_controller.OnImportDropped();
        return TRUE;
    }
    return FALSE;
}

void CUnpackerWnd::OnCommand(int id) {
    switch (id) {
    case res::kIdcSelectImage:
        m_controller.OnSelectImage();
        break;
    case res::kIdcSelectOutput:
        m_controller.OnSelectOutputDir();
        break;
    case res::kIdcStartExtract:
        m_controller.OnStartExtract();
        break;
    case res::kIdcExtractAdx:
        m_controller.OnCheckAdx();
        break;
    case res::kIdcExtractOther:
        m_controller.OnCheckOthers();
        break;
    case IDOK:
    case IDCANCEL:
        End();
        break; // the dialog's OK and Cancel end it, and the program
    default:
        break;
    }
}

void CUnpackerWnd::End() {
    if (m_bEnded) return;
    // The job's sent messages are answered while it is waited for, and an
    // end box it shows already is closed: nobody is left to read it.
    m_controller.StopJob([this] {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        m_systemMessages.CloseBoxesOfOtherThreads();
    });
    m_dropTarget.Revoke();
    if (m_progressDlg.Handle()) DestroyWindow(m_progressDlg.Handle());
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    m_bEnded = true;
}

void CUnpackerWnd::ShowImagePath(const std::string& path) {
    SetDlgItemTextW(m_hWnd, res::kIdcImagePath, Wide(path).c_str());
}

void CUnpackerWnd::ShowOutputDir(const std::string& path) {
    SetDlgItemTextW(m_hWnd, res::kIdcOutputDir, Wide(path).c_str());
}

void CUnpackerWnd::EnableStart(bool enabled) { EnableWindow(GetDlgItem(m_hWnd, res::kIdcStartExtract), enabled); }

bool CUnpackerWnd::IsBoxChecked(int id) const { return IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED; }

void CUnpackerWnd::CheckBox(int id, bool checked) { CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED); }

void CUnpackerWnd::OpenProgressWindow() { m_progressDlg.Create(m_hWnd); }

void CUnpackerWnd::CloseProgressWindow() { m_progressDlg.Close(); }

void CUnpackerWnd::PostImportDropped() { PostMessageW(m_hWnd, kWmImportDropped, 0, 0); }

} // namespace qorlu::win32
