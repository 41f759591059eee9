#pragma once
// CPackerDlg: the one window of qorlu_packer, built on template 102. A file
// dropped on the upper zone (control 1002, "Export") has its compressed
// blocks written out; an exported file dropped on the lower zone (control
// 1003, "Import") goes back into its container. A zone keeps the dropped
// path and posts its private message (2024 export, 2025 import) to the
// window, which runs the whole operation, message box included, in the
// handler of that message on its one thread. The window stays above all
// others (the template's system-modal style).

#include "shell/gui/DropStatic.h"
#include "shell/gui/ShellDialog.h"

namespace qorlu {

class CPackerDlg : public gui::CShellDialog {
    Q_OBJECT
public:
    explicit CPackerDlg(QWidget* parent = nullptr);

    // The shell's steps, then each zone's owner (this window) and message;
    // true, so that the dialog sets the default focus.
    bool OnInitDialog();

    bool OnPrivateMessage(int number) override;

    // WM_DROP_EXPORT: ExportBlocks on the path kept by the export zone.
    void OnDropExport();
    // WM_DROP_IMPORT: ImportBlock on the path kept by the import zone.
    void OnDropImport();

    // Bound in this order (import first) to the controls the template made.
    gui::CDropStatic& m_importZone; // control 1003, the lower zone
    gui::CDropStatic& m_exportZone; // control 1002, the upper zone
    // m_hIcon, icon 128, is the shell's.
};

} // namespace qorlu
