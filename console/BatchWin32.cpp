// The batch mode's system calls on Windows (see BatchSystem.h): stops are lines on standard
// input, read by a thread of their own, and the end of that input.

#include "BatchSystem.h"

#include "PrinterLink.h"

#include <QWinEventNotifier>

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstring>

namespace {

// ---- Shared with the thread that reads the stops.

HANDLE StopEvent = nullptr; // set at every stop; the event loop takes the first
volatile LONG Stops = 0;
HANDLE Journal = INVALID_HANDLE_VALUE;
char InterruptedLine[64]; // the journal's last line when a second stop ends the process
DWORD InterruptedLength = 0;

void Stop() {
    if (InterlockedIncrement(&Stops) >= 2) {
        DWORD written = 0;
        if (Journal != INVALID_HANDLE_VALUE)
            WriteFile(Journal, InterruptedLine, InterruptedLength, &written, nullptr);
        PrinterReleaseAtOnce();
        TerminateProcess(GetCurrentProcess(), 130);
    }
    SetEvent(StopEvent);
}

// Every line read is a stop; the end of the input one more: the caller has closed its end or has
// ended, and a run nobody waits for must not go on for ever.
DWORD WINAPI ReadStops(LPVOID input) {
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(static_cast<HANDLE>(input), buffer, sizeof buffer, &got, nullptr))
        for (DWORD i = 0; i < got; ++i)
            if (buffer[i] == '\n') Stop();
    Stop();
    return 0;
}

// A terminal's Ctrl-C is the caller's to pass on: it must not end the run unasked.
BOOL WINAPI IgnoreConsoleStop(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

QString LastError() {
    return qt_error_string(int(GetLastError())).trimmed();
}

bool WriteAll(HANDLE h, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(h, bytes.constData() + done, DWORD(bytes.size() - done), &written,
                       nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER t;
    t.LowPart = time.dwLowDateTime;
    t.HighPart = time.dwHighDateTime;
    return double(t.QuadPart) / 1e7; // in units of 100 ns
}

} // namespace

QStringList BatchArguments(int, char**) {
    // As typed, whatever the system's code page: the journal's path may hold any character.
    QStringList arguments;
    int count = 0;
    if (LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(words[i]);
        LocalFree(words);
    }
    return arguments;
}

bool OpenBatchJournal(const QString& path, QString& error) {
    // Shared for deletion too, so that the burn-in may rename the journal while it is written. The
    // reparse point itself is opened, not what it leads to; a link is then refused.
    Journal =
        CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_APPEND_DATA,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (Journal == INVALID_HANDLE_VALUE) {
        error = LastError();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(Journal, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        GetFileType(Journal) != FILE_TYPE_DISK) {
        CloseBatchJournal();
        error = QStringLiteral("это не обычный файл");
        return false;
    }
    return true;
}

bool AppendBatchJournal(const QByteArray& bytes, QString& error) {
    if (WriteAll(Journal, bytes)) return true;
    error = LastError();
    return false;
}

void CloseBatchJournal() {
    if (Journal != INVALID_HANDLE_VALUE) CloseHandle(Journal);
    Journal = INVALID_HANDLE_VALUE;
}

bool CatchBatchStops(const QByteArray& interrupted) {
    InterruptedLength = DWORD(std::min(size_t(interrupted.size()), sizeof InterruptedLine));
    std::memcpy(InterruptedLine, interrupted.constData(), InterruptedLength);
    StopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!StopEvent) return false;
    SetConsoleCtrlHandler(IgnoreConsoleStop, TRUE);
    // Only a pipe carries stops: a console started by hand, its input a terminal, a file or
    // nothing at all, is stopped by closing it.
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE || GetFileType(input) != FILE_TYPE_PIPE)
        return true;
    const HANDLE reader = CreateThread(nullptr, 0, ReadStops, input, 0, nullptr);
    if (!reader) return false;
    CloseHandle(reader);
    return true;
}

std::unique_ptr<QObject> WatchBatchStops(std::function<void()> stop) {
    // A stop that came while the program started has left the event set till now.
    auto notifier = std::make_unique<QWinEventNotifier>(StopEvent);
    QObject::connect(notifier.get(), &QWinEventNotifier::activated, notifier.get(),
                     [stop = std::move(stop)] { stop(); });
    return notifier;
}

void TellBatchCaller(const QByteArray& line) {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output != nullptr && output != INVALID_HANDLE_VALUE) WriteAll(output, line);
}

bool BatchLineHungUp() {
    // The state of a port whose device is gone (an adapter pulled out) cannot be read any more.
    const SerialHandle port = PrinterLink.LinkPort;
    if (port == SERIAL_INVALID || port == 0) return false;
    DCB state{};
    state.DCBlength = sizeof state;
    return !GetCommState(reinterpret_cast<HANDLE>(port), &state);
}

void BatchUsage(double& cpuSeconds, qint64& peakMemoryKb) {
    FILETIME created, ended, system, user;
    cpuSeconds = GetProcessTimes(GetCurrentProcess(), &created, &ended, &system, &user)
                     ? Seconds(system) + Seconds(user)
                     : -1;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    peakMemoryKb = K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)
                       ? qint64(memory.PeakWorkingSetSize / 1024)
                       : -1;
}
