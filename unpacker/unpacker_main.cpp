// qorlu_unpacker: extracts the game's archive from a raw CD image and writes
// modified files back into it.

#include "resources/UnpackerResources.h"
#include "shell/gui/ShellDialog.h"
#include "unpacker/UnpackerDlg.h"

int main(int argc, char** argv) {
    return qorlu::gui::RunProgram(argc, argv, qorlu::resources::unpacker::Program(),
                                  [] { return std::make_unique<qorlu::unpacker::CUnpackerDlg>(); });
}
