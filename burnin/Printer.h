#pragma once

#include "Options.h"

#include <QDateTime>
#include <QList>
#include <QString>

// What the burn-in knows of one printer: who it is, how far its test has come and how it ended.
// Filled from the lines its console sends (console/Batch.h lists them).

struct TMessage {
    QString Time, Text; // a message box the console journaled instead of showing
};

struct TStepFailures {
    int Pass = 0; // 0: before the first pass
    QString Step;
    int Failed = 0; // failed commands
};

struct TPrinterRecord {
    TPort Port;
    QString Folder;  // under the output folder: label and factory number
    QString Journal; // the journal's file name in Folder
    QString Factory, Fiscal, Tax, Version, Switches;
    QDateTime Started, Ended;
    int Pass = 0; // the pass running; 0 before the first
    int PassesDone = 0;
    QString Step;                  // the step now running
    QList<TStepFailures> Failures; // in the order they happened
    QList<TMessage> Messages;
    bool LineLost = false;
    QString Verdict; // passed, failed, not fit, no line, stopped; empty while running
    QString Reason;  // why not fit or no line, in the console's words
    QString Trouble; // what went wrong with the console process itself
    double CpuSeconds = -1;
    qint64 PeakMemoryKb = -1;

    // Failed commands of the whole run.
    int FailedCommands() const {
        int failed = 0;
        for (const TStepFailures& f : Failures)
            failed += f.Failed;
        return failed;
    }

    // "COM3 TR00012345", or just the port while the factory number is unknown.
    QString Title() const { return Factory.isEmpty() ? Port.Name : Port.Name + ' ' + Factory; }

    // The tax or identification number as the information page shows it ("ПН123456789012",
    // "IД1234567890"); empty when the device holds none, where the page shows the prefix alone,
    // as when the identity was never read. For report.json and other programs.
    QString TaxNumber() const {
        return Tax == QStringLiteral("ПН") || Tax == QStringLiteral("IД") ? QString() : Tax;
    }
    // The same for a person: a number the device does not hold is said in words; empty only
    // while the identity is unknown.
    QString TaxNumberShown() const {
        return Tax.isEmpty() || !TaxNumber().isEmpty() ? Tax : QStringLiteral("не задан");
    }
};

// The verdict in the technician's words.
inline QString VerdictWord(const QString& verdict) {
    if (verdict == QLatin1String("passed")) return QStringLiteral("пройден");
    if (verdict == QLatin1String("failed")) return QStringLiteral("ошибки");
    if (verdict == QLatin1String("not fit")) return QStringLiteral("не годен");
    if (verdict == QLatin1String("no line")) return QStringLiteral("нет связи");
    if (verdict == QLatin1String("stopped")) return QStringLiteral("остановлен");
    return verdict;
}

// "1:02:03": a duration in hours, minutes and seconds.
inline QString Elapsed(qint64 seconds) {
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
