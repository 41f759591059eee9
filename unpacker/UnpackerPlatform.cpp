#include "unpacker/UnpackerPlatform.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

namespace qorlu::unpacker {

namespace {

// A path from a dialog as the file system spells it: native separators, the
// file system's byte encoding, so that opening it finds the same file.
std::string FileSystemPath(const QString& path) {
    return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString();
}

} // namespace

bool CSystemPlatform::BrowseImageFile(QWidget* owner, std::string& path) {
    QString selectedFilter = QStringLiteral("Bin Files (*.bin)");
    const QString file = QFileDialog::getOpenFileName(owner, QStringLiteral("open CD image file"), QString(),
                                                      QStringLiteral("Bin Files (*.bin);;All Files (*.*)"),
                                                      &selectedFilter);
    if (file.isEmpty()) return false;
    path = FileSystemPath(file);
    return true;
}

bool CSystemPlatform::BrowseFolder(QWidget* owner, std::string& folder) {
    // The dialog starts at the desktop and offers folders only; it gives
    // back local paths, never virtual locations.
    const QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString(), start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return false;
    folder = FileSystemPath(chosen);
    return true;
}

std::optional<std::uint64_t> CSystemPlatform::AvailableBytes(const std::string& folder) {
    std::error_code ec;
    const std::filesystem::space_info info = std::filesystem::space(std::filesystem::path(folder), ec);
    if (ec) return std::nullopt;
    return static_cast<std::uint64_t>(info.available);
}

} // namespace qorlu::unpacker
