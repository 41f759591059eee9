#include "packer/PackerDlg.h"

#include "packer/BlockExport.h"
#include "packer/BlockImport.h"
#include "resources/PackerResources.h"

namespace qorlu {

namespace res = resources::packer;

CPackerDlg::CPackerDlg(QWidget* parent)
    : gui::CDropZoneDialog(res::Program(), res::kMainTemplate, res::kIdcImportZone, res::kIdcExportZone, parent) {}

void CPackerDlg::OnDropExport() { ExportBlocks(Messages(), m_exportZone.m_strPath); }

void CPackerDlg::OnDropImport() { ImportBlock(Messages(), m_importZone.m_strPath); }

} // namespace qorlu
