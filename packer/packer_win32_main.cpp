// qorlu_packer for Windows: compressed blocks out of a game file and back.

#include "shell/DropZoneRules.h"
#include "shell/win32/WindowShell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return qorlu::win32::RunDropZoneProgram(qorlu::PackerProgram(), instance);
}
