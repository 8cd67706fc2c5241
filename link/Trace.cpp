// The exchange trace: when TR7042K_TRACE names a file, every frame that goes out or comes in is
// appended to it, one line each, in Windows-1251 with CR LF line ends like "fpllog.dat":
//
//   <microseconds> COM<n> > <hex> | request: command, name, SEQ, data
//   <microseconds> COM<n> < <hex> | what came back: a reply (command, SEQ, data, status bits by
//                                   name, checksum), NAK, a run of SYN, an incomplete frame, or
//                                   bytes outside any frame
//   <microseconds> COM<n> = <error word> | the exchange's outcome: its bits by name, its time and
//                                          the bytes each way
//   <microseconds> COM<n> # the port opened (path, baud rate) or closed
//
// The time is a monotonic clock, so records of several processes appending to one file sort
// together. Received bytes are gathered into runs as they arrive and the records are written
// with the outcome in one write, so that tracing costs an answered exchange one write and no
// allocation; an exchange that waits (an empty read, a device at work) writes what it has
// gathered meanwhile, so a trace watched as it grows never lags behind a wait.
#include "PrinterLink.h"

#include <stdlib.h>
#include <string.h>

namespace {

PrinterLinkState& L = PrinterLink;

const unsigned char SOH = 0x01, ETX = 0x03, NAK = 0x15, SYN = 0x16;
const uint32_t HexShownOfRun = 32; // bytes of a SYN run or of noise dumped in hex

const char* const BitNames[32] = {
    "ERR_SYNTAX",
    "ERR_BAD_COMMAND",
    "ERR_CLOCK",
    "ERR_PRINTER",
    "ERR_OVERFLOW",
    "ERR_NOT_ALLOWED",
    "ERR_RAM_CLEARED",
    "ST_RETURN_RECEIPT",
    "ERR_RAM_CLEARED2",
    "ERR_NO_PAPER",
    "ST_FISCAL_RECEIPT",
    "ST_NONFISCAL_RECEIPT",
    "ST_S1_BIT5",
    "ERR_NO_FM_MODULE",
    "ST_FISCAL_NUMBER_SET",
    "",
    "ERR_FM_WRITE",
    "ERR_FM_FULL",
    "ERR_FM_READ_ONLY",
    "ERR_LAST_Z",
    "ERR_FM_LOW",
    "ST_FM_FORMATTED",
    "ST_FISCALIZED",
    "ST_SERIAL_SET",
    "ERR_PROTOCOL",
    "ERR_NAK",
    "ERR_TIMEOUT",
    "ERR_GENERAL",
    "ERR_FM_GENERAL",
    "",
    "",
    "",
};

// One record under construction: bounded appends, cut at the record's size.
struct Record {
    char Text[LINK_TRACE_RECORD];
    int Used;
};

void Put(Record& r, const char* text, int n) {
    if (n > (int)sizeof r.Text - r.Used) n = (int)sizeof r.Text - r.Used;
    if (n <= 0) return;
    memcpy(r.Text + r.Used, text, (size_t)n);
    r.Used += n;
}

void Put(Record& r, const char* text) {
    Put(r, text, (int)strlen(text));
}

void PutDecimal(Record& r, uint64_t value) {
    char digits[24];
    int n = 0;
    do {
        digits[sizeof digits - 1 - n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value && n < (int)sizeof digits);
    Put(r, digits + sizeof digits - n, n);
}

void PutHex(Record& r, uint32_t value, int digits) {
    static const char Hex[] = "0123456789ABCDEF";
    char text[8];
    for (int i = 0; i < digits && i < 8; ++i)
        text[i] = Hex[(value >> (4 * (digits - 1 - i))) & 0xF];
    Put(r, text, digits < 8 ? digits : 8);
}

void PutBytes(Record& r, const unsigned char* bytes, uint32_t shown, uint32_t total) {
    for (uint32_t i = 0; i < shown; ++i) {
        if (i) Put(r, " ", 1);
        PutHex(r, bytes[i], 2);
    }
    if (total > shown) {
        Put(r, " ... (\xE5\xF9\xB8 "); // "ещё "
        PutDecimal(r, total - shown);
        Put(r, ")");
    }
}

// Request or reply data as text: printable bytes as they are, the rest (and the quote and the
// backslash) as \xHH, so a record always stays on one line.
void PutData(Record& r, const unsigned char* data, int n) {
    Put(r, "\"");
    for (int i = 0; i < n; ++i) {
        unsigned char c = data[i];
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            Put(r, "\\x");
            PutHex(r, c, 2);
        } else {
            Put(r, (const char*)&c, 1);
        }
    }
    Put(r, "\"");
}

void PutBitNames(Record& r, uint32_t word) {
    if (!word) {
        Put(r, "\xE1\xE5\xE7 \xEE\xF8\xE8\xE1\xEE\xEA"); // "без ошибок"
        return;
    }
    bool first = true;
    for (int bit = 0; bit < 32; ++bit) {
        if (!(word & (1u << bit))) continue;
        if (!first) Put(r, " ");
        first = false;
        if (BitNames[bit][0]) {
            Put(r, BitNames[bit]);
        } else {
            Put(r, "0x");
            PutHex(r, 1u << bit, 8);
        }
    }
}

void PutCommand(Record& r, int code, int seq) {
    Put(r, "0x");
    PutHex(r, (uint32_t)code & 0xFF, 2);
    Put(r, " ");
    Put(r, PrinterCommandName(code));
    Put(r, ", SEQ 0x");
    PutHex(r, (uint32_t)seq & 0xFF, 2);
}

void Begin(Record& r, int64_t micros, char mark) {
    r.Used = 0;
    PutDecimal(r, micros < 0 ? 0 : (uint64_t)micros);
    Put(r, " COM");
    PutDecimal(r, L.TracePort < 0 ? 0 : (uint64_t)L.TracePort);
    Put(r, " ");
    Put(r, &mark, 1);
    Put(r, " ");
}

// Writes out what has been gathered.
void Flush() {
    if (L.TraceUsed > 0 && !SerialFileWrite(L.TraceFile, L.TraceText, L.TraceUsed))
        L.TraceState = PRINTER_TRACE_WRITE_FAILED;
    L.TraceUsed = 0;
}

// Adds a finished record (with its line end) to the text to be written.
void Keep(Record& r) {
    if (r.Used > (int)sizeof r.Text - 2) r.Used = (int)sizeof r.Text - 2;
    r.Text[r.Used++] = '\r';
    r.Text[r.Used++] = '\n';
    if (L.TraceUsed + r.Used > (int)sizeof L.TraceText) Flush();
    memcpy(L.TraceText + L.TraceUsed, r.Text, (size_t)r.Used);
    L.TraceUsed += r.Used;
}

// A run that began with SOH: a reply frame, complete or not.
void DescribeFrame(Record& r) {
    const unsigned char* b = L.TraceBytes;
    uint32_t n = L.TraceCount;
    uint32_t d = n >= 2 && b[1] >= 0x2B ? (uint32_t)(b[1] - 0x2B) : 0;
    bool complete = n >= 17 && b[1] >= 0x2B && n == d + 17 && n <= LINK_TRACE_BYTES &&
                    b[4 + d] == 0x04 && b[11 + d] == 0x05 && b[n - 1] == ETX;
    if (!complete) {
        Put(r, "\xED\xE5\xEF\xEE\xEB\xED\xFB\xE9 \xEA\xE0\xE4\xF0: "); // "неполный кадр: "
        PutDecimal(r, n);
        Put(r, " \xE1\xE0\xE9\xF2"); // " байт"
        return;
    }
    uint32_t sum = 0, check = 0;
    for (uint32_t i = 1; i <= 11 + d; ++i)
        sum += b[i];
    for (uint32_t i = 12 + d; i < 16 + d; ++i)
        check = check * 16 + b[i] - 0x30;
    Put(r, "\xEE\xF2\xE2\xE5\xF2 "); // "ответ "
    PutCommand(r, b[3], b[2]);
    Put(r, ", \xE4\xE0\xED\xED\xFB\xE5 "); // ", данные "
    PutData(r, b + 4, (int)d);
    Put(r, ", \xF1\xF2\xE0\xF2\xF3\xF1 "); // ", статус "
    PutBitNames(r, PrinterStatusWord(b + 5 + d));
    if (check == sum) {
        Put(r, "; \xEA\xEE\xED\xF2\xF0\xEE\xEB\xFC\xED\xE0\xFF \xF1\xF3\xEC\xEC\xE0 "
               "\xE2\xE5\xF0\xED\xE0"); // "; контрольная сумма верна"
    } else {
        // "; контрольная сумма неверна: в кадре XXXX, по байтам YYYY"
        Put(r, "; \xEA\xEE\xED\xF2\xF0\xEE\xEB\xFC\xED\xE0\xFF \xF1\xF3\xEC\xEC\xE0 "
               "\xED\xE5\xE2\xE5\xF0\xED\xE0: \xE2 \xEA\xE0\xE4\xF0\xE5 ");
        PutHex(r, check, 4);
        Put(r, ", \xEF\xEE \xE1\xE0\xE9\xF2\xE0\xEC ");
        PutHex(r, sum, 4);
    }
}

// Writes the record of the run being gathered, if any, and starts none.
void EndRun() {
    if (L.TraceKind == TraceNone) return;
    Record r;
    Begin(r, L.TraceSince, '<');
    uint32_t stored =
        L.TraceCount < (uint32_t)LINK_TRACE_BYTES ? L.TraceCount : (uint32_t)LINK_TRACE_BYTES;
    if (L.TraceKind != TraceFrame && stored > HexShownOfRun) stored = HexShownOfRun;
    PutBytes(r, L.TraceBytes, stored, L.TraceCount);
    Put(r, " | ");
    if (L.TraceKind == TraceFrame) {
        DescribeFrame(r);
    } else if (L.TraceKind == TraceSyn) {
        Put(r, "SYN x");
        PutDecimal(r, L.TraceCount);
        Put(r, ": \xEF\xF0\xE8\xED\xF2\xE5\xF0 \xE7\xE0\xED\xFF\xF2"); // ": принтер занят"
    } else {
        Put(r, "\xE1\xE0\xE9\xF2\xFB \xE2\xED\xE5 \xEA\xE0\xE4\xF0\xE0: "); // "байты вне кадра: "
        PutDecimal(r, L.TraceCount);
    }
    Keep(r);
    L.TraceKind = TraceNone;
    L.TraceCount = 0;
    L.TraceExpected = 0;
}

void StartRun(unsigned char kind) {
    EndRun();
    L.TraceKind = kind;
    L.TraceSince = SerialClockMicros();
    // A device at work keeps the exchange waiting: time enough to write what is gathered, so a
    // trace watched as it grows shows the request at once.
    if (kind == TraceSyn) Flush();
}

void AddToRun(unsigned char byte) {
    if (L.TraceCount < LINK_TRACE_BYTES) L.TraceBytes[L.TraceCount] = byte;
    L.TraceCount++;
}

void Note(const char* what, const char* path, int baud) {
    Record r;
    Begin(r, SerialClockMicros(), '#');
    Put(r, what);
    if (path) {
        Put(r, " ");
        Put(r, path);
        Put(r, ", ");
        PutDecimal(r, baud < 0 ? 0 : (uint64_t)baud);
        Put(r, " \xE1\xEE\xE4"); // " бод"
    }
    Keep(r);
    Flush();
}

} // namespace

