// Talking to a printer through the console's own link, for `probe` and `line`: the port opened
// exactly as the console opens it (PrinterOpenPort), and one harmless request at a time.
#pragma once

#include "PortCheck.h"
#include "PortList.h"
#include "Printer.h"

#include <csignal>
#include <cstdint>
#include <string>

// The console's baud rates, in the order the probe tries them: the console's default first, the
// fastest last, where a late find costs least.
inline constexpr int kConsoleRates[] = {19200, 9600, 57600, 115200};

// A port to talk to: a COMn, or a serial device that may have no COMn of its own.
struct TalkPort {
    std::string Name;   // as the technician reads it: "COM3" or "/dev/ttyUSB0"
    int Number = 0;     // the COMn it is opened as; 0: a device without one
    std::string Device; // the device, for one given by its path
};

// "COMn", a device path or a device name under the device folder ("ttyUSB0"). False, with the
// reason, for anything else.
bool ParseTalkPort(const std::string& word, const PortRoots& roots, TalkPort& port,
                   std::string& error);

// The device a port leads to now, links followed; the port's path when it leads nowhere.
std::string TalkTarget(const TalkPort& port);

// Opens the port through the link at the baud rate. A device without a COMn is opened as COMn
// of a ports folder made for the moment, so that it is opened exactly as once mapped. On failure,
// why: the port diagnosis, in terms of the port as the technician named it.
bool OpenTalkPort(const TalkPort& port, int baud, PortDiagnosis& why);
void CloseTalkPort();

// One exchange as the line saw it.
struct TalkResult {
    bool Ran = false;        // the link took the request
    uint32_t ErrorWord = 0;  // the reply's error word
    PrinterLineStats Line{}; // bytes, SYN, noise, round trip
    std::string Fields[8];   // the reply's first fields
    int FieldCount = 0;
    bool Answered() const { return Ran && !(ErrorWord & (ERR_TIMEOUT | ERR_NAK | ERR_PROTOCOL)); }
};

// The status request (0x4A, data "X"): it changes nothing on the device.
TalkResult AskStatus();
// The diagnostic request (0x5A, data "1") that the information page sends for the identity.
TalkResult AskDiagnostics();

// While it lives, Ctrl-C and SIGTERM only ask the run to stop after the exchange under way, so
// that the port is let go of as the console lets go of it.
class StopRequest {
public:
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;
    static bool Asked();

private:
    struct sigaction savedInt_ {
    }, savedTerm_{};
};

// Length of the status request's frame.
inline constexpr uint32_t kStatusRequestBytes = 11;
