// tr7042k-ports probe and line against simulated printers run as a technician runs them
// (tr7042k-sim, each at its own baud rate or with its own fault), a terminal that is no printer,
// and a port that leads to a plain file.
#include "Line.h"
#include "PortPath.h"
#include "Probe.h"
#include "Tool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A config folder of the test's own, the user's while the object lives.
class Home {
public:
    Home() {
        char pattern[] = "/tmp/tr7042k-probe-XXXXXX";
        Root = mkdtemp(pattern);
        fs::create_directories(Ports());
        const char* saved = getenv("XDG_CONFIG_HOME");
        hadSaved_ = saved != nullptr;
        if (saved) saved_ = saved;
        setenv("XDG_CONFIG_HOME", Root.c_str(), 1);
    }
    ~Home() {
        if (hadSaved_)
            setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(Root);
    }
    fs::path Ports() const { return Root / "tr7042k/ports"; }
    fs::path Link(int port) const { return Ports() / ("com" + std::to_string(port)); }
    fs::path Root;

private:
    std::string saved_;
    bool hadSaved_ = false;
};

// tr7042k-sim serving COMn of the home with the options given, until the object goes.
class Simulator {
public:
    Simulator(const Home& home, int port, std::vector<std::string> options) {
        const std::string portName = "COM" + std::to_string(port);
        options.insert(options.begin(), {TR_SIM_PROGRAM, "--port", portName});
        pid_ = fork();
        if (pid_ == 0) {
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            std::vector<char*> argv;
            for (std::string& o : options)
                argv.push_back(o.data());
            argv.push_back(nullptr);
            execv(TR_SIM_PROGRAM, argv.data());
            _exit(127);
        }
        for (int i = 0; i < 500 && !fs::is_symlink(fs::symlink_status(home.Link(port))); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Target = fs::read_symlink(home.Link(port)).string();
    }
    ~Simulator() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::string Target; // the pseudo-terminal it serves

private:
    pid_t pid_ = -1;
};

// A pseudo-terminal with a shell-like program at the other end: it echoes what it is sent and
// prompts again, as a terminal that no printer answers on would.
class Terminal {
public:
    Terminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        Slave = ptsname(master_);
        thread_ = std::thread([this] {
            char buf[256];
            while (!stop_) {
                pollfd p{master_, POLLIN, 0};
                if (poll(&p, 1, 50) <= 0) continue;
                const ssize_t n = read(master_, buf, sizeof buf);
                if (n <= 0) continue;
                std::string echo(buf, static_cast<std::size_t>(n));
                echo += "\r\n$ ";
                (void)!write(master_, echo.data(), echo.size());
            }
        });
    }
    ~Terminal() {
        stop_ = true;
        thread_.join();
        close(master_);
    }
    std::string Slave;

private:
    int master_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct ToolRun {
    int code = -1;
    std::string out, err;
};

ToolRun Tool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    ToolRun r;
    r.code = RunPortsTool(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The probe's output cut into one block per port, by the port's name on the block's first line.
std::map<std::string, std::string> Blocks(const std::string& text) {
    std::map<std::string, std::string> blocks;
    std::istringstream in(text);
    std::string line, name;
    while (std::getline(in, line)) {
        if (line.rfind("    ", 0) != 0) name = line.substr(0, line.find(' '));
        blocks[name] += line + "\n";
    }
    return blocks;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Probe, FindsEachPrinterAtItsRateAndSaysWhatTheOtherPortsGave) {
    Home home;
    struct Printer {
        int port;
        int baud;
    };
    const std::vector<Printer> printers = {{11, 9600}, {12, 19200}, {13, 57600}, {14, 115200}};
    std::vector<std::unique_ptr<Simulator>> sims;
    for (const Printer& p : printers)
        sims.push_back(std::make_unique<Simulator>(
            home, p.port,
            std::vector<std::string>{"--baud", std::to_string(p.baud), "--factory-number",
                                     "TR" + std::to_string(p.baud)}));
    Simulator silent(home, 15, {"--silent"});
    Simulator unoffered(home, 16, {"--baud", "38400"});
    // A device that is no printer behind a line: a terminal served the way a simulator serves
    // its own, under a claim on COM17, else the link would not take it for a port at all.
    Terminal terminal;
    const int claim = PortClaim(17);
    ASSERT_GE(claim, 0);
    ASSERT_TRUE(PortClaimServe(claim, terminal.Slave.c_str()));
    fs::create_symlink(terminal.Slave, home.Link(17));
    const fs::path plain = home.Root / "notes.txt";
    std::ofstream(plain) << "not a port";
    fs::create_symlink(plain, home.Link(18));

    // No serial devices besides: this machine's own UARTs stay out of the test.
    const fs::path empty = home.Root / "empty";
    fs::create_directories(empty);
    const ToolRun run = Tool({"probe", "--dev", empty.string(), "--sysfs", empty.string()});
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    auto blocks = Blocks(run.out);
    for (const Printer& p : printers) {
        const std::string& b = blocks["COM" + std::to_string(p.port)];
        SCOPED_TRACE(b);
        EXPECT_TRUE(Has(b, "принтер отвечает на " + std::to_string(p.baud) + " бод"));
        EXPECT_TRUE(Has(b, "заводской номер:  TR" + std::to_string(p.baud)));
        EXPECT_TRUE(Has(b, "фискальный номер: 1234567890"));
        EXPECT_TRUE(Has(b, "версия ПО:        1.00"));
        EXPECT_TRUE(Has(b, "переключатели:    00101100"));
        EXPECT_TRUE(Has(b, "чек:              не открыт"));
        EXPECT_TRUE(Has(b, "бумага:           есть"));
    }
    const std::string& quiet = blocks["COM15"];
    EXPECT_TRUE(Has(quiet, "нет ответа ни на одной скорости")) << quiet;
    for (int baud : kConsoleRates)
        EXPECT_TRUE(Has(quiet, std::to_string(baud) + " бод: ничего")) << quiet;
    EXPECT_TRUE(Has(quiet, "не пришло ни байта")) << quiet;
    // A printer at 38400 is within three times of 19200, 57600 and 115200, which read its answers
    // garbled, and four times off 9600, at which it hears nothing.
    const std::string& odd = blocks["COM16"];
    EXPECT_TRUE(Has(odd, "нет ответа ни на одной скорости")) << odd;
    EXPECT_TRUE(Has(odd, "9600 бод: ничего")) << odd;
    for (const char* near : {"19200 бод: ничего", "57600 бод: ничего", "115200 бод: ничего"})
        EXPECT_FALSE(Has(odd, near)) << odd;
    EXPECT_TRUE(Has(odd, "приходили байты, но не ответы")) << odd;
    const std::string& shell = blocks["COM17"];
    EXPECT_TRUE(Has(shell, "нет ответа ни на одной скорости")) << shell;
    EXPECT_FALSE(Has(shell, "ничего")) << "a terminal answers every rate with bytes\n" << shell;
    const std::string& file = blocks["COM18"];
    EXPECT_TRUE(Has(file, "не открывается: COM18 (" + plain.string() +
                              ") - обычный файл, а не последовательный порт"))
        << file;
    EXPECT_TRUE(Has(run.out, "Найдено принтеров: 4 (портов проверено: 8")) << run.out;

    // What each rate gave the printer at 115200: the two rates six and twelve times slower
    // hear nothing, 57600 reads its answer garbled.
    const ProbeResult fast = ProbePort({"COM14", 14, ""});
    ASSERT_EQ(fast.Tries.size(), 4u);
    EXPECT_EQ(SeenText(fast.Tries[0].Result), "ничего");
    EXPECT_EQ(SeenText(fast.Tries[1].Result), "ничего");
    EXPECT_GT(fast.Tries[2].Result.Line.BytesReceived, 0u);
    EXPECT_FALSE(fast.Tries[2].Result.Answered());
    EXPECT_TRUE(fast.Tries[3].Result.Answered());
    EXPECT_EQ(fast.Baud, 115200);
    std::cout << "probe of COM14 (printer at the last rate tried): " << fast.Micros / 1000
              << " ms; of the whole bench: " << run.out.substr(run.out.rfind("за ") + 5) << "\n";

    // The ports named: a device path reaches the COMn that leads to it; nothing found gives 2;
    // a plain file given as the device is no port.
    const ToolRun byPath = Tool({"probe", sims[1]->Target});
    EXPECT_EQ(byPath.code, 0) << byPath.out;
    EXPECT_TRUE(Has(byPath.out, sims[1]->Target + "\n    принтер отвечает на 19200 бод"))
        << byPath.out;
    const fs::path unmapped = home.Root / "more-notes.txt";
    std::ofstream(unmapped) << "not a port either";
    const ToolRun none = Tool({"probe", "COM15", unmapped.string()});
    EXPECT_EQ(none.code, 2) << none.out;
    EXPECT_TRUE(Has(none.out, unmapped.string() +
                                  " (не связан с COMn)\n    не открывается: " + unmapped.string() +
                                  " - обычный файл, а не последовательный порт\n"))
        << none.out;
    EXPECT_TRUE(Has(none.out, "Найдено принтеров: 0")) << none.out;
    EXPECT_EQ(Tool({"probe", "COM0"}).code, 1);
    PortClaimRelease(17, claim);
}

// The line report's rows as label -> value.
std::map<std::string, long long> Rows(const std::string& text) {
    std::map<std::string, long long> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto last = line.find_last_of(' ');
        if (line.rfind("  ", 0) != 0 || last == std::string::npos) continue;
        const std::string value = line.substr(last + 1);
        if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string label = line.substr(2, last - 2);
        label.erase(label.find_last_not_of(' ') + 1);
        rows[label] = std::stoll(value);
    }
    return rows;
}

struct LineCase {
    const char* fault; // the simulator's option
    const char* row;   // the row that counts it
    int injected;
    const char* verdict; // the verdict begins so
};

void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.fault << "=" << c.injected;
}