int PrinterTraceState() {
    return L.TraceState;
}

void PrinterTraceOpen(int port, int baud, const char* path) {
    L.TracePort = port;
    if (L.TraceFile == SERIAL_FILE_INVALID) {
        const char* name = getenv("TR7042K_TRACE");
        if (!name || !*name) {
            L.TraceState = PRINTER_TRACE_OFF;
            return;
        }
        SerialFileProblem problem = SERIAL_FILE_OK;
        L.TraceFile = SerialFileAppendOpen(name, &problem);
        switch (problem) {
        case SERIAL_FILE_OK:
            L.TraceState = PRINTER_TRACE_ON;
            break;
        case SERIAL_FILE_SYMLINK:
            L.TraceState = PRINTER_TRACE_SYMLINK;
            break;
        case SERIAL_FILE_NOT_FILE:
            L.TraceState = PRINTER_TRACE_NOT_FILE;
            break;
        case SERIAL_FILE_DENIED:
            L.TraceState = PRINTER_TRACE_DENIED;
            break;
        case SERIAL_FILE_NO_FOLDER:
            L.TraceState = PRINTER_TRACE_NO_FOLDER;
            break;
        default:
            L.TraceState = PRINTER_TRACE_FAILED;
            break;
        }
        if (L.TraceFile == SERIAL_FILE_INVALID) return;
    }
    L.TraceKind = TraceNone;
    L.TraceCount = 0;
    L.TraceUsed = 0;
    Note("\xEE\xF2\xEA\xF0\xFB\xF2", path, baud); // "открыт"
}

