// The simulated printer on a real pseudo-terminal: the test fixture, and the tr7042k-sim program
// run as a technician runs it. The port is opened the way the console opens it: exclusive
// (flock and TIOCEXCL), raw.
#include "Frames.h"
#include "LineRate.h"
#include "SimulatedPrinter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using frames::Parse;
using frames::Request;
namespace fs = std::filesystem;

int OpenPort(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return -1;
    }
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

// Reads until ETX or NAK, or until the line has been quiet for quietMs (or failed).
std::string ReadReply(int fd, int quietMs = 2000) {
    std::string got;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0 || !(p.revents & POLLIN)) return got;
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n != 1) return got;
        got += c;
        if (c == '\x03' || c == '\x15') return got;
    }
}

std::string Exchange(int fd, const std::string& frame) {
    EXPECT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    return ReadReply(fd);
}

TEST(SimFixture, ServesThePortLinkInATemporaryConfigFolder) {
    setenv("XDG_CONFIG_HOME", "/nonexistent/outside", 1);
    std::string link;
    std::string home;
    {
        SimulatedPrinter printer(3);
        EXPECT_EQ(printer.Port(), 3);
        home = printer.ConfigHome();
        link = printer.PortLink();
        EXPECT_EQ(std::getenv("XDG_CONFIG_HOME"), home);
        EXPECT_EQ(link, home + "/tr7042k/ports/com3");
        EXPECT_EQ(fs::read_symlink(link), fs::path(printer.SlavePath()));

        int fd = OpenPort(link);
        ASSERT_GE(fd, 0);
        auto r = Parse(Exchange(fd, Request(0x21, 0x4A, "X")));
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(r.seq, 0x21);
        // The console closes and reopens its port: the line stays up.
        close(fd);
        fd = OpenPort(link);
        ASSERT_GE(fd, 0);
        r = Parse(Exchange(fd, Request(0x22, 0x2F, "Вітаємо")));
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(printer.DisplayUpper(), sim::ToCp1251("Вітаємо"));
        EXPECT_EQ(printer.DisplayLower(), "");
        EXPECT_TRUE(Parse(Exchange(fd, Request(0x23, 0x26))).valid);
        EXPECT_TRUE(Parse(Exchange(fd, Request(0x24, 0x2A, "Рядок"))).valid);
        EXPECT_EQ(printer.PaperRoll().back(), sim::ToCp1251("Рядок"));

        const auto requests = printer.Requests();
        ASSERT_EQ(requests.size(), 4u);
        EXPECT_EQ(requests[0].Command, 0x4A);
        EXPECT_EQ(requests[0].Data, "X");
        EXPECT_EQ(requests[3].Data, sim::ToCp1251("Рядок"));
        printer.ClearRequests();
        EXPECT_TRUE(printer.Requests().empty());
        close(fd);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(home));
    EXPECT_STREQ(std::getenv("XDG_CONFIG_HOME"), "/nonexistent/outside");
    unsetenv("XDG_CONFIG_HOME");
    { SimulatedPrinter printer; }
    EXPECT_EQ(std::getenv("XDG_CONFIG_HOME"), nullptr);
}

