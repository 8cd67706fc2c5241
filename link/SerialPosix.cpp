// The serial layer on POSIX: termios in raw mode, poll() for the 100 ms per-byte read.
#include "Serial.h"

#include "PortPath.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

const int ReadTimeoutMs = SERIAL_READ_TIMEOUT_MS;
const int WriteStallLimit = SERIAL_STALL_LIMIT_MS / ReadTimeoutMs; // 100 ms waits for room
const int DrainPollMs = 10;

// The port this process took, for a release from a signal handler: its descriptor, and whether
// we set its exclusive flag (only a flag we set is ours to clear).
volatile sig_atomic_t OwnFd = -1;
volatile sig_atomic_t OwnExclusive = 0;
// The line's speed and when the last byte written is due to have left, for the bounded drain.
int LineBaud = 0;
long long WireDueMs = 0;

int Fd(SerialHandle h) {
    return (int)h;
}

// Forgets the port this process took, clearing the exclusive flag when we set it (only a flag we
// set is ours to clear); gives its descriptor, or -1. Only async-signal-safe calls.
int ForgetOwnPort() {
    const int fd = OwnFd;
    if (fd < 0) return -1;
    if (OwnExclusive) ioctl(fd, TIOCNXCL);
    OwnExclusive = 0;
    OwnFd = -1;
    return fd;
}

// A quit signal that would end the process without running its exit code first lets go of the
// port, then ends the process as the signal would have (the handler is reset on entry, and the
// signal raised again is taken once the handler returns).
void OnQuitSignal(int sig) {
    const int saved = errno;
    SerialReleaseAtOnce();
    raise(sig);
    errno = saved;
}

// Looked at on every open, not once: a signal that was ignored or handled when the program
// first connected and has been set back to its default since would otherwise end the process
// with the port still held.
void ReleaseOnQuitSignals() {
    const int signals[] = {SIGHUP, SIGINT, SIGTERM, SIGQUIT};
    for (int sig : signals) {
        struct sigaction old;
        // A program that handles or ignores the signal itself keeps its way (and ends its own
        // way, or not at all); ours, once set, stays until the signal comes.
        if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction sa = {};
        sa.sa_handler = OnQuitSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESETHAND;
        sigaction(sig, &sa, nullptr);
    }
}

// The device behind the path may be opened read-write: a serial line, or a pseudo-terminal
// that a simulated printer serves as this port now. Anything else (a file, /dev/null, a
// terminal that a simulator served once and someone else has now) is never written to.
bool MayOpen(int port, const struct stat& st) {
    const PortTargetKind kind = PortTargetKindOf(&st, "/sys");
    if (kind == PortTargetSerial) return true;
    return kind == PortTargetPseudo && PortServed(port, st.st_rdev);
}

bool BaudConstant(int baud, speed_t* speed) {
    switch (baud) {
    case 1200:
        *speed = B1200;
        return true;
    case 2400:
        *speed = B2400;
        return true;
    case 4800:
        *speed = B4800;
        return true;
    case 9600:
        *speed = B9600;
        return true;
    case 19200:
        *speed = B19200;
        return true;
    case 38400:
        *speed = B38400;
        return true;
    case 57600:
        *speed = B57600;
        return true;
    case 115200:
        *speed = B115200;
        return true;
    default:
        return false;
    }
}

} // namespace

bool SerialPortPath(int port, char* path, size_t size) {
    return PortDevicePath(port, path, size);
}

SerialHandle SerialOpen(int port) {
    char path[4096];
    struct stat before, opened;
    if (!SerialPortPath(port, path, sizeof path) || stat(path, &before) != 0 ||
        !MayOpen(port, before))
        return SERIAL_INVALID;
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return SERIAL_INVALID;
    struct termios tio;
    int exclusive = 0;
    // What was opened is what was judged (the link may have changed in between), and it is a
    // terminal. Exclusive use: a port another program holds for exclusive use is refused, also
    // when root could break in; flock keeps out every program that locks (root included),
    // TIOCEXCL the rest.
    if (fstat(fd, &opened) != 0 || opened.st_rdev != before.st_rdev || !MayOpen(port, opened) ||
        tcgetattr(fd, &tio) != 0 || ioctl(fd, TIOCGEXCL, &exclusive) != 0 || exclusive ||
        flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return SERIAL_INVALID;
    }
    ReleaseOnQuitSignals();
    OwnExclusive = 1;
    OwnFd = fd;
    WireDueMs = 0;
    return (SerialHandle)fd;
}