void PrinterTraceClose() {
    if (L.TraceFile == SERIAL_FILE_INVALID) return;
    EndRun();
    Note("\xE7\xE0\xEA\xF0\xFB\xF2", nullptr, 0); // "закрыт"
    SerialFileClose(L.TraceFile);
    L.TraceFile = SERIAL_FILE_INVALID;
    if (L.TraceState == PRINTER_TRACE_ON) L.TraceState = PRINTER_TRACE_OFF;
}

void PrinterTraceSent(const unsigned char* frame, int length, int written) {
    if (L.TraceFile == SERIAL_FILE_INVALID) return;
    EndRun(); // bytes left from before the request belong to the exchange before
    Record r;
    Begin(r, L.ExchangeStart, '>');
    PutBytes(r, frame, (uint32_t)length, (uint32_t)length);
    Put(r, " | \xE7\xE0\xEF\xF0\xEE\xF1 "); // " | запрос "
    PutCommand(r, frame[3], frame[2]);
    Put(r, ", \xE4\xE0\xED\xED\xFB\xE5 "); // ", данные "
    PutData(r, frame + 4, length - 10);
    if (written != length) {
        Put(r, "; \xEF\xEE\xF0\xF2 \xEF\xF0\xE8\xED\xFF\xEB "); // "; порт принял "
        PutDecimal(r, written > 0 ? (uint64_t)written : 0);
        Put(r, " \xE8\xE7 "); // " из "
        PutDecimal(r, (uint64_t)length);
        Put(r, " \xE1\xE0\xE9\xF2"); // " байт"
    }
    Keep(r); // written with the outcome, or as soon as the link waits
}

