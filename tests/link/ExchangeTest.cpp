// Whole exchanges against a scripted device on a pseudo-terminal: port handling, delivery,
// logging, and how the exchange ends for every kind of answer.
#include "LinkFixture.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace linktest;

// The link never waits in tcdrain: on a USB adapter that has taken the bytes into its own buffer
// with flow control held off it never returns. This test program's tcdrain takes the place of
// the C library's and counts the calls.
static std::atomic<int> tcdrainCalls{0};
extern "C" int tcdrain(int) {
    ++tcdrainCalls;
    return 0;
}

// The children PortIsLetGoOfOnEveryWayOut forks end by exit, with the parent's threads copied
// but not running: the leak checker's look at every thread at that exit can hang there, and a
// child has nothing of its own to check.
static volatile int inForkedChild = 0;
extern "C" int __lsan_is_turned_off() {
    return inForkedChild;
}

namespace {

std::string statusLog(const std::string& data, const std::string& status) {
    return cp1251(" \r\nКод команды:74 \r\nДанные: ") + data + cp1251(" \r\nСтатус: " + status);
}

Answer replyWith(const std::string& data, const StatusBytes& st = kQuietStatus) {
    return Answer::raw(replyFrame(0x21, 0x4A, data, st));
}

} // namespace

// The record is on disk when the result handler runs: a console killed while it shows the
// handler's error box has lost nothing from the log.
TEST_F(PeerTest, GoodReplyIsLoggedThenDelivered) {
    static TestEnv* where;
    static std::string logAtDelivery;
    where = env.get();
    logAtDelivery.clear();
    auto handler = [](RetData& record) {
        logAtDelivery = where->logBytes();
        recordReply(record);
    };
    peer->script(replyWith("12,34"));
    ASSERT_EQ(PrinterGetStatus(nullptr, handler, 42, 1), 0);
    EXPECT_EQ(hex(logAtDelivery), hex(statusLog("X", "0")));
    ASSERT_EQ(deliveries().size(), 1u);
    const Delivery& d = deliveries()[0];
    EXPECT_TRUE(d.recordIsTheLinks);
    EXPECT_EQ(d.record.ErrorWord, 0u);
    EXPECT_EQ(d.record.Command, 0x4A);
    EXPECT_EQ(d.record.Tag, 42);
    EXPECT_EQ(d.sentData, "X");
    EXPECT_EQ(d.rawReply, "12,34");
    EXPECT_EQ(d.fields, (std::vector<std::string>{"12", "34"}));
    EXPECT_EQ(hex(d.commandName), hex(cp1251("Получить состояние регистратора")));
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    EXPECT_EQ(hex(env->logBytes()), hex(statusLog("X", "0")));
}

// The device's answer ends the exchange; the bytes behind it are not read into this reply.
TEST_F(PeerTest, ReadingStopsAtTheEndOfTheReply) {
    peer->script(Answer::raw(replyFrame(0x21, 0x4A, "FIRST") + replyFrame(0x22, 0x4A, "SECOND")));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].fields, std::vector<std::string>{"FIRST"});
    EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);

    // What was left on the line is discarded before the next request goes out.
    peer->script(replyWith("THIRD"));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 2u);
    EXPECT_EQ(deliveries()[1].fields, std::vector<std::string>{"THIRD"});
}

