#include "unpacker/win32/SystemPlatform.h"

#include "io/FileLayer.h"
#include "io/NativePath.h"
#include "ui/win32/WindowShell.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstdlib>
#include <vector>

namespace qorlu::win32 {

bool CSystemPlatform::BrowseImageFile(const std::string& start, std::string& path) {
    // Room for long paths; the dialog says when a name does not fit.
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring folder = Wide(start);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_hOwner;
    dialog.lpstrFilter = L"Bin Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = L"open CD image file";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameW(&dialog)) return false;
    path = Utf8FromWide(file.data());
    return true;
}

namespace {

int CALLBACK OnFolderDialog(HWND dialog, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

} // namespace

bool CSystemPlatform::BrowseFolder(const std::string& start, std::string& folder) {
    const std::wstring startFolder = Wide(start);
    BROWSEINFOW info{};
    info.hwndOwner = m_hOwner;
    info.pidlRoot = nullptr; // the desktop
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    info.lpfn = &OnFolderDialog;
    info.lParam = reinterpret_cast<LPARAM>(startFolder.c_str());
    PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
    if (!item) return false;
    wchar_t path[MAX_PATH + 1] = {};
    const bool converted = SHGetPathFromIDListW(item, path) != FALSE;
    CoTaskMemFree(item);
    if (!converted) return false;
    folder = Utf8FromWide(path);
    return true;
}

std::optional<std::uint64_t> CSystemPlatform::AvailableBytes(const std::string& folder) {
    return AvailableBytesIn(folder);
}

std::string CSystemPlatform::HomeFolder() {
    const wchar_t* profile = _wgetenv(L"USERPROFILE");
    return profile ? Utf8FromWide(profile) : std::string();
}

} // namespace qorlu::win32
