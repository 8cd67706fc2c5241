// Arbitrary bytes through the reply receiver and the decoder. The first byte chooses the command
// of the exchange, so every per-command fix-up is reached; the rest arrives as from the port.
#include "PrinterLink.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void fail(const char* what, int line) {
    std::fprintf(stderr, "invariant broken at line %d: %s\n", line, what);
    std::abort();
}

#define check(cond) ((cond) ? (void)0 : fail(#cond, __LINE__))

bool insideReplyData(const char* p) {
    return p >= PrinterLink.ReplyData && p < PrinterLink.ReplyData + LINK_REPLY_SIZE;
}

// As an exchange leaves the link when it starts waiting for the reply.
void beginReply(int command) {
    PrinterLinkReset();
    PrinterAwaitReply(command);
}

void feed(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        PrinterReceiveByte(bytes[i]);
        check(PrinterLink.RxState < RxStateCount);
    }
}

void checkRecord() {
    const RetData& r = PrinterLink.Reply;
    check(r.FieldCount >= 0 && r.FieldCount <= LINK_FIELDS);
    for (int i = 0; i < r.FieldCount; ++i) {
        check(insideReplyData(r.Fields[i]));
        size_t room = static_cast<size_t>(PrinterLink.ReplyData + LINK_REPLY_SIZE - r.Fields[i]);
        check(std::memchr(r.Fields[i], 0, room) != nullptr);
    }
    check(r.RawReply == PrinterLink.RawReply);
    check(std::memchr(r.RawReply, 0, LINK_RAW_COPY + 1) != nullptr);
    for (int i = LINK_RAW_COPY; i < LINK_RAW_SIZE; ++i)
        check(PrinterLink.RawReply[i] == 0);
    check(r.CommandName != nullptr && r.CommandName[0] != 0);
    for (unsigned char s : r.Status)
        check(s < 0x80);

    // The link's conditions exclude each other and the device's bits; unused bits stay clear.
    const uint32_t link = ERR_PROTOCOL | ERR_NAK | ERR_TIMEOUT;
    uint32_t word = r.ErrorWord;
    check((word & 0xE0008000u) == 0);
    if (word & link) check(word == ERR_PROTOCOL || word == ERR_NAK || word == ERR_TIMEOUT);
    if (word & ERR_TIMEOUT) check(r.FieldCount == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;

    // The bytes as they come.
    beginReply(data[0]);
    feed(data + 1, size - 1);
    PrinterDecodeReply();
    checkRecord();

    // The same bytes as the data of a well-formed reply with a good checksum, so the decoder
    // also sees long data, many commas and every status bit behind a valid frame.
    uint8_t frame[256];
    size_t n = 0;
    uint8_t status[6] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
    size_t d = 0;
    uint8_t payload[212];
    for (size_t i = 1; i < size && d < sizeof payload; ++i) {
        uint8_t b = data[i];
        if (b != 0x00 && b != 0x01 && b != 0x03 && b != 0x15) payload[d++] = b;
    }
    for (size_t i = 0; i < 6 && i + 1 < size; ++i)
        status[i] = static_cast<uint8_t>(0x80 | data[i + 1]);
    frame[n++] = 0x01;
    frame[n++] = static_cast<uint8_t>(0x2B + d);
    frame[n++] = 0x21;
    // The reply's CMD byte does not steer anything; it only must not be SOH, ETX or NAK.
    frame[n++] = data[0] == 0x01 || data[0] == 0x03 || data[0] == 0x15 ? 0x4A : data[0];
    std::memcpy(frame + n, payload, d);
    n += d;
    frame[n++] = 0x04;
    std::memcpy(frame + n, status, 6);
    n += 6;
    frame[n++] = 0x05;
    uint32_t sum = 0;
    for (size_t i = 1; i < n; ++i)
        sum += frame[i];
    for (int i = 0; i < 4; ++i)
        frame[n++] = static_cast<uint8_t>(0x30 + ((sum >> (12 - 4 * i)) & 0xF));
    frame[n++] = 0x03;
    beginReply(data[0]);
    feed(frame, n);
    check(PrinterLink.LinkReady == 1);
    PrinterDecodeReply();
    checkRecord();
    check((PrinterLink.Reply.ErrorWord & (ERR_PROTOCOL | ERR_NAK | ERR_TIMEOUT)) == 0);
    check(std::strncmp(PrinterLink.Reply.RawReply, reinterpret_cast<const char*>(payload),
                       d < LINK_RAW_COPY ? d : LINK_RAW_COPY) == 0);
    return 0;
}
