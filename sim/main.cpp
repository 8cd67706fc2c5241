// tr7042k-sim: a simulated TR7042K fiscal printer on a pseudo-terminal or a serial line. It
// prints the paper roll, the customer display, drawer, cut and beep events as they happen.
#include "Cp1251.h"
#include "DeviceModel.h"
#include "LineRate.h"
#include "PortPath.h"
#include "Server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

namespace {

sim::Server* gServer = nullptr;

void OnSignal(int) {
    if (gServer != nullptr) gServer->Stop();
}

const char* kHelp = R"(Использование: tr7042k-sim [параметры]

Линия:
  --port COMn            псевдотерминал, связанный как COMn (по умолчанию COM1): ссылка comN
                         в $XDG_CONFIG_HOME/tr7042k/ports (или ~/.config/tr7042k/ports)
  --device PATH          настоящий последовательный порт (8N1), например /dev/ttyUSB0
  --baud N               скорость аппарата (1200 ... 115200): темп передачи, а на
                         псевдотерминале и скорость, на которой он понимает консоль
                         (без --baud: 19200, любая скорость)
  --no-pacing            отвечать без темпа передачи по скорости линии
  --line-time MS         время печати одной строки (по умолчанию 25)
  --cut-time MS          время отрезки чека (по умолчанию 300)
  --fast                 без задержек печати и без темпа передачи
  --trace                показывать каждую принятую команду

Состояние:
  --admin-password PW    пароль администратора (по умолчанию 0000)
  --factory-number S     заводской номер (по умолчанию TR00012345)
  --fiscal-number S      фискальный номер (по умолчанию 1234567890)
  --tax-number S         налоговый номер (по умолчанию 123456789012)
  --switches XXXXXXXX    переключатели (по умолчанию 00101100)
  --fresh                новый аппарат: нет заводского номера, фискальная память
                         не форматирована, нет фискального номера
  --open-receipt KIND    оставить открытым чек: fiscal, return или nonfiscal
  --paper-out            нет бумаги
  --paper-lines N        на рулоне осталось N строк
  --clock-invalid        часы не установлены

Неисправности (без =N: постоянно; с =N: на следующие N команд):
  --silent[=N]           нет ответа
  --nak[=N]              NAK вместо ответа
  --bad-checksum[=N]     ответ с неверной контрольной суммой
  --syn-forever[=N]      только SYN, без ответа
  --garbage[=N]          мусорные байты перед ответом
  --cut-short[=N]        ответ обрывается на середине
  --second-soh[=N]       второй SOH посреди ответа
  --hang-up[=N]          аппарат обрывает линию
  --status-bits CMD:S0,S1,S2,S3,S4,S5
                         добавить биты состояния (hex) к ответам на команду CMD (hex;
                         0 - на все команды); команда при ошибке не выполняется
  --help                 эта справка
  --version              версия программы
)";

// A whole number in the base from min to max, digits only: "abc", "12x", "-1" or "" are no number.
bool Number(const std::string& text, int base, long min, long max, long& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF" : "0123456789") !=
            std::string::npos)
        return false;
    value = std::strtol(text.c_str(), nullptr, base);
    return value >= min && value <= max;
}

// A fault's option: on for good without a count, for the next N requests with =N (0: off).
// Gives false when the argument is not this option; refuses a count that is no number.
bool Fault(const std::string& arg, const char* name, int& counter) {
    const std::string flag = std::string("--") + name;
    if (arg == flag) {
        counter = DeviceModel::kAlways;
        return true;
    }
    if (arg.rfind(flag + "=", 0) != 0) return false;
    long n = 0;
    if (!Number(arg.substr(flag.size() + 1), 10, 0, 1000000, n)) {
        std::fprintf(stderr, "tr7042k-sim: %s: число запросов - целое от 0 до 1000000\n",
                     arg.c_str());
        std::exit(1);
    }
    counter = static_cast<int>(n);
    return true;
}

// CMD:S0,S1,S2,S3,S4,S5, every value hex from 0 to FF; command 0 means every command.
bool ParseStatusBits(const std::string& text, int& command, std::array<std::uint8_t, 6>& bits) {
    const auto colon = text.find(':');
    long value = 0;
    if (colon == std::string::npos || !Number(text.substr(0, colon), 16, 0, 0xFF, value))
        return false;
    command = static_cast<int>(value);
    std::size_t pos = colon + 1;
    for (int i = 0; i < 6; ++i) {
        const auto comma = text.find(',', pos);
        const std::string part = text.substr(pos, comma == std::string::npos ? comma : comma - pos);
        if (!Number(part, 16, 0, 0xFF, value)) return false;
        bits[i] = static_cast<std::uint8_t>(value);
        if (comma == std::string::npos) return i == 5;
        pos = comma + 1;
    }
    return false; // more than six values
}

DeviceModel::DateTime LocalNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// Device text for the terminal: control bytes (which could drive the terminal) are shown as
// '.', the rest converted to UTF-8.
std::string Shown(std::string cp1251) {
    for (char& c : cp1251) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
    }
    return sim::FromCp1251(cp1251);
}

