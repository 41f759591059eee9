#pragma once
// CImportDropTarget: the Win32 main window as an OLE drop target for
// modified files (clipboard format CF_HDROP). Each drag's file list goes to
// the matching it inherits (unpacker/ImportMatches.h) when the drag enters;
// the effect decided then (DROPEFFECT_LINK or DROPEFFECT_NONE) holds while
// it moves, except that a hold of the matching (a box of the window is up)
// shows DROPEFFECT_NONE and refuses the drop; a drop posts
// WM_IMPORT_DROPPED (3024) to the owner. A window without OLE drags gets
// the same from WM_DROPFILES (OnDropFiles), which ignores a drop while held.

#include "unpacker/ImportMatches.h"

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

namespace qorlu::win32 {

class CImportDropTarget final : public IDropTarget, public CImportMatches {
public:
    // Registers on `window`, which is also told of drops. True when OLE took it.
    bool Register(HWND window);
    void Revoke();
    // WM_DROPFILES on the owner: matches the dropped files and posts 3024
    // when any matched. Finishes the drop.
    void OnDropFiles(HDROP drop);

    // IUnknown: the object belongs to the window and is never freed by OLE.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    // IDropTarget
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    DWORD Effect() const { return EffectNow() == DropEffect::Link ? DROPEFFECT_LINK : DROPEFFECT_NONE; }
    // Tells the owner of a drop taken.
    void PostDropped();
    HWND m_hOwner = nullptr;
    bool m_bRegistered = false;
};

} // namespace qorlu::win32
