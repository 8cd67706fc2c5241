// tr7042k-ports on Windows: the ports are Windows' own COMn, which the console opens directly;
// list shows them, and map, unmap and check belong to Linux.
#include "ToolPlatform.h"

#include "PortCheck.h"
#include "PortListWin32.h"

namespace {

const char* const kHelp = R"(Использование: tr7042k-ports [параметры] [команда]

Показывает COM-порты Windows, находит на них принтер TR7042K и проверяет линию к нему.

Команды:
  list                 все COM-порты (команда по умолчанию): имя, которое даёт порту
                       Windows (как в Диспетчере устройств), и можно ли открыть порт
                       сейчас или он занят другой программой
  probe [COMn...]      найти принтер: на каждом порту (без COMn - на всех COM-портах)
                       попробовать скорости консоли 19200, 9600, 57600, 115200 безвредным
                       запросом состояния и показать, на какой ответил принтер и кто он
  line COMn [--baud B] [--count N]
                       проверить линию: N запросов состояния (по умолчанию 200) на скорости B
                       (по умолчанию 19200); сколько ответов, NAK, неверных контрольных сумм,
                       таймаутов, оборванных ответов, ожиданий SYN, время ответа, байты в обе
                       стороны и вывод о линии с вероятной причиной

Параметры:
  --help               эта справка
  --version            версия программы

Порт COMn - это COM-порт Windows с тем же именем: консоль открывает его сама, для
монопольного использования. Номер порту адаптера даёт Windows; сменить его можно в
Диспетчере устройств («Порты (COM и LPT)», свойства порта, «Параметры порта»,
«Дополнительно»). В списке портов консоли - от COM1 до COM20. Команды map, unmap и check
нужны только в Linux, где COMn - ссылка на устройство; здесь они завершаются с кодом 1.

Переменная окружения TR7042K_TRACE=ФАЙЛ: probe и line (как и консоль) дописывают в ФАЙЛ
трассу обмена - каждый кадр со временем, байтами и расшифровкой.

Коды завершения:
  0  всё в порядке                  4  порт занят другой программой
  1  неверные аргументы             7  другая ошибка
  2  нет такого порта
  probe: 0 - принтер найден, 2 - не найден ни на одном порту
  line: 0 - линия в порядке, 1 - нет; порт не открылся - 2, 4 или 7
)";

} // namespace

const char* PortsHelp() {
    return kHelp;
}

std::string PortsVersion() {
    return std::string("tr7042k-ports ") + TR_VERSION + " (Windows)";
}

bool PortsReadDeviceTree() {
    return false;
}

int ListPorts(const PortRoots&, std::ostream& out) {
    const std::vector<ComPort> ports = ListComPorts();
    if (ports.empty())
        out << "COM-портов не найдено: подключите адаптер; порты Windows показывает Диспетчер "
               "устройств, раздел «Порты (COM и LPT)».\n";
    for (const ComPort& p : ports) {
        out << "COM" << p.Number << "  " << DescribeComPort(p) << "\n";
        if (!p.Unix.empty()) out << "    в wine ведёт к: " << p.Unix << "\n";
        if (p.Number > kConsoleComPortMax)
            out << "    порт консоли:   в списке портов консоли только COM1-COM"
                << kConsoleComPortMax
                << ": номер меняют в Диспетчере устройств (свойства порта, «Параметры порта», "
                   "«Дополнительно»)\n";
        const PortDiagnosis d = DiagnoseComPort(p.Number);
        out << "    доступ:         "
            << (d.Problem == PortProblem::None ? "есть (порт свободен)" : "нет - " + d.Reason)
            << "\n";
        if (!d.Fix.empty()) out << "    что сделать:    " << d.Fix << "\n";
    }
    return ExitOk;
}

int PortMappingCommand(const std::vector<std::string>& words, const PortRoots&, std::ostream&,
                       std::ostream& err) {
    const std::string& command = words[0];
    err << "tr7042k-ports: команда " << command << " - только для Linux: "
        << (command == "check"
                ? "в Windows консоль открывает COMn напрямую, а можно ли открыть порт сейчас, "
                  "показывает tr7042k-ports list"
                : "в Windows порты называет сама Windows (Диспетчер устройств, «Порты (COM и "
                  "LPT)»), и консоль открывает COMn напрямую")
        << "\n";
    return ExitUsage;
}
