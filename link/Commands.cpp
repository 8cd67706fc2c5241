// One wrapper per device command: checks its arguments, builds the command's data string in
// CommandBuffer and hands it to PrinterCommand. Every format is bounded; a data string that
// would not fit the buffer or a frame is refused with -1 and nothing is sent.
#include "PrinterLink.h"

#include <locale.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

// printf-style checking of a format and its arguments, where the compiler offers it.
#if defined(__GNUC__)
#define PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PRINTF_FORMAT(fmt, args)
#endif

namespace {

// A data string under construction in CommandBuffer.
struct Data {
    char* Text = PrinterLink.CommandBuffer;
    int Length = 0;
    bool Fits = true;

    Data() { Text[0] = 0; }

    void Add(const char* format, ...) PRINTF_FORMAT(2, 3) {
        if (!Fits) return;
        int room = LINK_COMMAND_SIZE - Length;
        va_list args;
        va_start(args, format);
        int n = vsnprintf(Text + Length, (size_t)room, format, args);
        va_end(args);
        if (n < 0 || n >= room) {
            Fits = false;
            Text[Length] = 0;
            return;
        }
        Length += n;
    }

    // A number with a fixed count of decimals and always a decimal point ("%-#.2lf"), written
    // with a point whatever the process locale says: the device reads only "12.50".
    void AddFixed(double value, int decimals) {
        // "nan" or "inf" is no amount the device can take: the data string is refused.
        if (!isfinite(value)) {
            Fits = false;
            return;
        }
        char number[64];
        int n = snprintf(number, sizeof number, "%#.*f", decimals, value);
        if (n < 0 || n >= (int)sizeof number) {
            Fits = false;
            return;
        }
        const char* point = localeconv()->decimal_point;
        size_t pointLength = point ? strlen(point) : 0;
        if (pointLength && strcmp(point, ".") != 0) {
            char* at = strstr(number, point);
            if (at) {
                *at = '.';
                memmove(at + 1, at + pointLength, strlen(at + pointLength) + 1);
            }
        }
        Add("%s", number);
    }

    int Send(PrinterWindow window, PrinterCallback callback, int tag, int code) const {
        if (!Fits || Length > PRINTER_MAX_DATA) return -1;
        return PrinterCommand(window, callback, tag, code, Text);
    }
};

const char* Str(const char* s) {
    return s ? s : "";
}

int Plain(PrinterWindow w, PrinterCallback cb, int tag, int code, const char* text) {
    Data d;
    d.Add("%s", Str(text));
    return d.Send(w, cb, tag, code);
}

int Empty(PrinterWindow w, PrinterCallback cb, int tag, int code) {
    return PrinterCommand(w, cb, tag, code, "");
}

int OpenReceipt(PrinterWindow w, PrinterCallback cb, int tag, int code, unsigned long op,
                const char* password, unsigned long till) {
    Data d;
    d.Add("%05lu,%s,%05lu,I", op, Str(password), till);
    return d.Send(w, cb, tag, code);
}

int ReportByNumber(PrinterWindow w, PrinterCallback cb, int tag, int code, const char* password,
                   int first, int last) {
    Data d;
    d.Add("%s,%04d,%04d", Str(password), first, last);
    return d.Send(w, cb, tag, code);
}

} // namespace

int PrinterClearDisplay(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x21);
}

int PrinterDisplayLowerLine(PrinterWindow w, PrinterCallback cb, int tag, const char* text) {
    return Plain(w, cb, tag, 0x23, text);
}

int PrinterOpenNonFiscalReceipt(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x26);
}

int PrinterCloseNonFiscalReceipt(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x27);
}

int PrinterPrintNonFiscalText(PrinterWindow w, PrinterCallback cb, int tag, const char* text) {
    return Plain(w, cb, tag, 0x2A, text);
}

