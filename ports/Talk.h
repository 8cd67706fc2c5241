// Talking to a printer through the console's own link, for `probe` and `line`: the port opened
// exactly as the console opens it (PrinterOpenPort), and one harmless request at a time. What
// names, opens and diagnoses a port is the system's: TalkPosix.cpp, TalkWin32.cpp.
#pragma once

#include "PortCheck.h"
#include "PortList.h"
#include "Printer.h"

#include <cstdint>
#include <string>
#include <vector>

// The console's baud rates, in the order the probe tries them: the console's default first, the
// fastest last, where a late find costs least.
inline constexpr int kConsoleRates[] = {19200, 9600, 57600, 115200};

// A port to talk to: a COMn, or a serial device that may have no COMn of its own.
struct TalkPort {
    std::string Name;   // as the technician reads it: "COM3" or "/dev/ttyUSB0"
    int Number = 0;     // the COMn it is opened as; 0: a device without one
    std::string Device; // the device, for one given by its path
};

// "COMn", a device path or a device name under the device folder ("ttyUSB0"); on Windows "COMn"
// only. False, with the reason, for anything else.
bool ParseTalkPort(const std::string& word, const PortRoots& roots, TalkPort& port,
                   std::string& error);

// The device a port leads to now, links followed; the port's path when it leads nowhere. On
// Windows the port's name: COMn is the device.
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

// While it lives, Ctrl-C and SIGTERM (on Windows Ctrl-C and Ctrl-Break) only ask the run to stop
// after the exchange under way, so that the port is let go of as the console lets go of it; with
// interruptOnly, Ctrl-C alone. One at a time.
class StopRequest {
public:
    explicit StopRequest(bool interruptOnly = false);
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;
    static bool Asked();

private:
    bool interruptOnly_;
};

// Other programs that have the device behind a port open now, this one aside: none on a
// pseudo-terminal (the program at its other end keeps it open by design), none known on Windows.
std::vector<PortHolder> OtherPortHolders(const std::string& target);

// Length of the status request's frame.
inline constexpr uint32_t kStatusRequestBytes = 11;
