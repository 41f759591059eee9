// qorlu_unpacker for Windows: extracts the game's archive from a raw CD
// image and writes modified files back into it.

#include "resources/UnpackerResources.h"
#include "unpacker/win32/UnpackerWindow.h"

#include <commctrl.h>
#include <ole2.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (qorlu::win32::PrintedVersion(qorlu::resources::unpacker::Program())) return 0;
    // Without OLE the window simply gets no OLE drags; dropped files still
    // arrive as WM_DROPFILES.
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    int status = 0;
    {
        qorlu::win32::CUnpackerWnd window;
        status = window.Run(instance);
    }
    OleUninitialize();
    return status;
}