void PrinterTraceIdle() {
    if (L.TraceFile != SERIAL_FILE_INVALID) Flush();
}

void PrinterTraceByte(unsigned char byte) {
    if (byte == SOH) {
        StartRun(TraceFrame);
        AddToRun(byte);
        return;
    }
    if (L.TraceKind == TraceFrame) {
        if (byte == NAK) {
            EndRun();
        } else {
            AddToRun(byte);
            if (L.TraceCount == 2 && byte >= 0x2B) L.TraceExpected = byte - 0x2Bu + 17;
            // A frame ends at its ETX (where the receiver takes it as complete) or at its length.
            if (byte == ETX || L.TraceCount == L.TraceExpected) EndRun();
            return;
        }
    }
    if (byte == NAK) {
        EndRun();
        Record r;
        Begin(r, SerialClockMicros(), '<');
        Put(r, "15 | NAK");
        Keep(r);
        return;
    }
    unsigned char kind = byte == SYN ? TraceSyn : TraceNoise;
    if (L.TraceKind != kind) StartRun(kind);
    AddToRun(byte);
}

void PrinterTraceOutcome() {
    EndRun();
    Record r;
    uint32_t word = L.Reply.ErrorWord;
    Begin(r, SerialClockMicros(), '=');
    PutHex(r, word, 8);
    Put(r, " | ");
    PutBitNames(r, word);
    if (word & ERR_TIMEOUT) {
        Put(r, "; \xF2\xE0\xE9\xEC\xE0\xF3\xF2: "); // "; таймаут: "
        PutDecimal(r, (uint64_t)L.WaitLimit);
        // " пустых чтений подряд по 100 мс"
        Put(r, " \xEF\xF3\xF1\xF2\xFB\xF5 \xF7\xF2\xE5\xED\xE8\xE9 \xEF\xEE\xE4\xF0\xFF\xE4 "
               "\xEF\xEE 100 \xEC\xF1");
    }
    Put(r, "; \xEE\xE1\xEC\xE5\xED "); // "; обмен "
    PutDecimal(r, L.Line.Micros);
    Put(r, " \xEC\xEA\xF1, \xEE\xF2\xEF\xF0\xE0\xE2\xEB\xE5\xED\xEE "); // " мкс, отправлено "
    PutDecimal(r, L.Line.BytesSent);
    Put(r, ", \xEF\xF0\xE8\xED\xFF\xF2\xEE "); // ", принято "
    PutDecimal(r, L.Line.BytesReceived);
    Put(r, " \xE1\xE0\xE9\xF2"); // " байт"
    Keep(r);
    Flush();
}
