#include "ui/win32/DropStatic.h"

#include "io/NativePath.h"
#include "ui/DropZoneRules.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace qorlu::win32 {

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

} // namespace qorlu::win32
