#include "unpacker/qt/UnpackerPlatform.h"

#include "io/FileLayer.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace qorlu::unpacker {

namespace {

// A path from a dialog as the file system spells it: native separators, the
// file system's byte encoding, so that opening it finds the same file.
std::string FileSystemPath(const QString& path) {
    return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString();
}

// The other way: a path as the file system spells it, for a dialog.
QString DialogPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

} // namespace

std::string HomeFolder() { return FileSystemPath(QDir::homePath()); }

bool CSystemPlatform::BrowseImageFile(const std::string& start, std::string& path) {
    QString selectedFilter = QStringLiteral("Bin Files (*.bin)");
    QString dir = DialogPath(start);
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::homePath();
    const QString file =
        QFileDialog::getOpenFileName(m_pOwner, QStringLiteral("open CD image file"), dir,
                                     QStringLiteral("Bin Files (*.bin);;All Files (*.*)"), &selectedFilter);
    if (file.isEmpty()) return false;
    path = FileSystemPath(file);
    return true;
}

bool CSystemPlatform::BrowseFolder(const std::string& start, std::string& folder) {
    // Given a folder that exists, the dialog opens in it with nothing typed
    // in; given one that does not, it would type the missing name into a
    // folder nearby and keep its Choose button disabled. So: home instead.
    QString dir = DialogPath(start);
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::homePath();
    const QString chosen = QFileDialog::getExistingDirectory(m_pOwner, QString(), dir, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return false;
    folder = FileSystemPath(chosen);
    return true;
}

std::optional<std::uint64_t> CSystemPlatform::AvailableBytes(const std::string& folder) {
    return AvailableBytesIn(folder);
}

} // namespace qorlu::unpacker