// Noise before the reply is skipped. A device that never stops sending ends the exchange too,
// without cutting short a printer that sends SYN while it prints a long report; where the
// exchange gives up, the rest of the babble is still on the line, unread.
TEST_F(PeerTest, HowAnswersEnd) {
    struct Case {
        const char* what;
        std::string bytes;
        bool answered;
    };
    const std::string good = replyFrame(0x21, 0x4A, "OK");
    const Case cases[] = {
        {"SYN bytes first", "\x16\x16\x16\x16" + good, true},
        {"noise first", std::string("\xFF\x00\x7F\x04\x05", 5) + good, true},
        {"abandoned frame first", good.substr(0, 8) + good, true},
        {"half an hour of SYN, then the reply", std::string(29990, '\x16') + good, true},
        {"SYN without end", std::string(30500, '\x16'), false},
        {"much noise, then the reply", std::string(3800, 'x') + good, true},
        {"noise without end", std::string(4600, 'x'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearDeliveries();
        peer->script(Answer::raw(c.bytes));
        ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
        ASSERT_EQ(deliveries().size(), 1u);
        if (c.answered) {
            EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);
            EXPECT_EQ(deliveries()[0].fields, std::vector<std::string>{"OK"});
        } else {
            EXPECT_EQ(deliveries()[0].record.ErrorWord, ERR_TIMEOUT);
            pollfd line{static_cast<int>(PrinterLink.LinkPort), POLLIN, 0};
            EXPECT_EQ(poll(&line, 1, 1000), 1) << "read the babble to its end";
        }
    }
}

// A device that pauses in the middle of its reply (a few empty reads) is waited for; the pause
// neither ends the exchange nor loses the half already received.
TEST_F(PeerTest, ReplyWithPausesIsAssembled) {
    const std::string reply = replyFrame(0x21, 0x4A, "12,34");
    const size_t cuts[] = {1, 6, reply.size() - 1};
    for (size_t cut : cuts) {
        SCOPED_TRACE("pause after byte " + std::to_string(cut));
        clearDeliveries();
        peer->script(Answer::inTwo(reply.substr(0, cut), 250, reply.substr(cut)));
        ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
        ASSERT_EQ(deliveries().size(), 1u);
        EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);
        EXPECT_EQ(deliveries()[0].fields, (std::vector<std::string>{"12", "34"}));
    }
}

// One read: a byte, a quiet line that keeps the half-received frame, or a dead line that
// makes the receiver start over.
TEST_F(PeerTest, ReceiveReadsOneByteAndStartsOverOnlyAfterAReadError) {
    EXPECT_EQ(PrinterReceive(), 0) << "a byte from nowhere";
    const std::string reply = replyFrame(0x21, 0x4A, "12");
    peer->send(reply.substr(0, 5));
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(PrinterReceive(), 1) << "byte " << i;
    EXPECT_EQ(PrinterLink.RxState, InData);
    EXPECT_EQ(PrinterReceive(), 0);
    EXPECT_EQ(PrinterLink.RxState, InData) << "a quiet line dropped the frame";
    peer->hangUp();
    EXPECT_EQ(PrinterReceive(), 0);
    EXPECT_EQ(PrinterLink.RxState, WaitSoh) << "a dead line kept the frame";
}

TEST_F(PeerTest, NakAndBadChecksumAreReportedAndLogged) {
    // The NAK ends the exchange; a reply sent behind it belongs to no one.
    peer->script(Answer::raw("\x15" + replyFrame(0x21, 0x4A, "late")));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    StatusBytes syntax = kQuietStatus;
    syntax[0] = 0x81;
    peer->script(Answer::raw(replyFrame(0x22, 0x4A, "7", syntax, false)));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 2u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, ERR_NAK);
    EXPECT_EQ(deliveries()[0].record.FieldCount, 0);
    EXPECT_EQ(deliveries()[1].record.ErrorWord, ERR_PROTOCOL);
    EXPECT_EQ(deliveries()[1].fields, std::vector<std::string>{"7"});
    EXPECT_EQ(hex(env->logBytes()), hex(statusLog("X", "2000000") + statusLog("X", "1000000")));
}

TEST_F(PeerTest, StatusOfTheReplyReachesTheRecord) {
    StatusBytes st{0xA1, 0x88, 0x88, 0x80, 0x80, 0x80};
    peer->script(replyWith("", st));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, 0x08000481u);
    EXPECT_EQ(deliveries()[0].record.FieldCount, 0);
    const unsigned char expected[6] = {0x21, 0x08, 0x08, 0, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(deliveries()[0].record.Status[i], expected[i]) << "S" << i;

    // The next exchange starts from a clean word and clean status.
    peer->script(Answer::raw("\x15"));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 2u);
    EXPECT_EQ(deliveries()[1].record.ErrorWord, ERR_NAK);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(deliveries()[1].record.Status[i], 0) << "S" << i;
}

// The one slow test: a device that starts a reply and falls silent is given up after about
// five seconds of silence; nothing of the half reply is passed on.
TEST_F(PeerTest, SilentDeviceEndsInTimeout) {
    peer->script(Answer::raw(replyFrame(0x21, 0x4A, "12,34,56").substr(0, 8)));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, ERR_TIMEOUT);
    EXPECT_EQ(deliveries()[0].record.FieldCount, 0);
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    EXPECT_EQ(hex(env->logBytes()), hex(statusLog("X", "4000000")));
}

