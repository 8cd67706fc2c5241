// tr7042k-ports on Linux: the ports folder's COMn links, the serial devices of the device tree,
// and the open that check tries as the console would.
#include "ToolPlatform.h"

#include "Files.h"
#include "PortCheck.h"
#include "PortList.h"
#include "PortPath.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kHelp = R"(Использование: tr7042k-ports [параметры] [команда]

Находит последовательные порты, связывает их с портами COMn консоли TR7042K и объясняет,
почему порт не открывается.

Команды:
  list                 все последовательные устройства (команда по умолчанию): постоянное
                       имя, производитель и модель адаптера, порт COMn, доступ
  map COMn УСТРОЙСТВО  связать COMn с устройством (/dev/ttyUSB0 или просто ttyUSB0);
                       ссылка ведёт через постоянное имя из /dev/serial/by-id, если оно есть,
                       и переживает переподключение адаптера
  unmap COMn           убрать связь: COMn снова означает /dev/ttyS<n-1>
  check COMn           открыть порт так, как открывает консоль, и сказать, что мешает и как
                       это исправить
  probe [ПОРТ...]      найти принтер: на каждом порту (без ПОРТ - на всех связанных COMn и
                       всех последовательных устройствах) попробовать скорости консоли
                       19200, 9600, 57600, 115200 безвредным запросом состояния и показать,
                       на какой ответил принтер и кто он; ПОРТ - COMn или устройство
  line ПОРТ [--baud B] [--count N]
                       проверить линию: N запросов состояния (по умолчанию 200) на скорости B
                       (по умолчанию 19200); сколько ответов, NAK, неверных контрольных сумм,
                       таймаутов, оборванных ответов, ожиданий SYN, время ответа, байты в обе
                       стороны и вывод о линии с вероятной причиной

Параметры:
  --sysfs DIR          читать sysfs из DIR вместо /sys (для проверки)
  --dev DIR            искать устройства в DIR вместо /dev (для проверки)
  --help               эта справка
  --version            версия программы

Порт COMn - это ссылка comN в $XDG_CONFIG_HOME/tr7042k/ports (или ~/.config/tr7042k/ports),
если она есть, иначе /dev/ttyS<n-1>.

Переменная окружения TR7042K_TRACE=ФАЙЛ: probe и line (как и консоль) дописывают в ФАЙЛ
трассу обмена - каждый кадр со временем, байтами и расшифровкой.

Коды завершения:
  0  всё в порядке                  4  порт занят другой программой
  1  неверные аргументы             5  порт открыт другой программой монопольно
  2  нет такого порта или устройства  6  это не последовательный порт
  3  нет прав на устройство         7  другая ошибка
  probe: 0 - принтер найден, 2 - не найден ни на одном порту
  line: 0 - линия в порядке, 1 - нет; порт не открылся - коды как у check
)";

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

std::string Describe(const SerialDevice& d) {
    std::string text = d.Maker;
    if (!d.Model.empty()) text += (text.empty() ? "" : " ") + d.Model;
    if (text.empty())
        text = d.Name.rfind("ttyS", 0) == 0 ? "встроенный последовательный порт"
                                            : "последовательный адаптер";
    if (!d.Driver.empty()) text += " (" + d.Driver + ")";
    return text;
}

} // namespace

int ListPorts(const PortRoots& roots, std::ostream& out) {
    const auto devices = ListSerialDevices(roots);
    if (devices.empty()) out << "Последовательных устройств не найдено.\n";
    for (const auto& d : devices) {
        out << d.Path << "  " << Describe(d) << "\n";
        if (!d.ById.empty()) out << "    постоянное имя: " << d.ById << "\n";
        out << "    порт консоли:   ";
        if (d.Ports.empty()) out << "нет (tr7042k-ports map COMn " << d.Path << ")";
        for (std::size_t i = 0; i < d.Ports.size(); ++i)
            out << (i ? ", " : "") << PortName(d.Ports[i]);
        out << "\n    доступ:         "
            << (d.MayOpen ? "есть" : "нет (что делать - скажет tr7042k-ports check COMn)") << "\n";
    }
    // Links left behind by an adapter that is gone or a simulator that has ended: one that leads
    // nowhere, or to a terminal no simulator serves any more.
    char folder[4096];
    if (!PortsFolderPath(folder, sizeof folder)) return ExitOk;
    for (const std::string& name : FolderEntries(folder)) {
        const int port = PortNumberFromName(name.c_str());
        struct stat st;
        const std::string link = std::string(folder) + "/" + name;
        if (port > 0 && (stat(link.c_str(), &st) != 0 ||
                         (PortTargetKindOf(&st, roots.Sys.c_str()) == PortTargetPseudo &&
                          !PortServed(port, st.st_rdev))))
            out << DiagnosePort(port).Reason << "\n";
    }
    if (access(folder, F_OK) == 0 && access(folder, R_OK | X_OK) != 0)
        out << "Нет доступа к папке портов " << folder << ": её ссылки не видны\n";
    return ExitOk;
}

const char* PortsHelp() {
    return kHelp;
}

std::string PortsVersion() {
    return std::string("tr7042k-ports ") + TR_VERSION;
}

bool PortsReadDeviceTree() {
    return true;
}

int PortMappingCommand(const std::vector<std::string>& words, const PortRoots& roots,
                       std::ostream& out, std::ostream& err) {
    const std::string& command = words[0];
    if (words.size() != (command == "map" ? 3u : 2u))
        return PortsUsage(err, "неверное число аргументов команды " + command);

    const int port = PortNumberFromName(words[1].c_str());
    if (port < 1)
        return PortsUsage(err, "неверное имя порта " + words[1] + " (нужно от COM1 до COM" +
                                   std::to_string(PortNumberMax) + ")");
    if (command == "check") {
        const PortDiagnosis d = DiagnosePort(port);
        out << d.Reason << "\n";
        if (!d.Fix.empty()) out << "Что сделать: " << d.Fix << "\n";
        return ExitCodeOf(d.Problem);
    }
    const MapResult r = command == "map" ? MapPort(roots, port, words[2]) : UnmapPort(port);
    if (r.Code != ExitOk) {
        err << "tr7042k-ports: " << r.Message << "\n";
        return r.Code;
    }
    if (command == "map") {
        out << PortName(port) << " -> " << r.Target << " (ссылка " << r.Link << ")\n";
        if (access(r.Target.c_str(), R_OK | W_OK) != 0)
            out << "Доступа к устройству у вас пока нет: что делать - скажет tr7042k-ports "
                   "check "
                << PortName(port) << "\n";
    } else {
        out << (r.Changed ? "Связь " + PortName(port) + " убрана"
                          : PortName(port) + " и не был связан")
            << "; теперь " << PortName(port) << " означает " << r.Target << "\n";
    }
    return ExitOk;
}
