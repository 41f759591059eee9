#include "packer/PackerDlg.h"

#include "packer/BlockExport.h"
#include "packer/BlockImport.h"
#include "resources/PackerResources.h"
#include "shell/gui/ControlId.h"
#include "shell/gui/PrivateMessage.h"

namespace qorlu {

namespace {

namespace res = resources::packer;

// The data-exchange step: the zone the template created under `id`. A
// template without it is a build mistake, not a user's.
gui::CDropStatic& ZoneOf(CPackerDlg* dialog, int id) {
    auto* zone = gui::FindControlAs<gui::CDropStatic>(dialog, id);
    if (zone == nullptr) qFatal("packer window template has no drop zone %d", id);
    return *zone;
}

} // namespace

CPackerDlg::CPackerDlg(QWidget* parent)
    : gui::CShellDialog(res::Program(), res::kMainTemplate, parent),
      m_importZone(ZoneOf(this, res::kIdcImportZone)),
      m_exportZone(ZoneOf(this, res::kIdcExportZone)) {
    OnInitDialog();
}

bool CPackerDlg::OnInitDialog() {
    InitShell();
    m_exportZone.m_pOwner = this;
    m_exportZone.m_nMessage = gui::kWmDropExport;
    m_importZone.m_pOwner = this;
    m_importZone.m_nMessage = gui::kWmDropImport;
    return true;
}

bool CPackerDlg::OnPrivateMessage(int number) {
    if (number == gui::kWmDropExport) {
        OnDropExport();
        return true;
    }
    if (number == gui::kWmDropImport) {
        OnDropImport();
        return true;
    }
    return gui::CShellDialog::OnPrivateMessage(number);
}

void CPackerDlg::OnDropExport() { ExportBlocks(Messages(), m_exportZone.m_strPath); }

void CPackerDlg::OnDropImport() { ImportBlock(Messages(), m_importZone.m_strPath); }

} // namespace qorlu
