#pragma once
// CImportMatches: what the unpacker's drop target decides about one drag,
// whatever toolkit delivers it.
//
// When a drag enters the main window, every dragged file is matched once to
// an archive entry by file name (MatchEntry: the upper-case name after the
// last separator; the lowest index wins). The drag is accepted, as a link,
// when at least one file matched; moving over the window keeps that
// decision. A file whose name ends in ".ppf" (any case) is a patch for the
// whole image: it is kept in a list of its own and accepted like a match.
// The owner reads the lists after the drop and asks about each.
//
// Armed while an archive index is loaded: the name records are borrowed
// from the archive and must be re-armed after every load. Disarmed, every
// drag is refused. A refused drag (disarmed, held, or no file list) leaves
// the lists of the last accepted drag entry as they were.
//
// Held while the window runs an operation (a button's, a drop's, a reload
// of the index) and so while any box, question or dialog of it is up: the
// box's own message loop would otherwise hand a drop to the window, which
// would start an import inside that box, over the lists or the index of the
// operation still under way. While held, drags are refused, a drag that
// entered before is refused at its drop, and a drop's message that arrives
// (taken just before the hold) waits for the end of the last hold. From a
// taken drop until the owner handles it, drags are refused too, so that its
// lists stay the drop's.
//
// Window thread only.

#include "archive/AfsArchive.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qorlu {

enum class DropEffect { None, Link };

// True for a name that ends in ".ppf", in any letter case.
bool IsPatchFile(const std::string& path);

class CImportMatches {
public:
    void Arm(const AfsNameRecord* records, std::uint32_t count);
    // Drags are refused from now on; m_nNameCount keeps its value.
    void Disarm();

    // The matching of one drag entry. `paths` is the drag's file list (the
    // paths as the platform gives them, in the file system's encoding), null
    // or empty when the drag carries none.
    DropEffect MatchDrag(const std::vector<std::string>* paths);
    DropEffect LastEffect() const { return m_dropEffect; }
    // What a move or a drop of the current drag gets now: the entry's
    // decision, or None while held.
    DropEffect EffectNow() const { return Held() ? DropEffect::None : m_dropEffect; }

    // The drop target took a drop and is telling the owner of it.
    void TakeDrop() { m_dropState = DropState::Waiting; }
    // The owner's handling of a drop message: true when it may handle the
    // drop now; false while held (the drop then waits, see EndHold) and
    // for a drop let go because the index was loaded again since.
    bool BeginDropHandling();

    void BeginHold() { ++m_nHolds; }
    // True when this ended the last hold and a drop's message came during
    // it: the owner posts that message again.
    bool EndHold();
    bool Held() const { return m_nHolds > 0; }

    std::uint32_t m_nMatchCount = 0;
    // Entry index of each match, element k belonging to m_strMatchPaths[k].
    std::vector<int> m_pMatchIndex;
    // Each matched file's path exactly as dragged.
    std::vector<std::string> m_strMatchPaths;
    // The dragged patches (".ppf"), in the drag's order.
    std::vector<std::string> m_strPatchPaths;
    bool m_bArmed = false;
    std::uint32_t m_nNameCount = 0;
    const AfsNameRecord* m_pNameRecords = nullptr; // borrowed from the archive
    DropEffect m_dropEffect = DropEffect::None;

private:
    enum class DropState {
        None,
        Waiting,  // a drop was taken, its message is on its way
        Deferred, // its message came while held
        LetGo,    // its message is on its way, but the index was loaded again
    };
    int m_nHolds = 0;
    DropState m_dropState = DropState::None;
};

} // namespace qorlu
