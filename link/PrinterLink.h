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
};

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
