// Talking to a printer on Windows: a port is Windows' own COMn, opened by the link as \\.\COMn;
// Ctrl-C and Ctrl-Break caught by the console's control handler.
#include "Talk.h"

#include "Line.h"
#include "PortListWin32.h"
#include "Probe.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<bool> gStopAsked{false};
bool gInterruptOnly = false;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleStop(DWORD event) {
    if (event == CTRL_C_EVENT || (event == CTRL_BREAK_EVENT && !gInterruptOnly)) {
        gStopAsked = true;
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool ParseTalkPort(const std::string& word, const PortRoots&, TalkPort& port, std::string& error) {
    port = TalkPort{};
    const int n = ComPortNumber(word);
    if (n < 1) {
        error = "неверное имя порта " + word + " (нужно от COM1 до COM" +
                std::to_string(kComPortMax) + ", как порт называет Windows)";
        return false;
    }
    port.Number = n;
    port.Name = "COM" + std::to_string(n);
    return true;
}

std::string TalkTarget(const TalkPort& port) {
    return port.Name;
}

bool OpenTalkPort(const TalkPort& port, int baud, PortDiagnosis& why) {
    if (PrinterOpenPort(port.Number, baud) != -1) return true;
    why = DiagnoseComPort(port.Number);
    return false;
}

StopRequest::StopRequest(bool interruptOnly) : interruptOnly_(interruptOnly) {
    gStopAsked = false;
    gInterruptOnly = interruptOnly_;
    SetConsoleCtrlHandler(OnConsoleStop, TRUE);
}

StopRequest::~StopRequest() {
    SetConsoleCtrlHandler(OnConsoleStop, FALSE);
}

bool StopRequest::Asked() {
    return gStopAsked;
}

std::vector<PortHolder> OtherPortHolders(const std::string&) {
    return {};
}

std::vector<TalkPort> PortsToProbe(const PortRoots&) {
    std::vector<TalkPort> ports;
    for (const ComPort& p : ListComPorts())
        ports.push_back({"COM" + std::to_string(p.Number), p.Number, ""});
    return ports;
}

const char* NoPortsToProbe() {
    return "COM-портов не найдено: проверять нечего.";
}

const char* FlowControlOff() {
    return "mode COMn octs=off rts=on";
}
