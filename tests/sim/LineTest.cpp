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
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
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

TEST(SimProgram, ServesAPtyAsCom7AndRemovesTheLinkOnSigint) {
    char folder[] = "/tmp/tr7042k-prog-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string home = folder;
    const std::string link = home + "/tr7042k/ports/com7";

    const std::string output = home + "/output.txt";
    const pid_t pid = StartProgram(home, {"--port", "COM7", "--fast"}, output);
    ASSERT_GT(pid, 0);
    int fd = -1;
    for (int i = 0; i < 500 && fd < 0; ++i) {
        if (fs::is_symlink(fs::symlink_status(link))) fd = OpenPort(link);
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
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

    EXPECT_EQ(StopProgram(pid, SIGINT), 0);
    std::string shown;
    if (FILE* f = std::fopen(output.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            shown.append(buf, n);
        std::fclose(f);
    }
    EXPECT_NE(shown.find(".[2JПривіт"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    fs::remove_all(home);
}
#endif

} // namespace