TEST_F(PeerTest, LineDroppedMidReplyEndsTheExchange) {
    peer->script(Answer::dropLine(replyFrame(0x21, 0x4A, "12,34,56").substr(0, 9)));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, ERR_TIMEOUT);
    EXPECT_EQ(deliveries()[0].record.FieldCount, 0);
    EXPECT_EQ(hex(env->logBytes()), hex(statusLog("X", "4000000")));
}

TEST_F(PeerTest, WindowsCodePageBytesPassBothWaysUnchanged) {
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c)
        high += static_cast<char>(c);
    peer->setResponder([&](const Request& r) { return quietReply(r, high); });
    ASSERT_EQ(PrinterPrintFiscalText(nullptr, recordReply, 0, high.c_str()), 0);
    ASSERT_EQ(peer->requests().size(), 1u);
    EXPECT_EQ(hex(peer->requests()[0].data), hex(high));
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);
    EXPECT_EQ(deliveries()[0].fields, std::vector<std::string>{high});
    EXPECT_EQ(hex(deliveries()[0].rawReply), hex(high));
    EXPECT_EQ(hex(deliveries()[0].sentData), hex(high));
}

TEST_F(PeerTest, DataLengthLimitIs189) {
    std::string longest(189, 'L');
    ASSERT_EQ(PrinterCommand(nullptr, recordReply, 0, 0x2A, longest.c_str()), 0);
    ASSERT_EQ(peer->requests().size(), 1u);
    EXPECT_EQ(peer->requests()[0].data, longest);
    EXPECT_EQ(peer->requests()[0].frame.size(), 199u);

    peer->clear();
    clearDeliveries();
    std::filesystem::remove(env->workDir() / "fpllog.dat");
    std::string tooLong(190, 'L');
    std::string huge(5000, 'H');
    EXPECT_EQ(PrinterCommand(nullptr, recordReply, 0, 0x2A, tooLong.c_str()), -1);
    EXPECT_EQ(PrinterExchange(nullptr, 0, 0x2A, huge.c_str()), -1);
    EXPECT_EQ(PrinterPrintNonFiscalText(nullptr, recordReply, 0, tooLong.c_str()), -1);
    EXPECT_EQ(peer->receivedAfterSettling(), "");
    EXPECT_TRUE(deliveries().empty());
    EXPECT_FALSE(env->logExists());
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    EXPECT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0) << "the link is still usable";
}

// A result handler may start the next exchange; it runs, and its record follows the record of
// the exchange that delivered to the handler.
TEST_F(PeerTest, CallbackMayStartAnotherExchange) {
    static int innerResult;
    static int depth;
    innerResult = 99;
    depth = 0;
    peer->setResponder(
        [](const Request& r) { return quietReply(r, r.cmd == 0x50 ? "inner" : "outer"); });
    auto handler = [](RetData& record) {
        recordReply(record);
        if (++depth == 1) innerResult = PrinterBeep(nullptr, recordReply, 0);
    };
    ASSERT_EQ(PrinterGetStatus(nullptr, handler, 0, 1), 0);
    EXPECT_EQ(innerResult, 0);
    ASSERT_EQ(deliveries().size(), 2u);
    EXPECT_EQ(deliveries()[0].fields, std::vector<std::string>{"outer"});
    EXPECT_EQ(deliveries()[1].fields, std::vector<std::string>{"inner"});
    EXPECT_EQ(deliveries()[1].record.Command, 0x50);
    ASSERT_EQ(peer->requests().size(), 2u);
    EXPECT_EQ(peer->requests()[1].cmd, 0x50);
    EXPECT_EQ(hex(env->logBytes()),
              hex(statusLog("X", "0") + cp1251(" \r\nКод команды:80 \r\nДанные:  \r\nСтатус: 0")));
}

