#pragma once
// CPackerDlg: the one window of qorlu_packer, built on template 102. A file
// dropped on the upper zone (control 1002, "Export") has its compressed
// blocks written out; an exported file dropped on the lower zone (control
// 1003, "Import") goes back into its container. The window stays above all
// others (the template's system-modal style).

#include "ui/qt/DropZoneDialog.h"

namespace qorlu {

class CPackerDlg : public gui::CDropZoneDialog {
    Q_OBJECT
public:
    explicit CPackerDlg(QWidget* parent = nullptr);
};

} // namespace qorlu
