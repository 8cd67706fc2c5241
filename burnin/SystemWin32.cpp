// The burn-in's system calls on Windows (see System.h): stops are the console's Ctrl-C and
// Ctrl-Break, and they reach the consoles as lines on their standard input.

#include "System.h"

#include <QRegularExpression>
#include <QWinEventNotifier>

#include <windows.h>

namespace {

// The highest COMn, as on POSIX: the link opens \\.\COMn, which serves every number.
constexpr int PortNumberMax = 255;

// ---- Shared with the handler, which runs on a thread of its own.

HANDLE StopEvent = nullptr; // set at every stop
volatile LONG Stops = 0;    // stops not yet taken

// The closing of the console window is left to the system: this program ends, and each console
// then stops at its next check point by the end of its input.
BOOL WINAPI OnConsoleStop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    InterlockedIncrement(&Stops);
    SetEvent(StopEvent);
    return TRUE;
}

bool Terminal = false; // standard output is a console that takes control sequences

} // namespace

const char* const PortHelp =
    R"(ПОРТ - COMn, как в консоли: COM1, COM2 и так далее до COM255.
)";

const bool FolderRenamedWhileRunning = false;

void CatchStopSignals() {
    StopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (StopEvent) SetConsoleCtrlHandler(OnConsoleStop, TRUE);
    // The program writes UTF-8: the console shows it as such, and draws the rows in place.
    SetConsoleOutputCP(CP_UTF8);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    Terminal =
        GetConsoleMode(output, &mode) &&
        SetConsoleMode(output, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

std::unique_ptr<QObject> WatchStopSignals(std::function<void(int)> arrived) {
    if (!StopEvent) return nullptr;
    // A stop asked for before now has left the event set: it is taken at once.
    auto notifier = std::make_unique<QWinEventNotifier>(StopEvent);
    QObject::connect(
        notifier.get(), &QWinEventNotifier::activated, notifier.get(),
        [arrived = std::move(arrived)] { arrived(int(InterlockedExchange(&Stops, 0))); });
    return notifier;
}

bool ProgressOnTerminal() {
    return Terminal;
}

int TerminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) &&
        info.srWindow.Right > info.srWindow.Left)
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 100;
}

void PrepareConsole(QProcess&, QProcessEnvironment&, const QTemporaryDir&) {
    // The console is a windowed program: no console's Ctrl-C reaches it. Its standard input
    // stays the pipe the stops are written to; should this program end first, the pipe's end
    // stops it.
}

void StopConsole(QProcess& process) {
    process.write("stop\n");
}

QString UnnamedFileName(const QString& label) {
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(label).hasMatch() ? label + QLatin1Char('_') : label;
}

bool ParsePort(const QString& name, TPort& port, QString& error) {
    // "COM3", or the device name "\\.\COM3" that Windows programs also use.
    static const QRegularExpression com(
        QStringLiteral("^(?:\\\\\\\\\\.\\\\)?COM([1-9][0-9]{0,2})$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = com.match(name);
    port.Number = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (port.Number < 1 || port.Number > PortNumberMax) {
        error = QStringLiteral("«%1» - не порт: нужен COMn (1..%2)").arg(name).arg(PortNumberMax);
        return false;
    }
    port.Name = port.Label = QStringLiteral("COM%1").arg(port.Number);
    return true;
}