class LineReportTest : public ::testing::TestWithParam<LineCase> {};

// Each fault the simulator injects is counted once in its own row and nowhere else.
TEST_P(LineReportTest, CountsEachFaultInjected) {
    const LineCase& c = GetParam();
    Home home;
    Simulator sim(home, 21, {"--fast", std::string(c.fault) + "=" + std::to_string(c.injected)});
    const int count = 10;
    const ToolRun run = Tool({"line", "COM21", "--count", std::to_string(count)});
    EXPECT_EQ(run.code, c.injected ? 1 : 0) << run.out;
    auto rows = Rows(run.out);
    const char* faults[] = {"NAK", "неверная контрольная сумма", "таймаутов: не пришло ничего",
                            "ответ оборван", "байты, но не ответ"};
    EXPECT_EQ(rows["обменов"], count) << run.out;
    EXPECT_EQ(rows["ответов"], count - c.injected) << run.out;
    for (const char* row : faults)
        EXPECT_EQ(rows[row], std::string(row) == c.row ? c.injected : 0) << row << "\n" << run.out;
    EXPECT_EQ(rows["ожиданий SYN (принтер занят)"], 0);
    EXPECT_TRUE(Has(run.out, "байт отправлено " + std::to_string(11 * count) + ", принято "))
        << run.out;
    EXPECT_TRUE(Has(run.out, "время ответа, мс: мин ")) << run.out;
    EXPECT_TRUE(Has(run.out, std::string("Вердикт: ") + c.verdict)) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LineReportTest,
    ::testing::Values(
        LineCase{"--nak", "NAK", 3, "Принтер отвергает часть запросов (NAK в 3 из 10)"},
        LineCase{"--bad-checksum", "неверная контрольная сумма", 3,
                 "Ответы приходят испорченными (3 из 10)"},
        LineCase{"--cut-short", "ответ оборван", 2, "Ответы приходят испорченными (2 из 10)"},
        LineCase{"--silent", "таймаутов: не пришло ничего", 2,
                 "Ответы иногда не приходят (2 из 10)"},
        LineCase{"--nak", "NAK", 0, "Линия в порядке."}),
    [](const ::testing::TestParamInfo<LineCase>& info) {
        std::string name = info.param.fault + 2;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name + std::to_string(info.param.injected);
    });

