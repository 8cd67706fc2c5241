// The link's module-wide state and the opening and closing of the port.
#include "PrinterLink.h"

#include <stdlib.h>

PrinterLinkState PrinterLink;

namespace {

// A program that ends while connected (returning from main, calling exit, the console closed
// any way at all) lets go of its port: the port's exclusive flag would otherwise stay on a line
// that another program holds open, and keep every ordinary user out.
void ReleaseAtExit() {
    PrinterClosePort();
}

} // namespace

int PrinterOpenPort(int port, int baud) {
    PrinterLinkState& L = PrinterLink;
    static bool releaseRegistered = false;
    if (!releaseRegistered) releaseRegistered = atexit(ReleaseAtExit) == 0;
    L.LinkReady = 1;
    // A second open without a close would leak the first port and keep it locked.
    if (L.LinkPort != SERIAL_INVALID) {
        SerialClose(L.LinkPort);
        L.LinkPort = SERIAL_INVALID;
    }
    SerialHandle h = SerialOpen(port);
    L.LinkPort = h;
    if (h == SERIAL_INVALID) {
        PrinterTraceClose(); // the trace of a port opened before ends with it
        return -1;
    }
    // Line settings and the purge are best effort: the handle is good whatever they say.
    SerialConfigure(h, baud);
    SerialPurge(h, true, true);
    char path[512];
    PrinterTraceOpen(port, baud, SerialPortPath(port, path, sizeof path) ? path : "");
    return (int)h;
}

void PrinterReleaseAtOnce() {
    SerialReleaseAtOnce();
}

int PrinterClosePort() {
    PrinterLinkState& L = PrinterLink;
    // No port held is a port closed: disconnecting must always be possible, also after a close
    // that failed (the handle is given up all the same, below).
    if (L.LinkPort == SERIAL_INVALID) return 1;
    PrinterTraceClose();
    SerialDrain(L.LinkPort);
    SerialPurge(L.LinkPort, true, true);
    int ok = SerialClose(L.LinkPort);
    // The descriptor is gone either way; a later exchange must not write into whatever file
    // the OS hands that number to next.
    L.LinkPort = SERIAL_INVALID;
    return ok;
}

void PrinterLinkReset() {
    if (PrinterLink.LinkPort != SERIAL_INVALID) SerialClose(PrinterLink.LinkPort);
    SerialFileClose(PrinterLink.TraceFile);
    PrinterLink = PrinterLinkState{};
}
