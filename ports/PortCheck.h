// Why a port does not open, in plain words, with the fix. The port is opened the way the
// console's link opens it (read and write, exclusive use, a terminal behind it), so the console's
// message box and `tr7042k-ports check` tell the same story.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

enum class PortProblem {
    None,         // the port opens
    Missing,      // the link points nowhere, or there is no device (or no UART) behind the name
    NoPermission, // this user may not read and write the device
    Held,         // another program has locked it
    Exclusive,    // another program has opened it for exclusive use
    NotSerial,    // what the name leads to is not a serial port
    Other,        // any other failure to open, with the system's own words
};

// A process that has the device open.
struct PortHolder {
    pid_t Pid = 0;
    std::string Name;
};

struct PortDiagnosis {
    PortProblem Problem = PortProblem::None;
    std::string Path;   // what COMn leads to: the link in the ports folder, or /dev/ttyS<n-1>
    std::string Target; // the device behind the path, links followed; empty when there is none
    std::vector<PortHolder> Holders;
    std::string Reason; // one line: what is wrong (or that the port opens)
    std::string Fix;    // one line: what to do about it; empty when there is nothing to do
};

// Opens COMn as the console would and says what stands in the way.
PortDiagnosis DiagnosePort(int port);

// The processes in the way of opening the file, found in /proc: those that lock it, or when none
// does, those that have it open. Processes of other users that have it open without a lock are
// found only when running as root.
std::vector<PortHolder> FindPortHolders(const std::string& path);

// What decides the fix when a user may not open a device.
struct AccessFacts {
    std::string Path;
    std::string User;               // this user's login name
    std::string Group;              // the device's group
    bool GroupMayReadWrite = false; // the device's mode gives its group read and write
    bool UserListedInGroup = false; // the user is a member of that group in the user database
    bool SessionHasGroup = false;   // this login session already carries that group
};
std::string PermissionFix(const AccessFacts& facts);

// Exit codes of tr7042k-ports; scripts rely on these numbers.
enum PortsExitCode {
    ExitOk = 0,
    ExitUsage = 1,        // wrong arguments
    ExitMissing = 2,      // no such port or device
    ExitNoPermission = 3, // this user may not open it
    ExitHeld = 4,         // another program has locked it
    ExitExclusive = 5,    // another program has it open for exclusive use
    ExitNotSerial = 6,    // not a serial port
    ExitFailed = 7,       // anything else: the system's words say what
};
int ExitCodeOf(PortProblem problem);
