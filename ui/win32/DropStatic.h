#pragma once
// Drop zones on static controls, and the paths of a drop.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace qorlu::win32 {

// A static control that takes files dragged from the desktop: on
// WM_DROPFILES it keeps the first file's path and posts its message, both
// parameters 0, to its owner, which reads the path when it handles it.
class CDropStatic {
public:
    // Takes over the control's messages; m_hOwner and m_nMessage follow.
    void Attach(HWND control);
    HWND m_hOwner = nullptr;
    unsigned m_nMessage = 0;
    std::string m_strPath; // UTF-8; empty until the first drop

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR self);
};

// Every file of a drop, in order (UTF-8, full paths).
std::vector<std::string> DroppedPaths(HDROP drop);

} // namespace qorlu::win32