// While an exchange waits for its reply, another one is refused and does not disturb it.
TEST_F(PeerTest, ExchangeUnderWayRefusesAnother) {
    static int nestedResult;
    nestedResult = 99;
    Answer answer = Answer::raw(replyFrame(0x21, 0x4A, "first"));
    answer.before = [] { nestedResult = PrinterBeep(nullptr, recordReply, 0); };
    peer->script(std::move(answer));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    EXPECT_EQ(nestedResult, -1);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.Command, 0x4A);
    EXPECT_EQ(deliveries()[0].fields, std::vector<std::string>{"first"});
    EXPECT_EQ(peer->requests().size(), 1u);
    EXPECT_EQ(hex(env->logBytes()), hex(statusLog("X", "0")));

    PrinterLink.LinkReady = 0;
    EXPECT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), -1);
    EXPECT_EQ(peer->receivedAfterSettling().size(), peer->requests()[0].frame.size());
    EXPECT_EQ(deliveries().size(), 1u);
}

TEST_F(PeerTest, MailboxGetsTheRecordWhenNoCallbackWasEverSet) {
    PrinterMailbox box{};
    peer->script(replyWith("1"));
    ASSERT_EQ(PrinterExchange(&box, 7, 0x4A, "X"), 0);
    EXPECT_EQ(box.Message, PRINTER_REPLY_MESSAGE);
    EXPECT_EQ(box.WParam, 0x4Au);
    EXPECT_EQ(box.LParam, &PrinterLink.Reply);
    EXPECT_EQ(box.Posted, 1u);
    EXPECT_EQ(PrinterLink.Reply.Tag, 7);
    EXPECT_EQ(PrinterLink.Reply.FieldCount, 1);

    ASSERT_EQ(PrinterCommand(&box, nullptr, 8, 0x50, ""), 0);
    EXPECT_EQ(box.Posted, 2u);
    EXPECT_EQ(box.WParam, 0x50u);
    EXPECT_TRUE(deliveries().empty());

    // Once a callback has been given it is kept, also for calls that name a window.
    ASSERT_EQ(PrinterExchangeCallback(recordReply, 9, 0x4A, "X"), 0);
    ASSERT_EQ(PrinterCommand(&box, nullptr, 10, 0x4A, "W"), 0);
    EXPECT_EQ(box.Posted, 2u);
    ASSERT_EQ(deliveries().size(), 2u);
    EXPECT_EQ(deliveries()[1].record.Tag, 10);
    EXPECT_EQ(deliveries()[1].sentData, "W");
}

// ---------------------------------------------------------------------------------------------
// Port handling.

TEST_F(LinkTest, ExchangeBeforeAnyOpenIsRefused) {
    PtyPeer peer;
    env->linkPort(1, peer.slavePath());
    EXPECT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), -1);
    EXPECT_EQ(PrinterExchange(nullptr, 0, 0x4A, "X"), -1);
    EXPECT_EQ(peer.receivedAfterSettling(), "");
    EXPECT_TRUE(deliveries().empty());
    EXPECT_FALSE(env->logExists());
}

TEST_F(LinkTest, MissingPortCannotBeOpened) {
    env->linkPort(5, env->root() / "no-such-device");
    EXPECT_EQ(PrinterOpenPort(5, 9600), -1);
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    // Something that is no serial line behind the link is refused and left untouched.
    std::filesystem::path plain = env->root() / "plain-file";
    { std::ofstream(plain) << "keep"; }
    env->linkPort(6, plain);
    EXPECT_EQ(PrinterOpenPort(6, 9600), -1);
    EXPECT_EQ(std::filesystem::file_size(plain), 4u);
    ASSERT_NE(access("/dev/ttyS199", F_OK), 0);
    EXPECT_EQ(PrinterOpenPort(200, 9600), -1);
    EXPECT_EQ(PrinterLink.LinkReady, 1);
}

TEST_F(LinkTest, PortPathsFollowTheConfigurationLinks) {
    PtyPeer peer;
    env->linkPort(12, peer.slavePath());
    char path[512];
    ASSERT_TRUE(SerialPortPath(12, path, sizeof path));
    EXPECT_EQ(std::string(path), (env->portsDir() / "com12").string());
    ASSERT_TRUE(SerialPortPath(3, path, sizeof path));
    EXPECT_EQ(std::string(path), "/dev/ttyS2");
    EXPECT_FALSE(SerialPortPath(12, path, 8));

    // Port numbers above 9 work like the others.
    ASSERT_GE(PrinterOpenPort(12, 19200), 0);
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 0), 0);
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0].data, "W");
    EXPECT_EQ(deliveries().at(0).record.ErrorWord, 0u);
}

