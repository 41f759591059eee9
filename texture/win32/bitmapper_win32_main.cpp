// qorlu_bitmapper for Windows: paletted textures to bitmaps and back.

#include "texture/window/BitmapperProgram.h"
#include "ui/win32/WindowShell.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return qorlu::win32::RunDropZoneProgram(qorlu::BitmapperProgram(), instance);
}
