#pragma once
// CUnpackerController: the rules of qorlu_unpacker's main window, shared by
// its Qt and its Win32 window. The window shows what the controller tells it
// (IUnpackerView) and forwards its buttons, boxes and private messages; the
// controller owns the archive and the extraction job.
//
//   Select CD Image    the file dialog, then "filedata.afs" located and its
//                      index loaded; the drop target armed with it
//   Select Output Dir  the folder dialog, then more than 550,000,000 bytes
//                      must be free on its volume
//   Start Extract      enabled exactly when an image is loaded, a folder is
//                      chosen and at least one box is checked; it opens the
//                      progress window, which hides the main window and,
//                      once painted, posts WM_BEGIN_EXTRACT: OnBeginExtract
//   a drop             WM_IMPORT_DROPPED: OnImportDropped asks about each
//                      matched file and imports it on Yes, then about each
//                      dropped patch (".ppf") and applies it to the image
//                      on Yes, loading the index again after it
//
// Each of these holds the drop target (CImportMatches) while it runs, so no
// drop is taken while one of its boxes, questions or dialogs is up, the
// archive's ownerless ones included; a drop's message that arrives inside
// such a box is posted again once the operation is over.
//   closing            StopJob: a running job is told to stop and waited for
//
// The dialogs open where the user was last, for this run only: the image
// dialog in the folder of the image chosen last; the folder dialog in the
// folder chosen last, else the image's folder, else the home folder. Only
// folders that still exist are offered.

#include "archive/AfsArchive.h"
#include "base/Message.h"
#include "archive/ExtractJob.h"
#include "unpacker/ImportMatches.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace qorlu {

// What the main window shows and holds, in its own toolkit.
class IUnpackerView {
public:
    virtual ~IUnpackerView() = default;
    virtual void ShowImagePath(const std::string& path) = 0; // edit 1002
    virtual void ShowOutputDir(const std::string& path) = 0; // edit 1003
    virtual void EnableStart(bool enabled) = 0;              // button 1006
    virtual bool IsBoxChecked(int id) const = 0;             // boxes 1005, 1008
    virtual void CheckBox(int id, bool checked) = 0;
    // Creates the progress window over the main window (it hides the main
    // window and, on its first paint, posts WM_BEGIN_EXTRACT).
    virtual void OpenProgressWindow() = 0;
    // Closes the progress window the way the job's IDOK does; for a Start
    // that starts no job.
    virtual void CloseProgressWindow() = 0;
    // The window's own boxes (owned by it, the program's name as title).
    virtual IMessageSink& WindowMessages() = 0;
    // Posts WM_IMPORT_DROPPED to the window.
    virtual void PostImportDropped() = 0;
};

// What the main window asks of the system and a test cannot drive.
class IUnpackerPlatform {
public:
    virtual ~IUnpackerPlatform() = default;
    // File-open dialog "open CD image file" over the main window, opened in
    // the folder `start`, filters "Bin Files (*.bin)" (selected) and "All
    // Files (*.*)". True with the chosen file's full path in `path`; false,
    // `path` untouched, on Cancel.
    virtual bool BrowseImageFile(const std::string& start, std::string& path) = 0;
    // Folder dialog over the main window, file-system folders only, opened
    // in the existing folder `start`. True with the folder's path as the
    // dialog gives it (no separator appended); false, untouched, on Cancel.
    virtual bool BrowseFolder(const std::string& start, std::string& folder) = 0;
    // Bytes on the folder's volume available to this user; nullopt when the
    // system cannot tell.
    virtual std::optional<std::uint64_t> AvailableBytes(const std::string& folder) = 0;
    // The user's home folder, as the file system spells it.
    virtual std::string HomeFolder() = 0;
};

// A full extraction of the game's archive needs roughly this much room; the
// threshold is fixed and does not depend on what will be extracted.
inline constexpr std::uint64_t kRequiredFreeBytes = 550000000;

// More than kRequiredFreeBytes available. Exactly the threshold, or an
// unknown amount, is not enough.
inline bool HasEnoughFreeSpace(std::optional<std::uint64_t> available) {
    return available.has_value() && *available > kRequiredFreeBytes;
}

// The Yes/No box asked before a dropped patch is applied: "Apply this patch
// to the image?" and the patch's path, empty title, question icon.
Notice PatchQuestionNotice(const std::string& patch);

class CUnpackerController {
public:
    // `matches` is the window's drop target; `systemSink` takes the
    // archive's and the job's boxes (no owner, system-modal).
    CUnpackerController(IUnpackerView& view, IUnpackerPlatform& platform, CImportMatches& matches,
                        IMessageSink& systemSink);
    // Stops a running job; a window stops it earlier, with StopJob.
    ~CUnpackerController();

    // Both boxes checked; "Start Extract" stays disabled.
    void OnInitDialog();
    void OnSelectImage();
    void OnSelectOutputDir();
    void OnCheckAdx() { UpdateStartButton(); }
    void OnCheckOthers() { UpdateStartButton(); }
    void UpdateStartButton();
    void OnStartExtract();
    // WM_BEGIN_EXTRACT: starts the job with `progress` as its window. When no
    // job starts, the progress window is closed again. Returns 0.
    int OnBeginExtract(IExtractProgress& progress);
    // WM_IMPORT_DROPPED. Returns 0.
    int OnImportDropped();
    // Loads the chosen image's index (again) and arms the drop target with
    // it; on failure the target is disarmed and the image forgotten.
    void ReloadIndex();

    // Holds the drops for as long as it lives: for a box or dialog that the
    // window shows outside the controller (the About box, an error box).
    class DropHold {
    public:
        explicit DropHold(CUnpackerController& controller);
        ~DropHold();
        DropHold(const DropHold&) = delete;
        DropHold& operator=(const DropHold&) = delete;

    private:
        CUnpackerController& m_controller;
    };

    // The window is closing: a running job stops at its next entry and is
    // waited for, serveWindow being called meanwhile (see CExtractJob::Stop).
    void StopJob(const std::function<void()>& serveWindow);
    bool JobRunning() const { return m_job.IsRunning(); }

    // Both boxes 2, only ".adx" 0, only other files 1 (neither, which the
    // Start rule never lets through: 2).
    std::int32_t FilterModeFromBoxes() const;
    std::string ImageDialogStart() const;
    std::string FolderDialogStart() const;

private:
    IUnpackerView& m_view;
    IUnpackerPlatform& m_platform;
    CImportMatches& m_matches;

public:
    CAfsArchive m_archive;
    CExtractJob m_job{m_archive};
    // The image whose index is loaded; empty when none is.
    std::string m_strImagePath;
    // The chosen output folder; empty when none passed the free-space test.
    std::string m_strOutputDir;

private:
    std::string m_strLastImage;  // the image chosen last, loaded or not
    std::string m_strLastFolder; // the folder chosen last, enough space or not
};

} // namespace qorlu
