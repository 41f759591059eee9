#pragma once
// The Win32 main window's answers to what the unpacker asks of the system:
// the file-open dialog (GetOpenFileNameW), the shell's folder dialog
// (SHBrowseForFolderW) and the free space (the file layer's AvailableBytesIn).

#include "unpacker/UnpackerController.h"

#include <windows.h>

namespace qorlu::win32 {

class CSystemPlatform final : public IUnpackerPlatform {
public:
    void SetOwner(HWND owner) { m_hOwner = owner; }
    bool BrowseImageFile(const std::string& start, std::string& path) override;
    // File-system folders only, with a status line; opened with `start`
    // selected.
    bool BrowseFolder(const std::string& start, std::string& folder) override;
    std::optional<std::uint64_t> AvailableBytes(const std::string& folder) override;
    std::string HomeFolder() override;

private:
    HWND m_hOwner = nullptr;
};

} // namespace qorlu::win32
