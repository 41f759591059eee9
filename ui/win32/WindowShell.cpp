#include "ui/win32/WindowShell.h"

#include "ui/DialogBytes.h"
#include "base/Utf16.h"
#include "base/LastResort.h"
#include "io/NativePath.h"
#include "ui/PrivateMessages.h"
#include "ui/ShellRules.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace qorlu::win32 {

std::wstring Wide(const std::string& utf8) {
    const std::u16string utf16 = Utf16FromUtf8(utf8);
    return std::wstring(utf16.begin(), utf16.end());
}

CDialogBytes::CDialogBytes(const gui::DialogTemplate& tmpl) : m_words(gui::DialogTemplateWords(tmpl)) {}

Answer CMessageBoxSink::Show(const Notice& notice) {
    UINT flags = notice.buttons == Buttons::YesNo ? MB_YESNO : MB_OK;
    if (notice.icon == Icon::Information) flags |= MB_ICONINFORMATION;
    if (notice.icon == Icon::Question) flags |= MB_ICONQUESTION;
    flags |= notice.systemModal ? MB_SYSTEMMODAL : MB_APPLMODAL;
    const std::wstring title = Wide(notice.title ? *notice.title : std::string(m_programName ? m_programName : ""));
    const DWORD thread = GetCurrentThreadId();
    {
        const std::lock_guard lock(m_mutex);
        m_showing.push_back(thread);
    }
    const int answer =
        MessageBoxW(notice.systemModal ? nullptr : m_owner, Wide(notice.text).c_str(), title.c_str(), flags);
    {
        const std::lock_guard lock(m_mutex);
        std::erase(m_showing, thread);
    }
    if (notice.buttons != Buttons::YesNo) return Answer::Ok;
    return answer == IDYES ? Answer::Yes : Answer::No;
}

void CMessageBoxSink::CloseBoxesOfOtherThreads() {
    std::vector<DWORD> threads;
    {
        const std::lock_guard lock(m_mutex);
        threads = m_showing;
    }
    for (const DWORD thread : threads) {
        if (thread == GetCurrentThreadId()) continue;
        EnumThreadWindows(
            thread,
            [](HWND box, LPARAM) -> BOOL {
                PostMessageW(box, WM_CLOSE, 0, 0);
                return TRUE;
            },
            0);
    }
}

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

std::vector<std::string> DroppedPaths(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // As long as the path is: no name is cut at 260 characters.
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), length + 1);
        path.resize(length);
        paths.push_back(Utf8FromWide(path));
    }
    return paths;
}

void CDropStatic::Attach(HWND control) {
    if (control) SetWindowSubclass(control, &CDropStatic::Proc, 1, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK CDropStatic::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    if (message == WM_DROPFILES) {
        auto& zone = *reinterpret_cast<CDropStatic*>(self);
        const auto drop = reinterpret_cast<HDROP>(wParam);
        const std::string first = FirstDroppedPath(DroppedPaths(drop));
        DragFinish(drop);
        if (!first.empty()) {
            zone.m_strPath = first;
            // Posted: the operation runs after the drop's handling has ended.
            PostMessageW(zone.m_hOwner, zone.m_nMessage, 0, 0);
        }
        return 0;
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &CDropStatic::Proc, 1);
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

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
