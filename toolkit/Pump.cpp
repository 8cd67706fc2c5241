#include "Pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace {

SleepFunction& Sleeper() {
    static SleepFunction sleeper;
    return sleeper;
}

} // namespace

void ProcessMessages() {
    QCoreApplication::processEvents();
}

void BlockingSleep(int milliseconds) {
    if (Sleeper()) {
        Sleeper()(milliseconds);
        return;
    }
    if (milliseconds <= 0) return;
    if (!QCoreApplication::instance()) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
        return;
    }
    // The window keeps painting and answering the desktop while the operation waits, but clicks
    // and keys stay queued: they are handled at the operation's next pump, as before the wait.
    QEventLoop wait;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &wait, &QEventLoop::quit);
    wait.exec(QEventLoop::ExcludeUserInputEvents);
}

void SetSleepFunction(SleepFunction sleep) {
    Sleeper() = std::move(sleep);
}
