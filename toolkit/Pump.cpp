#include "Pump.h"

#include <QCoreApplication>
#include <QThread>

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
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void SetSleepFunction(SleepFunction sleep) {
    Sleeper() = std::move(sleep);
}
