#include "ui/win32/DropZoneDialog.h"

#include "ui/win32/DialogTemplate.h"
#include "ui/win32/DropStatic.h"
#include "ui/win32/MessageBoxSink.h"
#include "ui/win32/ShellDialog.h"
#include "base/LastResort.h"
#include "ui/PrivateMessages.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace qorlu::win32 {

namespace {

// One drop-zone window; lives on wWinMain's stack for the whole run.
struct DropZoneWindow {
    explicit DropZoneWindow(const DropZoneProgram& p) : program(p) {}
    const DropZoneProgram& program;
    CMessageBoxSink messages{nullptr, program.resources.programName};
    CDropStatic exportZone;
    CDropStatic importZone;
    HICON icon = nullptr;
};

INT_PTR CALLBACK DropZoneProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto& w = *reinterpret_cast<DropZoneWindow*>(lParam);
        w.icon = InitShell(dialog, w.program.resources);
        w.messages.SetOwner(dialog);
        w.exportZone.Attach(GetDlgItem(dialog, w.program.exportZoneId));
        w.exportZone.m_hOwner = dialog;
        w.exportZone.m_nMessage = kWmDropExport;
        w.importZone.Attach(GetDlgItem(dialog, w.program.importZoneId));
        w.importZone.m_hOwner = dialog;
        w.importZone.m_nMessage = kWmDropImport;
        return TRUE;
    }
    auto* w = reinterpret_cast<DropZoneWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!w) return FALSE;
    INT_PTR result = 0;
    if (HandleShellMessage(dialog, message, wParam, lParam, w->program.resources, w->icon, result)) {
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
        return message == WM_QUERYDRAGICON ? result : TRUE;
    }
    if (message == kWmDropExport || message == kWmDropImport) {
        // An exception that escapes an operation is shown; the window stays.
        const auto stopped = RunGuarded([&] {
            w->program.OnPrivateMessage(static_cast<int>(message), w->messages, w->exportZone.m_strPath,
                                        w->importZone.m_strPath);
        });
        if (stopped) w->messages.Show(WindowNotice(*stopped, Outcome::Failure));
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        // Enter, Escape, the close box and the system menu's Close.
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

int RunDropZoneProgram(const DropZoneProgram& program, HINSTANCE instance) {
    if (PrintedVersion(program.resources)) return 0;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    DropZoneWindow window(program);
    const CDialogBytes bytes(program.mainTemplate);
    // The program lives exactly as long as its main dialog; its result is
    // not looked at.
    DialogBoxIndirectParamW(instance, bytes.Template(), nullptr, DropZoneProc, reinterpret_cast<LPARAM>(&window));
    return 0;
}

} // namespace qorlu::win32
