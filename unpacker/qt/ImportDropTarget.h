#pragma once
// CImportDropTarget: the Qt main window as a drop target for modified
// files. It hands each drag's local files to the matching it inherits
// (unpacker/ImportMatches.h), shows the effect decided at the drag's entry
// (none while the matching is held) and, on a drop, posts WM_IMPORT_DROPPED
// (3024) to the owner, which reads the match lists and asks about each file.
// Qt itself keeps drags from a window that a modal box blocks; the hold
// also covers what runs between the boxes.
//
// GUI thread only.

#include "unpacker/ImportMatches.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QMimeData;

namespace qorlu::unpacker {

class CImportDropTarget : public QObject, public CImportMatches {
    Q_OBJECT
public:
    CImportDropTarget();
    ~CImportDropTarget() override;

    // Takes the drags of `window`: accepts drops on it and handles its drag
    // events. True when registered.
    bool Register(QWidget* window);

    // The matching of one drag entry; the effect to show (Qt::IgnoreAction:
    // refused, Qt::LinkAction: accepted).
    Qt::DropAction OnDragEnter(const QMimeData* data);
    Qt::DropAction OnDragOver() const;
    // Tells the owner of a drop. True when the drop is taken.
    bool OnDrop();
    void OnDragLeave() {}

    QObject* m_pOwner = nullptr; // told of drops; not owned

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_pWindow; // the window registered on
};

} // namespace qorlu::unpacker