// A wrong rate brings bytes that are no replies; far off the printer's rate nothing comes back,
// and the run stops after five silent exchanges.
TEST(Line, AWrongRateIsToldFromADeadLine) {
    Home home;
    Simulator sim(home, 22, {"--baud", "19200"});
    const ToolRun wrong = Tool({"line", "COM22", "--baud", "9600", "--count", "2"});
    EXPECT_EQ(wrong.code, 1);
    EXPECT_EQ(Rows(wrong.out)["ответов"], 0) << wrong.out;
    EXPECT_TRUE(Has(wrong.out, "Вердикт: Приходят байты, но не ответы: скорость линии (9600 бод)"))
        << wrong.out;
    EXPECT_EQ(Tool({"line", "COM22", "--baud", "19200", "--count", "5"}).code, 0);
}

TEST(Line, ADeadLineIsGivenUpAfterFiveSilentExchanges) {
    Home home;
    Simulator sim(home, 23, {"--baud", "19200"});
    const ToolRun dead = Tool({"line", "COM23", "--baud", "115200"});
    EXPECT_EQ(dead.code, 1);
    EXPECT_EQ(Rows(dead.out)["обменов"], kSilentInARow) << dead.out;
    EXPECT_TRUE(Has(dead.out, "Вердикт: Принтер не отвечает")) << dead.out;
}

