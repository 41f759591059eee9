#include "texture/BitmapperDlg.h"

#include "resources/BitmapperResources.h"
#include "shell/gui/ControlId.h"
#include "shell/gui/PrivateMessage.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

namespace qorlu {

namespace {

namespace res = resources::bitmapper;

// Data exchange: the template made the zones; bind the fields to them.
gui::CDropStatic& BindZone(QWidget* dialog, int id) {
    auto* zone = gui::FindControlAs<gui::CDropStatic>(dialog, id);
    if (zone == nullptr) qFatal("template 102 has no drop zone %d", id);
    return *zone;
}

} // namespace

CBitmapperDlg::CBitmapperDlg(QWidget* parent)
    : gui::CShellDialog(res::Program(), res::kMainTemplate, parent),
      m_importZone(BindZone(this, res::kIdcImportZone)),
      m_exportZone(BindZone(this, res::kIdcExportZone)) {
    OnInitDialog();
}

bool CBitmapperDlg::OnInitDialog() {
    InitShell();
    m_exportZone.m_pOwner = this;
    m_exportZone.m_nMessage = gui::kWmDropExport;
    m_importZone.m_pOwner = this;
    m_importZone.m_nMessage = gui::kWmDropImport;
    return true;
}

bool CBitmapperDlg::OnPrivateMessage(int number) {
    switch (number) {
    case gui::kWmDropExport:
        OnDropExport();
        return true;
    case gui::kWmDropImport:
        OnDropImport();
        return true;
    default:
        return gui::CShellDialog::OnPrivateMessage(number);
    }
}

void CBitmapperDlg::OnDropExport() { ExportTextures(Messages(), m_exportZone.m_strPath); }

void CBitmapperDlg::OnDropImport() { ImportTexture(Messages(), m_importZone.m_strPath); }

} // namespace qorlu
