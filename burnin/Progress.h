#pragma once

#include "Printer.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

class TBurnin;

// The burn-in's progress on standard output. On a terminal: a header and one row per printer,
// rewritten in place (port, factory number, pass k of N, the step running, failed commands,
// elapsed time, verdict). Piped to a file: plain lines with the time, one an event.
class TProgress {
public:
    TProgress(const QList<TPrinterRecord>& printers, int passes, bool terminal);

    bool Terminal() const { return terminal_; }
    // Something happened to a printer: a plain line, or the rows redrawn.
    void Event(const TPrinterRecord& printer, const QString& text);
    // The rows redrawn (on a terminal; nothing otherwise): elapsed times and steps. Drawings
    // closer together than a tenth of a second are left to the next one, unless forced.
    void Redraw(bool force = false);
    // A line for the whole batch (the stop).
    void Notice(const QString& text);

private:
    QString Row(const TPrinterRecord& printer) const;
    void Write(const QString& text);

    const QList<TPrinterRecord>& printers_;
    int passes_;
    bool terminal_;
    int drawn_ = 0; // rows on the screen from the last drawing
    QElapsedTimer sinceDrawn_;
    QString notice_;
};

// The command line's run of a burn-in: its rows (or lines) on standard output, Ctrl-C taken as
// its stops, the event loop until its end, then the closing sentence and the report's path.
// Gives the exit code.
int RunOnTerminal(TBurnin& burnin);
