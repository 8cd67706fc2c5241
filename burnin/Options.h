#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The command line of tr7042k-burnin.

// One printer as the technician named it.
struct TPort {
    QString Name;   // as given: "COM3" or an absolute device path
    int Number = 0; // COMn; 0 for a device path
    QString Device; // the absolute device path, when given as one
    QString Label;  // for file names: "COM3", "ttyUSB0"
};

struct TOptions {
    int Passes = 1;
    int Delay = 1500; // milliseconds between sub-tests, as the console's default
    bool NoFiscal = false;
    int Baud = 19200;
    int Cashier = 1;
    std::optional<QString> Password, ProgramPassword, ReportPassword;
    QString Out; // empty: a new folder named by the date and time
    QList<TPort> Ports;
    bool Help = false, Version = false;
};

// Reads the arguments (without the program name). On a wrong use gives false with the reason
// in Russian.
bool ParseOptions(const QStringList& arguments, TOptions& options, QString& error);

// The help, UTF-8.
QByteArray HelpText();

// A name for files and folders: ASCII letters, digits, '.', '-' and '_' kept, anything else '_'.
QString FileLabel(const QString& text);
