#pragma once
// Drives modal windows from inside a test: a timer waits for the active modal
// widget of the wanted type, hands it to a callback (which closes it), and
// stops. If nothing shows up in time the timer stops and the test sees that
// the callback never ran.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace qorlu::test {

template <class T>
void WhenModalShows(std::function<void(T&)> onShown, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto* waited = new int(0);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, onShown, timeoutMs] {
        *waited += 10;
        T* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (w && w->isVisible()) {
            timer->stop();
            onShown(*w);
        } else if (*waited >= timeoutMs) {
            timer->stop();
        } else {
            return;
        }
        timer->deleteLater();
        delete waited;
    });
    timer->start(10);
}

} // namespace qorlu::test
