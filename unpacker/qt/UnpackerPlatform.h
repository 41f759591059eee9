#pragma once
// The Qt window's answers to what the unpacker's main window asks of the
// system (unpacker/UnpackerController.h): QFileDialog for the image and the
// folder, the file layer's AvailableBytesIn for the free space.

#include "unpacker/UnpackerController.h"

#include <cstdint>
#include <optional>
#include <string>

class QWidget;

namespace qorlu::unpacker {

using qorlu::HasEnoughFreeSpace;
using qorlu::IUnpackerPlatform;
using qorlu::kRequiredFreeBytes;

// The user's home folder, as the file system spells it.
std::string HomeFolder();

class CSystemPlatform final : public IUnpackerPlatform {
public:
    // The dialogs are owned by `owner` (the main window).
    explicit CSystemPlatform(QWidget* owner = nullptr) : m_pOwner(owner) {}
    bool BrowseImageFile(const std::string& start, std::string& path) override;
    bool BrowseFolder(const std::string& start, std::string& folder) override;
    std::optional<std::uint64_t> AvailableBytes(const std::string& folder) override;
    std::string HomeFolder() override { return unpacker::HomeFolder(); }
    QWidget* Owner() const { return m_pOwner; }

private:
    QWidget* m_pOwner;
};

} // namespace qorlu::unpacker