TEST(Line, WrongUseIsRefused) {
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"line", "COM22", "--baud", "12345"},
          {"line", "COM22", "--count", "0"},
          {"line"},
          {"probe", "--count", "3"}})
        EXPECT_EQ(Tool(bad).code, 1) << bad.back();
}

// The verdict names the likeliest cause of what the counts show.
TEST(Line, VerdictNamesTheLikelyCause) {
    struct Case {
        LineReport report;
        const char* starts;
    };
    const Case cases[] = {
        {{.Done = 10, .Answered = 10}, "Линия в порядке."},
        {{.Done = 10, .Silent = 10}, "Принтер не отвечает"},
        {{.Done = 10, .BadChecksum = 3, .Noise = 7},
         "Приходят байты, но не ответы: скорость линии (19200 бод)"},
        {{.Done = 10, .Answered = 8, .Silent = 2, .NotSent = 2},
         "Запросы не уходят в линию (2 из 10)"},
        {{.Done = 10, .Answered = 8, .CutShort = 2, .Others = {{4321, "ModemManager"}}},
         "На линии есть другая программа: устройство держит открытым ModemManager (PID 4321)"},
        {{.Done = 10, .Answered = 7, .Nak = 2, .BadChecksum = 1},
         "Принтер отвергает часть запросов (NAK в 2 из 10)"},
        {{.Done = 10, .Answered = 7, .Nak = 1, .CutShort = 2},
         "Ответы приходят испорченными (3 из 10)"},
        {{.Done = 10, .Answered = 9, .Silent = 1}, "Ответы иногда не приходят (1 из 10)"},
        {{.Done = 10, .Answered = 10, .Interrupted = true},
         "Все 10 обменов до прерывания прошли без ошибок"},
    };
    for (const Case& c : cases) {
        const std::string verdict = Verdict(c.report, 19200);
        EXPECT_EQ(verdict.rfind(c.starts, 0), 0u) << verdict;
        EXPECT_EQ(verdict.back(), '.');
        EXPECT_EQ(Clean(c.report), std::string(c.starts) == "Линия в порядке.");
    }
}

} // namespace