void ShowEvents(const std::vector<DeviceModel::Event>& events) {
    for (const auto& e : events) {
        switch (e.kind) {
        case DeviceModel::EventKind::Printed: {
            std::string line = e.text;
            line.resize(DeviceModel::kLineWidth, ' ');
            std::printf("  │%s│\n", Shown(line).c_str());
            break;
        }
        case DeviceModel::EventKind::Display: {
            const auto nl = e.text.find('\n');
            std::string upper = e.text.substr(0, nl), lower = e.text.substr(nl + 1);
            upper.resize(DeviceModel::kDisplayWidth, ' ');
            lower.resize(DeviceModel::kDisplayWidth, ' ');
            std::printf("  Дисплей: [%s] [%s]\n", Shown(upper).c_str(), Shown(lower).c_str());
            break;
        }
        case DeviceModel::EventKind::Drawer:
            std::printf("  Денежный ящик открыт (импульс %d мс)\n", e.value);
            break;
        case DeviceModel::EventKind::Cut:
            std::printf("  ✂ - - - - - - - - - - - - - - - - - - -\n");
            break;
        case DeviceModel::EventKind::Beep:
            std::printf("  Звуковой сигнал\n");
            break;
        }
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    DeviceModel::Options options;
    DeviceModel::Faults faults;
    int port = 1;
    std::string device;
    int baud = 19200;
    bool baudGiven = false; // the device keeps to its rate on a pseudo-terminal too
    bool pacing = true;
    int lineTime = 25, cutTime = 300;
    bool trace = false, fresh = false, paperOut = false, clockInvalid = false;
    DeviceModel::ReceiptKind openReceipt = DeviceModel::ReceiptKind::None;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tr7042k-sim: %s: нет значения (%s)\n", arg.c_str(), what);
                std::exit(1);
            }
            return argv[++i];
        };
        auto count = [&](const char* what, long max) -> int {
            const std::string v = value(what);
            long n = 0;
            if (!Number(v, 10, 0, max, n)) {
                std::fprintf(stderr, "tr7042k-sim: %s %s: нужно целое от 0 до %ld (%s)\n",
                             arg.c_str(), v.c_str(), max, what);
                std::exit(1);
            }
            return static_cast<int>(n);
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("tr7042k-sim %s\n", TR_VERSION);
            return 0;
        } else if (arg == "--port") {
            // The port names tr7042k-ports and the console's link take, and no others.
            const std::string v = value("COMn");
            port = PortNumberFromName(v.c_str());
            if (port < 1) {
                std::fprintf(stderr, "tr7042k-sim: неверный порт %s (нужно от COM1 до COM%d)\n",
                             v.c_str(), static_cast<int>(PortNumberMax));
                return 1;
            }
        } else if (arg == "--device") {
            device = value("путь");
        } else if (arg == "--baud") {
            // The rates a serial line can be set to: a device keeps to one of them.
            baud = count("скорость", 115200);
            if (!sim::IsLineRate(baud)) {
                std::fprintf(stderr,
                             "tr7042k-sim: --baud %d: нужна одна из скоростей 1200, 2400, 4800, "
                             "9600, 19200, 38400, 57600, 115200\n",
                             baud);
                return 1;
            }
            baudGiven = true;
        } else if (arg == "--no-pacing") {
            pacing = false;
        } else if (arg == "--line-time") {
            lineTime = count("мс", 600000);
        } else if (arg == "--cut-time") {
            cutTime = count("мс", 600000);
        } else if (arg == "--fast") {
            pacing = false;
            lineTime = cutTime = 0;
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--admin-password") {
            options.adminPassword = sim::ToCp1251(value("пароль"));
        } else if (arg == "--factory-number") {
            options.factoryNumber = sim::ToCp1251(value("номер"));
        } else if (arg == "--fiscal-number") {
            options.fiscalNumber = sim::ToCp1251(value("номер"));
        } else if (arg == "--tax-number") {
            options.taxNumber = sim::ToCp1251(value("номер"));
        } else if (arg == "--switches") {
            options.switches = value("переключатели");
        } else if (arg == "--fresh") {
            fresh = true;
        } else if (arg == "--open-receipt") {
            const std::string v = value("fiscal|return|nonfiscal");
            if (v == "fiscal")
                openReceipt = DeviceModel::ReceiptKind::Fiscal;
            else if (v == "return")
                openReceipt = DeviceModel::ReceiptKind::Return;
            else if (v == "nonfiscal")
                openReceipt = DeviceModel::ReceiptKind::NonFiscal;
            else {
                std::fprintf(stderr, "tr7042k-sim: неверный вид чека %s\n", v.c_str());
                return 1;
            }
        } else if (arg == "--paper-out") {
            paperOut = true;
        } else if (arg == "--paper-lines") {
            options.paperLines = count("строк", 100000000);
        } else if (arg == "--clock-invalid") {
            clockInvalid = true;
        } else if (arg == "--status-bits") {
            int command = 0;
            std::array<std::uint8_t, 6> bits{};
            const std::string v = value("CMD:S0,...,S5");
            if (!ParseStatusBits(v, command, bits)) {
                std::fprintf(
                    stderr,
                    "tr7042k-sim: неверные биты состояния %s (нужно CMD:S0,S1,S2,S3,S4,S5, "
                    "каждое шестнадцатеричное от 0 до FF)\n",
                    v.c_str());
                return 1;
            }
            faults.statusBits[command] = bits;
        } else if (Fault(arg, "silent", faults.silent) || Fault(arg, "nak", faults.nak) ||
                   Fault(arg, "bad-checksum", faults.badChecksum) ||
                   Fault(arg, "syn-forever", faults.synForever) ||
                   Fault(arg, "garbage", faults.garbage) ||
                   Fault(arg, "cut-short", faults.cutShort) ||
                   Fault(arg, "second-soh", faults.secondSoh) ||
                   Fault(arg, "hang-up", faults.hangUp)) {
        } else {
            std::fprintf(stderr, "tr7042k-sim: неизвестный параметр %s (см. --help)\n",
                         arg.c_str());
            return 1;
        }
    }

    options.clock = LocalNow();
    options.lineTimeMs = lineTime;
    options.cutTimeMs = cutTime;
    options.baud = pacing ? baud : 0;
    DeviceModel model(options);
    if (fresh) model.MakeFresh();
    if (paperOut) model.SetPaperOut(true);
    if (clockInvalid) model.SetClockValid(false);
    if (openReceipt != DeviceModel::ReceiptKind::None) model.LeaveReceiptOpen(openReceipt);
    model.GetFaults() = faults;

    std::mutex mutex;
    sim::Server server(model, mutex);
    server.SetEventSink(ShowEvents);
    server.SetKeepHistory(false);
    if (baudGiven) server.SetLineRate(baud);
    if (trace) {
        server.SetTraceSink([](const DeviceModel::Request& r) {
            std::printf("→ 0x%02X %s\n", r.command, Shown(r.data).c_str());
            std::fflush(stdout);
        });
    }
    gServer = &server;
    // Every signal that can be caught ends the simulator the same clean way, removing its link:
    // Ctrl-C, Ctrl-\\, kill, and the terminal closed under it.
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGQUIT})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    if (!device.empty()) {
        if (!server.OpenSerial(device, baud, error)) {
            std::fprintf(stderr, "tr7042k-sim: %s\n", error.c_str());
            return 1;
        }
        std::printf("Симулятор TR7042K на %s, %d бод. Ctrl-C - выход.\n", device.c_str(), baud);
        std::fflush(stdout);
        // A line whose far end goes (an adapter pulled out) is reported once, then opened again
        // once a second until it is back; the wait costs nothing and Ctrl-C ends it at once.
        for (;;) {
            server.Run();
            const bool hungUp = server.HungUp();
            server.Close();
            if (!hungUp) break;
            std::printf("Линия %s оборвана: жду её возвращения.\n", device.c_str());
            std::fflush(stdout);
            bool back = false;
            while (!back && server.Rest(1000))
                back = server.OpenSerial(device, baud, error);
            if (!back) break;
            std::printf("Линия %s снова на месте.\n", device.c_str());
            std::fflush(stdout);
        }
        std::printf("Симулятор остановлен.\n");
        return 0;
    }

    // COMn is taken for the whole run: a claim held while the process lives proves the link to
    // its terminal live, and keeps a second simulator and a technician's mapping from clashing.
    const int claim = sim::ClaimPort(port, error);
    if (claim < 0) {
        std::fprintf(stderr, "tr7042k-sim: %s\n", error.c_str());
        return 1;
    }
    // On a pseudo-terminal a hang-up is followed, a second later, by a new line under the same
    // port name, as when the cable is plugged in again. Meanwhile the link stays, serving nothing.
    std::string link, slave;
    for (;;) {
        if (!server.OpenPty(error) ||
            !sim::MakePortLink(port, claim, server.SlavePath(), link, error)) {
            std::fprintf(stderr, "tr7042k-sim: %s\n", error.c_str());
            sim::RemovePortLink(link, slave);
            sim::ReleasePort(port, claim);
            return 1;
        }
        slave = server.SlavePath();
        std::printf("Симулятор TR7042K: COM%d = %s -> %s. Ctrl-C - выход.\n", port, link.c_str(),
                    slave.c_str());
        std::fflush(stdout);
        server.Run();
        const bool hungUp = server.HungUp();
        server.Close();
        if (!hungUp) break;
        sim::ServeNothing(claim);
        std::printf("Линия оборвана.\n");
        std::fflush(stdout);
        if (!server.Rest(1000)) break;
    }
    sim::RemovePortLink(link, slave);
    sim::ReleasePort(port, claim);
    std::printf("Симулятор остановлен.\n");
    return 0;
}
