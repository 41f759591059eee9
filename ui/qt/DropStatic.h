#pragma once
// CDropStatic: a static text control that takes a file dragged from the
// desktop. On a drop it keeps the first file's path and posts its message
// number to its owner; the owner reads m_strPath when it handles the
// message. Several files dropped at once: only the first is kept.

#include <QLabel>
#include <QMimeData>
#include <QStringList>

#include <string>

namespace qorlu::gui {

class CDropStatic : public QLabel {
    Q_OBJECT
public:
    explicit CDropStatic(QWidget* parent = nullptr);
    ~CDropStatic() override;

    // The window told of a drop (not owned) and the private message number
    // posted to it. Both set by the owning dialog before drops can arrive.
    QObject* m_pOwner = nullptr;
    // Full path of the last file dropped, native separators, in the file
    // system's byte encoding; empty until the first drop. Never cut short.
    std::string m_strPath;
    unsigned m_nMessage = 0;

    // Handles a drop of local files: keeps paths[0], posts m_nMessage to
    // m_pOwner. An empty list changes nothing and posts nothing.
    void OnDropFiles(const QStringList& paths);

    // The local file paths (native separators) carried by drag data, in order.
    static QStringList LocalFilePaths(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace qorlu::gui
