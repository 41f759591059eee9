#include "texture/BitmapperDlg.h"

namespace qorlu {

CBitmapperDlg::CBitmapperDlg(QWidget* parent) : gui::CDropZoneDialog(BitmapperProgram(), parent) {}

} // namespace qorlu
