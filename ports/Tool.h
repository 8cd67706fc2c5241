// tr7042k-ports, the command line: lists serial devices, maps COMn to them and says why a port
// does not open. It writes to the streams given, so that tests read what a user would see.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Runs one command line (without the program name); gives the exit code (PortsExitCode).
int RunPortsTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
