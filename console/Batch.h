#pragma once

// The console's batch mode: the full device test of the "Тест РРО" page on one printer, run by
// the same code as "Старт", without a window and without anybody to answer it. tr7042k-burnin
// starts one console per printer in this mode:
//
//   tr7042k-console --batch --port N --journal FILE [--port-name TEXT] [--baud B] [--passes N]
//                   [--delay MS] [--no-fiscal] [--cashier K] [--password P]
//                   [--program-password P] [--report-password P]
//
// Every message box is written to the journal with the time instead of waiting for a click; a
// check window's findings are journaled and end the run as "not fit". The journal goes to FILE
// line by line as the test writes it (Windows-1251, CR LF, as "Сохранить" writes it); the
// exchange log goes to the current folder, as always. What happens is told to the caller on
// standard output, one line an event, fields separated by tabs (UTF-8):
//
//   identity FACTORY FISCAL TAX VERSION SWITCHES   who the printer is, read as the information
//                                                  page reads it
//   pass K                                         pass K has begun
//   step TITLE                                     the step now running
//   failed PASS TITLE N                            N more failed commands in that step
//   message TIME TEXT                              a message box, journaled
//   lost                                           the printer no longer answers
//   reason TEXT                                    why the printer is not fit or has no line;
//                                                  the message boxes said, as sentences
//   verdict VERDICT PASSES_DONE                    passed, failed, not fit, no line or stopped
//   usage CPU_SECONDS PEAK_MEMORY_KB               what the process used
//
// A stop from the caller ends the test at its next check point, as "Стоп" does; a second one
// ends the process at once (exit code 130), after a last journal line. On POSIX a stop is SIGINT
// or SIGTERM (the caller may start the process with both held: they are let through once they
// are handled); on Windows a line on standard input, and the end of that input (see
// BatchSystem.h).

// True when the command line asks for the batch mode.
bool IsBatchCommandLine(int argc, char** argv);

// Runs the batch mode; gives the process's exit code (0 whatever the verdict, 3 for a wrong
// command line or a journal that cannot be written).
int RunBatch(int argc, char** argv);
