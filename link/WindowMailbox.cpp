// Delivery to a "window" where there are no window messages: the caller's mailbox is filled in
// the terms of the workstation's posted message.
#include "PrinterLink.h"

void PrinterPostReply(PrinterWindow window, unsigned message, unsigned code, RetData* record) {
    if (!window) return;
    window->Message = message;
    window->WParam = code;
    window->LParam = record;
    window->Posted++;
}
