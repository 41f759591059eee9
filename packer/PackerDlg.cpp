#include "packer/PackerDlg.h"

namespace qorlu {

CPackerDlg::CPackerDlg(QWidget* parent) : gui::CDropZoneDialog(PackerProgram(), parent) {}

} // namespace qorlu
