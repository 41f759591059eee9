#include "unpacker/qt/ImportDropTarget.h"

#include "ui/qt/DropStatic.h"
#include "ui/qt/PrivateMessage.h"

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

namespace {

Qt::DropAction QtEffect(DropEffect effect) { return effect == DropEffect::Link ? Qt::LinkAction : Qt::IgnoreAction; }

} // namespace

Qt::DropAction CImportDropTarget::OnDragEnter(const QMimeData* data) {
    // Only local files take part; a drag without any is refused like a drag
    // without a file list, and the lists stay as they are.
    std::vector<std::string> paths;
    for (const QString& path : gui::CDropStatic::LocalFilePaths(data))
        paths.push_back(QFile::encodeName(path).toStdString());
    return QtEffect(MatchDrag(&paths));
}

Qt::DropAction CImportDropTarget::OnDragOver() const { return QtEffect(EffectNow()); }

bool CImportDropTarget::OnDrop() {
    TakeDrop();
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
        if (EffectNow() == DropEffect::None || !OnDrop()) {
            e->ignore();
        } else {
            AcceptWith(e, OnDragOver());
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
