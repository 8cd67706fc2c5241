// The few serial-port calls the link makes; the only place that touches the OS.
// SerialPosix.cpp implements them with termios, SerialWin32.cpp with the Win32 comm API.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef intptr_t SerialHandle;
enum : intptr_t { SERIAL_INVALID = -1 };

enum SerialReadResult { SERIAL_ERROR = -1, SERIAL_TIMEOUT = 0, SERIAL_BYTE = 1 };

enum : int {
    SERIAL_READ_TIMEOUT_MS = 100, // longest wait for one byte
    SERIAL_STALL_LIMIT_MS = 5000, // longest a write or a drain waits without progress
};

// Device path of port number n (COMn). False when it does not fit the buffer.
bool SerialPortPath(int port, char* path, size_t size);
// Opens port n for exclusive use; SERIAL_INVALID when it is missing, busy or not accessible.
SerialHandle SerialOpen(int port);
// Raw 8N1 at the baud rate, other line settings kept, every byte read bounded by 100 ms and
// every write bounded too.
bool SerialConfigure(SerialHandle h, int baud);
// Discards pending input and/or output.
void SerialPurge(SerialHandle h, bool output, bool input);
// Waits until everything written has left, but no longer than a write may stall (5 s without
// progress: a line held by flow control never drains) plus the wire time of what was written
// at the line's speed; what is still queued then is discarded. Never an unbounded wait.
void SerialDrain(SerialHandle h);
// Writes n bytes; gives the number written, or -1.
int SerialWrite(SerialHandle h, const unsigned char* data, int n);
// Reads one byte within 100 ms: a byte, a time-out, or an error (hang-up, I/O error, bad handle).
SerialReadResult SerialReadByte(SerialHandle h, unsigned char* byte);
// Clears the port's error state after a read error.
void SerialClearError(SerialHandle h);
// Closes the port; nonzero on success.
int SerialClose(SerialHandle h);
// Lets go of the port this process took, from a signal handler: async-signal-safe.
void SerialReleaseAtOnce();
// A monotonic clock in milliseconds, for the bound on an exchange's length.
long long SerialNowMs();

// Besides the port the link touches the OS for its exchange trace only: a monotonic clock and one
// file that it appends to.

// Microseconds of a clock that never goes back (not the time of day).
int64_t SerialClockMicros();

typedef intptr_t SerialFile;
enum : intptr_t { SERIAL_FILE_INVALID = -1 };

// Why a file could not be opened for appending.
enum SerialFileProblem {
    SERIAL_FILE_OK = 0,
    SERIAL_FILE_SYMLINK,   // the name is a symbolic link: never followed
    SERIAL_FILE_NOT_FILE,  // a folder, a device, a pipe: not a regular file
    SERIAL_FILE_DENIED,    // no permission to write it or to create it there
    SERIAL_FILE_NO_FOLDER, // the folder it would be in does not exist
    SERIAL_FILE_FAILED,    // any other failure
};

// Opens a regular file for appending, creating it readable by its owner only when it is
// missing, never through a symbolic link. SERIAL_FILE_INVALID with the reason in *problem.
SerialFile SerialFileAppendOpen(const char* path, SerialFileProblem* problem);
// Appends n bytes in one write, so that records of several processes do not interleave;
// false when they were not all written.
bool SerialFileWrite(SerialFile f, const char* data, int n);
void SerialFileClose(SerialFile f);
