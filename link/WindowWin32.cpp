// Delivery to a window on the workstation: the record is posted to the window's message queue.
// The message carries the command code and the address of the link's record, which stays valid
// until the next exchange starts; the window copies it when the message arrives.
#include "PrinterLink.h"

#include <windows.h>

void PrinterPostReply(PrinterWindow window, unsigned message, unsigned code, RetData* record) {
    if (!window) return;
    PostMessageA((HWND)window, message, (WPARAM)code, (LPARAM)record);
}
