// The serial layer on the workstation: the Win32 comm API on \\.\COMn, synchronous I/O only.
#include "PrinterLink.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

const DWORD QueueSize = 1024;        // driver queues, larger than any frame
const SIZE_T ReceiveLockSize = 8192; // code of the receive routine kept in memory
const DWORD DrainPollMs = 10;

// The serial driver lets one program at a time open a port. Where the port is emulated (a
// pseudo-terminal under wine, say) nothing enforces that, so the link also marks the port it
// holds with a named object: while the object exists, a second program of ours is refused.
HANDLE PortMark = nullptr;
SerialHandle MarkedPort = SERIAL_INVALID;

HANDLE Port(SerialHandle h) {
    return (HANDLE)h;
}

bool Valid(SerialHandle h) {
    return h != SERIAL_INVALID && h != 0;
}

// Takes the mark of port n; false when another holder has it.
bool TakePortMark(int port, SerialHandle h) {
    char name[64];
    snprintf(name, sizeof name, "Global\\tr7042k-COM%d", port);
    HANDLE mark = CreateMutexA(nullptr, FALSE, name);
    DWORD error = GetLastError();
    if (mark && error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mark);
        return false;
    }
    // Denied: the object exists and belongs to a program of another user, who holds the port.
    // Any other failure leaves the driver's own exclusion, which is what counts on a real port.
    if (!mark) return error != ERROR_ACCESS_DENIED;
    PortMark = mark;
    MarkedPort = h;
    return true;
}

void LockReceivePath() {
    // Byte-by-byte reads with 100 ms time-outs must not wait for the receive routine to be paged
    // in. Locked once; the lock lasts as long as the process.
    static bool locked = false;
    if (locked) return;
    locked = true;
    VirtualLock(reinterpret_cast<LPVOID>(&PrinterReceive), ReceiveLockSize);
}

} // namespace

bool SerialPortPath(int port, char* path, size_t size) {
    if (port < 1 || !path || size == 0) return false;
    // The device namespace form serves every port number, 10 and above included.
    int n = snprintf(path, size, "\\\\.\\COM%d", port);
    return n > 0 && n < (int)size;
}

SerialHandle SerialOpen(int port) {
    LockReceivePath();
    char path[32];
    if (!SerialPortPath(port, path, sizeof path)) return SERIAL_INVALID;
    HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return SERIAL_INVALID;
    SerialHandle handle = (SerialHandle)h;
    if (!TakePortMark(port, handle)) {
        CloseHandle(h);
        return SERIAL_INVALID;
    }
    return handle;
}

bool SerialConfigure(SerialHandle h, int baud) {
    if (!Valid(h)) return false;
    HANDLE port = Port(h);
    bool ok = SetupComm(port, QueueSize, QueueSize) != 0;
    // 8N1 at the caller's rate; flow control and special characters stay as the driver has them.
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(port, &dcb)) {
        if (baud > 0) dcb.BaudRate = (DWORD)baud;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        ok = SetCommState(port, &dcb) && ok;
    } else {
        ok = false;
    }
    // Every one-byte read returns within 100 ms, with or without its byte. A write gets as long
    // as a write may stall elsewhere: with CTS held low a write without a time-out never returns.
    COMMTIMEOUTS timeouts;
    memset(&timeouts, 0, sizeof timeouts);
    timeouts.ReadTotalTimeoutConstant = SERIAL_READ_TIMEOUT_MS;
    timeouts.WriteTotalTimeoutConstant = SERIAL_STALL_LIMIT_MS;
    return SetCommTimeouts(port, &timeouts) && ok;
}

void SerialPurge(SerialHandle h, bool output, bool input) {
    if (!Valid(h)) return;
    DWORD flags = 0;
    if (output) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    if (input) flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (flags) PurgeComm(Port(h), flags);
}

long long SerialNowMs() {
    return (long long)GetTickCount64();
}

void SerialDrain(SerialHandle h) {
    if (!Valid(h)) return;
    // FlushFileBuffers would wait for the output queue without a bound; the queue's length is
    // watched instead, and output that has stopped moving is discarded.
    HANDLE port = Port(h);
    DWORD left = MAXDWORD;
    DWORD since = GetTickCount();
    for (;;) {
        DWORD errors = 0;
        COMSTAT status;
        memset(&status, 0, sizeof status);
        if (!ClearCommError(port, &errors, &status) || status.cbOutQue == 0) return;
        if (status.cbOutQue < left) {
            left = status.cbOutQue;
            since = GetTickCount();
        } else if (GetTickCount() - since >= (DWORD)SERIAL_STALL_LIMIT_MS) {
            PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
            return;
        }
        Sleep(DrainPollMs);
    }
}

int SerialWrite(SerialHandle h, const unsigned char* data, int n) {
    if (!Valid(h) || n < 0) return -1;
    DWORD written = 0;
    if (!WriteFile(Port(h), data, (DWORD)n, &written, nullptr)) return -1;
    return (int)written; // fewer than n when the write time-out ran out
}

SerialReadResult SerialReadByte(SerialHandle h, unsigned char* byte) {
    if (!Valid(h)) return SERIAL_ERROR;
    DWORD got = 0;
    // A read that fails is an error (a line error with abort-on-error set, an adapter pulled
    // out); one that succeeds with nothing is the 100 ms time-out.
    if (!ReadFile(Port(h), byte, 1, &got, nullptr)) return SERIAL_ERROR;
    return got == 1 ? SERIAL_BYTE : SERIAL_TIMEOUT;
}

void SerialClearError(SerialHandle h) {
    // Also lets reading go on after a line error when the driver aborts on errors.
    DWORD errors = 0;
    if (Valid(h)) ClearCommError(Port(h), &errors, nullptr);
}

int SerialClose(SerialHandle h) {
    if (!Valid(h)) return 0;
    int ok = CloseHandle(Port(h)) ? 1 : 0;
    if (PortMark && h == MarkedPort) {
        CloseHandle(PortMark);
        PortMark = nullptr;
        MarkedPort = SERIAL_INVALID;
    }
    return ok;
}

void SerialReleaseAtOnce() {
    // Windows closes the handles of a process that ends, and a COM port has no flag that would
    // outlive them.
}

int64_t SerialClockMicros() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (int64_t)(now.QuadPart / frequency.QuadPart * 1000000 +
                     now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

SerialFile SerialFileAppendOpen(const char* path, SerialFileProblem* problem) {
    SerialFileProblem none;
    if (!problem) problem = &none;
    // The reparse point itself is opened, not what it leads to; a link is then refused.
    HANDLE h =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        *problem = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ? SERIAL_FILE_DENIED
                   : error == ERROR_PATH_NOT_FOUND ? SERIAL_FILE_NO_FOLDER
                                                   : SERIAL_FILE_FAILED;
        return SERIAL_FILE_INVALID;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(h);
        *problem = SERIAL_FILE_SYMLINK;
        return SERIAL_FILE_INVALID;
    }
    if (GetFileType(h) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        *problem = SERIAL_FILE_NOT_FILE;
        return SERIAL_FILE_INVALID;
    }
    *problem = SERIAL_FILE_OK;
    return (SerialFile)h;
}

bool SerialFileWrite(SerialFile f, const char* data, int n) {
    if (f == SERIAL_FILE_INVALID || n < 0) return false;
    DWORD written = 0;
    return WriteFile((HANDLE)f, data, (DWORD)n, &written, nullptr) && written == (DWORD)n;
}

void SerialFileClose(SerialFile f) {
    if (f != SERIAL_FILE_INVALID) CloseHandle((HANDLE)f);
}
