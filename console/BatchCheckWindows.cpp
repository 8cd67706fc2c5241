// The batch mode's check windows (see Batch.h): the switches window and the state window are
// watched as they are shown; once active (they ask the device then), their findings are
// journaled and told to the caller, and each is closed with its own button.

#include "BatchRun.h"

#include "Status.h"
#include "Switches.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>

namespace {

// A check window not made active by the platform within this time is activated by hand.
constexpr int CheckWindowActivationMs = 2000;

} // namespace

bool TBatchRun::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && (watched == Form2 || watched == Form4))
        WatchCheckWindow(static_cast<QDialog*>(watched));
    return false;
}

void TBatchRun::WatchCheckWindow(QDialog* window) {
    // The window asks the device when it becomes active; once it has, its findings are read
    // and it is closed with its own button.
    auto* poll = new QTimer(window);
    auto shown = std::make_shared<QElapsedTimer>();
    shown->start();
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, window, poll, shown] {
        if (!window->isActiveWindow() && shown->elapsed() < CheckWindowActivationMs) return;
        poll->stop();
        poll->deleteLater();
        if (!window->isActiveWindow()) {
            QEvent activate(QEvent::WindowActivate);
            QCoreApplication::sendEvent(window, &activate);
        }
        ReportCheckWindow(window);
    });
    poll->start();
}

void TBatchRun::ReportCheckWindow(QDialog* window) {
    CheckWindowShown = true;
    Note(window->windowTitle());
    QStringList findings;
    if (window == Form2) {
        findings << Get<QLabel>(*window, "Label3")->text();
        for (const auto& [label, edit] :
             {std::pair{"Label1", "Edit1"}, std::pair{"Label2", "Edit2"}})
            findings << Get<QLabel>(*window, label)->text() + QLatin1Char(' ') +
                            Get<QLineEdit>(*window, edit)->text();
    } else {
        findings = Get<QPlainTextEdit>(*window, "Memo1")
                       ->toPlainText()
                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    for (const QString& line : findings)
        Own(line);
    Tell({QStringLiteral("step"), window->windowTitle()});
    Tell({QStringLiteral("reason"),
          window->windowTitle() + QStringLiteral(": ") + findings.join(QStringLiteral("; "))});
    Get<QPushButton>(*window, "Button1")->click();
}
