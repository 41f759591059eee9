#include "packer/qt/PackerDlg.h"
#include "packer/window/PackerProgram.h"

namespace qorlu {

CPackerDlg::CPackerDlg(QWidget* parent) : gui::CDropZoneDialog(PackerProgram(), parent) {}

} // namespace qorlu
