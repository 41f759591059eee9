#include "ui/qt/QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace qorlu::gui {

CQtMessageSink::CQtMessageSink(QWidget* owner) : m_pOwner(owner) {}

Answer CQtMessageSink::Show(const Notice& notice) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return notice.buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    if (QThread::currentThread() == app->thread()) return ShowOnGuiThread(notice);
    // A worker thread: the box must live on the GUI thread. Block until the
    // user has answered, as the box would block its caller.
    Answer answer = Answer::Ok;
    QMetaObject::invokeMethod(
        app, [this, &notice] { return ShowOnGuiThread(notice); }, Qt::BlockingQueuedConnection, &answer);
    return answer;
}

Answer CQtMessageSink::ShowOnGuiThread(const Notice& notice) {
    QWidget* owner = notice.systemModal ? nullptr : m_pOwner.data();
    QMessageBox box(owner);
    box.setWindowTitle(notice.title ? QString::fromLocal8Bit(*notice.title) : QApplication::applicationDisplayName());
    box.setText(QString::fromLocal8Bit(notice.text));
    box.setTextFormat(Qt::PlainText);
    switch (notice.icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (notice.buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    if (notice.systemModal) {
        box.setWindowModality(Qt::ApplicationModal);
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    const int result = box.exec();
    if (notice.buttons != Buttons::YesNo) return Answer::Ok;
    return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

} // namespace qorlu::gui
