// `tr7042k-ports line`: many harmless exchanges on one port, counted by what came back, and a
// verdict on the line with its likely cause.
#pragma once

#include "Talk.h"

#include <ostream>
#include <string>
#include <vector>

struct LineReport {
    int Asked = 0;                         // exchanges asked for
    int Done = 0;                          // exchanges made
    int Answered = 0;                      // valid replies, whatever the device's own status
    int Nak = 0;                           // NAK
    int BadChecksum = 0;                   // a whole reply whose checksum did not match
    int Silent = 0;                        // time-out with nothing at all received
    int CutShort = 0;                      // time-out in the middle of a reply frame
    int Noise = 0;                         // time-out after bytes that were no reply
    int SynWaits = 0;                      // exchanges in which the device sent SYN (at work)
    int NotSent = 0;                       // exchanges whose request the port did not take whole
    bool Interrupted = false;              // stopped by Ctrl-C
    bool GaveUp = false;                   // stopped because the line stayed silent
    std::vector<uint32_t> RoundTrips = {}; // microseconds, of the answered exchanges
    uint64_t BytesSent = 0, BytesReceived = 0;
    std::vector<PortHolder> Others = {}; // other programs that have the device open
};

// Exchanges in a row that bring nothing at all before `line` gives up on a dead line.
inline constexpr int kSilentInARow = 5;

// Adds one exchange to the report.
void Count(LineReport& report, const TalkResult& r);

// The command that turns hardware flow control off on a port, for the verdict (the system's:
// TalkPosix.cpp, TalkWin32.cpp).
const char* FlowControlOff();

// The verdict, one sentence: "Линия в порядке." or what is wrong and its likely cause.
std::string Verdict(const LineReport& report, int baud);
bool Clean(const LineReport& report);

// The command: `line PORT [--baud B] [--count N]`. Exit code 0 for a clean line, 1 otherwise;
// a port that does not open gives the exit code of `check`.
int LineCommand(const std::string& word, int baud, int count, const PortRoots& roots,
                std::ostream& out, std::ostream& err);
