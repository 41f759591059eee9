#pragma once
// What every Win32 main window does alike: the About entry and box, the
// program icon and the minimised icon, --version.

#include "resources/DialogTable.h"
#include <windows.h>

namespace qorlu::win32 {

// The shell's part of a main window's initialisation: the About entry
// (string 101, after a separator) in the system menu, and icon 128 as the
// big and the small window icon. Returns the icon.
HICON InitShell(HWND dialog, const gui::ProgramResources& res);

// The shell's messages: WM_SYSCOMMAND (identifiers 16 to 31 open the About
// box), WM_PAINT while minimised (the icon, centred), WM_QUERYDRAGICON.
// True when the message was handled; `result` is the dialog's answer.
bool HandleShellMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const gui::ProgramResources& res,
                        HICON icon, INT_PTR& result);

// The About box (template 100), modal over `owner`.
void RunAboutBox(HWND owner, const gui::ProgramResources& res);

// Handles --version (prints the program's name and version) before any
// window; true when the program should end.
bool PrintedVersion(const gui::ProgramResources& res);

} // namespace qorlu::win32
