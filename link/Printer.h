// The printer link: the TR7042K serial protocol and the only code that touches the port.
//
// One exchange at a time, on the caller's thread. Every wrapper below frames one device command,
// sends it, waits for the reply, decodes it into the one RetData record and hands that record to
// the caller's callback (or posts it to a window), then appends the exchange to "fpllog.dat".
// Text goes through unchanged: everything passed in or delivered is Windows-1251 bytes.
#pragma once

#include <stdint.h>

// The reply record of one exchange. Every pointer points into the link's own buffers and stays
// valid until the next exchange starts; callers copy what they need at once.
struct RetData {
    int FieldCount;          // number of data fields; 0 when the reply carried no data
    int Command;             // command code of the exchange
    int Tag;                 // the caller's tag, unchanged
    uint32_t ErrorWord;      // device errors, device state and link conditions (bits below)
    const char* CommandName; // display name of the command
    const char* SentData;    // the request's data string as passed by the caller
    const char* RawReply;    // reply data before fix-ups and splitting (at most 128 bytes)
    const char* Fields[20];  // fields 0 .. FieldCount-1; slots beyond the count are stale
    unsigned char Status[6]; // status bytes S0..S5, bit 7 cleared
};

// Error-word bits. ERR_ bits are errors; ST_ bits report the device's state.
enum : uint32_t {
    ERR_SYNTAX = 0x00000001u,           // S0 bit 0: syntax error in the command
    ERR_BAD_COMMAND = 0x00000002u,      // S0 bit 1: invalid command code
    ERR_CLOCK = 0x00000004u,            // S0 bit 2: date and time invalid
    ERR_PRINTER = 0x00000008u,          // S0 bit 4: printing error
    ERR_OVERFLOW = 0x00000010u,         // S1 bit 0: arithmetic overflow
    ERR_NOT_ALLOWED = 0x00000020u,      // S1 bit 1: command not permitted
    ERR_RAM_CLEARED = 0x00000040u,      // S1 bit 2: working memory cleared
    ST_RETURN_RECEIPT = 0x00000080u,    // S1 bit 3: the open receipt is a return receipt
    ERR_RAM_CLEARED2 = 0x00000100u,     // S1 bit 4: working memory cleared (second indication)
    ERR_NO_PAPER = 0x00000200u,         // S2 bit 0: out of paper
    ST_FISCAL_RECEIPT = 0x00000400u,    // S2 bit 3: a fiscal (or return) receipt is open
    ST_NONFISCAL_RECEIPT = 0x00000800u, // S2 bit 5: a non-fiscal receipt is open
    ST_S1_BIT5 = 0x00001000u,           // S1 bit 5: passed on, not interpreted
    ERR_NO_FM_MODULE = 0x00002000u,     // S4 bit 2: no fiscal memory module
    ST_FISCAL_NUMBER_SET = 0x00004000u, // S5 bit 5: fiscal number has been set
    ERR_FM_WRITE = 0x00010000u,         // S4 bit 0: error writing to the fiscal memory
    ERR_FM_FULL = 0x00020000u,          // S4 bit 4: fiscal memory full
    ERR_FM_READ_ONLY = 0x00040000u,     // S5 bit 0: writing to the fiscal memory is barred
    ERR_LAST_Z = 0x00080000u,           // S5 bit 2: error in the last Z report
    ERR_FM_LOW = 0x00100000u,           // S4 bit 3: little room left in the fiscal memory
    ST_FM_FORMATTED = 0x00200000u,      // S5 bit 1: fiscal memory has been formatted
    ST_FISCALIZED = 0x00400000u,        // S5 bit 3: the device has been fiscalized
    ST_SERIAL_SET = 0x00800000u,        // S5 bit 4: factory serial number has been set
    ERR_PROTOCOL = 0x01000000u,         // link: reply checksum did not match
    ERR_NAK = 0x02000000u,              // link: the device answered NAK
    ERR_TIMEOUT = 0x04000000u,          // link: no complete reply before the wait gave up
    ERR_GENERAL = 0x08000000u,          // S0 bit 5: general error
    ERR_FM_GENERAL = 0x10000000u,       // S4 bit 5: general fiscal memory error
};

