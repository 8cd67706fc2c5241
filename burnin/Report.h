#pragma once

#include "Options.h"
#include "Printer.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The batch's report in its output folder: report.json (UTF-8, as JSON must be), report.csv for
// a spreadsheet and report.html for a person (both Windows-1251, like the journals).

struct TBatchInfo {
    const TOptions* Options = nullptr;
    QDateTime Started, Ended;
    bool Stopped = false;
    int ExitCode = 0;
    QString Outcome; // the closing message
};

// Writes the three files, each whole or not at all. False with the reason when one cannot be
// written.
bool WriteReports(const QString& folder, const TBatchInfo& batch,
                  const QList<TPrinterRecord>& printers, QString& error);
