#pragma once
// The Qt window of qorlu_bitmapper and qorlu_packer: a main window with two
// drop zones, run by the program's rules (ui/DropZoneRules.h). The upper
// (export) zone posts WM_DROP_EXPORT (2024), the lower (import) zone
// WM_DROP_IMPORT (2025); the window runs the whole operation, message box
// included, in the handler of that message on its one thread.

#include "ui/DropZoneRules.h"
#include "ui/qt/DropStatic.h"
#include "ui/qt/ShellDialog.h"

namespace qorlu::gui {

class CDropZoneDialog : public CShellDialog {
    Q_OBJECT
public:
    explicit CDropZoneDialog(const DropZoneProgram& program, QWidget* parent = nullptr);

    // The shell's steps, then each zone's owner (this window) and message;
    // true, so that the dialog sets the default focus.
    bool OnInitDialog();

    bool OnPrivateMessage(int number) override;

    // WM_DROP_EXPORT: the operation on the path kept by the export zone.
    void OnDropExport() { OnPrivateMessage(kWmDropExport); }
    // WM_DROP_IMPORT: the operation on the path kept by the import zone.
    void OnDropImport() { OnPrivateMessage(kWmDropImport); }

    // Bound in this order (import first) to the controls the template made.
    CDropStatic& m_importZone; // the lower zone
    CDropStatic& m_exportZone; // the upper zone

private:
    const DropZoneProgram& m_program;

public:
    // m_hIcon, icon 128, is the shell's.
};

} // namespace qorlu::gui
