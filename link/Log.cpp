// The exchange log "fpllog.dat": one six-line record per exchange, appended in Windows-1251.
#include "PrinterLink.h"

#include <stdio.h>

namespace {

// Writes text the way the workstation's text mode does: every line feed becomes CR LF, also
// one inside request data, so a log written here reads byte for byte like one written there.
bool Put(FILE* f, const char* text) {
    for (const char* p = text; *p; ++p) {
        if (*p == '\n' && fputc('\r', f) == EOF) return false;
        if (fputc((unsigned char)*p, f) == EOF) return false;
    }
    return true;
}

} // namespace

void PrinterLogExchange(int code, const char* data, uint32_t errorWord) {
    // A log that cannot be written costs only this record; the caller already has its reply.
    FILE* f = fopen("fpllog.dat", "ab");
    if (!f) return;
    char line[200];
    bool ok = Put(f, " \n");
    snprintf(line, sizeof line, "\xCA\xEE\xE4 \xEA\xEE\xEC\xE0\xED\xE4\xFB:%d",
             code); // "Код команды:"
    ok = ok && Put(f, line) && Put(f, " \n");
    snprintf(line, sizeof line, "\xC4\xE0\xED\xED\xFB\xE5: %s", data ? data : ""); // "Данные: "
    ok = ok && Put(f, line) && Put(f, " \n");
    snprintf(line, sizeof line, "\xD1\xF2\xE0\xF2\xF3\xF1: %x", (unsigned)errorWord); // "Статус: "
    ok = ok && Put(f, line);
    (void)ok;
    fclose(f);
}
