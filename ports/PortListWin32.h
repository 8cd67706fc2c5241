// The COM ports of Windows, as `tr7042k-ports list` shows them and `probe` tries them: the name
// Windows gives each (SetupAPI's Ports class, as Device Manager shows it), and where SetupAPI
// knows none (wine; a driver outside that class) what the system's device map says: the
// registry's HARDWARE\DEVICEMAP\SERIALCOMM and the DOS device names COMn. Under wine, also the
// Unix device a port is mapped to (HKLM\Software\Wine\Ports).
#pragma once

#include "PortCheck.h"

#include <string>
#include <vector>

// The highest COMn Windows gives a port.
inline constexpr int kComPortMax = 256;
// The console's port list offers COM1 to this one.
inline constexpr int kConsoleComPortMax = 20;

// One source's word on a port, as read.
struct ComPortFinding {
    std::string PortName; // "COM3", as the source gives it
    std::string Name;     // the name Windows gives it, "USB Serial Port (COM3)"; empty: none
    std::string Device;   // the kernel's device, "\Device\Serial0"; empty: unknown
};

struct ComPort {
    int Number = 0;     // n of COMn
    std::string Name;   // the name Windows gives it; empty when no source knows one
    std::string Device; // the kernel's device; empty when unknown
    std::string Unix;   // under wine, the Unix device it is mapped to; empty elsewhere
};

// The port number of "COMn" (any case, n from 1 to kComPortMax, no sign, no leading zero);
// -1 for anything else ("LPT1", "COM0", "COM3:").
int ComPortNumber(const std::string& name);

// The findings merged: one port per COMn, lowest first, each field from the first finding that
// has it (the sources in the order of trust); findings that name no COMn are left out.
std::vector<ComPort> MergeComPorts(const std::vector<ComPortFinding>& findings);

// UTF-16 text as UTF-8.
std::string Utf8(const wchar_t* text, std::size_t length);
// A string value of the registry or SetupAPI as UTF-8: REG_SZ or REG_EXPAND_SZ data of `bytes`
// bytes, up to its first NUL or its end (a value need not end in NUL); empty for another type.
std::string RegistryText(unsigned long type, const void* data, unsigned long bytes);
// The first name of a list of NUL-ended names (QueryDosDevice's answer) of `chars` characters.
std::string FirstOfList(const wchar_t* list, unsigned long chars);

// What the system says, source by source: SetupAPI's Ports class first, then SERIALCOMM, then
// the DOS device names COM1 to kComPortMax.
std::vector<ComPortFinding> FindComPorts();
// The COM ports present, merged, with wine's mapping where there is one.
std::vector<ComPort> ListComPorts();

// The port as the listing names it: the name Windows gives it, else "последовательный порт"
// and its device.
std::string DescribeComPort(const ComPort& port);

// Whether COMn can be opened now as the link opens it (for exclusive use, and not while a
// program of ours holds its mark), and if not, why, with the fix.
PortDiagnosis DiagnoseComPort(int port);
