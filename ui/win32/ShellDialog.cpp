#include "ui/win32/ShellDialog.h"

#include "ui/DialogBytes.h"
#include "ui/win32/DialogTemplate.h"
#include "ui/win32/WideText.h"
#include "ui/PrivateMessages.h"
#include "ui/ShellRules.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace qorlu::win32 {

HICON InitShell(HWND dialog, const gui::ProgramResources& res) {
    if (HMENU menu = GetSystemMenu(dialog, FALSE)) {
        const std::wstring about = Wide(res.string101 ? res.string101 : "");
        if (!about.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kIdmAboutBox, about.c_str());
        }
    }
    const auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(gui::kProgramIconId),
                                                    IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return icon;
}

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

void RunAboutBox(HWND owner, const gui::ProgramResources& res) {
    if (!res.aboutTemplate) return;
    const CDialogBytes bytes(*res.aboutTemplate);
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), bytes.Template(), owner, AboutProc, 0);
}

bool HandleShellMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, const gui::ProgramResources& res, HICON icon,
                        INT_PTR& result) {
    switch (message) {
    case WM_SYSCOMMAND:
        if (gui::IsAboutCommand(static_cast<unsigned>(wParam))) {
            RunAboutBox(dialog, res);
            result = TRUE;
            return true;
        }
        return false; // the dialog's default: Move, Close, Minimise
    case WM_PAINT: {
        if (!IsIconic(dialog)) return false;
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(dialog, &paint);
        SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        const int cx = GetSystemMetrics(SM_CXICON);
        const int cy = GetSystemMetrics(SM_CYICON);
        RECT client;
        GetClientRect(dialog, &client);
        const gui::IconPlace place =
            gui::MinimizedIconPlace(client.right - client.left, client.bottom - client.top, cx, cy);
        DrawIcon(dc, place.x, place.y, icon);
        EndPaint(dialog, &paint);
        result = TRUE;
        return true;
    }
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(icon);
        return true;
    default:
        return false;
    }
}

bool PrintedVersion(const gui::ProgramResources& res) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool printed = false;
    for (int i = 1; argv && i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--version") == 0) {
            std::printf("%s %s\n", res.programName, res.version);
            std::fflush(stdout);
            printed = true;
        }
    }
    LocalFree(argv);
    return printed;
}

} // namespace qorlu::win32
