// The link's module-wide state: one instance, static buffers, nothing allocated.
// For the link's own files and its tests; the console uses Printer.h only.
#pragma once

#include "Printer.h"
#include "Serial.h"

enum : unsigned char {
    FaultChecksum = 1, // reply checksum did not match
    FaultNak = 4,      // the device answered NAK
};

// Receiver states, in the order of the handler table.
enum : unsigned char {
    WaitSoh = 0,
    WaitLen,
    WaitSeq,
    WaitCmd,
    InData,
    WaitSep,
    InStatus,
    WaitEnq,
    InBcc,
    WaitEtx,
    RxStateCount
};

enum : int {
    LINK_SENT_SIZE = 600,
    LINK_RAW_SIZE = 200,
    LINK_RAW_COPY = 128, // bytes of reply data kept in RawReply
    LINK_REPLY_SIZE = 300,
    LINK_COMMAND_SIZE = 300,
    LINK_FRAME_SIZE = 200,
    LINK_MAX_WAITS = 50, // consecutive empty reads before an exchange gives up
    LINK_FIELDS = 20,
    LINK_LOG_PATH_SIZE = 4096,
    LINK_TRACE_BYTES = 256,   // received bytes of one trace record kept for its hex dump
    LINK_TRACE_TEXT = 8192,   // trace text gathered before it is written
    LINK_TRACE_RECORD = 2048, // longest trace record
};

// What the trace is gathering from the received bytes: one record per kind of run.
enum : unsigned char { TraceNone = 0, TraceFrame, TraceSyn, TraceNoise };

// The longest an exchange may keep its caller waiting, however the device sends: a printer at
// work sends SYN while it prints, and the longest report takes well under half an hour.
const long LINK_MAX_EXCHANGE_MS = 30L * 60 * 1000;

struct PrinterLinkState {
    SerialHandle LinkPort = SERIAL_INVALID; // the open port; invalid while closed
    unsigned char LinkReady = 0;            // 1: idle, the last reply is complete
    unsigned char LinkFault = 0;            // FaultNak / FaultChecksum of this exchange
    unsigned char SeqCounter = 0;           // requests sent, wrapping at 256
    int CurrentCommand = 0;
    PrinterWindow ReplyWindow = nullptr;
    PrinterCallback ReplyCallback = nullptr; // once set, never cleared
    unsigned ReplyMessage = PRINTER_REPLY_MESSAGE;
    char SentData[LINK_SENT_SIZE] = {};
    char RawReply[LINK_RAW_SIZE] = {};
    char ReplyData[LINK_REPLY_SIZE] = {};
    unsigned char StatusBytes[6] = {};
    char CommandBuffer[LINK_COMMAND_SIZE] = {};
    unsigned char RxState = 0, RxByte = 0, RxIndex = 0, RxLength = 0, RxSeq = 0, RxCommand = 0;
    uint32_t RxSum = 0, RxCheck = 0;
    int WaitCount = 0;
    uint32_t ErrorWord = 0;
    RetData Reply = {};
    long ExchangeLimitMs = LINK_MAX_EXCHANGE_MS; // tests shorten it
    char LogFile[LINK_LOG_PATH_SIZE] = "fpllog.dat";
    int LogError = 0; // the system's error number of the last record that failed, else 0

    int WaitLimit = LINK_MAX_WAITS; // empty reads in a row before an exchange gives up
    PrinterLineStats Line = {};     // the line's account of the exchange under way or last done
    int64_t ExchangeStart = 0;      // when its request was written (SerialClockMicros)

    // The exchange trace (Trace.cpp).
    SerialFile TraceFile = SERIAL_FILE_INVALID;
    int TraceState = PRINTER_TRACE_OFF;
    int TracePort = 0;
    unsigned char TraceKind = TraceNone;             // the run of received bytes being gathered
    int64_t TraceSince = 0;                          // time of its first byte
    uint32_t TraceCount = 0;                         // its bytes, also those beyond the buffer
    uint32_t TraceExpected = 0;                      // a frame's length by its LEN byte, 0 unknown
    unsigned char TraceBytes[LINK_TRACE_BYTES] = {}; // its first bytes
    char TraceText[LINK_TRACE_TEXT] = {};            // records not yet written
    int TraceUsed = 0;
};

extern PrinterLinkState PrinterLink;

// Puts the link back into its start-up state (port closed, counters zero). Tests only.
void PrinterLinkReset();
// Builds the request frame for (seq byte, code, data) into out; gives its length, or -1 when
// the data do not fit. Exposed for tests and the fuzz target.
int PrinterBuildFrame(unsigned char* out, int size, unsigned char seq, int code, const char* data);
// Puts the link into the state of an exchange of this command that has sent its request and
// waits for the reply: nothing received, no fault, not ready. Tests and the fuzz target feed
// replies from here.
void PrinterAwaitReply(int code);
// Feeds one received byte to the receiver state machine, as PrinterReceive does after a read.
void PrinterReceiveByte(unsigned char byte);
// Hands the reply record to a window when no callback has been given: posts message, command
// code and record on the workstation (WindowWin32.cpp), fills the mailbox elsewhere
// (WindowMailbox.cpp). Kept apart from the serial calls, which know nothing of windows.
void PrinterPostReply(PrinterWindow window, unsigned message, unsigned code, RetData* record);

// The error-word bits of six status bytes, as a complete reply with a good checksum sets them.
uint32_t PrinterStatusWord(const unsigned char status[6]);

// The exchange trace (Trace.cpp). Each does nothing unless the trace file is open.
// Opens TR7042K_TRACE (when set) and notes that port n was opened at this rate.
void PrinterTraceOpen(int port, int baud, const char* path);
// Notes the close, writes what is gathered and lets the file go.
void PrinterTraceClose();
// The request frame as written, with how many of its bytes the port took.
void PrinterTraceSent(const unsigned char* frame, int length, int written);
// One received byte, before the receiver takes it.
void PrinterTraceByte(unsigned char byte);
// The exchange waits for the device: writes what is gathered.
void PrinterTraceIdle();
// The exchange's outcome, after the decode; writes the exchange's records out.
void PrinterTraceOutcome();