TEST(SimFixture, FaultsSwitchedDuringATest) {
    SimulatedPrinter printer;
    const int fd = OpenPort(printer.PortLink());
    ASSERT_GE(fd, 0);
    printer.WithModel([](DeviceModel& m) { m.GetFaults().nak = 1; });
    EXPECT_EQ(Exchange(fd, Request(0x21, 0x4A, "X")), "\x15");
    const bool open = printer.WithModel([](DeviceModel& m) {
        m.LeaveReceiptOpen(DeviceModel::ReceiptKind::Fiscal);
        return m.GetState().receipt.kind == DeviceModel::ReceiptKind::Fiscal;
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(Parse(Exchange(fd, Request(0x22, 0x4A, "X"))).status[2] & 0x08, 0x08);

    // SYN for good: the stream goes on until the fault is switched off.
    printer.WithModel([](DeviceModel& m) { m.GetFaults().synForever = DeviceModel::kAlways; });
    const std::string frame = Request(0x23, 0x4A, "X");
    ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    char c = 0;
    std::string syns;
    while (syns.size() < 3) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_GT(poll(&p, 1, 2000), 0);
        ASSERT_EQ(read(fd, &c, 1), 1);
        syns += c;
    }
    EXPECT_EQ(syns, "\x16\x16\x16");
    printer.WithModel([](DeviceModel& m) { m.GetFaults().synForever = 0; });
    std::string rest = ReadReply(fd, 400); // the stream ends: the read falls quiet
    EXPECT_EQ(rest.find_first_not_of('\x16'), std::string::npos);
    EXPECT_TRUE(Parse(Exchange(fd, Request(0x24, 0x4A, "X"))).valid);
    close(fd);
}

TEST(SimFixture, SlowPrinterSendsSynBeforeItsReply) {
    DeviceModel::Options o;
    o.lineTimeMs = 10;
    SimulatedPrinter printer(2, o);
    const int fd = OpenPort(printer.PortLink());
    ASSERT_GE(fd, 0);
    const std::string got = Exchange(fd, Request(0x21, 0x47));
    const auto soh = got.find('\x01');
    ASSERT_NE(soh, std::string::npos);
    EXPECT_GT(soh, 0u);
    EXPECT_EQ(got.substr(0, soh).find_first_not_of('\x16'), std::string::npos);
    EXPECT_TRUE(Parse(got).valid);
    close(fd);
}

TEST(SimFixture, HangUpFailsTheConsolesReads) {
    SimulatedPrinter printer;
    const int fd = OpenPort(printer.PortLink());
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(Parse(Exchange(fd, Request(0x21, 0x4A, "X"))).valid);
    printer.HangUp();
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
    char c;
    EXPECT_LE(read(fd, &c, 1), 0);
    close(fd);
}

TEST(SimFixture, HangUpFaultDropsTheLine) {
    SimulatedPrinter printer;
    const int fd = OpenPort(printer.PortLink());
    ASSERT_GE(fd, 0);
    printer.WithModel([](DeviceModel& m) { m.GetFaults().hangUp = 1; });
    const std::string frame = Request(0x21, 0x4A, "X");
    ASSERT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
    close(fd);
}

// A UART at another rate than the sender's: the classic cases of a serial line.
TEST(LineRate, BytesReadAtAnotherRate) {
    const std::string frame = Request(0x21, 0x4A, "X");
    EXPECT_EQ(sim::ReadAtRate(frame, 19200, 19200), frame);
    // 0xFF at half the reader's rate: its long start bit is read as a low bit 0 too.
    EXPECT_EQ(sim::ReadAtRate("\xFF", 9600, 19200), "\xFE");
    // 0x03 at half the reader's rate: the data bits read 0x1E, but the stop bit is sampled low,
    // a framing error, which the port hands on as a NUL.
    EXPECT_EQ(sim::ReadAtRate("\x03", 9600, 19200), std::string(1, '\0'));
    // 0xFF at twice the reader's rate: its start bit is too short to be taken for one.
    EXPECT_EQ(sim::ReadAtRate("\xFF", 19200, 9600), "");
    EXPECT_NE(sim::ReadAtRate(frame, 19200, 9600), frame);
    EXPECT_TRUE(sim::RatesFarApart(9600, 38400));
    EXPECT_FALSE(sim::RatesFarApart(38400, 115200));

    // A paced reply is read as one burst, which arrives when its last byte would have.
    DeviceModel::Output paced;
    for (char c : frame)
        paced.chunks.push_back({DeviceModel::Micros{520}, std::string(1, c)});
    paced.chunks.push_back({DeviceModel::Micros{60'000}, "\x16"});
    const auto read = sim::AtHostRate(paced, 19200, 9600);
    ASSERT_EQ(read.chunks.size(), 2u);
    EXPECT_EQ(read.chunks[0].delay.count(), 520 * static_cast<long>(frame.size()));
    EXPECT_EQ(read.chunks[0].bytes, sim::ReadAtRate(frame, 19200, 9600));
    EXPECT_EQ(read.chunks[1].delay.count(), 60'000);
}

// A console killed while connected leaves the exclusive flag on the simulator's terminal (the
// simulator keeps the line open, so the flag stays); the simulator clears it once nobody holds
// the port's lock, so the next console can connect.
TEST(SimFixture, ClearsTheExclusiveFlagOfAConsoleThatWasKilled) {
    SimulatedPrinter printer;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t console = fork();
    if (console == 0) {
        const int fd = OpenPort(printer.SlavePath());
        const char ok = fd >= 0 ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 'n';
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    close(ready[0]);
    close(ready[1]);
    ASSERT_EQ(ok, 'y');
    const int look = open(printer.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(look, 0) << "the test runs as root, which may look at a port held exclusively";
    auto exclusive = [look] {
        int flag = 0;
        return ioctl(look, TIOCGEXCL, &flag) == 0 && flag != 0;
    };
    // While the console lives its flag stays.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(exclusive());
    kill(console, SIGKILL);
    waitpid(console, nullptr, 0);
    bool cleared = false;
    for (int i = 0; i < 100 && !cleared; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cleared = !exclusive();
    }
    EXPECT_TRUE(cleared);
    close(look);
}

#ifdef TR_SIM_PROGRAM
// Starts the program with its output going to the file; gives its process id.
pid_t StartProgram(const std::string& home, std::vector<const char*> args,
                   const std::string& output = "/dev/null") {
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        args.insert(args.begin(), TR_SIM_PROGRAM);
        args.push_back(nullptr);
        execv(TR_SIM_PROGRAM, const_cast<char* const*>(args.data()));
        _exit(127);
    }
    return pid;
}

// A new folder of the test's own under /tmp; empty when it cannot be made.
std::string TempFolder() {
    char folder[] = "/tmp/tr7042k-prog-XXXXXX";
    return mkdtemp(folder) ? folder : "";
}

struct ProgramRun {
    int Code = -1;
    std::string Err;
};

// Runs the program to its end with the environment given (nullptr: unset), gives its exit code
// and what it said on its error stream.
ProgramRun RunProgram(std::vector<std::pair<const char*, const char*>> env,
                      std::vector<const char*> args) {
    int err[2];
    if (pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
        dup2(err[1], 2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        args.insert(args.begin(), TR_SIM_PROGRAM);
        args.push_back(nullptr);
        execv(TR_SIM_PROGRAM, const_cast<char* const*>(args.data()));
        _exit(127);
    }
    close(err[1]);
    ProgramRun run;
    char buf[512];
    // A program that should have refused to start and serves instead is ended after a while.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        pollfd p{err[0], POLLIN, 0};
        if (poll(&p, 1, 100) == 1) {
            const ssize_t n = read(err[0], buf, sizeof buf);
            if (n <= 0) break;
            run.Err.append(buf, static_cast<std::size_t>(n));
        } else if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
    }
    close(err[0]);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.Code = WEXITSTATUS(status);
    return run;
}

// CPU time a process has used so far, user and system, in clock ticks.
long CpuTicks(pid_t pid) {
    std::string stat;
    if (FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r")) {
        char buf[1024];
        stat.assign(buf, std::fread(buf, 1, sizeof buf, f));
        std::fclose(f);
    }
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) user = std::atol(field.c_str());
        if (i == 15) system = std::atol(field.c_str());
    }
    return user + system;
}

std::string ReadFile(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

int StopProgram(pid_t pid, int sig) {
    kill(pid, sig);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(SimProgram, ServesASerialLineGivenByPath) {
    // A pty pair stands in for the null-modem cable: the program gets the slave as its line.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string line = ptsname(master);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    const pid_t pid = StartProgram("/tmp", {"--device", line.c_str(), "--baud", "9600", "--fast"});
    ASSERT_GT(pid, 0);
    frames::Reply r;
    for (int i = 0; i < 100 && !r.valid; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        tcflush(master, TCIFLUSH);
        const std::string frame = Request(0x21 + i % 90, 0x3E);
        ASSERT_EQ(write(master, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        r = Parse(ReadReply(master, 200));
    }
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.cmd, 0x3E);
    EXPECT_EQ(StopProgram(pid, SIGTERM), 0);
    close(master);
}

// Waits for the program's link to appear and opens it as the console does; -1 when it does not.
int AwaitPort(const std::string& link) {
    int fd = -1;
    for (int i = 0; i < 500 && fd < 0; ++i) {
        if (fs::is_symlink(fs::symlink_status(link))) fd = OpenPort(link);
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return fd;
}

// The program as a technician runs it, ended by every signal a terminal or a user sends: each
// ends it cleanly, removing its link and its claim, and leaves a technician's mapping of another
// port alone.
TEST(SimProgram, ServesAPtyAsCom7AndRemovesTheLinkOnEveryQuitSignal) {
    const std::string home = TempFolder();
    ASSERT_FALSE(home.empty());
    const std::string ports = home + "/tr7042k/ports";
    const std::string link = ports + "/com7";
    fs::create_directories(ports);
    fs::create_symlink("/dev/ttyS0", ports + "/com3"); // the technician's

    for (int sig : {SIGINT, SIGHUP, SIGTERM, SIGQUIT}) {
        SCOPED_TRACE(strsignal(sig));
        const std::string output = home + "/output.txt";
        const pid_t pid = StartProgram(home, {"--port", "COM7", "--fast"}, output);
        ASSERT_GT(pid, 0);
        const int fd = AwaitPort(link);
        ASSERT_GE(fd, 0);
        // The console's first request, one byte at a time.
        const std::string frame = Request(0x21, 0x5A, "1");
        for (char c : frame)
            ASSERT_EQ(write(fd, &c, 1), 1);
        const auto r = Parse(ReadReply(fd));
        ASSERT_TRUE(r.valid);
        EXPECT_EQ(r.seq, 0x21);
        EXPECT_EQ(r.cmd, 0x5A);
        EXPECT_NE(r.data.find("00101100"), std::string::npos);
        // Text shown on the technician's terminal cannot drive it.
        EXPECT_TRUE(Parse(Exchange(fd, Request(0x22, 0x2F, "\x1b[2JПривіт"))).valid);
        close(fd);

        EXPECT_EQ(StopProgram(pid, sig), 0);
        const std::string shown = ReadFile(output);
        EXPECT_NE(shown.find(".[2JПривіт"), std::string::npos) << shown;
        EXPECT_EQ(shown.find('\x1b'), std::string::npos);
        EXPECT_NE(shown.find("Симулятор остановлен."), std::string::npos) << shown;
        EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
        EXPECT_FALSE(fs::exists(ports + "/com7.lock"));
        EXPECT_EQ(fs::read_symlink(ports + "/com3"), "/dev/ttyS0");
    }
    fs::remove_all(home);
}

// A simulator that cannot end cleanly (killed) leaves its link behind; the next one takes the
// port over. A port that a technician mapped, or another simulator serves, it refuses, saying
// what is there and which port is free.
TEST(SimProgram, TakesOverOnlyALinkASimulatorLeftBehind) {
    const std::string home = TempFolder();
    ASSERT_FALSE(home.empty());
    const std::string ports = home + "/tr7042k/ports";
    const std::string link = ports + "/com7";

    pid_t pid = StartProgram(home, {"--port", "COM7", "--fast"});
    int fd = AwaitPort(link);
    ASSERT_GE(fd, 0);
    close(fd);
    const fs::path killedOnes = fs::read_symlink(link);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(fs::read_symlink(link), killedOnes); // left behind

    const std::string output = home + "/output.txt";
    pid = StartProgram(home, {"--port", "COM7", "--fast"}, output);
    bool serving = false;
    for (int i = 0; i < 500 && !serving; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        serving = ReadFile(output).find("COM7 = " + link) != std::string::npos;
    }
    EXPECT_TRUE(serving) << ReadFile(output);
    fd = AwaitPort(link);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(Parse(Exchange(fd, Request(0x21, 0x4A, "X"))).valid);
    close(fd);

    // A second simulator on the same port, and one on a mapped port, are refused.
    fs::create_symlink("/dev/ttyUSB0", ports + "/com1");
    const std::pair<const char*, const char*> config{"XDG_CONFIG_HOME", home.c_str()};
    ProgramRun run = RunProgram({config}, {"--port", "COM7"});
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("COM7 уже обслуживает другой имитатор"), std::string::npos) << run.Err;
    run = RunProgram({config}, {"--port", "com1"});
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("COM1 связан с /dev/ttyUSB0"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("--port COM2"), std::string::npos) << run.Err;
    EXPECT_EQ(fs::read_symlink(ports + "/com1"), "/dev/ttyUSB0");
    EXPECT_FALSE(fs::exists(ports + "/com1.lock"));

    EXPECT_EQ(StopProgram(pid, SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    fs::remove_all(home);
}

// Options it cannot take are refused with a message and exit code 1, before any link is made.
TEST(SimProgram, RefusesOptionsItCannotTake) {
    const std::string home = TempFolder();
    ASSERT_FALSE(home.empty());
    const std::pair<const char*, const char*> config{"XDG_CONFIG_HOME", home.c_str()};
    const struct {
        std::vector<std::pair<const char*, const char*>> env;
        std::vector<const char*> args;
        const char* says;
    } cases[] = {
        {{{"XDG_CONFIG_HOME", nullptr}, {"HOME", nullptr}}, {"--port", "COM1"}, "HOME"},
        {{{"XDG_CONFIG_HOME", "relative"}, {"HOME", "also/relative"}}, {}, "HOME"},
        {{config}, {"--port", "COM1/../../x"}, "неверный порт COM1/../../x"},
        {{config}, {"--port", "COM256"}, "от COM1 до COM255"},
        {{config}, {"--port", "7"}, "неверный порт 7"},
        {{config}, {"--nak=abc"}, "--nak=abc"},
        {{config}, {"--silent=-1"}, "--silent=-1"},
        {{config}, {"--status-bits", "4x:0,2,0,0,0,0"}, "неверные биты состояния"},
        {{config}, {"--status-bits", "45:0,2,0,0,0"}, "неверные биты состояния"},
        {{config}, {"--status-bits", "45:0,2,0,0,0,0,1"}, "неверные биты состояния"},
        {{config}, {"--status-bits", "45:0,100,0,0,0,0"}, "неверные биты состояния"},
        {{config}, {"--line-time", "fast"}, "--line-time fast"},
        {{config}, {"--baud", "12345"}, "--baud 12345: нужна одна из скоростей"},
        {{config}, {"--baud", "fast"}, "--baud fast"},
        {{config}, {"--paper-lines", ""}, "--paper-lines"},
        {{config}, {"--open-receipt", "z"}, "неверный вид чека"},
        {{config}, {"--colour"}, "неизвестный параметр"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = RunProgram(c.env, c.args);
        SCOPED_TRACE(c.says);
        EXPECT_EQ(run.Code, 1);
        EXPECT_NE(run.Err.find(c.says), std::string::npos) << run.Err;
    }
    EXPECT_TRUE(fs::is_empty(home)); // nothing made anywhere
    fs::remove_all(home);
}

// A real line whose far end goes away (a USB adapter pulled out: the line hangs up for good) is
// reported once and waited for without using the processor; once the adapter is back under its
// name the simulator answers again. A pty stands in for the adapter, a link for its stable name.
TEST(SimProgram, ServedLineThatHangsUpIsWaitedForAndServedAgain) {
    const std::string home = TempFolder();
    ASSERT_FALSE(home.empty());
    const std::string byId = home + "/usb-adapter";
    auto plugIn = [&byId] {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC); // ours alone
        EXPECT_GE(master, 0);
        EXPECT_EQ(grantpt(master), 0);
        EXPECT_EQ(unlockpt(master), 0);
        termios tio{};
        tcgetattr(master, &tio);
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
        fs::remove(byId);
        fs::create_symlink(ptsname(master), byId);
        return master;
    };
    auto answers = [](int master) {
        frames::Reply r;
        for (int i = 0; i < 100 && !r.valid; ++i) {
            tcflush(master, TCIFLUSH);
            const std::string frame = Request(0x21 + i % 90, 0x3E);
            EXPECT_EQ(write(master, frame.data(), frame.size()),
                      static_cast<ssize_t>(frame.size()));
            r = Parse(ReadReply(master, 200));
        }
        return r.valid;
    };
    int master = plugIn();
    const std::string output = home + "/output.txt";
    const pid_t pid = StartProgram(home, {"--device", byId.c_str(), "--fast"}, output);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(answers(master));

    close(master); // pulled out
    fs::remove(byId);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long before = CpuTicks(pid);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long used = CpuTicks(pid) - before;
    // Spinning would take the whole 2 s (200 ticks at 100 a second); waiting takes next to none.
    EXPECT_GE(before, 0);
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 2) << used << " ticks in 2 s";

    master = plugIn(); // plugged in again, under the same stable name
    EXPECT_TRUE(answers(master));
    EXPECT_EQ(StopProgram(pid, SIGINT), 0);
    close(master);
    const std::string shown = ReadFile(output);
    std::size_t reports = 0;
    for (auto at = shown.find("оборвана"); at != std::string::npos;
         at = shown.find("оборвана", at + 1))
        ++reports;
    EXPECT_EQ(reports, 1u) << shown;
    EXPECT_NE(shown.find("снова на месте"), std::string::npos) << shown;
    fs::remove_all(home);
}
#endif

} // namespace