TEST_F(LinkTest, LineIsRaw8N1AtTheCallersBaudRate) {
    const std::pair<int, speed_t> rates[] = {
        {9600, B9600}, {19200, B19200}, {57600, B57600}, {115200, B115200}};
    PtyPeer peer;
    env->linkPort(1, peer.slavePath());
    for (auto [baud, speed] : rates) {
        SCOPED_TRACE(baud);
        // Start from a cooked line with parity and two stop bits, as another program may leave it.
        termios cooked{};
        ASSERT_EQ(tcgetattr(peer.slaveFd(), &cooked), 0);
        cooked.c_lflag |= ICANON | ECHO | ISIG;
        cooked.c_iflag |= ISTRIP | ICRNL;
        cooked.c_oflag |= OPOST | ONLCR;
        cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
        ASSERT_EQ(tcsetattr(peer.slaveFd(), TCSANOW, &cooked), 0);

        ASSERT_GE(PrinterOpenPort(1, baud), 0);
        termios t{};
        ASSERT_EQ(tcgetattr(peer.slaveFd(), &t), 0);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_FALSE(t.c_cflag & PARENB);
        EXPECT_FALSE(t.c_cflag & CSTOPB);
        EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
        EXPECT_FALSE(t.c_iflag & (ISTRIP | ICRNL));
        EXPECT_FALSE(t.c_oflag & OPOST);
        EXPECT_EQ(cfgetospeed(&t), speed);
        EXPECT_EQ(cfgetispeed(&t), speed);
        ASSERT_NE(PrinterClosePort(), 0);
    }
}

TEST_F(LinkTest, PortIsHeldExclusively) {
    PtyPeer peer;
    env->linkPort(1, peer.slavePath());
    int other = open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    // Held for exclusive use without a lock: refused, also as root (who could break in), and the
    // other program's flag stays on.
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0);
    EXPECT_EQ(PrinterOpenPort(1, 9600), -1) << "took a port held for exclusive use";
    int flag = 0;
    EXPECT_EQ(ioctl(other, TIOCGEXCL, &flag), 0);
    EXPECT_EQ(flag, 1) << "cleared another program's exclusive flag";
    ASSERT_EQ(ioctl(other, TIOCNXCL), 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(PrinterOpenPort(1, 9600), -1) << "opened a port that another program holds";
    flock(other, LOCK_UN);

    ASSERT_GE(PrinterOpenPort(1, 9600), 0);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0) << "the link does not hold its port exclusively";
    close(other);
    ASSERT_NE(PrinterClosePort(), 0);
    int again = open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(again, 0);
    EXPECT_EQ(flock(again, LOCK_EX | LOCK_NB), 0) << "closing did not release the port";
    close(again);
}

