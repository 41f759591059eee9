#pragma once
// The shell every Win32 main window shares: dialogs made from the dialog
// tables, the program icon, the About entry and box, the minimised icon,
// the windows' message boxes, and drop zones on static controls.

#include "resources/DialogTable.h"
#include "ui/DropZoneRules.h"
#include "base/Message.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qorlu::win32 {

// UTF-16 for a window from a UTF-8 text (invalid bytes become U+FFFD); back
// to UTF-8 with Utf8FromWide.
std::wstring Wide(const std::string& utf8);

// The in-memory template of a dialog table, ready for the *Indirect* calls.
class CDialogBytes {
public:
    explicit CDialogBytes(const gui::DialogTemplate& tmpl);
    const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    std::vector<std::uint16_t> m_words;
};

// Boxes shown with MessageBoxW: owned by `owner` with the program's name as
// title, or, for system-modal notices, ownerless and above every window.
class CMessageBoxSink final : public IMessageSink {
public:
    CMessageBoxSink(HWND owner, const char* programName) : m_owner(owner), m_programName(programName) {}
    void SetOwner(HWND owner) { m_owner = owner; }
    Answer Show(const Notice& notice) override;
    // Closes the boxes that other threads show through this sink at this
    // moment (the extraction job's end box, when the window closes).
    void CloseBoxesOfOtherThreads();

private:
    HWND m_owner;
    const char* m_programName;
    std::mutex m_mutex;
    std::vector<DWORD> m_showing; // threads inside Show
};

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

// wWinMain of qorlu_bitmapper and qorlu_packer: the main dialog with its two
// zones, run until it closes. Returns the process's exit status.
int RunDropZoneProgram(const DropZoneProgram& program, HINSTANCE instance);

// Handles --version (prints the program's name and version) before any
// window; true when the program should end.
bool PrintedVersion(const gui::ProgramResources& res);

} // namespace qorlu::win32
