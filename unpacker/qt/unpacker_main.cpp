// qorlu_unpacker: extracts the game's archive from a raw CD image and writes
// modified files back into it.

#include "resources/UnpackerResources.h"
#include "ui/qt/ShellDialog.h"
#include "unpacker/qt/UnpackerDlg.h"

int main(int argc, char** argv) {
    return qorlu::gui::RunProgram(argc, argv, qorlu::resources::unpacker::Program(),
                                  [] { return std::make_unique<qorlu::unpacker::CUnpackerDlg>(); });
}
