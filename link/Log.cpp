// The exchange log "fpllog.dat": one six-line record per exchange, appended in Windows-1251.
#include "PrinterLink.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The longest record: three labelled lines and the data line, every line feed inside the data
// doubled to CR LF.
const int RecordSize = 3 * 64 + 2 * PRINTER_MAX_DATA + 64;

// Appends text the way the workstation's text mode writes it: every line feed becomes CR LF, also
// one inside request data, so a log written here reads byte for byte like one written there.
void Put(char* record, int& length, const char* text) {
    for (const char* p = text; *p; ++p) {
        if (*p == '\n' && length < RecordSize) record[length++] = '\r';
        if (length < RecordSize) record[length++] = *p;
    }
}

// Appends the whole record in one write; 0 or the system's error number.
int Append(const char* file, const char* record, int length) {
#ifdef _WIN32
    FILE* f = fopen(file, "ab");
    if (!f) return errno ? errno : EACCES;
    const bool ok = fwrite(record, 1, (size_t)length, f) == (size_t)length;
    const int error = ok ? 0 : (errno ? errno : EIO);
    return fclose(f) == 0 ? error : (error ? error : EIO);
#else
    // Never through a symbolic link (one placed there would make the log land in another file),
    // never anything but a plain file (a pipe would stall the exchange), and only ever appended.
    const int fd =
        open(file, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return errno == ENXIO ? EINVAL : errno;
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    for (int done = 0; !error && done < length;) {
        const ssize_t n = write(fd, record + done, (size_t)(length - done));
        if (n > 0)
            done += (int)n;
        else if (n < 0 && errno != EINTR)
            error = errno;
        else if (n == 0)
            error = EIO;
    }
    if (close(fd) != 0 && !error) error = errno;
    return error;
#endif
}

} // namespace

void PrinterLogExchange(int code, const char* data, uint32_t errorWord) {
    // A log that cannot be written costs only this record; the exchange's result and delivery
    // stay as they are, and the caller may ask PrinterLogError why.
    char record[RecordSize + 1];
    char line[200];
    int length = 0;
    Put(record, length, " \n");
    snprintf(line, sizeof line, "\xCA\xEE\xE4 \xEA\xEE\xEC\xE0\xED\xE4\xFB:%d",
             code); // "Код команды:"
    Put(record, length, line);
    Put(record, length, " \n");
    snprintf(line, sizeof line, "\xC4\xE0\xED\xED\xFB\xE5: %s", data ? data : ""); // "Данные: "
    Put(record, length, line);
    Put(record, length, " \n");
    snprintf(line, sizeof line, "\xD1\xF2\xE0\xF2\xF3\xF1: %x", (unsigned)errorWord); // "Статус: "
    Put(record, length, line);
    PrinterLink.LogError = Append(PrinterLink.LogFile, record, length);
}

bool PrinterSetLogFolder(const char* folder) {
    char path[LINK_LOG_PATH_SIZE];
    const int n = folder && *folder ? snprintf(path, sizeof path, "%s/fpllog.dat", folder)
                                    : snprintf(path, sizeof path, "fpllog.dat");
    if (n <= 0 || n >= (int)sizeof path) return false;
    memcpy(PrinterLink.LogFile, path, (size_t)n + 1);
    return true;
}

const char* PrinterLogFile() {
    return PrinterLink.LogFile;
}

int PrinterLogError() {
    return PrinterLink.LogError;
}
