// The batch mode's system calls on POSIX (see BatchSystem.h): stops are SIGINT and SIGTERM.

#include "BatchSystem.h"

#include "PrinterLink.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// ---- Shared with the signal handler: only what it may touch.

volatile sig_atomic_t StopSignals = 0;
int SignalPipe[2] = {-1, -1};
int JournalFd = -1;
char InterruptedLine[64]; // the journal's last line when a second signal ends the process
size_t InterruptedLength = 0;

void OnStopSignal(int) {
    const int saved = errno;
    StopSignals = StopSignals + 1;
    if (StopSignals >= 2) {
        if (JournalFd >= 0) (void)!write(JournalFd, InterruptedLine, InterruptedLength);
        PrinterReleaseAtOnce(); // ending at once skips the link's release at exit
        _exit(130);
    }
    (void)!write(SignalPipe[1], "s", 1);
    errno = saved;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

} // namespace

QStringList BatchArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

bool OpenBatchJournal(const QString& path, QString& error) {
    JournalFd = open(path.toLocal8Bit().constData(),
                     O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (JournalFd >= 0) return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

bool AppendBatchJournal(const QByteArray& bytes, QString& error) {
    if (WriteAll(JournalFd, bytes)) return true;
    error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

void CloseBatchJournal() {
    if (JournalFd >= 0) close(JournalFd);
    JournalFd = -1;
}

// Signals reach the run through a pipe that its event loop watches, so a stop is taken at the
// test's next check point (or wait), like a click on "Стоп".
bool CatchBatchStops(const QByteArray& interrupted) {
    InterruptedLength = std::min(size_t(interrupted.size()), sizeof InterruptedLine);
    std::memcpy(InterruptedLine, interrupted.constData(), InterruptedLength);
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // the caller gone: its lines are lost, the journal is not
    // tr7042k-burnin starts the console with stop signals held: one that came meanwhile arrives
    // now, into the pipe.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    return true;
}

std::unique_ptr<QObject> WatchBatchStops(std::function<void()> stop) {
    // A stop signal that came while the program started waits in the pipe till now.
    auto notifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [stop = std::move(stop)] {
                         char drained[16];
                         while (read(SignalPipe[0], drained, sizeof drained) > 0) {
                         }
                         stop();
                     });
    return notifier;
}

void TellBatchCaller(const QByteArray& line) {
    WriteAll(STDOUT_FILENO, line);
}

bool BatchLineHungUp() {
    const int fd = int(PrinterLink.LinkPort);
    if (fd < 0) return false;
    pollfd p = {fd, 0, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void BatchUsage(double& cpuSeconds, qint64& peakMemoryKb) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    peakMemoryKb = usage.ru_maxrss;
}
