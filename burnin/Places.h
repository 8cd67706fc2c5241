#pragma once

#include <QString>

// Where the burn-in finds the programs it starts and puts what it writes.

// A program of this package: the one the environment variable names when set, else the one
// installed beside this program, else the one of a build tree (`buildFolder` beside burnin/),
// else the one on the PATH. Empty when none is found.
QString FindProgram(const char* variable, const QString& name, const QString& buildFolder);
// tr7042k-console (TR7042K_CONSOLE) and tr7042k-ports (TR7042K_PORTS).
QString FindConsole();
QString FindPortsTool();
// What to say when one is not found.
QString ConsoleMissing();
QString PortsToolMissing();

// The output folder: the one given (made when missing; one with files in it is refused, so no
// earlier batch's report is overwritten), or a new one named by the date and time in the
// current folder. `out` becomes its absolute path; false with the reason in Russian.
bool MakeOutFolder(QString& out, QString& error);
