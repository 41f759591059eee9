#include "ui/qt/DropZoneDialog.h"

#include "ui/qt/ControlId.h"
#include "ui/qt/PrivateMessage.h"

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

CDropZoneDialog::CDropZoneDialog(const DropZoneProgram& program, QWidget* parent)
    : CShellDialog(program.resources, program.mainTemplate, parent), m_importZone(ZoneOf(this, program.importZoneId)),
      m_exportZone(ZoneOf(this, program.exportZoneId)), m_program(program) {
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
    return m_program.OnPrivateMessage(number, Messages(), m_exportZone.m_strPath, m_importZone.m_strPath) ||
           CShellDialog::OnPrivateMessage(number);
}

} // namespace qorlu::gui
