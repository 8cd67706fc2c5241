// On Windows the port is opened once more, the way the link opens it, and the system's answer
// is told in the technician's words.
#include "PortTrouble.h"

#include <windows.h>

#include <cstdio>

namespace {

// The system's own words for an error, without the line break it ends them with.
QString SystemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString out = length ? QString::fromWCharArray(text, int(length)).trimmed()
                         : QStringLiteral("ошибка %1").arg(error);
    if (text) LocalFree(text);
    return out;
}

} // namespace

QString PortFailureLines(int port) {
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", port);
    const HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    const QString name = QStringLiteral("COM%1").arg(port);
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return QStringLiteral("\nПорта %1 в системе нет.\nПроверьте, что адаптер подключен, и "
                              "посмотрите номер его порта в диспетчере устройств "
                              "(tr7042k-ports list).")
            .arg(name);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return QStringLiteral("\nПорт %1 занят другой программой.\nЗакройте программу, которая "
                              "работает с принтером, и подключитесь снова.")
            .arg(name);
    case ERROR_SUCCESS:
        // It opens now: it was held a moment ago, or the console itself holds it.
        return QStringLiteral("\nПорт %1 был занят; попробуйте подключиться снова.").arg(name);
    default:
        return QStringLiteral("\nПорт %1 не открывается: %2.").arg(name, SystemText(error));
    }
}
