// qorlu_bitmapper: textures to bitmaps and back, by drag and drop.

#include "resources/BitmapperResources.h"
#include "ui/qt/ShellDialog.h"
#include "texture/qt/BitmapperDlg.h"

#include <memory>

int main(int argc, char** argv) {
    return qorlu::gui::RunProgram(argc, argv, qorlu::resources::bitmapper::Program(),
                                  [] { return std::make_unique<qorlu::CBitmapperDlg>(); });
}
