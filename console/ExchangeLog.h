// Where the link's exchange log "fpllog.dat" is kept, and telling the technician when it cannot
// be written.
#pragma once

#include <QString>

// The console started from the desktop menu keeps its log in the user's state folder
// ($XDG_STATE_HOME/tr7042k, by default ~/.local/state/tr7042k, made when missing) instead of the
// folder the launcher happens to stand in; from a terminal it stays in the current folder.
// False, with the reason, when that folder cannot be made (the log is kept there all the same,
// so that the first exchange's message names it) or named (the log stays where it was).
bool KeepLogInStateFolder(QString& error);

// The log's full path, as "О программе" shows it and the log's trouble names it.
QString ExchangeLogPath();

// A new connection: the log's trouble is told again, once.
void ResetLogTrouble();
// After an exchange: when its record could not be written, says so once per connection, with
// the file and the reason. The exchange's own result is untouched.
void ReportLogTrouble();
