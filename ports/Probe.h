// `tr7042k-ports probe`: which port has a printer, at which baud rate, and who it is.
#pragma once

#include "Talk.h"

#include <ostream>
#include <string>
#include <vector>

// What one baud rate brought.
struct RateTry {
    int Baud = 0;
    TalkResult Result;
};

struct ProbeResult {
    TalkPort Port;
    std::string Target;         // the device behind the port
    bool Opened = false;        // the port opened at all
    PortDiagnosis Why;          // why not, when it did not
    std::vector<RateTry> Tries; // the rates tried, in order, up to the one that answered
    int Baud = 0;               // the rate the printer answered at; 0: none
    TalkResult Status;          // its answer to the status request
    TalkResult Identity;        // its answer to the diagnostic request
    long long Micros = 0;       // time spent on the port
};

// Empty reads of 100 ms that the probe waits for an answer at each rate.
inline constexpr int kProbeWait = 2;

// Tries the console's rates on the port, one after the other, until a printer answers; then
// reads its identity.
ProbeResult ProbePort(const TalkPort& port);

// The ports a probe with no PORT looks at: on Linux every mapped COMn, then every serial device
// present that no COMn reaches, a built-in UART as its default COMn; on Windows every COM port.
// And what the probe says when there is none. (The system's: TalkPosix.cpp, TalkWin32.cpp.)
std::vector<TalkPort> PortsToProbe(const PortRoots& roots);
const char* NoPortsToProbe();

// The command: the PORT words (none: PortsToProbe). Exit code 0 when a printer was found, 2 when
// none was, 1 for a PORT that names no port.
int ProbeCommand(const std::vector<std::string>& words, const PortRoots& roots, std::ostream& out,
                 std::ostream& err);

// What a rate brought, in words: "ничего", "14 байт, но не ответ", "NAK", ...
std::string SeenText(const TalkResult& r);