int PrinterSetHeaderFooter(PrinterWindow w, PrinterCallback cb, int tag, int item,
                           const char* text) {
    char first;
    if (item >= 0 && item <= 7)
        first = (char)('0' + item);
    else if (item == 'C' || item == 'L' || item == 'J' || item == 'I')
        first = (char)item;
    else
        return -1;
    Data d;
    d.Add("%c%s", first, Str(text));
    return d.Send(w, cb, tag, 0x2B);
}

int PrinterCutReceipt(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x2D);
}

int PrinterDisplayUpperLine(PrinterWindow w, PrinterCallback cb, int tag, const char* text) {
    return Plain(w, cb, tag, 0x2F, text);
}

int PrinterOpenFiscalReceipt(PrinterWindow w, PrinterCallback cb, int tag, unsigned long op,
                             const char* password, unsigned long till) {
    return OpenReceipt(w, cb, tag, 0x30, op, password, till);
}

int PrinterSubtotal(PrinterWindow w, PrinterCallback cb, int tag, int print, int display,
                    double percent, double amount) {
    if (percent != 0 && amount != 0) return -1;
    Data d;
    d.Add("%c%c", print ? '1' : '0', display ? '1' : '0');
    if (percent != 0) {
        d.Add(",");
        d.AddFixed(percent, 2);
    } else if (amount != 0) {
        d.Add(";");
        d.AddFixed(amount, 2);
    }
    return d.Send(w, cb, tag, 0x33);
}

int PrinterRegisterSale(PrinterWindow w, PrinterCallback cb, int tag, unsigned char positive,
                        int article, double quantity, double percent, double amount) {
    if (percent != 0 && amount != 0) return -1;
    if (!(quantity >= 0)) return -1; // below 0 or not a number; infinity is refused when written
    if (percent < -99.99 || percent > 99.99) return -1;
    Data d;
    d.Add("%s%d", positive ? "" : "-", article);
    if (quantity > 0) {
        d.Add("*");
        d.AddFixed(quantity, 3);
    }
    if (percent != 0) {
        d.Add(",");
        d.AddFixed(percent, 2);
    }
    if (amount != 0) {
        d.Add(";");
        d.AddFixed(amount, 2);
    }
    return d.Send(w, cb, tag, 0x34);
}

int PrinterTotal(PrinterWindow w, PrinterCallback cb, int tag, const char* text, char payment,
                 double amount) {
    Data d;
    d.Add("%s\t%c", Str(text), payment ? payment : 'P');
    d.AddFixed(amount, 2);
    return d.Send(w, cb, tag, 0x35);
}

int PrinterPrintFiscalText(PrinterWindow w, PrinterCallback cb, int tag, const char* text) {
    return Plain(w, cb, tag, 0x36, text);
}

int PrinterCloseFiscalReceipt(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x38);
}

int PrinterCancelReceipt(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x39);
}

int PrinterSetDateTime(PrinterWindow w, PrinterCallback cb, int tag, const char* date,
                       const char* time) {
    Data d;
    d.Add("%s %s", Str(date), Str(time));
    return d.Send(w, cb, tag, 0x3D);
}

int PrinterGetDateTime(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x3E);
}

int PrinterDailyReport(PrinterWindow w, PrinterCallback cb, int tag, const char* password,
                       char kind) {
    Data d;
    d.Add("%s,%c", Str(password), kind);
    return d.Send(w, cb, tag, 0x45);
}

int PrinterCashInOut(PrinterWindow w, PrinterCallback cb, int tag, double amount) {
    Data d;
    if (amount != 0) d.AddFixed(amount, 2); // the amount's two decimals are the device's money
    return d.Send(w, cb, tag, 0x46);
}

int PrinterPrintDiagnostics(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x47);
}

int PrinterFullReportByNumber(PrinterWindow w, PrinterCallback cb, int tag, const char* password,
                              int first, int last) {
    return ReportByNumber(w, cb, tag, 0x49, password, first, last);
}

int PrinterGetStatus(PrinterWindow w, PrinterCallback cb, int tag, int flag) {
    return PrinterCommand(w, cb, tag, 0x4A, flag ? "X" : "W");
}

