// tr7042k-ports, the command line as both systems read it: the options, probe and line; the
// system's own commands are in ToolPosix.cpp and ToolWin32.cpp.
#include "Tool.h"

#include "Line.h"
#include "PortCheck.h"
#include "Probe.h"
#include "ToolPlatform.h"

#include <algorithm>

namespace {

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

} // namespace

int PortsUsage(std::ostream& err, const std::string& what) {
    err << "tr7042k-ports: " << what << "\nСправка: tr7042k-ports --help\n";
    return ExitUsage;
}

int RunPortsTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    PortRoots roots;
    std::vector<std::string> words;
    int baud = 19200, count = 200;
    bool lineOptions = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out << PortsHelp();
            return ExitOk;
        }
        if (a == "--version") {
            out << PortsVersion() << "\n";
            return ExitOk;
        }
        if (a == "--sysfs" || a == "--dev") {
            if (!PortsReadDeviceTree())
                return PortsUsage(err, "параметр " + a + " есть только в Linux");
            if (i + 1 >= args.size()) return PortsUsage(err, "после " + a + " нужна папка");
            (a == "--sysfs" ? roots.Sys : roots.Dev) = args[++i];
        } else if (a == "--baud" || a == "--count") {
            const bool isBaud = a == "--baud";
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            const int n = Number(value, 1, isBaud ? 115200 : 100000);
            if (isBaud &&
                std::find(std::begin(kLineRates), std::end(kLineRates), n) == std::end(kLineRates))
                return PortsUsage(err, "после --baud нужна скорость: 9600, 19200, 57600, 115200 "
                                       "(или 1200, 2400, 4800, 38400)");
            if (n < 0) return PortsUsage(err, "после --count нужно число обменов от 1 до 100000");
            (isBaud ? baud : count) = n;
            lineOptions = true;
        } else if (a.rfind("--", 0) == 0) {
            return PortsUsage(err, "неизвестный параметр " + a);
        } else {
            words.push_back(a);
        }
    }
    const std::string command = words.empty() ? "list" : words[0];
    if (lineOptions && command != "line")
        return PortsUsage(err, "--baud и --count - параметры команды line");
    if (command == "probe")
        return ProbeCommand(std::vector<std::string>(words.begin() + 1, words.end()), roots, out,
                            err);
    if (command == "line" && words.size() == 2)
        return LineCommand(words[1], baud, count, roots, out, err);
    if (command != "list" && command != "map" && command != "unmap" && command != "check" &&
        command != "line")
        return PortsUsage(err, "неизвестная команда " + command);
    // line with its port has been run above.
    if ((command == "list" && words.size() > 1) || command == "line")
        return PortsUsage(err, "неверное число аргументов команды " + command);
    if (command == "list") return ListPorts(roots, out);
    return PortMappingCommand(words, roots, out, err);
}
