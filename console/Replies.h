#pragma once

#include "Printer.h"

#include <QString>

#include <cstdint>

// What every window's result handler does with a device reply, and safe reading of the reply.

// Text of the most important error bit of an error word, or nullptr when no error bit is set.
// The bits are tested in a fixed priority order; state bits (ST_...) are not errors.
const char* ErrorText(uint32_t errorWord);

// True when the error word carries at least one error bit.
inline bool HasErrorBit(uint32_t errorWord) {
    return ErrorText(errorWord) != nullptr;
}

// The handler steps shared by every result handler: keep a full copy of the reply in the
// window's last-reply record; tell the exchange log's trouble once per connection; if an error
// bit is set, show its text in a message box (unless
// showBox is false) and add 1 to the window's error count. At most one box and one count per
// reply, however many error bits it carries.
void HandleReply(const RetData& reply, RetData& lastReply, int32_t& errorCount, bool showBox);

// Data field `index` of a reply (counting from 0), decoded from Windows-1251. A field beyond
// the reply's field count reads as empty text: those slots still hold earlier replies' data.
QString ReplyField(const RetData& reply, int index);

// The reply data as received, before the fields were split, decoded from Windows-1251.
QString RawReplyText(const RetData& reply);
