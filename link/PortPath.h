// Where port number n (COMn) leads on POSIX, and what may stand behind it. The link opens the
// port it gives; tr7042k-ports lists, maps and checks ports by the same rules, and the simulated
// printer claims its COMn by them, so all three always agree on what COMn is.
//
// COMn is the link comN in the user's ports folder ($XDG_CONFIG_HOME/tr7042k/ports, by default
// ~/.config/tr7042k/ports) when that link exists, else /dev/ttyS<n-1>. Every call writes into the
// caller's buffer, allocates nothing, and gives false when the result does not fit; where it
// takes `why`, it puts there the system's error number of the failure.
#pragma once

#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

// The user's ports folder. A relative XDG_CONFIG_HOME is ignored, as the XDG rules say, and so
// is a relative HOME. False when there is neither (why: ENOENT) or the path does not fit
// (ENAMETOOLONG).
bool PortsFolderPath(char* path, size_t size, int* why = nullptr);
// The link comN in the ports folder, whether or not it exists.
bool PortLinkPath(int port, char* path, size_t size, int* why = nullptr);
// The UART that COMn means when there is no link: /dev/ttyS<n-1>.
bool PortDefaultDevice(int port, char* path, size_t size);
// What COMn leads to now: the link when it exists (even one that points nowhere), else the UART;
// the UART also when there is no config folder at all. A link that cannot be looked for (a
// ports folder this user may not search, a path too long) is never taken for the UART: false,
// with the link's path in `path` when it fits, for the message.
bool PortDevicePath(int port, char* path, size_t size, int* why = nullptr);
// The port number of a name "COMn" (any case, n from 1 to PortNumberMax); -1 for anything else.
int PortNumberFromName(const char* name);

enum { PortNumberMax = 255 };

// What a path leads to, judged from its stat() and sysfs (under sysRoot, "/sys" outside tests)
// before anything is opened for writing.
enum PortTargetKind {
    PortTargetNotDevice,   // a file, a folder, anything but a character device
    PortTargetNotTerminal, // a character device that is no serial line (/dev/null, /dev/tty)
    PortTargetPseudo,      // a pseudo-terminal: a port only while a simulator serves it
    PortTargetSerial,      // a serial line: a UART, a USB adapter, a modem-class device
};
PortTargetKind PortTargetKindOf(const struct stat* st, const char* sysRoot);

// The simulated printer's claim on COMn: the file comN.lock beside the link, locked for the
// simulator's whole life and naming the pseudo-terminal it serves. The kernel drops the lock when
// the simulator dies, however it dies, so a link to a pseudo-terminal whose claim is not held
// is stale: that terminal may belong to anyone by now.
bool PortClaimPath(int port, char* path, size_t size, int* why = nullptr);
// Takes the claim, making the ports folder when missing; gives its descriptor (keep it open), or
// -1 with why EWOULDBLOCK when another process holds it.
int PortClaim(int port, int* why = nullptr);
// Names the terminal the claim serves; an empty name serves none (between two lines).
bool PortClaimServe(int claim, const char* terminal);
// Gives the claim up on a clean end: the file goes, then the lock.
void PortClaimRelease(int port, int claim);
// Whether a live claim on COMn names the terminal with this device number.
bool PortServed(int port, dev_t terminal);
// Whether a live claim on COMn exists at all.
bool PortClaimed(int port);

// Makes a folder and any missing folder above it. Each folder made belongs to the owner of the
// folder above it, so that root working with a user's HOME leaves nothing the user cannot change;
// when that cannot be done the folder is removed again and the call fails (why: the error).
bool PortMakeFolders(const char* path, int* why = nullptr);
// Gives a new file or link the owner of the folder it is in (a no-op unless running as root).
bool PortOwnLikeFolder(const char* path, int* why = nullptr);
