#include "ui/qt/DropStatic.h"

#include "ui/qt/PrivateMessage.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>

namespace qorlu::gui {

CDropStatic::CDropStatic(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAcceptDrops(true);
}

CDropStatic::~CDropStatic() = default;

QStringList CDropStatic::LocalFilePaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.push_back(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return paths;
}

void CDropStatic::OnDropFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    // The path as dropped, in the file system's own encoding, so that opening
    // it finds the same file. Long paths are kept whole.
    m_strPath = QFile::encodeName(paths.front()).toStdString();
    if (m_nMessage != 0) PostPrivateMessage(m_pOwner, static_cast<int>(m_nMessage));
}

void CDropStatic::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFilePaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CDropStatic::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalFilePaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CDropStatic::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFilePaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OnDropFiles(paths);
}

} // namespace qorlu::gui
