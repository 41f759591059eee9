#pragma once
// CUnpackerDlg: the main window of qorlu_unpacker (template 102).
//
// The user chooses a raw CD image (its "filedata.afs" is located and its
// index loaded), an output folder (with more than 550,000,000 bytes free)
// and which entries to extract, then starts the job: the progress window
// hides this window, and once painted posts WM_BEGIN_EXTRACT (2024), on
// which the job starts on its own thread. Files dragged onto the window are
// matched to entries by name; a drop posts WM_IMPORT_DROPPED (3024), on which
// each match is asked about and imported.
//
// "Start Extract" is enabled exactly when an image is loaded, a folder is
// chosen and at least one of the two boxes is checked.
//
// Boxes: the window's own (owned, program name as title) go through
// Messages(); the archive's and the job's (no owner, system-modal) through
// the system sink given at construction.

#include "archive/AfsArchive.h"
#include "shell/gui/QtMessageSink.h"
#include "shell/gui/ShellDialog.h"
#include "unpacker/ImportDropTarget.h"
#include "unpacker/ProgressDlg.h"
#include "unpacker/UnpackerPlatform.h"

#include <QPoint>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QAbstractButton;
class QCheckBox;
class QPushButton;

namespace qorlu::unpacker {

class CUnpackerDlg : public gui::CShellDialog {
    Q_OBJECT
public:
    // systemSink receives the archive's and the job's boxes, platform
    // answers the dialogs and the free space; null takes the real ones.
    explicit CUnpackerDlg(IMessageSink* systemSink = nullptr, IUnpackerPlatform* platform = nullptr,
                          QWidget* parent = nullptr);
    ~CUnpackerDlg() override;

    void OnSelectImage();
    void OnSelectOutputDir();
    void OnCheckAdx();
    void OnCheckOthers();
    void UpdateStartButton();
    void OnStartExtract();
    // WM_BEGIN_EXTRACT and WM_IMPORT_DROPPED; both return 0.
    int OnBeginExtract();
    int OnImportDropped();
    // Loads the chosen image's index (again) and arms the drop target with
    // it; on failure the target is disarmed and the image forgotten.
    void ReloadIndex();

    // The filter mode the check boxes ask for: both 2, only ".adx" 0, only
    // other files 1 (neither, which the Start rule never lets through: 2).
    std::int32_t FilterModeFromBoxes() const;

    bool OnPrivateMessage(int number) override;

private:
    // Seams, set up before the archive that reports through them.
    std::unique_ptr<gui::CQtMessageSink> m_pOwnSystemSink;
    std::unique_ptr<IUnpackerPlatform> m_pOwnPlatform;
    IMessageSink& m_systemSink;
    IUnpackerPlatform& m_platform;

public:
    CImportDropTarget m_dropTarget;
    CProgressDlg m_progressDlg;
    CAfsArchive m_archive;
    // The image whose index is loaded; empty when none is.
    std::string m_strImagePath;
    // The chosen output folder; empty when none passed the free-space test.
    std::string m_strOutputDir;

    // Where the dialogs open, remembered for this run only: the image dialog
    // in the folder of the image chosen last; the folder dialog in the folder
    // chosen last, else the image's folder, else the home folder. Only
    // folders that still exist are offered.
    std::string ImageDialogStart() const;
    std::string FolderDialogStart() const;

protected:
    void OnInitDialog();
    void setVisible(bool visible) override;

private:
    void ShowPath(int editId, const std::string& path);

    std::string m_strLastImage;  // the image chosen last, loaded or not
    std::string m_strLastFolder; // the folder chosen last, enough space or not
    // Where the window stood when the progress window hid it: a window
    // manager may place a window that is shown again elsewhere.
    std::optional<QPoint> m_hiddenAt;

    QPushButton* m_pStartButton = nullptr; // 1006
    QCheckBox* m_pAdxBox = nullptr;        // 1005
    QCheckBox* m_pOtherBox = nullptr;      // 1008
};

} // namespace qorlu::unpacker
