// qorlu_packer for Windows: compressed blocks out of a game file and back.

#include "packer/window/PackerProgram.h"
#include "ui/win32/WindowShell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return qorlu::win32::RunDropZoneProgram(qorlu::PackerProgram(), instance);
}
