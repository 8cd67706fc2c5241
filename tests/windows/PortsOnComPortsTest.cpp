// tr7042k-ports on the workstation: the listing's reading of SetupAPI and registry data, the
// console output, the commands that belong to Linux, and list, probe and line against simulated
// printers on COM ports.
//
// scripts/test-windows.sh maps the ports as for the link's test (COM1 a healthy printer, COM4 a
// silent one, COM200 none; under wine: HKLM\Software\Wine\Ports), then runs this program.
#include "ConsoleWin32.h"
#include "Line.h"
#include "PortListWin32.h"
#include "Printer.h"
#include "Tool.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

const int HealthyPort = 1;
const int SilentPort = 4;
const int UnmappedPort = 200;

struct ToolRun {
    int code;
    std::string out, err;
};

ToolRun Tool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunPortsTool(args, out, err);
    return {code, out.str(), err.str()};
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The listing's lines of one port, each with its line end: from its own line to the next port's.
std::string ListedPort(const std::string& listing, int port) {
    const std::string head = "COM" + std::to_string(port) + "  ";
    const auto at = listing.rfind(head, 0) == 0 ? 0 : listing.find("\n" + head);
    if (at == std::string::npos) return {};
    const auto from = at == 0 ? 0 : at + 1;
    const auto next = listing.find("\nCOM", from);
    return listing.substr(from, next == std::string::npos ? std::string::npos : next + 1 - from);
}

} // namespace

