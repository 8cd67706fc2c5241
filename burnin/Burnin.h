#pragma once

#include "Options.h"
#include "Printer.h"
#include "Progress.h"

#include <QDateTime>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <vector>

// One burn-in: a console in batch mode per printer, each in a process (and process group) of
// its own with its own folder under the output folder, their progress on the screen, and the
// report once all have ended. Stops (Ctrl-C) are passed on to every console: the first stops
// each test at its next check point, the second ends the consoles at once.
class TBurnin : public QObject {
public:
    TBurnin(const TOptions& options, const QString& out, const QString& console);
    ~TBurnin() override;

    // Runs the batch to its end; gives the exit code.
    int Run();

private:
    void Start(int index);
    QStringList ConsoleArguments(const TPrinterRecord& printer, int port) const;
    void Read(int index);
    void Handle(int index, const QStringList& fields);
    void Ended(int index, int exitCode, QProcess::ExitStatus status);
    void NameFolder(int index);
    void StopsArrived(int arrived);
    void StopConsoles();
    void KillConsoles();
    int ExitCode(QString& outcome) const;
    // The path of a file in the printer's folder under the output folder.
    QString FileOf(const TPrinterRecord& printer, const QString& name) const;

    const TOptions& O;
    QString Out, Console;
    QList<TPrinterRecord> Printers;
    std::vector<std::unique_ptr<QProcess>> Processes;
    std::vector<QByteArray> Pending; // a line not yet complete, per printer
    TProgress Progress;
    QTemporaryDir Devices; // config folders that map COM1 to a printer given by its path
    int Running = 0, Signals = 0;
    QTimer Clock;
    std::unique_ptr<QObject> StopWatch;
    QDateTime Started;
};
