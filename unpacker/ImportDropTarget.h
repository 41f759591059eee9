#pragma once
// CImportDropTarget: the main window as a drop target for modified files.
//
// When a drag enters the window, every dragged local file is matched once to
// an archive entry by file name (MatchEntry: the upper-case name after the
// last separator; the lowest index wins, root entries included). The drag is
// accepted, as a link, when at least one file matched; moving over the
// window keeps that decision. A drop posts WM_IMPORT_DROPPED (3024) to the
// owner, which reads the match lists and asks about each file.
//
// Armed while an archive index is loaded: the name records are borrowed from
// the archive and must be re-armed after every load. Disarmed, every drag
// is refused. A refused drag (disarmed, or no local files) leaves the lists
// of the last accepted drag entry as they were.
//
// GUI thread only.

#include "archive/AfsArchive.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QMimeData;

namespace qorlu::unpacker {

class CImportDropTarget : public QObject {
    Q_OBJECT
public:
    CImportDropTarget();
    ~CImportDropTarget() override;

    // Takes the drags of `window`: accepts drops on it and handles its drag
    // events. True when registered.
    bool Register(QWidget* window);

    void Arm(const AfsNameRecord* records, std::uint32_t count);
    // Drags are refused from now on; m_nNameCount keeps its value.
    void Disarm();

    // The matching of one drag entry; the effect to show (Qt::IgnoreAction:
    // refused, Qt::LinkAction: accepted).
    Qt::DropAction OnDragEnter(const QMimeData* data);
    Qt::DropAction OnDragOver() const { return m_dropEffect; }
    // Tells the owner of a drop. True when the drop is taken.
    bool OnDrop();
    void OnDragLeave() {}

    std::uint32_t m_nMatchCount = 0;
    // Entry index of each match, element k belonging to m_strMatchPaths[k].
    std::vector<int> m_pMatchIndex;
    // Each matched file's path exactly as dragged (native separators, the
    // file system's byte encoding).
    std::vector<std::string> m_strMatchPaths;
    bool m_bArmed = false;
    std::uint32_t m_nNameCount = 0;
    const AfsNameRecord* m_pNameRecords = nullptr; // borrowed from the archive
    QObject* m_pOwner = nullptr;                   // told of drops; not owned
    Qt::DropAction m_dropEffect = Qt::IgnoreAction;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_pWindow; // the window registered on
};

} // namespace qorlu::unpacker
