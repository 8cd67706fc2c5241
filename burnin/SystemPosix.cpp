// The burn-in's system calls on POSIX (see System.h): stops are SIGINT, SIGTERM and SIGHUP, and
// they reach the consoles as SIGTERM.

#include "System.h"

#include "PortList.h"
#include "PortPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const int saved = errno;
    (void)!write(SignalPipe[1], "s", 1);
    errno = saved;
}

// The lowest COMn that leads to the device at `path`; 0 for none.
int MappedPortOf(const QString& path) {
    SerialDevice device;
    device.Path = path.toStdString();
    device.Name = QFileInfo(QFileInfo(path).canonicalFilePath()).fileName().toStdString();
    const std::vector<int> ports = PortsReaching(device);
    return ports.empty() ? 0 : ports.front();
}

} // namespace

const char* const PortHelp =
    R"(ПОРТ - COMn (как в консоли: ссылка comN в $XDG_CONFIG_HOME/tr7042k/ports, иначе
/dev/ttyS<n-1>) или путь к устройству, например /dev/ttyUSB0; устройство, к которому
ведет COMn, проверяется как этот COMn.
)";

const bool FolderRenamedWhileRunning = true;

void CatchStopSignals() {
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a closed reader of the progress must not end the batch
}

std::unique_ptr<QObject> WatchStopSignals(std::function<void(int)> arrived) {
    if (SignalPipe[0] < 0) return nullptr;
    // A stop asked for before now is read at once.
    auto notifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [arrived = std::move(arrived)] {
                         char drained[16];
                         int count = 0;
                         for (ssize_t n; (n = read(SignalPipe[0], drained, sizeof drained)) > 0;)
                             count += int(n);
                         arrived(count);
                     });
    return notifier;
}

bool ProgressOnTerminal() {
    return isatty(STDOUT_FILENO);
}

int TerminalWidth() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 100;
}

void PrepareConsole(QProcess& process, QProcessEnvironment& environment,
                    const QTemporaryDir& scratch) {
    if (!environment.contains(QStringLiteral("XDG_RUNTIME_DIR"))) {
        // Without a session (a service account, cron, root on a bench PC) Qt would warn about
        // the missing runtime folder into every console's error file: give them one.
        const QString runtime = scratch.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    }
    process.setStandardInputFile(QProcess::nullDevice());
    // A group of its own, so the terminal's Ctrl-C reaches only this program, which passes the
    // stop on; and a stop of its own should this program die first.
    // Stop signals are held until the console has its own handling of them in place, so a stop
    // as it starts is not its death before it has journaled anything.
    process.setChildProcessModifier([] {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        sigprocmask(SIG_BLOCK, &stops, nullptr);
    });
}

void StopConsole(QProcess& process) {
    kill(pid_t(process.processId()), SIGTERM);
}

QString UnnamedFileName(const QString& label) {
    return label;
}

bool ParsePort(const QString& name, TPort& port, QString& error) {
    port.Number = PortNumberFromName(name.toLocal8Bit().constData());
    if (port.Number > 0) {
        port.Name = port.Label = QStringLiteral("COM%1").arg(port.Number);
        return true;
    }
    if (!name.contains(QLatin1Char('/'))) {
        error = QStringLiteral("«%1» - не порт: нужен COMn (1..%2) или путь к устройству")
                    .arg(name)
                    .arg(PortNumberMax);
        return false;
    }
    // A device that a COMn leads to is that COMn, as the console knows it: a simulator's
    // pseudo-terminal is a port only under the COMn it serves.
    port.Number = MappedPortOf(name);
    if (port.Number > 0) {
        port.Name = port.Label = QStringLiteral("COM%1").arg(port.Number);
    } else {
        port.Number = 0;
        port.Device = port.Name = QFileInfo(name).absoluteFilePath();
        port.Label = FileLabel(QFileInfo(name).fileName());
    }
    return true;
}
