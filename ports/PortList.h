// The serial devices present and the COMn links to them: what `tr7042k-ports list` shows and what
// `map` and `unmap` change. The device tree and sysfs are read under roots that tests replace
// with a tree of their own.
#pragma once

#include <string>
#include <vector>

struct PortRoots {
    std::string Sys = "/sys";
    std::string Dev = "/dev";
};

struct SerialDevice {
    std::string Name;  // ttyUSB0
    std::string Path;  // /dev/ttyUSB0
    std::string ById;  // its stable name under /dev/serial/by-id, empty when it has none
    std::string Maker; // the adapter's maker and model, from sysfs; empty when unknown
    std::string Model;
    std::string Driver;     // the kernel driver behind it (ftdi_sio, cdc_acm, serial8250, ...)
    std::vector<int> Ports; // the COMn that reach it now
    bool MayOpen = false;   // this user may read and write it
};

// Every serial device present: /dev/ttyS* with a UART behind it, /dev/ttyUSB*, /dev/ttyACM*, in
// name order (ttyS2 before ttyS10).
std::vector<SerialDevice> ListSerialDevices(const PortRoots& roots);

// The COMn that reach a device now, lowest first: links in the ports folder that lead to it, and
// for a UART the port whose default it is, unless a link of that number leads elsewhere.
std::vector<int> PortsReaching(const SerialDevice& device);

// A device as the technician names it (a path, or a name under <dev> such as ttyUSB0) as an
// absolute path.
std::string DevicePathOf(const PortRoots& roots, const std::string& device);

// The stable name under <dev>/serial/by-id of a device, or an empty string.
std::string StableName(const PortRoots& roots, const std::string& device);

// Result of a change to the ports folder.
struct MapResult {
    int Code = 0;         // an exit code of tr7042k-ports (ExitOk, ExitMissing, ExitFailed, ...)
    std::string Link;     // the link comN
    std::string Target;   // what COMn leads to now
    std::string Message;  // what went wrong, when Code is not ExitOk
    bool Changed = false; // the link was made, replaced or removed
};

// Makes COMn lead to a device (a path, or a name under <dev> such as ttyUSB0), through its stable
// name when it has one, replacing the link that was there.
MapResult MapPort(const PortRoots& roots, int port, const std::string& device);
// Removes the link comN, so that COMn means /dev/ttyS<n-1> again.
MapResult UnmapPort(int port);
