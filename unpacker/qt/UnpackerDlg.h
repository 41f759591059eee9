#pragma once
// CUnpackerDlg: the Qt main window of qorlu_unpacker (template 102). Its
// rules are CUnpackerController's (unpacker/UnpackerController.h); this
// class shows what the controller says and forwards the clicks, the drops
// (CImportDropTarget) and the private messages WM_BEGIN_EXTRACT (2024) and
// WM_IMPORT_DROPPED (3024) to it.
//
// Boxes: the window's own (owned, program name as title) go through
// Messages(); the archive's and the job's (no owner, system-modal) through
// the system sink given at construction.
//
// Closing the window, or quitting the program, while a job runs stops the
// job at its next entry and waits for it before the window goes.

#include "ui/qt/QtMessageSink.h"
#include "ui/qt/ShellDialog.h"
#include "unpacker/qt/ImportDropTarget.h"
#include "unpacker/qt/ProgressDlg.h"
#include "unpacker/UnpackerController.h"
#include "unpacker/qt/UnpackerPlatform.h"

#include <QPoint>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QAbstractButton;
class QCheckBox;
class QPushButton;

namespace qorlu::unpacker {

class CUnpackerDlg : public gui::CShellDialog, private IUnpackerView {
    Q_OBJECT
public:
    // systemSink receives the archive's and the job's boxes, platform
    // answers the dialogs and the free space; null takes the real ones.
    explicit CUnpackerDlg(IMessageSink* systemSink = nullptr, IUnpackerPlatform* platform = nullptr,
                          QWidget* parent = nullptr);
    ~CUnpackerDlg() override;

    void OnSelectImage() { m_controller.OnSelectImage(); }
    void OnSelectOutputDir() { m_controller.OnSelectOutputDir(); }
    void OnStartExtract() { m_controller.OnStartExtract(); }
    // WM_BEGIN_EXTRACT and WM_IMPORT_DROPPED; both return 0.
    int OnBeginExtract() { return m_controller.OnBeginExtract(m_progressDlg); }
    int OnImportDropped() { return m_controller.OnImportDropped(); }
    std::int32_t FilterModeFromBoxes() const { return m_controller.FilterModeFromBoxes(); }

    bool OnPrivateMessage(int number) override;
    // Ends the window; a running job is stopped and waited for first.
    void done(int result) override;

    // The dialogs' owner when no platform was given; null otherwise.
    const CSystemPlatform* SystemPlatform() const { return m_pOwnPlatform.get(); }

private:
    // Seams, set up before the controller that reports through them.
    std::unique_ptr<gui::CQtMessageSink> m_pOwnSystemSink;
    std::unique_ptr<CSystemPlatform> m_pOwnPlatform;

public:
    CImportDropTarget m_dropTarget;
    CProgressDlg m_progressDlg;
    CUnpackerController m_controller;

protected:
    void setVisible(bool visible) override;

private:
    // IUnpackerView
    void ShowImagePath(const std::string& path) override;
    void ShowOutputDir(const std::string& path) override;
    void EnableStart(bool enabled) override;
    bool IsBoxChecked(int id) const override;
    void CheckBox(int id, bool checked) override;
    void OpenProgressWindow() override;
    void CloseProgressWindow() override;
    IMessageSink& WindowMessages() override { return Messages(); }
    void PostImportDropped() override;

    void ShowPath(int editId, const std::string& path);
    void StopJob();

    // Where the window stood when the progress window hid it: a window
    // manager may place a window that is shown again elsewhere.
    std::optional<QPoint> m_hiddenAt;
    // After the window is shown again: the place it must take once the
    // manager has framed it, and the timer that waits for the frame.
    std::optional<QPoint> m_returnTo;
    QTimer* m_pReturnTimer = nullptr;
    int m_returnTicks = 0;
    void KeepReturnPlace();

    QPushButton* m_pStartButton = nullptr; // 1006
    QCheckBox* m_pAdxBox = nullptr;        // 1005
    QCheckBox* m_pOtherBox = nullptr;      // 1008
};

} // namespace qorlu::unpacker
