// Where port number n (COMn) leads on POSIX. The link opens the port it gives; tr7042k-ports
// lists, maps and checks ports by the same rule, so both always agree on what COMn is.
//
// COMn is the link comN in the user's ports folder ($XDG_CONFIG_HOME/tr7042k/ports, by default
// ~/.config/tr7042k/ports) when that link exists, else /dev/ttyS<n-1>. Every call writes into the
// caller's buffer and gives false, with nothing usable written, when the result does not fit.
#pragma once

#include <stddef.h>

// The user's ports folder. False when neither XDG_CONFIG_HOME nor HOME is set.
bool PortsFolderPath(char* path, size_t size);
// The link comN in the ports folder, whether or not it exists.
bool PortLinkPath(int port, char* path, size_t size);
// The UART that COMn means when there is no link: /dev/ttyS<n-1>.
bool PortDefaultDevice(int port, char* path, size_t size);
// What COMn leads to now: the link when it exists (even one that points nowhere), else the UART.
bool PortDevicePath(int port, char* path, size_t size);
// The port number of a name "COMn" (any case, n from 1 to PortNumberMax); -1 for anything else.
int PortNumberFromName(const char* name);

enum { PortNumberMax = 255 };
