#pragma once
// The shape that qorlu_bitmapper's and qorlu_packer's windows share: a main
// window with two drop zones. The upper (export) zone posts WM_DROP_EXPORT
// (2024), the lower (import) zone WM_DROP_IMPORT (2025); the window runs the
// whole operation, message box included, in the handler of that message on
// its one thread. Each program says what export and import mean.

#include "shell/gui/DropStatic.h"
#include "shell/gui/ShellDialog.h"

namespace qorlu::gui {

class CDropZoneDialog : public CShellDialog {
    Q_OBJECT
public:
    CDropZoneDialog(const ProgramResources& res, const DialogTemplate& mainTemplate, int importZoneId,
                    int exportZoneId, QWidget* parent = nullptr);

    // The shell's steps, then each zone's owner (this window) and message;
    // true, so that the dialog sets the default focus.
    bool OnInitDialog();

    bool OnPrivateMessage(int number) override;

    // WM_DROP_EXPORT: the operation on the path kept by the export zone.
    virtual void OnDropExport() = 0;
    // WM_DROP_IMPORT: the operation on the path kept by the import zone.
    virtual void OnDropImport() = 0;

    // Bound in this order (import first) to the controls the template made.
    CDropStatic& m_importZone; // the lower zone
    CDropStatic& m_exportZone; // the upper zone
    // m_hIcon, icon 128, is the shell's.
};

} // namespace qorlu::gui
