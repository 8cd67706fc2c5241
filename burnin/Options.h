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
    int Baud = 0;   // the rate the printer was found at; 0: the batch's rate (--baud)
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
    bool Window = false; // the bench window instead of the terminal; ports are then optional
    bool Help = false, Version = false;
};

// Reads the arguments (without the program name). On a wrong use gives false with the reason
// in Russian.
bool ParseOptions(const QStringList& arguments, TOptions& options, QString& error);

// Adds a port to the batch: refused (false with the reason) when it is named twice; a label
// another port has already is made unique, so each printer has a folder of its own.
bool AddPort(TOptions& options, TPort port, QString& error);

// Whether the console offers this baud rate: 9600, 19200, 57600 or 115200.
bool IsConsoleRate(int baud);

// The help, UTF-8.
QByteArray HelpText();

// A name for files and folders: ASCII letters, digits, '.', '-' and '_' kept, anything else '_'.
QString FileLabel(const QString& text);
