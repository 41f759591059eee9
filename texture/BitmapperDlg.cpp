#include "texture/BitmapperDlg.h"

#include "resources/BitmapperResources.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

namespace qorlu {

namespace res = resources::bitmapper;

CBitmapperDlg::CBitmapperDlg(QWidget* parent)
    : gui::CDropZoneDialog(res::Program(), res::kMainTemplate, res::kIdcImportZone, res::kIdcExportZone, parent) {}

void CBitmapperDlg::OnDropExport() { ExportTextures(Messages(), m_exportZone.m_strPath); }

void CBitmapperDlg::OnDropImport() { ImportTexture(Messages(), m_importZone.m_strPath); }

} // namespace qorlu