// Where a reply goes when no callback has been given. On the workstation this is a window
// handle and the record is posted to it as message PRINTER_REPLY_MESSAGE. Elsewhere a "window"
// is a mailbox that the link fills in the same terms.
#ifdef _WIN32
typedef void* PrinterWindow;
#else
struct PrinterMailbox {
    unsigned Message; // PRINTER_REPLY_MESSAGE
    unsigned WParam;  // command code
    RetData* LParam;  // the link's record
    unsigned Posted;  // number of replies posted so far
};
typedef PrinterMailbox* PrinterWindow;
#endif

enum : unsigned { PRINTER_REPLY_MESSAGE = 0x1099u };

typedef void (*PrinterCallback)(RetData&);

// Port. PrinterOpenPort gives the port handle as an int, or -1 when the port cannot be opened
// (missing, held by another program, access denied). PrinterClosePort gives nonzero on success
// and when no port was open, 0 when the close call failed; the port is let go of either way.
int PrinterOpenPort(int port, int baud);
int PrinterClosePort();
// For a signal handler that ends the process at once (`_exit`, skipping the release at exit):
// lets go of the port the way a quit signal does, async-signal-safe, nothing drained or sent.
void PrinterReleaseAtOnce();

// Exchange. -1: the link is not ready (never opened, or an exchange is under way), or the data
// string is longer than a frame carries; nothing is sent then. 0: the exchange ran; its outcome
// is in the delivered record's ErrorWord.
int PrinterCommand(PrinterWindow window, PrinterCallback callback, int tag, int code,
                   const char* data);
int PrinterExchangeCallback(PrinterCallback callback, int tag, int code, const char* data);
int PrinterExchange(PrinterWindow window, int tag, int code, const char* data);

// What the last exchange did on the line, for diagnosing the line (tr7042k-ports line, probe).
struct PrinterLineStats {
    uint32_t BytesSent;     // request bytes the port took
    uint32_t BytesReceived; // every byte read, whatever it was
    uint32_t SynReceived;   // SYN bytes: the device said it was at work
    uint32_t NoiseReceived; // bytes outside any frame that were neither SOH, SYN nor NAK
    uint32_t FrameOpen;     // 1: the wait ended in the middle of a reply frame (cut short)
    uint32_t Micros;        // from the request's write to the end of the reply or of the wait
};
void PrinterGetLineStats(PrinterLineStats* stats);

// How many empty reads of 100 ms in a row an exchange waits before it gives up: 50 (about
// 5 seconds) unless changed. Gives the number before the change; values below 1 count as 1.
int PrinterSetReplyWait(int emptyReads);

// The exchange trace. When the environment variable TR7042K_TRACE names a file at
// PrinterOpenPort, every frame sent and received until PrinterClosePort is appended to it with
// its time, raw bytes and meaning. The state says whether that is happening, and if the file
// could not be opened, why.
enum PrinterTraceStateCode {
    PRINTER_TRACE_OFF = 0,      // TR7042K_TRACE is not set
    PRINTER_TRACE_ON,           // frames are being written
    PRINTER_TRACE_SYMLINK,      // the name is a symbolic link, which is never followed
    PRINTER_TRACE_NOT_FILE,     // a folder, device or pipe, not a regular file
    PRINTER_TRACE_DENIED,       // no permission to write or create it
    PRINTER_TRACE_NO_FOLDER,    // its folder does not exist
    PRINTER_TRACE_FAILED,       // it could not be opened for another reason
    PRINTER_TRACE_WRITE_FAILED, // it was opened, but a write failed (a full disk)
};
int PrinterTraceState();

// Reads at most one byte and feeds it to the reply receiver: 1 when a byte was read, else 0.
int PrinterReceive();
// Judges the finished exchange and fills the reply record.
void PrinterDecodeReply();
// Appends one record to the exchange log "fpllog.dat" (in the current directory unless another
// folder was given). Every exchange writes its record before its reply is delivered.
void PrinterLogExchange(int code, const char* data, uint32_t errorWord);
// Keeps the exchange log in the folder given (made by the caller) instead of the current one; an
// empty or null folder means the current one again. False, the log staying where it was, when
// the path does not fit.
bool PrinterSetLogFolder(const char* folder);
// The log's file name as the link opens it: "fpllog.dat", or "<folder>/fpllog.dat".
const char* PrinterLogFile();
// 0 when the last record was written; else the system's error number of its failure. ELOOP: the
// log is a symbolic link, which is never followed; EINVAL: it is no plain file.
int PrinterLogError();
// Display name of a command code; never null, never empty.
const char* PrinterCommandName(int code);