int PrinterShortReportByDate(PrinterWindow w, PrinterCallback cb, int tag, const char* password,
                             const char* from, const char* to) {
    Data d;
    d.Add("%s,%s,%s", Str(password), Str(from), Str(to));
    return d.Send(w, cb, tag, 0x4F);
}

int PrinterBeep(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x50);
}

int PrinterOpenReturnReceipt(PrinterWindow w, PrinterCallback cb, int tag, unsigned long op,
                             const char* password, unsigned long till) {
    return OpenReceipt(w, cb, tag, 0x55, op, password, till);
}

int PrinterGetDiagnostics(PrinterWindow w, PrinterCallback cb, int tag, int flag) {
    return PrinterCommand(w, cb, tag, 0x5A, flag ? "1" : "0");
}

int PrinterFullReportByDate(PrinterWindow w, PrinterCallback cb, int tag, const char* password,
                            const char* from, const char* to) {
    Data d;
    d.Add("%s,%6s,%6s", Str(password), Str(from), Str(to));
    return d.Send(w, cb, tag, 0x5E);
}

int PrinterShortReportByNumber(PrinterWindow w, PrinterCallback cb, int tag, const char* password,
                               int first, int last) {
    return ReportByNumber(w, cb, tag, 0x5F, password, first, last);
}

int PrinterGetTaxRates(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x61);
}

int PrinterGetTaxNumber(PrinterWindow w, PrinterCallback cb, int tag) {
    return Empty(w, cb, tag, 0x63);
}

int PrinterSetOperatorPassword(PrinterWindow w, PrinterCallback cb, int tag, int op,
                               const char* oldPassword, const char* newPassword) {
    Data d;
    d.Add("%d,%s,%s", op, Str(oldPassword), Str(newPassword));
    return d.Send(w, cb, tag, 0x65);
}

int PrinterOpenDrawer(PrinterWindow w, PrinterCallback cb, int tag, int pulse) {
    Data d;
    if (pulse > 4) d.Add("%d", pulse); // 4 or less leaves the pulse to the device
    return d.Send(w, cb, tag, 0x6A);
}

int PrinterProgramArticle(PrinterWindow w, PrinterCallback cb, int tag, unsigned char taxGroup,
                          int article, int group, double price, const char* password,
                          const char* name) {
    if (article <= 0) return -1;
    // Tax groups А..Д, in Windows-1251 (0xC0..0xC4) or in the device's own code (0x80..0x84).
    bool ansi = taxGroup >= 0xC0 && taxGroup <= 0xC4;
    bool device = taxGroup >= 0x80 && taxGroup <= 0x84;
    if (!ansi && !device) return -2;
    if (group < 1 || group > 99) return -3;
    if (price <= 0 || !isfinite(price)) return -4;
    Data d;
    d.Add("P%c%d,%d,", (char)taxGroup, article, group);
    d.AddFixed(price, 2);
    d.Add(",%s,%s", Str(password), Str(name));
    return d.Send(w, cb, tag, 0x6B);
}

int PrinterDeleteArticles(PrinterWindow w, PrinterCallback cb, int tag, int article,
                          const char* password) {
    if (article < 0) return -1;
    Data d;
    if (article == 0)
        d.Add("DA,%s", Str(password));
    else
        d.Add("D%d,%s", article, Str(password));
    return d.Send(w, cb, tag, 0x6B);
}

int PrinterArticlesReport(PrinterWindow w, PrinterCallback cb, int tag, const char* password,
                          char kind) {
    if (kind != 'S' && kind != 'P' && kind != 'G') return -1;
    Data d;
    d.Add("%s,%c", Str(password), kind);
    return d.Send(w, cb, tag, 0x6F);
}

int PrinterResetOperatorPassword(PrinterWindow w, PrinterCallback cb, int tag, int op,
                                 const char* password) {
    if (op < 1 || op > 15) return -1;
    Data d;
    d.Add("%d,%s", op, Str(password));
    return d.Send(w, cb, tag, 0x77);
}
