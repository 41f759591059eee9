#include "unpacker/qt/UnpackerDlg.h"

#include "resources/UnpackerResources.h"
#include "ui/qt/ControlId.h"
#include "ui/qt/PrivateMessage.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qorlu::unpacker {

namespace res = qorlu::resources::unpacker;

namespace {

IMessageSink& Either(IMessageSink* given, const std::unique_ptr<gui::CQtMessageSink>& own) {
    return given ? *given : *own;
}

IUnpackerPlatform& Either(IUnpackerPlatform* given, const std::unique_ptr<CSystemPlatform>& own) {
    return given ? *given : *own;
}

} // namespace

CUnpackerDlg::CUnpackerDlg(IMessageSink* systemSink, IUnpackerPlatform* platform, QWidget* parent)
    : gui::CShellDialog(res::Program(), res::kMainTemplate, parent),
      m_pOwnSystemSink(systemSink ? nullptr : std::make_unique<gui::CQtMessageSink>()),
      m_pOwnPlatform(platform ? nullptr : std::make_unique<CSystemPlatform>(this)),
      m_controller(*this, Either(platform, m_pOwnPlatform), m_dropTarget, Either(systemSink, m_pOwnSystemSink)) {
    // Looked up before the progress window becomes a child of this window,
    // which has a control 1008 of its own.
    m_pStartButton = gui::FindControlAs<QPushButton>(this, res::kIdcStartExtract);
    m_pAdxBox = gui::FindControlAs<QCheckBox>(this, res::kIdcExtractAdx);
    m_pOtherBox = gui::FindControlAs<QCheckBox>(this, res::kIdcExtractOther);

    const auto onClick = [this](int id, auto handler) {
        if (auto* b = gui::FindControlAs<QAbstractButton>(this, id))
            connect(b, &QAbstractButton::clicked, this, [this, handler] { (m_controller.*handler)(); });
    };
    onClick(res::kIdcSelectImage, &CUnpackerController::OnSelectImage);
    onClick(res::kIdcSelectOutput, &CUnpackerController::OnSelectOutputDir);
    onClick(res::kIdcStartExtract, &CUnpackerController::OnStartExtract);
    onClick(res::kIdcExtractAdx, &CUnpackerController::OnCheckAdx);
    onClick(res::kIdcExtractOther, &CUnpackerController::OnCheckOthers);

    m_pReturnTimer = new QTimer(this);
    m_pReturnTimer->setInterval(25);
    connect(m_pReturnTimer, &QTimer::timeout, this, &CUnpackerDlg::KeepReturnPlace);

    // Window initialisation: the shell's steps, the drop target, the boxes.
    InitShell();
    m_dropTarget.Register(this);
    m_dropTarget.m_pOwner = this;
    m_controller.OnInitDialog();

    // Quitting the program ends every event loop, this window's included:
    // the job stops while the window is still whole.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { StopJob(); });
}

CUnpackerDlg::~CUnpackerDlg() {
    // Before any member goes: the job's requests still reach a whole window.
    StopJob();
}

void CUnpackerDlg::StopJob() {
    // The job's window requests are served directly: this may run inside
    // the handling of a posted event, where Qt holds back newer ones.
    m_controller.StopJob([this] {
        m_progressDlg.ServeRequests();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
    });
}

void CUnpackerDlg::done(int result) {
    StopJob();
    gui::CShellDialog::done(result);
}

void CUnpackerDlg::setVisible(bool visible) {
    // While the progress window stands in for this window, hiding must not
    // end the modal loop that runs it, as a dialog's hiding otherwise does.
    if (!visible && m_progressDlg.IsOpen()) {
        m_returnTo.reset();
        if (isVisible()) m_hiddenAt = pos();
        QWidget::setVisible(false);
        return;
    }
    if (visible && m_hiddenAt) {
        // Back where it was: placed before it is mapped, so the window
        // manager takes the position as the user's own.
        move(*m_hiddenAt);
        m_returnTo = m_hiddenAt;
        m_hiddenAt.reset();
    }
    gui::CShellDialog::setVisible(visible);
    if (visible && m_returnTo) {
        // A manager that has forgotten the frame takes that place as the
        // client area's and leaves the window shifted by its frame; once
        // the frame is known again the window is put back where it was.
        m_returnTicks = 0;
        m_pReturnTimer->start();
    }
}

void CUnpackerDlg::KeepReturnPlace() {
    constexpr int kMaxTicks = 200; // 25 ms each: the manager has five seconds
    const bool framed = frameGeometry() != geometry();
    if (!m_returnTo || !isVisible() || framed || ++m_returnTicks >= kMaxTicks) {
        if (m_returnTo && isVisible() && framed && pos() != *m_returnTo) move(*m_returnTo);
        m_returnTo.reset();
        m_pReturnTimer->stop();
    }
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

void CUnpackerDlg::ShowImagePath(const std::string& path) { ShowPath(res::kIdcImagePath, path); }

void CUnpackerDlg::ShowOutputDir(const std::string& path) { ShowPath(res::kIdcOutputDir, path); }

void CUnpackerDlg::EnableStart(bool enabled) {
    if (m_pStartButton) m_pStartButton->setEnabled(enabled);
}

bool CUnpackerDlg::IsBoxChecked(int id) const {
    const QCheckBox* box = id == res::kIdcExtractAdx ? m_pAdxBox : id == res::kIdcExtractOther ? m_pOtherBox : nullptr;
    return box && box->isChecked();
}

void CUnpackerDlg::CheckBox(int id, bool checked) {
    QCheckBox* box = id == res::kIdcExtractAdx ? m_pAdxBox : id == res::kIdcExtractOther ? m_pOtherBox : nullptr;
    if (box) box->setChecked(checked);
}

void CUnpackerDlg::OpenProgressWindow() {
    m_progressDlg.m_pMainDlg = this;
    m_progressDlg.Create(this);
}

void CUnpackerDlg::CloseProgressWindow() { m_progressDlg.Close(); }

void CUnpackerDlg::PostImportDropped() { gui::PostPrivateMessage(this, gui::kWmImportDropped); }

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
