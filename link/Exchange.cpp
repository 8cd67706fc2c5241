// One device command is one exchange: frame, send, wait for the reply, decode, deliver, log.
#include "PrinterLink.h"

#include <stdio.h>
#include <string.h>

namespace {

// An exchange ends without a reply when the device falls silent (50 empty reads in a row), and
// also when it never stops sending:
// - a printer at work sends SYN about every 60 ms until its reply is ready; a slow report is
//   waited for, but never longer than LINK_MAX_EXCHANGE_MS (half an hour) from the request, and
//   30000 SYN come sooner only from a line that floods them;
// - every other byte belongs to a reply (at most 229 bytes) or is noise on the line; 4096 of
//   them without a complete reply are a line that babbles.
// The counts alone bound nothing in time: a byte now and then restarts the count of empty reads.
const long MaxBusyBytes = 30000;
const long MaxOtherBytes = 4096;

const unsigned char SOH = 0x01, ENQ = 0x05, ETX = 0x03, SYN = 0x16;

} // namespace

int PrinterBuildFrame(unsigned char* out, int size, unsigned char seq, int code, const char* data) {
    if (!data) data = "";
    size_t n = strnlen(data, PRINTER_MAX_DATA + 1);
    if (n > (size_t)PRINTER_MAX_DATA || size < (int)n + 10) return -1;
    int k = 0;
    out[k++] = SOH;
    out[k++] = (unsigned char)(0x20 + ((n + 4) % 256));
    out[k++] = seq;
    out[k++] = (unsigned char)code;
    memcpy(out + k, data, n);
    k += (int)n;
    out[k++] = ENQ;
    uint32_t sum = 0;
    for (int i = 1; i < k; ++i)
        sum += out[i];
    for (int shift = 12; shift >= 0; shift -= 4)
        out[k++] = (unsigned char)(0x30 + ((sum >> shift) & 0xF));
    out[k++] = ETX;
    return k;
}

void PrinterAwaitReply(int code) {
    PrinterLinkState& L = PrinterLink;
    L.CurrentCommand = code;
    L.ErrorWord = 0;
    L.Reply.FieldCount = 0;
    memset(L.StatusBytes, 0, sizeof L.StatusBytes);
    L.LinkReady = 0;
    L.LinkFault = 0;
    L.ReplyData[0] = 0;
    L.Line = PrinterLineStats{};
    // No checksum received yet: a reply cut short before its BCC can never match a stale one.
    L.RxCheck = 0xFFFFFFFFu;
}

int PrinterCommand(PrinterWindow window, PrinterCallback callback, int tag, int code,
                   const char* data) {
    if (window) return PrinterExchange(window, tag, code, data);
    return PrinterExchangeCallback(callback, tag, code, data);
}

int PrinterExchangeCallback(PrinterCallback callback, int tag, int code, const char* data) {
    PrinterLink.ReplyCallback = callback;
    return PrinterExchange(nullptr, tag, code, data);
}

int PrinterExchange(PrinterWindow window, int tag, int code, const char* data) {
    PrinterLinkState& L = PrinterLink;
    if (!L.LinkReady) return -1;
    if (!data) data = "";
    size_t n = strnlen(data, PRINTER_MAX_DATA + 1);
    if (n > (size_t)PRINTER_MAX_DATA) return -1; // more than a frame carries: refuse, send nothing

    // The caller's string may live in CommandBuffer, which a nested exchange started from the
    // callback overwrites; keep our own copy for the frame and the log.
    char work[PRINTER_MAX_DATA + 1];
    memcpy(work, data, n);
    work[n] = 0;

    memcpy(L.SentData, work, n + 1);
    L.Reply.Command = code;
    L.Reply.Tag = tag;
    L.SeqCounter++;
    L.ReplyWindow = window;
    PrinterAwaitReply(code);

    unsigned char frame[LINK_FRAME_SIZE];
    int len = PrinterBuildFrame(frame, sizeof frame, (unsigned char)(0x20 + L.SeqCounter % 95),
                                code, work);

    SerialDrain(L.LinkPort);
    SerialPurge(L.LinkPort, true, true);
    L.ExchangeStart = SerialClockMicros();
    // A failed write shows as the time-out that follows.
    int written = SerialWrite(L.LinkPort, frame, len);
    L.Line.BytesSent = written > 0 ? (uint32_t)written : 0;
    if (L.TraceFile != SERIAL_FILE_INVALID) PrinterTraceSent(frame, len, written);

    // Read until the receiver has seen the end of a reply or a NAK; give up after 50 (or as
    // many as set) consecutive empty reads. Every byte read restarts that count (PrinterReceive
    // resets it).
    long busy = 0, other = 0;
    const long long deadline = SerialNowMs() + L.ExchangeLimitMs;
    bool late = false;
    L.WaitCount = 0;
    while (L.WaitCount < L.WaitLimit && !late) {
        while (!L.LinkReady && busy < MaxBusyBytes && other < MaxOtherBytes &&
               !(late = SerialNowMs() >= deadline) && PrinterReceive() == 1) {
            if (L.RxByte == SYN)
                busy++;
            else
                other++;
        }
        if (L.LinkReady || busy >= MaxBusyBytes || other >= MaxOtherBytes || late) break;
        L.WaitCount++;
        if (L.TraceFile != SERIAL_FILE_INVALID) PrinterTraceIdle();
    }

    L.Line.Micros = (uint32_t)(SerialClockMicros() - L.ExchangeStart);
    L.Line.FrameOpen = !L.LinkReady && L.RxState != WaitSoh;

    PrinterDecodeReply();
    L.LinkReady = 1;
    if (L.TraceFile != SERIAL_FILE_INVALID) PrinterTraceOutcome();

    // The record is on disk before the caller sees the result: a caller that shows an error
    // box and is ended meanwhile has lost nothing from the log.
    PrinterLogExchange(code, work, L.Reply.ErrorWord);
    if (L.ReplyCallback)
        L.ReplyCallback(L.Reply);
    else if (window)
        PrinterPostReply(window, L.ReplyMessage, (unsigned)code, &L.Reply);
    return 0;
}

void PrinterGetLineStats(PrinterLineStats* stats) {
    if (stats) *stats = PrinterLink.Line;
}

int PrinterSetReplyWait(int emptyReads) {
    int before = PrinterLink.WaitLimit;
    PrinterLink.WaitLimit = emptyReads < 1 ? 1 : emptyReads;
    return before;
}
