#pragma once

#include "Options.h"

#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

// What `tr7042k-ports probe --tab` found on one port. Its output is one line a port, in the
// order asked, UTF-8, fields separated by TAB:
//
//   PORT  STATE  BAUD  FACTORY  FISCAL  VERSION  SWITCHES  REASON
//
// STATE is printer, silent, held (another program holds the port) or unusable; BAUD is 0 but
// for a printer; REASON says in Russian why there is no printer (or why a printer's identity
// could not be read).
struct TProbedPort {
    QString Name; // as the tool names it: COMn or a device path
    QString State;
    int Baud = 0;
    QString Factory, Fiscal, Version, Switches, Reason;

    bool Printer() const { return State == QLatin1String("printer"); }
};

// One line of the output. A line cut short has its missing fields empty and one with more
// fields than known has the rest left aside (a later tool may say more); a CR before the line's
// end is dropped. A line that says nothing usable (no port, a state not known, a printer
// without its rate) gives false with the reason.
bool ParseProbeLine(const QString& line, TProbedPort& port, QString& error);

// Every port of the output, in its order. A port asked for that the output leaves out, and a
// line that cannot be read, are kept as ports without a printer with the reason, so nothing
// the technician named drops out of sight.
QList<TProbedPort> ParseProbeOutput(const QByteArray& output, const QStringList& asked);

// Runs the tool on the ports (none: every port it knows) without blocking: Done comes once it
// has ended, with what it found, or with why it could not tell (`trouble`: the tool missing,
// its failure and what it said on its error output).
class TPortProbe : public QObject {
    Q_OBJECT

public:
    explicit TPortProbe(const QString& tool, QObject* parent = nullptr);
    ~TPortProbe() override;

    void Begin(const QStringList& ports);
    bool Running() const;

signals:
    void Done(const QList<TProbedPort>& ports, const QString& trouble);

private:
    void Ended(int exitCode, QProcess::ExitStatus status);

    QString Tool;
    QStringList Asked;
    std::unique_ptr<QProcess> Process;
};
