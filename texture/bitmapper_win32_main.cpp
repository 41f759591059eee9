// qorlu_bitmapper for Windows: paletted textures to bitmaps and back.

#include "shell/DropZoneRules.h"
#include "shell/win32/WindowShell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return qorlu::win32::RunDropZoneProgram(qorlu::BitmapperProgram(), instance);
}