TEST(ComPortNames, OnlyCOMnNamesAPort) {
    struct Case {
        const char* name;
        int number;
    };
    const Case cases[] = {
        {"COM1", 1},   {"com3", 3},         {"Com12", 12}, {"COM256", 256}, {"COM257", -1},
        {"COM0", -1},  {"COM03", -1},       {"COM", -1},   {"LPT1", -1},    {"COM3:", -1},
        {"COM3 ", -1}, {"\\\\.\\COM3", -1}, {"COM-1", -1}, {"", -1},        {"COM99999999999", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComPortNumber(c.name), c.number) << c.name;
}

// Registry strings come with their NUL, without it, with an odd byte, or not as strings at all.
TEST(ComPortNames, RegistryTextDecodesStringValues) {
    const wchar_t withNul[] = L"COM3"; // 10 bytes with the NUL
    const wchar_t friendly[] = L"Последовательный порт (COM1)";
    const wchar_t twoStrings[] = L"COM5\0junk";
    struct Case {
        unsigned long type;
        const void* data;
        unsigned long bytes;
        const char* text;
    };
    const Case cases[] = {
        {REG_SZ, withNul, sizeof withNul, "COM3"},
        {REG_SZ, withNul, 4 * sizeof(wchar_t), "COM3"},     // no NUL stored
        {REG_SZ, withNul, 4 * sizeof(wchar_t) + 1, "COM3"}, // an odd byte left over
        {REG_SZ, withNul, 3 * sizeof(wchar_t), "COM"},
        {REG_EXPAND_SZ, withNul, sizeof withNul, "COM3"},
        {REG_SZ, friendly, sizeof friendly, "Последовательный порт (COM1)"},
        {REG_SZ, twoStrings, sizeof twoStrings, "COM5"},
        {REG_MULTI_SZ, twoStrings, sizeof twoStrings, ""},
        {REG_DWORD, withNul, 4, ""},
        {REG_BINARY, withNul, sizeof withNul, ""},
        {REG_SZ, withNul, 0, ""},
        {REG_SZ, nullptr, 8, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RegistryText(c.type, c.data, c.bytes), c.text)
            << "type " << c.type << ", " << c.bytes << " bytes";
    // Not aligned for wchar_t, as a buffer of bytes may be.
    char bytes[sizeof withNul + 1];
    memcpy(bytes + 1, withNul, sizeof withNul);
    EXPECT_EQ(RegistryText(REG_SZ, bytes + 1, sizeof withNul), "COM3");
}

TEST(ComPortNames, FirstOfListTakesTheCurrentTarget) {
    const wchar_t two[] = L"\\Device\\Serial0\0\\Device\\Old\0";
    EXPECT_EQ(FirstOfList(two, sizeof two / sizeof two[0]), "\\Device\\Serial0");
    EXPECT_EQ(FirstOfList(L"\\Device\\VCP0", 7), "\\Device");
    EXPECT_EQ(FirstOfList(L"", 1), "");
    EXPECT_EQ(FirstOfList(nullptr, 5), "");
}

// SetupAPI's names first, then the device map's devices; one port per COMn, lowest first.
TEST(ComPortNames, FindingsMergeByPort) {
    struct Case {
        const char* what;
        std::vector<ComPortFinding> findings;
        std::vector<ComPort> ports;
    };
    const Case cases[] = {
        {"nothing found", {}, {}},
        {"wine: no SetupAPI, the device map and the DOS names agree",
         {{"COM3", "", "\\Device\\Serial2"},
          {"COM1", "", "\\Device\\Serial0"},
          {"COM12", "", "\\Device\\Serial11"},
          {"COM1", "", "\\Device\\Serial0"},
          {"COM3", "", "\\Device\\Serial2"},
          {"COM12", "", "\\Device\\Serial11"}},
         {{1, "", "\\Device\\Serial0", ""},
          {3, "", "\\Device\\Serial2", ""},
          {12, "", "\\Device\\Serial11", ""}}},
        {"Windows: names from SetupAPI, devices from the device map, LPT left out",
         {{"LPT1", "Printer Port (LPT1)", ""},
          {"COM3", "USB Serial Port (COM3)", ""},
          {"COM1", "Communications Port (COM1)", ""},
          {"COM1", "", "\\Device\\Serial0"},
          {"COM3", "", "\\Device\\VCP0"},
          {"com3", "", "\\Device\\Other"}},
         {{1, "Communications Port (COM1)", "\\Device\\Serial0", ""},
          {3, "USB Serial Port (COM3)", "\\Device\\VCP0", ""}}},
        {"a port only a DOS name knows, a device without a port name",
         {{"", "Unknown Port", ""}, {"COM21", "", "\\Device\\com0com21"}, {"COM0", "", "x"}},
         {{21, "", "\\Device\\com0com21", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<ComPort> merged = MergeComPorts(c.findings);
        ASSERT_EQ(merged.size(), c.ports.size());
        for (std::size_t i = 0; i < merged.size(); ++i) {
            EXPECT_EQ(merged[i].Number, c.ports[i].Number);
            EXPECT_EQ(merged[i].Name, c.ports[i].Name);
            EXPECT_EQ(merged[i].Device, c.ports[i].Device);
        }
    }
}

TEST(ComPortNames, DescribedByWindowsNameElseDevice) {
    EXPECT_EQ(DescribeComPort({3, "USB Serial Port (COM3)", "\\Device\\VCP0", ""}),
              "USB Serial Port (COM3)");
    EXPECT_EQ(DescribeComPort({1, "", "\\Device\\Serial0", "/dev/pts/3"}),
              "последовательный порт \\Device\\Serial0");
    EXPECT_EQ(DescribeComPort({7, "", "", ""}), "последовательный порт");
}

TEST(ConsoleText, WholeUtf8CharactersOnly) {
    struct Case {
        std::string text;
        std::size_t whole;
    };
    const Case cases[] = {
        {"", 0},
        {"COM1\n", 5},
        {"порт", 8},
        {"порт\xD0", 8},          // the first byte of a two-byte letter
        {"\xE2\x80", 0},          // two bytes of a three-byte character
        {"a\xE2\x80\x94", 4},     // a whole dash
        {"a\xF0\x9F\x98", 1},     // three of four
        {"a\xF0\x9F\x98\x80", 5}, // all four
        {"a\x80\x80\x80", 4},     // stray continuation bytes: never whole, not held
        {"a\xFF", 2},             // a byte UTF-8 never uses
    };
    for (const Case& c : cases)
        EXPECT_EQ(WholeUtf8Length(c.text), c.whole) << c.text;
}

// A file gets the UTF-8 bytes as they are.
TEST(ConsoleText, AFileGetsUtf8) {
    const char* name = "ports-output.txt";
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    {
        ConsoleOutput buffer(file);
        EXPECT_FALSE(buffer.IsConsole());
        std::ostream out(&buffer);
        out << "доступ:         есть\n"
            << "\xD0";
        out << "\x9F" << std::string(5000, '.') << "\n";
    }
    CloseHandle(file);
    std::string bytes;
    if (FILE* f = fopen(name, "rb")) {
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;)
            bytes.append(chunk, n);
        fclose(f);
    }
    DeleteFileA(name);
    EXPECT_EQ(bytes, "доступ:         есть\nП" + std::string(5000, '.') + "\n");
}

// map, unmap and check say in one line that they belong to Linux, whatever follows them.
TEST(WindowsCommands, MappingBelongsToLinux) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"map", "COM3", "x"},
                                                 {"map", "COM3"},
                                                 {"unmap", "COM3"},
                                                 {"check", "COM1"},
                                                 {"check"}}) {
        SCOPED_TRACE(args[0] + " with " + std::to_string(args.size() - 1) + " words");
        const ToolRun r = Tool(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("tr7042k-ports: команда " + args[0] + " - только для Linux: ", 0), 0u)
            << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "more than one line: " << r.err;
        EXPECT_TRUE(Has(r.err, "COMn напрямую")) << r.err;
    }
}

TEST(WindowsCommands, HelpAndVersionTellOfWindows) {
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* part : {"list", "probe [COMn...]", "line COMn", "Диспетчере устройств",
                             "от COM1 до COM20", "TR7042K_TRACE", "только в Linux"})
        EXPECT_TRUE(Has(help.out, part)) << part;
    for (const char* linuxOnly : {"XDG_CONFIG_HOME", "ttyS", "/dev/", "--sysfs", "map COMn УСТР"})
        EXPECT_FALSE(Has(help.out, linuxOnly)) << linuxOnly;
    const ToolRun version = Tool({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out.rfind("tr7042k-ports ", 0), 0u);
    EXPECT_TRUE(Has(version.out, "(Windows)\n")) << version.out;
}

