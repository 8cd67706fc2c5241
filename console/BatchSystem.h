#pragma once

// What the batch mode (Batch.cpp) needs from the system: its command line, the journal file, the
// lines to the caller, the caller's stops, the line's hang-up and the process's usage. One file
// per system: BatchPosix.cpp, BatchWin32.cpp.
//
// How the caller stops the run:
//   POSIX    SIGINT or SIGTERM; the caller may start the process with both held (blocked), they
//            are let through once they are handled. tr7042k-burnin also has SIGTERM sent should
//            it die first.
//   Windows  a line on standard input (tr7042k-burnin writes "stop"); the end of standard input
//            when it is a pipe (the caller has closed it, or is gone) counts as one more.
// The first stop ends the test at its next check point, as "Стоп" does; a second one ends the
// process at once (exit code 130), after a last journal line.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The arguments as they were given, the program's name first.
QStringList BatchArguments(int argc, char** argv);

// Opens the journal file for appending (made when missing, never through a symbolic link);
// false with the reason.
bool OpenBatchJournal(const QString& path, QString& error);
// Appends the bytes; false with the reason when not all were written.
bool AppendBatchJournal(const QByteArray& bytes, QString& error);
void CloseBatchJournal();

// Takes the caller's stops from now on; `interrupted` is what the journal gets last when a second
// stop ends the process. Called before anything else, so that no stop is lost or the process's
// death. False when they cannot be taken.
bool CatchBatchStops(const QByteArray& interrupted);
// Once the application exists: `stop` is called from the event loop at the first stop, also one
// that came before this call. The watch lasts as long as the object given back.
std::unique_ptr<QObject> WatchBatchStops(std::function<void()> stop);

// One line to the caller, in one write.
void TellBatchCaller(const QByteArray& line);

// The link's port has been hung up or has failed (the cable is out, the simulated printer is
// gone), asked without reading anything.
bool BatchLineHungUp();

// What the process has used so far: processor time (user and system) and its peak memory.
void BatchUsage(double& cpuSeconds, qint64& peakMemoryKb);