// Longest data string a request frame carries.
enum : int { PRINTER_MAX_DATA = 189 };

// Command wrappers: (window, callback, tag) are passed on to PrinterCommand; the rest are the
// command's own arguments. A negative result is the wrapper's own refusal: nothing was sent.
int PrinterClearDisplay(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterDisplayLowerLine(PrinterWindow window, PrinterCallback callback, int tag,
                            const char* text);
int PrinterOpenNonFiscalReceipt(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterCloseNonFiscalReceipt(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterPrintNonFiscalText(PrinterWindow window, PrinterCallback callback, int tag,
                              const char* text);
int PrinterSetHeaderFooter(PrinterWindow window, PrinterCallback callback, int tag, int item,
                           const char* text);
int PrinterCutReceipt(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterDisplayUpperLine(PrinterWindow window, PrinterCallback callback, int tag,
                            const char* text);
int PrinterOpenFiscalReceipt(PrinterWindow window, PrinterCallback callback, int tag,
                             unsigned long op, const char* password, unsigned long till);
int PrinterSubtotal(PrinterWindow window, PrinterCallback callback, int tag, int print, int display,
                    double percent, double amount);
int PrinterRegisterSale(PrinterWindow window, PrinterCallback callback, int tag,
                        unsigned char positive, int article, double quantity, double percent,
                        double amount);
int PrinterTotal(PrinterWindow window, PrinterCallback callback, int tag, const char* text,
                 char payment, double amount);
int PrinterPrintFiscalText(PrinterWindow window, PrinterCallback callback, int tag,
                           const char* text);
int PrinterCloseFiscalReceipt(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterCancelReceipt(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterSetDateTime(PrinterWindow window, PrinterCallback callback, int tag, const char* date,
                       const char* time);
int PrinterGetDateTime(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterDailyReport(PrinterWindow window, PrinterCallback callback, int tag,
                       const char* password, char kind);
int PrinterCashInOut(PrinterWindow window, PrinterCallback callback, int tag, double amount);
int PrinterPrintDiagnostics(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterFullReportByNumber(PrinterWindow window, PrinterCallback callback, int tag,
                              const char* password, int first, int last);
int PrinterGetStatus(PrinterWindow window, PrinterCallback callback, int tag, int flag);
int PrinterShortReportByDate(PrinterWindow window, PrinterCallback callback, int tag,
                             const char* password, const char* from, const char* to);
int PrinterBeep(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterOpenReturnReceipt(PrinterWindow window, PrinterCallback callback, int tag,
                             unsigned long op, const char* password, unsigned long till);
int PrinterGetDiagnostics(PrinterWindow window, PrinterCallback callback, int tag, int flag);
int PrinterFullReportByDate(PrinterWindow window, PrinterCallback callback, int tag,
                            const char* password, const char* from, const char* to);
int PrinterShortReportByNumber(PrinterWindow window, PrinterCallback callback, int tag,
                               const char* password, int first, int last);
int PrinterGetTaxRates(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterGetTaxNumber(PrinterWindow window, PrinterCallback callback, int tag);
int PrinterSetOperatorPassword(PrinterWindow window, PrinterCallback callback, int tag, int op,
                               const char* oldPassword, const char* newPassword);
int PrinterOpenDrawer(PrinterWindow window, PrinterCallback callback, int tag, int pulse);
int PrinterProgramArticle(PrinterWindow window, PrinterCallback callback, int tag,
                          unsigned char taxGroup, int article, int group, double price,
                          const char* password, const char* name);
int PrinterDeleteArticles(PrinterWindow window, PrinterCallback callback, int tag, int article,
                          const char* password);
int PrinterArticlesReport(PrinterWindow window, PrinterCallback callback, int tag,
                          const char* password, char kind);
int PrinterResetOperatorPassword(PrinterWindow window, PrinterCallback callback, int tag, int op,
                                 const char* password);
