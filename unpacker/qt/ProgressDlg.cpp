#include "unpacker/qt/ProgressDlg.h"

#include "resources/UnpackerResources.h"
#include "ui/qt/ControlId.h"
#include "ui/qt/DialogTemplate.h"
#include "ui/qt/PrivateMessage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

namespace qorlu::unpacker {

namespace res = qorlu::resources::unpacker;

QEvent::Type CCommandEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CProgressDlg::CProgressDlg(QWidget* parent) : QDialog(parent) {
    gui::BuildFromTemplate(*this, res::kProgressTemplate);
    m_progress = gui::FindControlAs<QProgressBar>(this, res::kIdcProgressBar);
    m_pText = gui::FindControlAs<QPlainTextEdit>(this, res::kIdcProgressText);
    if (auto* cancel = gui::FindControlAs<QPushButton>(this, res::kIdcCancel)) {
        connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    }
}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::Create(QWidget* parent) {
    // Owned by the main window like a dialog created over it: it stays above
    // it, and the main window's modal loop does not block it.
    if (parentWidget() != parent) setParent(parent, windowFlags());
    m_bOpen = true;
    OnInitDialog();
    show();
}

bool CProgressDlg::OnInitDialog() {
    // The bar as a new window has it (0 of 0..100), whatever the previous
    // job left; the text is emptied below.
    if (m_progress) {
        m_progress->setRange(0, 100);
        m_progress->setValue(0);
    }
    gui::OnProgressOpening(*this, m_bCancel, m_bFirstPaint);
    return true;
}

void CProgressDlg::HideMainWindow() {
    if (m_pMainDlg) m_pMainDlg->hide();
}

void CProgressDlg::ShowMainWindow() {
    if (m_pMainDlg) m_pMainDlg->show();
}

void CProgressDlg::PostBeginExtract() { gui::PostPrivateMessage(m_pMainDlg, gui::kWmBeginExtract); }

void CProgressDlg::EndDialog() {
    if (m_pText) m_strText = m_pText->toPlainText().toLocal8Bit().toStdString();
    m_bOpen = false;
    hide();
}

bool CProgressDlg::IsCancelled() { return m_bCancel.load() != 0; }

template <class F>
void CProgressDlg::RunOnGuiThread(F&& f) {
    if (QThread::currentThread() == thread()) {
        f();
        return;
    }
    // The job waits until the window has taken the request in, as a sent
    // message would make it wait.
    m_requests.Send(std::forward<F>(f), [this] {
        QMetaObject::invokeMethod(
            this, [this] { ServeRequests(); }, Qt::QueuedConnection);
    });
}

void CProgressDlg::ServeRequests() { m_requests.Serve(); }

void CProgressDlg::SetRange(int lower, int upper) {
    RunOnGuiThread([this, lower, upper] {
        if (m_progress) m_progress->setRange(lower, upper);
    });
}

void CProgressDlg::SetPos(int position) {
    RunOnGuiThread([this, position] {
        if (m_progress) m_progress->setValue(position);
    });
}

void CProgressDlg::SetText(std::string text) {
    RunOnGuiThread([this, &text] {
        if (m_pText) m_pText->setPlainText(QString::fromLocal8Bit(text));
    });
}

void CProgressDlg::Close() { QCoreApplication::postEvent(this, new CCommandEvent(gui::kIdOk)); }

void CProgressDlg::OnCancel() { gui::OnProgressCancel(m_bCancel); }

bool CProgressDlg::OnCommand(int wParam) {
    if (wParam != gui::kIdOk || !m_bOpen) return false;
    gui::OnProgressClosing(*this);
    return true;
}

bool CProgressDlg::event(QEvent* e) {
    if (e->type() == CCommandEvent::EventType()) {
        OnCommand(static_cast<CCommandEvent*>(e)->m_wParam);
        return true;
    }
    return QDialog::event(e);
}

void CProgressDlg::paintEvent(QPaintEvent* e) {
    QDialog::paintEvent(e);
    gui::OnProgressPaint(*this, m_bFirstPaint);
}

void CProgressDlg::closeEvent(QCloseEvent* e) {
    // The close box acts as Cancel and never closes the window.
    OnCancel();
    e->ignore();
}

void CProgressDlg::reject() { OnCancel(); }

} // namespace qorlu::unpacker
