#pragma once

// What the burn-in needs from the system: the stops it is given (Ctrl-C and the like), the
// terminal its progress goes to, the consoles it starts and stops, and the ports it is named.
// One file per system: SystemPosix.cpp, SystemWin32.cpp.

#include "Options.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// Catches the stops (Ctrl-C; on POSIX also SIGTERM and SIGHUP, on Windows Ctrl-Break) from here
// on, for the burn-in to take when it runs, and makes the terminal show Russian text. Called
// first thing, so that a stop is never lost or the program's death. (A Windows console window
// that is closed ends this program: each console then stops at its next check point.)
void CatchStopSignals();
// Once the application exists: `arrived` is called from the event loop with the number of stops
// that came since it was last called, also those that came before this call. The watch lasts as
// long as the object given back.
std::unique_ptr<QObject> WatchStopSignals(std::function<void(int)> arrived);

// Whether standard output is a terminal that takes the control sequences redrawing the progress
// rows in place.
bool ProgressOnTerminal();
// The terminal's width in characters; 100 when it is not known.
int TerminalWidth();

// Readies a console's process before it starts: what it inherits, how the stops reach it, and
// its end should this program die first. `scratch` is the batch's folder for files of its own.
void PrepareConsole(QProcess& process, QProcessEnvironment& environment,
                    const QTemporaryDir& scratch);
// Asks a running console to stop: the first time at its next check point, the second at once.
void StopConsole(QProcess& process);
// Whether a running console's folder may be renamed under it. On POSIX its working folder
// moves with the name; Windows refuses to rename a folder some process works in, so there it
// is named once its console has ended.
extern const bool FolderRenamedWhileRunning;

// The name of a printer's folder and journal while its factory number is not known: its port's
// label, changed where the system reserves that name (Windows: COM1 to COM9 are devices, with
// any extension).
QString UnnamedFileName(const QString& label);

// A printer's port as named on the command line: COMn, and on POSIX also a device path. False
// with the reason in Russian.
bool ParsePort(const QString& name, TPort& port, QString& error);
// What the help says of the ports.
extern const char* const PortHelp;
