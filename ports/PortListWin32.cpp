// The COM ports of Windows, read from SetupAPI and the registry, and the link's open tried on each.
#include "PortListWin32.h"

#include <windows.h>
// The GUIDs of devguid.h defined here, not looked for in a library.
#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <cstring>
#include <map>

namespace {

// What to do when another program holds the port: as on Linux.
const char* const kFreeHolderFix = "закройте её (или отключите в ней порт) и подключитесь снова";

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

// A string value of an open registry key; empty when it is missing or no string.
std::string ValueText(HKEY key, const wchar_t* name) {
    wchar_t data[512];
    DWORD type = 0, bytes = sizeof data;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) !=
        ERROR_SUCCESS)
        return {};
    return RegistryText(type, data, bytes);
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t data[512];
    DWORD type = 0, bytes = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(data), sizeof data, &bytes))
        return {};
    return RegistryText(type, data, bytes);
}

// The Ports class as Device Manager shows it: the name Windows gives the device, and the COMn
// its driver took (PortName in the device's own key). LPT ports are in the class too: their
// PortName names no COMn and the merge leaves them out.
void AddSetupApiPorts(std::vector<ComPortFinding>& findings) {
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        ComPortFinding f;
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            f.PortName = ValueText(key, L"PortName");
            RegCloseKey(key);
        }
        f.Name = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        if (f.Name.empty()) f.Name = DeviceProperty(set, device, SPDRP_DEVICEDESC);
        findings.push_back(f);
    }
    SetupDiDestroyDeviceInfoList(set);
}

// The serial ports their drivers have started: the kernel's device -> "COMn".
void AddDeviceMapPorts(std::vector<ComPortFinding>& findings) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[256];
        DWORD nameChars = 256, type = 0, bytes = sizeof data;
        const LONG r = RegEnumValueW(key, i, name, &nameChars, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &bytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) continue; // a value too long for a port's name
        findings.push_back({RegistryText(type, data, bytes), "", Utf8(name, nameChars)});
    }
    RegCloseKey(key);
}

// The names COMn that lead to a device now (a virtual port may have nothing else).
void AddDosDevicePorts(std::vector<ComPortFinding>& findings) {
    for (int n = 1; n <= kComPortMax; ++n) {
        const std::wstring name = L"COM" + std::to_wstring(n);
        wchar_t target[1024];
        const DWORD chars = QueryDosDeviceW(name.c_str(), target, 1024);
        if (chars > 0) findings.push_back({PortName(n), "", FirstOfList(target, chars)});
    }
}

// Under wine, the Unix device that COMn is mapped to; empty elsewhere and for wine's own defaults.
std::string WineUnixDevice(int port) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine\\Ports", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {};
    const std::wstring name = L"COM" + std::to_wstring(port);
    const std::string device = ValueText(key, name.c_str());
    RegCloseKey(key);
    return device;
}

// The link's mark on a port it holds (SerialWin32.cpp): a named object that exists while a
// program of ours has the port open. Under wine nothing else keeps a second program out.
bool MarkHeld(int port) {
    const std::string name = "Global\\tr7042k-COM" + std::to_string(port);
    HANDLE mark = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    if (mark) {
        CloseHandle(mark);
        return true;
    }
    // Denied: it exists, and belongs to a program of another user.
    return GetLastError() == ERROR_ACCESS_DENIED;
}

// The system's words for an error, in the language of its user, without the final full stop.
std::string SystemText(DWORD error) {
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, 512, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ' ||
                     text[n - 1] == L'.'))
        --n;
    return n > 0 ? Utf8(text, n) : "ошибка Windows";
}

void Set(PortDiagnosis& d, PortProblem problem, std::string reason, std::string fix) {
    d.Problem = problem;
    d.Reason = std::move(reason);
    d.Fix = std::move(fix);
}

} // namespace

int ComPortNumber(const std::string& name) {
    if (name.size() < 4 || (name[0] != 'C' && name[0] != 'c') ||
        (name[1] != 'O' && name[1] != 'o') || (name[2] != 'M' && name[2] != 'm') || name[3] < '1' ||
        name[3] > '9')
        return -1;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        n = n * 10 + (name[i] - '0');
        if (n > kComPortMax) return -1;
    }
    return n;
}

std::vector<ComPort> MergeComPorts(const std::vector<ComPortFinding>& findings) {
    std::map<int, ComPort> ports;
    for (const ComPortFinding& f : findings) {
        const int n = ComPortNumber(f.PortName);
        if (n < 1) continue;
        ComPort& p = ports[n];
        p.Number = n;
        if (p.Name.empty()) p.Name = f.Name;
        if (p.Device.empty()) p.Device = f.Device;
    }
    std::vector<ComPort> merged;
    for (const auto& [n, port] : ports)
        merged.push_back(port);
    return merged;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
    if (!text || length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    std::string utf8(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), n, nullptr,
                            nullptr);
    return utf8;
}

std::string RegistryText(unsigned long type, const void* data, unsigned long bytes) {
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || !data) return {};
    // Copied out: the caller's bytes need not be aligned for wchar_t.
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data, text.size() * sizeof(wchar_t));
    return Utf8(text.c_str(),
                text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
}

std::string FirstOfList(const wchar_t* list, unsigned long chars) {
    std::size_t n = 0;
    while (list && n < chars && list[n])
        ++n;
    return Utf8(list, n);
}

std::vector<ComPortFinding> FindComPorts() {
    std::vector<ComPortFinding> findings;
    AddSetupApiPorts(findings);
    AddDeviceMapPorts(findings);
    AddDosDevicePorts(findings);
    return findings;
}

std::vector<ComPort> ListComPorts() {
    std::vector<ComPort> ports = MergeComPorts(FindComPorts());
    for (ComPort& p : ports)
        p.Unix = WineUnixDevice(p.Number);
    return ports;
}

std::string DescribeComPort(const ComPort& port) {
    if (!port.Name.empty()) return port.Name;
    return "последовательный порт" + (port.Device.empty() ? "" : " " + port.Device);
}

PortDiagnosis DiagnoseComPort(int port) {
    PortDiagnosis d;
    const std::string name = PortName(port);
    d.Path = "\\\\.\\" + name;
    d.Target = d.Path;
    // A port one of our programs holds is not opened again: under wine the open would succeed.
    if (MarkHeld(port)) {
        Set(d, PortProblem::Held,
            name + " занят другой программой TR7042K (консолью, tr7042k-burnin или "
                   "tr7042k-ports)",
            kFreeHolderFix);
        return d;
    }
    // The link's open: read and write, shared with no one.
    HANDLE h = CreateFileA(d.Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        Set(d, PortProblem::None, name + " открывается", "");
        return d;
    }
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        // Also a port Windows lists whose device is disabled or whose driver has not started.
        Set(d, PortProblem::Missing,
            "нет порта " + name +
                ": Windows не находит такой порт (адаптер не подключён, отключён в Диспетчере "
                "устройств или его драйвер не запущен)",
            "подключите адаптер (или включите его в Диспетчере устройств); какие порты есть, "
            "покажут tr7042k-ports list и Диспетчер устройств («Порты (COM и LPT)»)");
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        // Windows answers "access denied" to every open of a port another program has open.
        Set(d, PortProblem::Held,
            name + " занят другой программой (Windows отказывает в доступе к порту, пока он "
                   "открыт)",
            kFreeHolderFix);
        break;
    default:
        Set(d, PortProblem::Other,
            "не удаётся открыть " + name + ": " + SystemText(error) + " (ошибка " +
                std::to_string(error) + ")",
            "");
        break;
    }
    return d;
}
