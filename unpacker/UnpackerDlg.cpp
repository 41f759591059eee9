#include "unpacker/UnpackerDlg.h"

#include "archive/ArchiveLoading.h"
#include "archive/ImportMatching.h"
#include "resources/UnpackerResources.h"
#include "shell/gui/ControlId.h"
#include "shell/gui/PrivateMessage.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>
#include <system_error>

namespace qorlu::unpacker {

namespace res = qorlu::resources::unpacker;

CUnpackerDlg::CUnpackerDlg(IMessageSink* systemSink, IUnpackerPlatform* platform, QWidget* parent)
    : gui::CShellDialog(res::Program(), res::kMainTemplate, parent),
      m_pOwnSystemSink(systemSink ? nullptr : std::make_unique<gui::CQtMessageSink>()),
      m_pOwnPlatform(platform ? nullptr : std::make_unique<CSystemPlatform>()),
      m_systemSink(systemSink ? *systemSink : *m_pOwnSystemSink),
      m_platform(platform ? *platform : *m_pOwnPlatform),
      m_archive(m_systemSink) {
    // Looked up before the progress window becomes a child of this window,
    // which has a control 1008 of its own.
    m_pStartButton = gui::FindControlAs<QPushButton>(this, res::kIdcStartExtract);
    m_pAdxBox = gui::FindControlAs<QCheckBox>(this, res::kIdcExtractAdx);
    m_pOtherBox = gui::FindControlAs<QCheckBox>(this, res::kIdcExtractOther);

    const auto onClick = [this](int id, void (CUnpackerDlg::*handler)()) {
        if (auto* b = gui::FindControlAs<QAbstractButton>(this, id))
            connect(b, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    onClick(res::kIdcSelectImage, &CUnpackerDlg::OnSelectImage);
    onClick(res::kIdcSelectOutput, &CUnpackerDlg::OnSelectOutputDir);
    onClick(res::kIdcStartExtract, &CUnpackerDlg::OnStartExtract);
    onClick(res::kIdcExtractAdx, &CUnpackerDlg::OnCheckAdx);
    onClick(res::kIdcExtractOther, &CUnpackerDlg::OnCheckOthers);

    OnInitDialog();
}

CUnpackerDlg::~CUnpackerDlg() = default;

void CUnpackerDlg::OnInitDialog() {
    InitShell();
    m_dropTarget.Register(this);
    m_dropTarget.m_pOwner = this;
    if (m_pAdxBox) m_pAdxBox->setChecked(true);
    if (m_pOtherBox) m_pOtherBox->setChecked(true);
    // "Start Extract" stays disabled, as the template creates it.
}

void CUnpackerDlg::setVisible(bool visible) {
    // While the progress window stands in for this window, hiding must not
    // end the modal loop that runs it, as a dialog's hiding otherwise does.
    if (!visible && m_progressDlg.IsOpen()) {
        if (isVisible()) m_hiddenAt = pos();
        QWidget::setVisible(false);
        return;
    }
    if (visible && m_hiddenAt) {
        // Back where it was: placed before it is mapped, so the window
        // manager takes the position as the user's own.
        move(*m_hiddenAt);
        m_hiddenAt.reset();
    }
    gui::CShellDialog::setVisible(visible);
}

namespace {

// The folder holding `path`, when that folder exists; empty otherwise.
std::string ExistingParent(const std::string& path) {
    if (path.empty()) return {};
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return !parent.empty() && std::filesystem::is_directory(parent, ec) ? parent.string() : std::string();
}

bool IsExistingFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

} // namespace

std::string CUnpackerDlg::ImageDialogStart() const {
    const std::string folder = ExistingParent(m_strLastImage);
    return folder.empty() ? HomeFolder() : folder;
}

std::string CUnpackerDlg::FolderDialogStart() const {
    if (IsExistingFolder(m_strLastFolder)) return m_strLastFolder;
    const std::string imageFolder = ExistingParent(m_strLastImage);
    return imageFolder.empty() ? HomeFolder() : imageFolder;
}

void CUnpackerDlg::ShowPath(int editId, const std::string& path) {
    const QString text = QFile::decodeName(QByteArray::fromStdString(path));
    QWidget* edit = gui::FindControl(this, editId);
    if (auto* multi = qobject_cast<QPlainTextEdit*>(edit)) {
        multi->setPlainText(text);
    } else if (auto* line = qobject_cast<QLineEdit*>(edit)) {
        line->setText(text);
    }
}

void CUnpackerDlg::UpdateStartButton() {
    const bool anyBox = (m_pAdxBox && m_pAdxBox->isChecked()) || (m_pOtherBox && m_pOtherBox->isChecked());
    if (m_pStartButton) m_pStartButton->setEnabled(!m_strImagePath.empty() && !m_strOutputDir.empty() && anyBox);
}

void CUnpackerDlg::OnSelectImage() {
    std::string chosen = m_strImagePath;
    if (!m_platform.BrowseImageFile(this, ImageDialogStart(), chosen)) return; // cancelled: nothing changes
    m_strImagePath = chosen;
    m_strLastImage = chosen;
    ReloadIndex();
    if (m_strImagePath.empty()) return;
    UpdateStartButton();
    ShowPath(res::kIdcImagePath, m_strImagePath);
}

void CUnpackerDlg::OnSelectOutputDir() {
    std::string chosen = m_strOutputDir;
    if (!m_platform.BrowseFolder(this, FolderDialogStart(), chosen)) return; // cancelled: nothing changes
    m_strOutputDir = chosen;
    m_strLastFolder = chosen;
    // Tested here only, when the folder is chosen, not again at Start.
    if (!HasEnoughFreeSpace(m_platform.AvailableBytes(m_strOutputDir))) {
        m_strOutputDir.clear();
        if (m_pStartButton) m_pStartButton->setEnabled(false);
        Messages().Show(WindowNotice("Free space on disk not enough!", Outcome::Failure));
        ShowPath(res::kIdcOutputDir, m_strOutputDir);
        return;
    }
    UpdateStartButton();
    ShowPath(res::kIdcOutputDir, m_strOutputDir);
}

void CUnpackerDlg::OnCheckAdx() { UpdateStartButton(); }

void CUnpackerDlg::OnCheckOthers() { UpdateStartButton(); }

void CUnpackerDlg::OnStartExtract() {
    m_progressDlg.m_pMainDlg = this;
    m_progressDlg.Create(this);
}

std::int32_t CUnpackerDlg::FilterModeFromBoxes() const {
    const bool adx = m_pAdxBox && m_pAdxBox->isChecked();
    const bool other = m_pOtherBox && m_pOtherBox->isChecked();
    if (adx && !other) return kFilterAdxOnly;
    if (other && !adx) return kFilterOthers;
    return kFilterAll;
}

int CUnpackerDlg::OnBeginExtract() {
    if (m_archive.StartExtract(m_strOutputDir, FilterModeFromBoxes(), &m_progressDlg) == 0) {
        // No job started, so no job will close the progress window: close it
        // the way a job does, which shows this window again.
        m_progressDlg.Close();
    }
    return 0;
}

int CUnpackerDlg::OnImportDropped() {
    // The lists are read afresh at each step; each import ends before the
    // next question.
    for (std::uint32_t k = 0; k < m_dropTarget.m_nMatchCount && k < m_dropTarget.m_pMatchIndex.size() &&
                              k < m_dropTarget.m_strMatchPaths.size();
         ++k) {
        const auto index = static_cast<std::uint32_t>(m_dropTarget.m_pMatchIndex[k]);
        const std::string path = m_dropTarget.m_strMatchPaths[k];
        ConfirmAndImport(m_archive, Messages(), index, path);
        if (m_archive.LastImportFoundImageChanged()) {
            // Another program changed the archive: the index is loaded again
            // and the target re-armed with it. The matches left belong to the
            // old index, so they are not offered; the user drops again.
            ReloadIndex();
            break;
        }
    }
    return 0;
}

void CUnpackerDlg::ReloadIndex() {
    if (LocateAndLoadIndex(m_archive, m_strImagePath, Messages())) {
        m_dropTarget.Arm(m_archive.m_pNameRecords.get(), m_archive.m_nEntryCount);
        return;
    }
    m_dropTarget.Disarm();
    m_strImagePath.clear();
    if (m_pStartButton) m_pStartButton->setEnabled(false);
    ShowPath(res::kIdcImagePath, m_strImagePath);
}

bool CUnpackerDlg::OnPrivateMessage(int number) {
    if (number == gui::kWmBeginExtract) {
        OnBeginExtract();
        return true;
    }
    if (number == gui::kWmImportDropped) {
        OnImportDropped();
        return true;
    }
    return false;
}

} // namespace qorlu::unpacker
