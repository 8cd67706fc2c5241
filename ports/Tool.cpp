#include "Tool.h"

#include "Files.h"
#include "Line.h"
#include "PortCheck.h"
#include "PortList.h"
#include "PortPath.h"
#include "Probe.h"

#include <algorithm>
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

// The rates the link can set on a line.
const int kLineRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// A whole number from min to max, or -1.
int Number(const std::string& text, int min, int max) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const int n = std::stoi(text);
    return n >= min && n <= max ? n : -1;
}

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

int List(const PortRoots& roots, std::ostream& out) {
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

int Usage(std::ostream& err, const std::string& what) {
    err << "tr7042k-ports: " << what << "\nСправка: tr7042k-ports --help\n";
    return ExitUsage;
}

} // namespace

int RunPortsTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    PortRoots roots;
    std::vector<std::string> words;
    int baud = 19200, count = 200;
    bool lineOptions = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << kHelp;
            return ExitOk;
        }
        if (a == "--version") {
            out << "tr7042k-ports " << TR_VERSION << "\n";
            return ExitOk;
        }
        if (a == "--sysfs" || a == "--dev") {
            if (i + 1 >= args.size()) return Usage(err, "после " + a + " нужна папка");
            (a == "--sysfs" ? roots.Sys : roots.Dev) = args[++i];
        } else if (a == "--baud" || a == "--count") {
            const bool isBaud = a == "--baud";
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            const int n = Number(value, 1, isBaud ? 115200 : 100000);
            if (isBaud &&
                std::find(std::begin(kLineRates), std::end(kLineRates), n) == std::end(kLineRates))
                return Usage(err, "после --baud нужна скорость: 9600, 19200, 57600, 115200 "
                                  "(или 1200, 2400, 4800, 38400)");
            if (n < 0) return Usage(err, "после --count нужно число обменов от 1 до 100000");
            (isBaud ? baud : count) = n;
            lineOptions = true;
        } else if (a.rfind("--", 0) == 0) {
            return Usage(err, "неизвестный параметр " + a);
        } else {
            words.push_back(a);
        }
    }
    const std::string command = words.empty() ? "list" : words[0];
    if (lineOptions && command != "line")
        return Usage(err, "--baud и --count - параметры команды line");
    if (command == "probe")
        return ProbeCommand(std::vector<std::string>(words.begin() + 1, words.end()), roots, out,
                            err);
    if (command == "line" && words.size() == 2)
        return LineCommand(words[1], baud, count, roots, out, err);
    const std::size_t expected = command == "list" ? 1 : command == "map" ? 3 : 2;
    if (command != "list" && command != "map" && command != "unmap" && command != "check" &&
        command != "line")
        return Usage(err, "неизвестная команда " + command);
    if (words.size() > expected || (command != "list" && words.size() != expected))
        return Usage(err, "неверное число аргументов команды " + command);
    if (command == "list") return List(roots, out);

    const int port = PortNumberFromName(words[1].c_str());
    if (port < 1)
        return Usage(err, "неверное имя порта " + words[1] + " (нужно от COM1 до COM" +
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
