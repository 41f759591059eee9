#include "unpacker/ImportDropTarget.h"

#include "archive/ImportMatching.h"
#include "shell/gui/DropStatic.h"
#include "shell/gui/PrivateMessage.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>

namespace qorlu::unpacker {

namespace {

// Shows `effect` to the drag's source. A source that does not offer a link
// gets its own proposed action, so that the drop still arrives.
void AcceptWith(QDropEvent* event, Qt::DropAction effect) {
    if (event->possibleActions() & effect) {
        event->setDropAction(effect);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

} // namespace

CImportDropTarget::CImportDropTarget() = default;
CImportDropTarget::~CImportDropTarget() = default;

bool CImportDropTarget::Register(QWidget* window) {
    if (!window) return false;
    if (m_pWindow) m_pWindow->removeEventFilter(this);
    m_pWindow = window;
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    return true;
}

void CImportDropTarget::Arm(const AfsNameRecord* records, std::uint32_t count) {
    m_bArmed = true;
    m_pNameRecords = records;
    m_nNameCount = count;
}

void CImportDropTarget::Disarm() {
    m_bArmed = false;
    m_pNameRecords = nullptr;
}

Qt::DropAction CImportDropTarget::OnDragEnter(const QMimeData* data) {
    m_dropEffect = Qt::IgnoreAction;
    if (!m_bArmed || !m_pNameRecords) return m_dropEffect;
    // Only local files take part; a drag without any is refused like a drag
    // without a file list, and the lists stay as they are.
    const QStringList paths = gui::CDropStatic::LocalFilePaths(data);
    if (paths.isEmpty()) return m_dropEffect;

    m_pMatchIndex.clear();
    m_strMatchPaths.clear();
    m_nMatchCount = 0;
    for (const QString& path : paths) {
        const std::string bytes = QFile::encodeName(path).toStdString();
        const auto index = MatchEntry(m_pNameRecords, m_nNameCount, bytes);
        if (!index) continue;
        m_pMatchIndex.push_back(static_cast<int>(*index));
        m_strMatchPaths.push_back(bytes);
        ++m_nMatchCount;
    }
    if (m_nMatchCount > 0) m_dropEffect = Qt::LinkAction;
    return m_dropEffect;
}

bool CImportDropTarget::OnDrop() {
    gui::PostPrivateMessage(m_pOwner, gui::kWmImportDropped);
    return true;
}

bool CImportDropTarget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_pWindow.data()) return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        const Qt::DropAction effect = OnDragEnter(e->mimeData());
        if (effect == Qt::IgnoreAction) {
            e->ignore();
        } else {
            AcceptWith(e, effect);
        }
        return true;
    }
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        const Qt::DropAction effect = OnDragOver();
        if (effect == Qt::IgnoreAction) {
            e->ignore();
        } else {
            AcceptWith(e, effect);
        }
        return true;
    }
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        if (m_dropEffect == Qt::IgnoreAction || !OnDrop()) {
            e->ignore();
        } else {
            AcceptWith(e, m_dropEffect);
        }
        return true;
    }
    case QEvent::DragLeave:
        OnDragLeave();
        return false;
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace qorlu::unpacker