// A link to a pseudo-terminal that no simulator serves leads to whoever was given that terminal
// since: it is never opened, set up or written to. A link to anything but a terminal neither.
TEST_F(LinkTest, StaleOrStrangeTargetIsNeverOpened) {
    PtyPeer stranger;
    std::filesystem::create_symlink(stranger.slavePath(), env->portsDir() / "com2");
    termios before{};
    ASSERT_EQ(tcgetattr(stranger.slaveFd(), &before), 0);
    EXPECT_EQ(PrinterOpenPort(2, 9600), -1);
    termios after{};
    ASSERT_EQ(tcgetattr(stranger.slaveFd(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    int flag = 0;
    EXPECT_EQ(ioctl(stranger.slaveFd(), TIOCGEXCL, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(stranger.receivedAfterSettling(), "");

    std::filesystem::create_symlink("/dev/null", env->portsDir() / "com3");
    EXPECT_EQ(PrinterOpenPort(3, 9600), -1);
    // Once a simulator serves that terminal, it is a port.
    env->linkPort(2, stranger.slavePath());
    EXPECT_GE(PrinterOpenPort(2, 9600), 0);
}

// A program of ours that ends while connected lets go of its port however it ends, short of
// being killed: by returning from main or calling exit, or by a quit signal. An ordinary user
// (the suite runs as root, which the exclusive flag does not stop) then connects again.
TEST_F(LinkTest, PortIsLetGoOfOnEveryWayOut) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the children as nobody";
    PtyPeer peer;
    env->linkPort(1, peer.slavePath());
    chmod(peer.slavePath().c_str(), 0666);
    for (std::filesystem::path p = env->portsDir(); p != env->root().parent_path();
         p = p.parent_path())
        chmod(p.c_str(), 0755);
    // Runs f in a child as nobody; gives the child's exit code, or 128 + the signal that ended it,
    // or -2 for a child that had not ended ten seconds after it connected (then killed).
    auto asNobody = [](auto f, int signal = 0) {
        int ready[2];
        if (pipe(ready) != 0) return -1;
        const pid_t pid = fork();
        if (pid == 0) {
            inForkedChild = 1;
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(90);
            // The quit signals as a program started from a desktop has them, whatever the test
            // runner left ignored (a runner in the background ignores SIGINT and SIGQUIT, one
            // under nohup SIGHUP).
            for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGQUIT})
                std::signal(sig, SIG_DFL);
            f(ready[1]);
        }
        close(ready[1]);
        char c = 0;
        const bool connected = read(ready[0], &c, 1) == 1;
        close(ready[0]);
        if (connected && signal) kill(pid, signal);
        int status = 0;
        for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
            if (waited >= 10000) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    };
    auto connect = [](int ready) {
        if (PrinterOpenPort(1, 19200) < 0) _exit(3);
        (void)!write(ready, "y", 1);
    };
    // The children inherit a first connect made while SIGHUP was ignored: a program that sets a
    // signal back to its default after that still lets go of its port when the signal comes.
    struct sigaction ignore = {};
    struct sigaction saved = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &saved);
    ASSERT_GE(PrinterOpenPort(1, 19200), 0);
    ASSERT_NE(PrinterClosePort(), 0);
    sigaction(SIGHUP, &saved, nullptr);
    const struct {
        const char* way;
        int signal;
    } ways[] = {{"exit", 0},
                {"SIGHUP", SIGHUP},
                {"SIGINT", SIGINT},
                {"SIGTERM", SIGTERM},
                {"SIGQUIT", SIGQUIT}};
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        const int ended = asNobody(
            [&](int ready) {
                connect(ready);
                if (w.signal) pause();
                exit(0); // without disconnecting
            },
            w.signal);
        EXPECT_EQ(ended, w.signal ? 128 + w.signal : 0);
        EXPECT_EQ(asNobody([&](int ready) {
                      connect(ready);
                      exit(0);
                  }),
                  0)
            << "an ordinary user cannot connect after a program that ended by " << w.way;
    }
}

// The link closes only the descriptor it opened itself: not one it never had at start-up or
// after a reset, and not its own twice. Descriptor 0 is the number an unset handle would hold.
TEST_F(LinkTest, ClosesOnlyItsOwnDescriptor) {
    PtyPeer peer;
    env->linkPort(1, peer.slavePath());
    int saved = dup(0);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(dup2(pipeFds[0], 0), 0);
    struct stat original {};
    ASSERT_EQ(fstat(0, &original), 0);
    auto intact = [&] {
        struct stat now {};
        return fstat(0, &now) == 0 && now.st_ino == original.st_ino &&
               now.st_dev == original.st_dev;
    };

    // Closing with no port held succeeds (there is nothing to close) and touches nothing.
    EXPECT_EQ(PrinterLink.LinkPort, SERIAL_INVALID) << "start-up state holds a descriptor";
    EXPECT_NE(PrinterClosePort(), 0);
    EXPECT_TRUE(intact()) << "closing before any open closed descriptor 0";
    EXPECT_GT(PrinterOpenPort(1, 9600), 0);
    EXPECT_TRUE(intact()) << "the first open closed descriptor 0";
    EXPECT_NE(PrinterClosePort(), 0);
    EXPECT_NE(PrinterClosePort(), 0);
    EXPECT_TRUE(intact()) << "closing twice closed descriptor 0";
    PrinterLinkReset();
    PrinterLinkReset();
    EXPECT_TRUE(intact()) << "a reset closed descriptor 0";
    EXPECT_GT(PrinterOpenPort(1, 9600), 0);
    EXPECT_TRUE(intact()) << "an open after a reset closed descriptor 0";

    PrinterLinkReset();
    if (saved >= 0) {
        dup2(saved, 0);
        close(saved);
    } else {
        close(0);
    }
    close(pipeFds[0]);
    close(pipeFds[1]);
}