TEST(WindowsCommands, WrongUseIsRefused) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"--sysfs", "x"}, "параметр --sysfs есть только в Linux"},
        {{"--dev", "x", "list"}, "параметр --dev есть только в Linux"},
        {{"probe", "/dev/ttyUSB0"}, "неверное имя порта /dev/ttyUSB0"},
        {{"line", "ttyS0"}, "неверное имя порта ttyS0"},
        {{"line", "COM0"}, "неверное имя порта COM0"},
        {{"line"}, "неверное число аргументов команды line"},
        {{"list", "COM1"}, "неверное число аргументов команды list"},
        {{"frob"}, "неизвестная команда frob"},
        {{"list", "--count", "3"}, "--baud и --count - параметры команды line"},
    };
    for (const Case& c : cases) {
        const ToolRun r = Tool(c.args);
        EXPECT_EQ(r.code, 1) << c.says;
        EXPECT_TRUE(Has(r.err, c.says)) << r.err;
    }
}

// The verdict on a line that takes no requests tells the Windows command.
TEST(WindowsCommands, FlowControlFixIsWindows) {
    LineReport report;
    report.Done = 10;
    report.Answered = 8;
    report.Silent = 2;
    report.NotSent = 2;
    const std::string verdict = Verdict(report, 19200);
    EXPECT_TRUE(Has(verdict, "(mode COMn octs=off rts=on)")) << verdict;
    EXPECT_FALSE(Has(verdict, "stty")) << verdict;
}

// The ports below are those scripts/test-windows.sh maps.
TEST(ComPortsPresent, ListedWithTheirAccess) {
    const std::vector<ComPort> ports = ListComPorts();
    bool healthy = false;
    for (const ComPort& p : ports) {
        healthy = healthy || p.Number == HealthyPort;
        EXPECT_NE(p.Number, UnmappedPort);
    }
    ASSERT_TRUE(healthy) << "COM1 is not listed: are the ports mapped?";

    const ToolRun list = Tool({"list"});
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.err, "");
    const std::string com1 = ListedPort(list.out, HealthyPort);
    ASSERT_FALSE(com1.empty()) << list.out;
    EXPECT_TRUE(Has(com1, "\n    доступ:         есть (порт свободен)\n")) << com1;
    EXPECT_EQ(Tool({}).out.substr(0, 5), list.out.substr(0, 5)) << "list is the default";
    EXPECT_EQ(DiagnoseComPort(HealthyPort).Problem, PortProblem::None);
}

// While a program of ours holds COM1 the listing says so; once it lets go, the port is free.
TEST(ComPortsPresent, HeldPortIsTold) {
    ASSERT_NE(PrinterOpenPort(HealthyPort, 19200), -1);
    const PortDiagnosis held = DiagnoseComPort(HealthyPort);
    const std::string listed = ListedPort(Tool({"list"}).out, HealthyPort);
    PrinterClosePort();

    EXPECT_EQ(held.Problem, PortProblem::Held);
    EXPECT_TRUE(Has(held.Reason, "COM1 занят другой программой")) << held.Reason;
    EXPECT_FALSE(held.Fix.empty());
    EXPECT_TRUE(Has(listed, "    доступ:         нет - COM1 занят другой программой")) << listed;
    EXPECT_TRUE(Has(listed, "    что сделать:    закройте её")) << listed;
    EXPECT_EQ(DiagnoseComPort(HealthyPort).Problem, PortProblem::None) << "still held";
}

TEST(ComPortsPresent, MissingPortIsTold) {
    const PortDiagnosis d = DiagnoseComPort(UnmappedPort);
    EXPECT_EQ(d.Problem, PortProblem::Missing);
    EXPECT_EQ(d.Reason.rfind("нет порта COM200: Windows не находит такой порт (", 0), 0u)
        << d.Reason;
    EXPECT_TRUE(Has(d.Fix, "tr7042k-ports list")) << d.Fix;
    const ToolRun line = Tool({"line", "COM200"});
    EXPECT_EQ(line.code, 2);
    EXPECT_TRUE(Has(line.out, "COM200 не открывается: нет порта COM200")) << line.out;
}

TEST(ComPortsPresent, ProbeFindsThePrinter) {
    const ToolRun r = Tool({"probe", "COM1", "COM4"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("COM1\n    принтер отвечает на 19200 бод (ответ за ", 0), 0u) << r.out;
    for (const char* part :
         {"    заводской номер:  TR", "    фискальный номер: 1234567890\n",
          "    фискализирован:   да\n", "\nCOM4\n    нет ответа ни на одной скорости\n",
          "    115200 бод: ничего\n", "Найдено принтеров: 1 (портов проверено: 2, за "})
        EXPECT_TRUE(Has(r.out, part)) << part << "\n" << r.out;
}

TEST(ComPortsPresent, LineReportsAHealthyLine) {
    const ToolRun r = Tool({"line", "COM1", "--count", "20", "--baud", "9600"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("COM1, 9600 бод: 20 запросов состояния (0x4A)\n", 0), 0u) << r.out;
    EXPECT_TRUE(Has(r.out, "  ответов                               20\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "Вердикт: Линия в порядке.\n")) << r.out;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
