#include "ui/qt/ShellDialog.h"

#include "ui/ShellRules.h"

#include "ui/qt/ControlId.h"
#include "ui/qt/GuardedApplication.h"
#include "ui/qt/PrivateMessage.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>

namespace qorlu::gui {

QIcon LoadProgramIcon(const ProgramResources& res) {
    if (!res.iconXpm) return QIcon();
    return QIcon(QPixmap(res.iconXpm));
}

QPoint MinimizedIconPosition(QSize client, QSize icon) {
    const IconPlace place = MinimizedIconPlace(client.width(), client.height(), icon.width(), icon.height());
    return {place.x, place.y};
}

CAboutDlg::CAboutDlg(const ProgramResources& res, QWidget* parent) : QDialog(parent) {
    if (res.aboutTemplate) BuildFromTemplate(*this, *res.aboutTemplate, LoadProgramIcon(res));
    if (auto* ok = FindControlAs<QPushButton>(this, kIdOk)) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
}

CShellDialog::CShellDialog(const ProgramResources& res, const DialogTemplate& mainTemplate, QWidget* parent)
    : QDialog(parent), m_res(res), m_ownSink(this), m_pSink(&m_ownSink) {
    BuildFromTemplate(*this, mainTemplate);
    m_hIcon = LoadProgramIcon(res);
}

CShellDialog::~CShellDialog() = default;

void CShellDialog::InitShell() {
    const QString about = QString::fromUtf8(m_res.string101 ? m_res.string101 : "");
    if (!about.isEmpty() && !m_pAboutAction) {
        // Qt has no system menu on every platform; the window's own context
        // menu carries the entry instead.
        setContextMenuPolicy(Qt::ActionsContextMenu);
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        addAction(separator);
        m_pAboutAction = new QAction(about, this);
        connect(m_pAboutAction, &QAction::triggered, this,
                [this] { OnSysCommand(static_cast<unsigned>(kIdmAboutBox)); });
        addAction(m_pAboutAction);
    }
    setWindowIcon(m_hIcon);
}

void CShellDialog::OnSysCommand(unsigned id) {
    if (IsAboutCommand(id)) RunAboutBox();
    // Move, close, minimise and the rest belong to the window manager.
}

void CShellDialog::RunAboutBox() {
    CAboutDlg about(m_res, this);
    about.exec();
}

bool CShellDialog::OnPrivateMessage(int /*number*/) { return false; }

IMessageSink& CShellDialog::Messages() { return *m_pSink; }

void CShellDialog::SetMessageSink(IMessageSink* sink) { m_pSink = sink ? sink : &m_ownSink; }

bool CShellDialog::event(QEvent* e) {
    const int type = static_cast<int>(e->type());
    if (type == kWmDropExport || type == kWmDropImport || type == kWmImportDropped) {
        if (OnPrivateMessage(type)) {
            e->accept();
            return true;
        }
    }
    return QDialog::event(e);
}

void CShellDialog::paintEvent(QPaintEvent* e) {
    if (!isMinimized()) {
        QDialog::paintEvent(e);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const int cx = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    const QSize iconSize(cx, cx);
    m_hIcon.paint(&painter, QRect(MinimizedIconPosition(size(), iconSize), iconSize));
}

void CShellDialog::keyPressEvent(QKeyEvent* e) {
    // Enter in a window without a default button ends it, as a dialog's OK
    // does; with a default (or focused) button the button takes it.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier) {
        bool hasDefault = false;
        for (QPushButton* b : findChildren<QPushButton*>()) {
            if (b->isVisible() && (b->isDefault() || b->hasFocus())) hasDefault = true;
        }
        if (!hasDefault) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(e);
}

void ConfigureApplication(const ProgramResources& res) {
    const QString name = QString::fromUtf8(res.programName ? res.programName : "");
    QApplication::setApplicationName(name);
    // The display name is left unset on purpose: it then reads as the
    // application name, and Qt does not append it to every window's caption.
    QApplication::setApplicationVersion(QString::fromUtf8(res.version ? res.version : ""));
    QApplication::setWindowIcon(LoadProgramIcon(res));
}

int RunProgram(int argc, char** argv, const ProgramResources& res,
               std::function<std::unique_ptr<QDialog>()> makeMainDialog) {
    const QString name = QString::fromUtf8(res.programName ? res.programName : "");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", name.toLocal8Bit().constData(), res.version ? res.version : "");
            return 0;
        }
    }
    // An exception that escapes a window's event handler is shown, not fatal.
    CGuardedApplication app(argc, argv);
    app.QuitOnTerminationSignals();
    ConfigureApplication(res);
    const bool selfTest = QApplication::arguments().contains(QStringLiteral("--self-test"));
    // The program lives exactly as long as its main dialog; the dialog's
    // result is not looked at.
    bool shown = false;
    if (makeMainDialog) {
        std::unique_ptr<QDialog> dialog = makeMainDialog();
        if (dialog && selfTest) {
            // Closes the window as soon as it is on the screen; gives up
            // after ten seconds.
            QDialog* d = dialog.get();
            auto* poll = new QTimer(d);
            QElapsedTimer waited;
            waited.start();
            QObject::connect(poll, &QTimer::timeout, d, [d, poll, waited, &shown] {
                shown = d->isVisible() && d->windowHandle() && d->windowHandle()->isExposed();
                if (shown || waited.elapsed() > 10000) {
                    poll->stop();
                    d->done(0);
                }
            });
            poll->start(20);
        }
        if (dialog) dialog->exec();
    }
    if (selfTest) {
        std::fprintf(shown ? stdout : stderr, "%s: the window %s\n", name.toLocal8Bit().constData(),
                     shown ? "was shown and closed" : "was never shown");
        return shown ? 0 : 1;
    }
    return 0;
}

} // namespace qorlu::gui