// A close that fails still lets the port go: the next close succeeds and the port opens again.
TEST_F(PeerTest, FailedCloseStillLetsThePortGo) {
    ASSERT_EQ(close(static_cast<int>(PrinterLink.LinkPort)), 0); // pulled from under the link
    EXPECT_EQ(PrinterClosePort(), 0);
    EXPECT_EQ(PrinterLink.LinkPort, SERIAL_INVALID);
    EXPECT_NE(PrinterClosePort(), 0);
    // The exclusive flag could not be cleared through the lost descriptor; the device's side
    // clears a flag nobody holds any more, as the simulated printer does.
    ASSERT_EQ(ioctl(peer->slaveFd(), TIOCNXCL), 0);
    ASSERT_GE(PrinterOpenPort(1, 115200), 0);
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);
}

// The wait for output to leave ends. A socket stands in for a line here: unlike a
// pseudo-terminal it tells how much the far end has not taken yet.
TEST(SerialDrain, WaitsWhileOutputMovesAndGivesUpWhenItStops) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    const std::string block(3000, 'D');
    ASSERT_EQ(write(pair[0], block.data(), block.size()), static_cast<ssize_t>(block.size()));
    std::atomic<size_t> taken{0};
    std::thread slowReader([&] {
        char buffer[100];
        while (taken < block.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ssize_t n = read(pair[1], buffer, sizeof buffer);
            if (n <= 0) break;
            taken += static_cast<size_t>(n);
        }
    });
    SerialDrain(pair[0]);
    EXPECT_EQ(taken.load(), block.size()) << "returned before the output had left";
    slowReader.join();

    // Nobody reads any more: the output never leaves, and the wait still ends.
    ASSERT_EQ(write(pair[0], block.data(), block.size()), static_cast<ssize_t>(block.size()));
    SerialDrain(pair[0]);
    close(pair[0]);
    close(pair[1]);
}

// After a close the old descriptor may belong to another file by now: an exchange started all
// the same must not write anywhere and ends as a time-out.
TEST_F(PeerTest, ExchangeAfterCloseTouchesNothing) {
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_NE(PrinterClosePort(), 0);
    EXPECT_EQ(PrinterLink.LinkPort, SERIAL_INVALID);
    EXPECT_EQ(PrinterLink.LinkReady, 1);

    std::filesystem::path victimPath = env->root() / "victim";
    int victims[4];
    for (int& fd : victims)
        fd = open(victimPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    clearDeliveries();
    peer->clear();
    EXPECT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    for (int fd : victims)
        close(fd);
    EXPECT_EQ(std::filesystem::file_size(victimPath), 0u);
    EXPECT_EQ(peer->receivedAfterSettling(), "");
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, ERR_TIMEOUT);
    EXPECT_EQ(deliveries()[0].record.FieldCount, 0);
}

// A log that cannot be written costs only the log record.
TEST_F(PeerTest, UnwritableLogLeavesDeliveryAndResult) {
    std::filesystem::create_directory(env->workDir() / "fpllog.dat");
    peer->script(replyWith("5"));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_EQ(deliveries().size(), 1u);
    EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);
    EXPECT_EQ(deliveries()[0].fields, std::vector<std::string>{"5"});
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    EXPECT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    EXPECT_EQ(deliveries().size(), 2u);
}

// A device that never stops sending (a byte now and then restarts the count of empty reads) holds
// an exchange no longer than its time bound, however few bytes it sends.
TEST_F(PeerTest, ExchangeEndsWithinItsTimeBoundWhateverTheDeviceSends) {
    PrinterLink.ExchangeLimitMs = 1500; // half an hour outside tests
    peer->answerNothing();
    for (const char* sends : {"\x16", "x"}) {
        SCOPED_TRACE(hex(sends));
        clearDeliveries();
        std::atomic<bool> done{false};
        std::thread device([&] {
            while (!done) {
                peer->send(sends);
                std::this_thread::sleep_for(std::chrono::milliseconds(80));
            }
        });
        EXPECT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
        done = true;
        device.join();
        ASSERT_EQ(deliveries().size(), 1u);
        EXPECT_EQ(deliveries()[0].record.ErrorWord, ERR_TIMEOUT);
    }
}

TEST_F(PeerTest, NoWaitWithoutABound) {
    tcdrainCalls = 0;
    peer->script(replyWith("1"));
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    ASSERT_NE(PrinterClosePort(), 0);
    EXPECT_EQ(tcdrainCalls, 0);
}
