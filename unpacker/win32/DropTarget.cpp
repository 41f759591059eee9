#include "unpacker/win32/DropTarget.h"

#include "ui/PrivateMessages.h"
#include "ui/win32/WindowShell.h"

#include <shellapi.h>

namespace qorlu::win32 {

bool CImportDropTarget::Register(HWND window) {
    m_hOwner = window;
    m_bRegistered = RegisterDragDrop(window, this) == S_OK;
    return m_bRegistered;
}

void CImportDropTarget::Revoke() {
    if (m_bRegistered) RevokeDragDrop(m_hOwner);
    m_bRegistered = false;
}

HRESULT CImportDropTarget::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CImportDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    // A drag without a file list is refused and leaves the lists as they are.
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!m_bArmed || !data || data->GetData(&format, &medium) != S_OK) {
        MatchDrag(nullptr);
    } else {
        const std::vector<std::string> paths = DroppedPaths(static_cast<HDROP>(medium.hGlobal));
        ReleaseStgMedium(&medium);
        MatchDrag(&paths);
    }
    if (effect) *effect = Effect();
    return S_OK;
}

HRESULT CImportDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (effect) *effect = Effect();
    return S_OK;
}

HRESULT CImportDropTarget::Drop(IDataObject*, DWORD, POINTL, DWORD* effect) {
    if (effect) *effect = Effect();
    if (EffectNow() == DropEffect::Link) PostDropped();
    return S_OK;
}

void CImportDropTarget::OnDropFiles(HDROP drop) {
    const std::vector<std::string> paths = DroppedPaths(drop);
    DragFinish(drop);
    if (MatchDrag(&paths) == DropEffect::Link) PostDropped();
}

void CImportDropTarget::PostDropped() {
    TakeDrop();
    PostMessageW(m_hOwner, kWmImportDropped, 0, 0);
}

} // namespace qorlu::win32
