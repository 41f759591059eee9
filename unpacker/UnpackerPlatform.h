#pragma once
// What the unpacker's main window asks of the system and a test cannot
// drive: the file-open dialog for the image, the folder dialog for the
// output folder, and the free space of a folder's volume. The program uses
// CSystemPlatform; tests pass a fake.

#include <cstdint>
#include <optional>
#include <string>

class QWidget;

namespace qorlu::unpacker {

class IUnpackerPlatform {
public:
    virtual ~IUnpackerPlatform() = default;

    // File-open dialog "open CD image file" owned by `owner`, opened in the
    // folder `start`, filters "Bin Files (*.bin)" (selected) and "All Files
    // (*.*)". True with the chosen file's full path in `path`; false, `path`
    // untouched, on Cancel.
    virtual bool BrowseImageFile(QWidget* owner, const std::string& start, std::string& path) = 0;

    // Folder dialog owned by `owner`, file-system folders only, opened in the
    // existing folder `start` with no name typed in. True with the folder's
    // path as the dialog gives it (no separator appended); false, `folder`
    // untouched, on Cancel.
    virtual bool BrowseFolder(QWidget* owner, const std::string& start, std::string& folder) = 0;

    // Bytes on the folder's volume available to this user; nullopt when the
    // system cannot tell.
    virtual std::optional<std::uint64_t> AvailableBytes(const std::string& folder) = 0;
};

// A full extraction of the game's archive needs roughly this much room; the
// threshold is fixed and does not depend on what will be extracted.
inline constexpr std::uint64_t kRequiredFreeBytes = 550000000;

// More than kRequiredFreeBytes available. Exactly the threshold, or an
// unknown amount, is not enough.
inline bool HasEnoughFreeSpace(std::optional<std::uint64_t> available) {
    return available.has_value() && *available > kRequiredFreeBytes;
}

// The user's home folder, as the file system spells it.
std::string HomeFolder();

// The real dialogs (QFileDialog) and free space (std::filesystem::space).
class CSystemPlatform final : public IUnpackerPlatform {
public:
    bool BrowseImageFile(QWidget* owner, const std::string& start, std::string& path) override;
    bool BrowseFolder(QWidget* owner, const std::string& start, std::string& folder) override;
    std::optional<std::uint64_t> AvailableBytes(const std::string& folder) override;
};

} // namespace qorlu::unpacker