bool SerialConfigure(SerialHandle h, int baud) {
    int fd = Fd(h);
    struct termios tio;
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return false;
    // Raw 8N1; hardware flow control and our own XOFF stay as the driver reports them. Output
    // XON/XOFF is off, as raw mode has it: those bytes must reach the link as data.
    tcflag_t keepInput = tio.c_iflag & IXOFF;
    tcflag_t keepControl = tio.c_cflag & CRTSCTS;
    cfmakeraw(&tio);
    tio.c_iflag |= keepInput;
    tio.c_cflag &= ~(tcflag_t)(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | keepControl;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t speed;
    if (BaudConstant(baud, &speed)) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        LineBaud = baud;
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

void SerialPurge(SerialHandle h, bool output, bool input) {
    if (Fd(h) < 0 || (!output && !input)) return;
    tcflush(Fd(h), output && input ? TCIOFLUSH : output ? TCOFLUSH : TCIFLUSH);
}

long long SerialNowMs() {
    return SerialClockMicros() / 1000;
}

void SerialDrain(SerialHandle h) {
    int fd = Fd(h);
    if (fd < 0) return;
    // tcdrain has no bound: with hardware flow control on and CTS low the output never leaves,
    // and a USB adapter may take the bytes into its own buffer and then hold tcdrain in its
    // driver. The output queue is watched instead; once it has not shrunk for as long as a write
    // may stall, what is left is discarded. Then the bytes still in the UART or the adapter get
    // their time on the wire at the line's speed, and no more.
    int left = -1, stalledMs = 0;
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
        if (left < 0 || queued < left) {
            left = queued;
            stalledMs = 0;
        } else if ((stalledMs += DrainPollMs) >= SERIAL_STALL_LIMIT_MS) {
            tcflush(fd, TCOFLUSH);
            return;
        }
        poll(nullptr, 0, DrainPollMs);
    }
    const long long wait = WireDueMs - SerialNowMs();
    if (wait > 0) poll(nullptr, 0, (int)wait);
}

int SerialWrite(SerialHandle h, const unsigned char* data, int n) {
    int fd = Fd(h);
    if (fd < 0 || n < 0) return -1;
    int done = 0, stalls = 0;
    if (LineBaud > 0 && n > 0) {
        // Ten bits a byte at the line's speed, from when the line is free: the wire time.
        const long long now = SerialNowMs();
        WireDueMs = (WireDueMs > now ? WireDueMs : now) + (n * 10000LL + LineBaud - 1) / LineBaud;
    }
    while (done < n) {
        ssize_t k = write(fd, data + done, (size_t)(n - done));
        if (k > 0) {
            done += (int)k;
            stalls = 0;
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && errno != EAGAIN) return -1;
        struct pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, ReadTimeoutMs) <= 0 && ++stalls >= WriteStallLimit) return -1;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
    }
    return done;
}

SerialReadResult SerialReadByte(SerialHandle h, unsigned char* byte) {
    int fd = Fd(h);
    if (fd < 0) return SERIAL_ERROR;
    struct pollfd p = {fd, POLLIN, 0};
    int r = poll(&p, 1, ReadTimeoutMs);
    if (r == 0) return SERIAL_TIMEOUT;
    if (r < 0) return errno == EINTR ? SERIAL_TIMEOUT : SERIAL_ERROR;
    if (!(p.revents & POLLIN)) return SERIAL_ERROR; // hang-up or line error, nothing to read
    ssize_t k = read(fd, byte, 1);
    if (k == 1) return SERIAL_BYTE;
    if (k < 0 && (errno == EAGAIN || errno == EINTR)) return SERIAL_TIMEOUT;
    return SERIAL_ERROR; // EIO, or end of file right after readiness: the far end is gone
}

void SerialClearError(SerialHandle) {
    // termios keeps no error state that blocks further reads; a line error costs only the byte.
}

int SerialClose(SerialHandle h) {
    int fd = Fd(h);
    if (fd < 0) return 0;
    // The exclusive flag outlives us while another program holds the line: clear it, but only
    // when it is the flag we set on the port we took.
    if (fd == OwnFd) ForgetOwnPort();
    flock(fd, LOCK_UN);
    return close(fd) == 0 ? 1 : 0;
}

void SerialReleaseAtOnce() {
    const int fd = ForgetOwnPort();
    if (fd >= 0) close(fd); // the lock goes with the descriptor
}

int64_t SerialClockMicros() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

SerialFile SerialFileAppendOpen(const char* path, SerialFileProblem* problem) {
    SerialFileProblem none;
    if (!problem) problem = &none;
    // O_NONBLOCK: a pipe with no reader must not hold the open; only a regular file is kept.
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        switch (errno) {
        case ELOOP:
            *problem = SERIAL_FILE_SYMLINK;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            *problem = SERIAL_FILE_DENIED;
            break;
        case ENOENT:
        case ENOTDIR:
            *problem = SERIAL_FILE_NO_FOLDER;
            break;
        case EISDIR:
        case ENXIO:
            *problem = SERIAL_FILE_NOT_FILE;
            break;
        default:
            *problem = SERIAL_FILE_FAILED;
            break;
        }
        return SERIAL_FILE_INVALID;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        *problem = SERIAL_FILE_NOT_FILE;
        return SERIAL_FILE_INVALID;
    }
    *problem = SERIAL_FILE_OK;
    return (SerialFile)fd;
}

bool SerialFileWrite(SerialFile f, const char* data, int n) {
    if (f == SERIAL_FILE_INVALID || n < 0) return false;
    int done = 0;
    while (done < n) {
        ssize_t k = write((int)f, data + done, (size_t)(n - done));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        done += (int)k;
    }
    return true;
}

void SerialFileClose(SerialFile f) {
    if (f != SERIAL_FILE_INVALID) close((int)f);
}
