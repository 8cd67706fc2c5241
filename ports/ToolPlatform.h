// The system's part of tr7042k-ports' command line: ToolPosix.cpp on Linux (the ports folder and
// the device tree), ToolWin32.cpp on Windows (Windows' own COM ports). Tool.cpp reads the options
// and runs probe and line alike on both.
#pragma once

#include "PortList.h"

#include <ostream>
#include <string>
#include <vector>

// The --help text and the --version line.
const char* PortsHelp();
std::string PortsVersion();
// Whether --sysfs and --dev (a device tree read instead of the system's) mean anything here.
bool PortsReadDeviceTree();
// `list`: the ports present; the exit code.
int ListPorts(const PortRoots& roots, std::ostream& out);
// `map`, `unmap` and `check` with their words (words[0] is the command); the exit code.
int PortMappingCommand(const std::vector<std::string>& words, const PortRoots& roots,
                       std::ostream& out, std::ostream& err);
// A wrong use: what was wrong and where the help is; gives ExitUsage.
int PortsUsage(std::ostream& err, const std::string& what);
