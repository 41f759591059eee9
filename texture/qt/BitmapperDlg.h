#pragma once
// CBitmapperDlg: the one window of qorlu_bitmapper, built on template 102. A
// file dropped on the upper zone (control 1000, "Texture ==> Bitmap") is
// exported, a bitmap dropped on the lower zone (control 1001,
// "Bitmap==>Texture") is imported.

#include "ui/qt/DropZoneDialog.h"

namespace qorlu {

class CBitmapperDlg : public gui::CDropZoneDialog {
    Q_OBJECT
public:
    explicit CBitmapperDlg(QWidget* parent = nullptr);
};

} // namespace qorlu
