#include "texture/qt/BitmapperDlg.h"
#include "texture/window/BitmapperProgram.h"

namespace qorlu {

CBitmapperDlg::CBitmapperDlg(QWidget* parent) : gui::CDropZoneDialog(BitmapperProgram(), parent) {}

} // namespace qorlu
