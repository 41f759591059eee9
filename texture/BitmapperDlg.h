#pragma once
// CBitmapperDlg: the one window of qorlu_bitmapper. A file dropped on the
// upper zone (control 1000, "Texture ==> Bitmap") is exported, a bitmap
// dropped on the lower zone (control 1001, "Bitmap==>Texture") is imported.
// Each zone keeps the dropped path and posts its private message (2024 or
// 2025) to the window; the window runs the whole operation, message box
// included, inside the handler of that message, on its one thread.

#include "shell/gui/DropStatic.h"
#include "shell/gui/ShellDialog.h"

namespace qorlu {

class CBitmapperDlg : public gui::CShellDialog {
    Q_OBJECT
public:
    explicit CBitmapperDlg(QWidget* parent = nullptr);

    // The shell's steps, then the zones' owner and message; true, so the
    // dialog sets the default focus.
    bool OnInitDialog();

    bool OnPrivateMessage(int number) override;

    // ExportTextures on the export zone's path, ImportTexture on the import
    // zone's, each with this window as the owner of its message boxes.
    void OnDropExport();
    void OnDropImport();

    gui::CDropStatic& m_importZone; // control 1001, the lower zone
    gui::CDropStatic& m_exportZone; // control 1000, the upper zone
    // m_hIcon (icon 128) comes from the shell.
};

} // namespace qorlu
