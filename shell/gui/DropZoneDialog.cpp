#include "shell/gui/DropZoneDialog.h"

#include "shell/gui/ControlId.h"
#include "shell/gui/PrivateMessage.h"

namespace qorlu::gui {

namespace {

// The data-exchange step: the zone the template created under `id`. A
// template without it is a build mistake, not a user's.
CDropStatic& ZoneOf(QWidget* dialog, int id) {
    auto* zone = FindControlAs<CDropStatic>(dialog, id);
    if (zone == nullptr) qFatal("the window template has no drop zone %d", id);
    return *zone;
}

} // namespace

CDropZoneDialog::CDropZoneDialog(const ProgramResources& res, const DialogTemplate& mainTemplate, int importZoneId,
                                 int exportZoneId, QWidget* parent)
    : CShellDialog(res, mainTemplate, parent),
      m_importZone(ZoneOf(this, importZoneId)),
      m_exportZone(ZoneOf(this, exportZoneId)) {
    OnInitDialog();
}

bool CDropZoneDialog::OnInitDialog() {
    InitShell();
    m_exportZone.m_pOwner = this;
    m_exportZone.m_nMessage = kWmDropExport;
    m_importZone.m_pOwner = this;
    m_importZone.m_nMessage = kWmDropImport;
    return true;
}

bool CDropZoneDialog::OnPrivateMessage(int number) {
    if (number == kWmDropExport) {
        OnDropExport();
        return true;
    }
    if (number == kWmDropImport) {
        OnDropImport();
        return true;
    }
    return CShellDialog::OnPrivateMessage(number);
}

} // namespace qorlu::gui
