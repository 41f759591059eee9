// qorlu_packer: compressed blocks out of a game file and back, by drag and drop.

#include "packer/qt/PackerDlg.h"
#include "resources/PackerResources.h"
#include "ui/qt/ShellDialog.h"

#include <memory>

int main(int argc, char** argv) {
    return qorlu::gui::RunProgram(argc, argv, qorlu::resources::packer::Program(),
                                  [] { return std::make_unique<qorlu::CPackerDlg>(); });
}
