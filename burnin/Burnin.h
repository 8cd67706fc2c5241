#pragma once

#include "Options.h"
#include "Printer.h"

#include <QDateTime>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// One burn-in: a console in batch mode per printer, each in a process (and process group) of
// its own with its own folder under the output folder, and the report once all have ended.
// Stops (Ctrl-C, the window's "Стоп") are passed on to every console: the first stops each test
// at its next check point, the second ends the consoles at once.
//
// It runs in the event loop of whoever starts it and tells them of every change: the terminal's
// rows (RunOnTerminal, Progress.h) and the bench window watch the same signals.
class TBurnin : public QObject {
    Q_OBJECT

public:
    TBurnin(const TOptions& options, const QString& out, const QString& console);
    ~TBurnin() override;

    // Starts every printer's console and returns at once. Finished comes once all have ended
    // and the report is written (from within Begin when none could be started).
    void Begin();
    // Stops that arrived: Ctrl-C, or the window's "Стоп".
    void StopsArrived(int arrived);

    const TOptions& Options() const { return O; }
    const QList<TPrinterRecord>& Printers() const { return Records; }
    QString OutFolder() const { return Out; }
    // The printer's journal as its path is now (its folder is named once its factory number is
    // known).
    QString JournalOf(int index) const;
    int Stops() const { return Signals; }
    bool Running() const { return Begun && !Done; }
    bool Ended() const { return Done; }
    // Once Finished: the exit code, the closing sentence, and why a report file was not written
    // (empty when all were).
    int ExitCode() const { return Code; }
    QString Outcome() const { return OutcomeText; }
    QString ReportError() const { return ReportTrouble; }

signals:
    // A printer's record changed; `event` says what happened in words, and is empty for a
    // change not worth a line of its own (the step now running).
    void PrinterChanged(int index, const QString& event);
    // A stop was taken: 1 the first (at the next check point), 2 the second (at once).
    void Stopping(int stops);
    void Finished();

private:
    void Start(int index);
    QStringList ConsoleArguments(const TPrinterRecord& printer, int port) const;
    void Read(int index);
    void Handle(int index, const QStringList& fields);
    void ProcessEnded(int index, int exitCode, QProcess::ExitStatus status);
    void OneLess();
    void Finish();
    void NameFolder(int index);
    void StopConsoles();
    void KillConsoles();
    int Verdicts(QString& outcome) const;
    // The path of a file in the printer's folder under the output folder.
    QString FileOf(const TPrinterRecord& printer, const QString& name) const;

    const TOptions O;
    QString Out, Console;
    QList<TPrinterRecord> Records;
    std::vector<std::unique_ptr<QProcess>> Processes;
    std::vector<QByteArray> Pending; // a line not yet complete, per printer
    QTemporaryDir Devices;           // config folders that map COM1 to a printer given by its path
    int Alive = 0, Signals = 0;      // consoles not yet ended; stops taken
    bool Begun = false, Starting = false, Done = false;
    QDateTime Started;
    int Code = 0;
    QString OutcomeText, ReportTrouble;
};
