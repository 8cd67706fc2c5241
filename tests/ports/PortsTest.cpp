// tr7042k-ports and the port diagnosis: devices listed from a fake device tree and sysfs, COMn
// mapped and unmapped in a ports folder of the test's own, and each reason a port does not open
// made real on a pseudo-terminal or a file.
#include "PortCheck.h"
#include "PortList.h"
#include "PortPath.h"
#include "Tool.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// A folder of the test's own that is the user's config folder while the object lives. Every
// user may look into it, so that a diagnosis run as another user finds the links.
class ConfigHome {
public:
    ConfigHome() {
        char pattern[] = "/tmp/tr7042k-ports-XXXXXX";
        Root = mkdtemp(pattern);
        Ports = Root / "config/tr7042k/ports";
        fs::create_directories(Ports);
        for (fs::path p = Ports; p != Root.parent_path(); p = p.parent_path())
            chmod(p.c_str(), 0755);
        const char* saved = getenv("XDG_CONFIG_HOME");
        if (saved) Saved = saved;
        HadSaved = saved != nullptr;
        setenv("XDG_CONFIG_HOME", (Root / "config").c_str(), 1);
    }
    ~ConfigHome() {
        for (const auto& [port, claim] : Claims)
            PortClaimRelease(port, claim);
        if (HadSaved)
            setenv("XDG_CONFIG_HOME", Saved.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(Root);
    }
    void LinkPort(int port, const fs::path& target) const {
        fs::remove(Ports / ("com" + std::to_string(port)));
        fs::create_symlink(target, Ports / ("com" + std::to_string(port)));
    }
    // COMn leads to a pseudo-terminal that a simulator serves: this test holds its claim.
    void ServePort(int port, const std::string& terminal) {
        LinkPort(port, terminal);
        if (!Claims.count(port)) Claims[port] = PortClaim(port);
        PortClaimServe(Claims[port], terminal.c_str());
    }
    fs::path Root, Ports;

private:
    std::map<int, int> Claims;
    std::string Saved;
    bool HadSaved = false;
};

// A pseudo-terminal: a serial port that answers nothing. The far side stays open while it lives.
class Pty {
public:
    Pty() {
        Master = posix_openpt(O_RDWR | O_NOCTTY);
        if (Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0) Slave = ptsname(Master);
    }
    ~Pty() { close(Master); }
    int Master = -1;
    std::string Slave;
};

void BecomeNobody() {
    if (geteuid() != 0) return;
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(1);
    prctl(PR_SET_DUMPABLE, 1); // its open files stay visible to its own user, as for any program
}

// Another program that has a device open: locked (flock) or for exclusive use (TIOCEXCL), under
// a name of its own, until the object goes. It runs as the user the unprivileged diagnosis runs
// as, so that the diagnosis may see its open files.
class OtherProgram {
public:
    OtherProgram(const std::string& device, bool exclusive, const char* name) {
        int ready[2];
        if (pipe(ready) != 0) return;
        Pid = fork();
        if (Pid == 0) {
            BecomeNobody();
            prctl(PR_SET_NAME, name);
            const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
            const bool held =
                fd >= 0 && (exclusive ? ioctl(fd, TIOCEXCL) : flock(fd, LOCK_EX)) == 0;
            const char ok = held ? 'y' : 'n';
            (void)!write(ready[1], &ok, 1);
            pause();
            _exit(0);
        }
        char ok = 'n';
        (void)!read(ready[0], &ok, 1);
        Holding = ok == 'y';
        close(ready[0]);
        close(ready[1]);
    }
    ~OtherProgram() {
        if (Pid <= 0) return;
        kill(Pid, SIGKILL);
        waitpid(Pid, nullptr, 0);
    }
    pid_t Pid = -1;
    bool Holding = false;
};

// DiagnosePort as a user who is neither root nor in any group of the test's files: as root, in a
// child that gives up its privileges (root may open anything); otherwise here.
PortDiagnosis DiagnoseUnprivileged(int port) {
    if (geteuid() != 0) return DiagnosePort(port);
    int out[2];
    if (pipe(out) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        BecomeNobody();
        const PortDiagnosis d = DiagnosePort(port);
        const std::string text =
            std::to_string(static_cast<int>(d.Problem)) + "\n" + d.Reason + "\n" + d.Fix + "\n";
        (void)!write(out[1], text.data(), text.size());
        _exit(0);
    }
    close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    close(out[0]);
    waitpid(child, nullptr, 0);
    PortDiagnosis d;
    std::istringstream lines(text);
    std::string problem;
    std::getline(lines, problem);
    d.Problem = static_cast<PortProblem>(std::atoi(problem.c_str()));
    std::getline(lines, d.Reason);
    std::getline(lines, d.Fix);
    return d;
}

struct ToolRun {
    int Code;
    std::string Out, Err;
};

ToolRun RunTool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunPortsTool(args, out, err);
    return {code, out.str(), err.str()};
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

// A link to a folder (a sysfs driver or bus), made with the folder.
void Link(const fs::path& link, const fs::path& target) {
    if (target.is_absolute()) fs::create_directories(target);
    fs::create_directories(link.parent_path());
    fs::create_symlink(target, link);
}

// A machine's device tree and sysfs in miniature: UARTs with and without hardware, two USB
// adapters (one with a stable name and maker strings, one with bare USB ids), a modem-class
// adapter, and a terminal that is no serial port.
struct FakeMachine {
    explicit FakeMachine(const fs::path& root) : Sys(root / "sys"), Dev(root / "dev") {
        const struct {
            const char* name;
            unsigned type, unit;
        } nodes[] = {{"ttyS0", 4, 64},    {"ttyS1", 4, 65},    {"ttyS2", 4, 66},
                     {"ttyS10", 4, 74},   {"ttyUSB0", 188, 0}, {"ttyUSB1", 188, 1},
                     {"ttyACM0", 166, 0}, {"tty0", 4, 0},      {"ttyprintk", 5, 3}};
        // Device nodes as the kernel makes them, with sysfs naming the serial ones terminals
        // (only root may make them; others get plain files, which list the same).
        for (const auto& n : nodes) {
            fs::create_directories(Dev);
            if (geteuid() != 0 ||
                mknod((Dev / n.name).c_str(), S_IFCHR | 0660, makedev(n.type, n.unit)) != 0)
                Write(Dev / n.name, "");
            const fs::path number =
                Sys / "dev/char" / (std::to_string(n.type) + ":" + std::to_string(n.unit));
            if (n.type != 5 && !(n.type == 4 && n.unit < 64))
                Link(number / "subsystem", Sys / "class/tty");
        }
        Uart("ttyS0", "4");
        Uart("ttyS1", "0"); // a node with no UART behind it
        Uart("ttyS2", "4");
        Uart("ttyS10", "4");
        const fs::path usb = Sys / "devices/pci0000:00/0000:00:14.0/usb1";
        Adapter("ttyUSB0", usb / "1-1", "1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
        Write(usb / "1-1/idVendor", "0403");
        Write(usb / "1-1/manufacturer", "FTDI");
        Write(usb / "1-1/product", "FT232R USB UART");
        fs::create_directories(Dev / "serial/by-id");
        fs::create_symlink("../../ttyUSB0",
                           Dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");
        Adapter("ttyUSB1", usb / "1-2", "1-2:1.0/ttyUSB1", "usb-serial", "ch341-uart");
        Write(usb / "1-2/idVendor", "1a86");
        Write(usb / "1-2/idProduct", "7523");
        Adapter("ttyACM0", usb / "1-3", "1-3:1.0", "usb", "cdc_acm");
        Write(usb / "1-3/idVendor", "2341");
        Write(usb / "1-3/manufacturer", "Arduino");
        Write(usb / "1-3/product", "Uno");
    }
    void Uart(const std::string& name, const std::string& type) {
        const fs::path port = Sys / "devices/pnp0" / name / (name + ":0.0");
        Write(Sys / "class/tty" / name / "type", type);
        // The serial core's own port device sits between the tty and the real driver.
        Link(port / "subsystem", Sys / "bus/serial-base");
        Link(port / "driver", Sys / "bus/serial-base/drivers/port");
        Link(port.parent_path() / "driver", Sys / "bus/pnp/drivers/serial");
        Link(Sys / "class/tty" / name / "device", port);
    }
    void Adapter(const std::string& name, const fs::path& usbDevice, const std::string& below,
                 const std::string& bus, const std::string& driver) {
        const fs::path port = usbDevice / below;
        fs::create_directories(port);
        Link(port / "driver", Sys / "bus" / bus / "drivers" / driver);
        Link(Sys / "class/tty" / name / "device", port);
    }
    std::vector<std::string> Options() const { return {"--sysfs", Sys, "--dev", Dev}; }
    fs::path Sys, Dev;
};

TEST(Ports, PortNamesAndTheFolderOfLinks) {
    const struct {
        const char* name;
        int port;
    } names[] = {{"COM1", 1},   {"com20", 20}, {"Com255", 255}, {"COM256", -1}, {"COM0", -1},
                 {"COM01", -1}, {"COM", -1},   {"COM3a", -1},   {"LPT1", -1},   {"", -1}};
    for (const auto& n : names)
        EXPECT_EQ(PortNumberFromName(n.name), n.port) << n.name;
    EXPECT_EQ(PortNumberFromName(nullptr), -1);

    ConfigHome home;
    char path[4096];
    ASSERT_TRUE(PortDevicePath(4, path, sizeof path));
    EXPECT_STREQ(path, "/dev/ttyS3");
    home.LinkPort(4, "/nowhere");
    ASSERT_TRUE(PortDevicePath(4, path, sizeof path));
    EXPECT_EQ(path, (home.Ports / "com4").string()); // a link that leads nowhere still counts
    EXPECT_FALSE(PortDevicePath(4, path, 8));

    // Without XDG_CONFIG_HOME the folder is under HOME; without either, COMn is the UART.
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/tech", 1);
    ASSERT_TRUE(PortsFolderPath(path, sizeof path));
    EXPECT_STREQ(path, "/home/tech/.config/tr7042k/ports");
    unsetenv("HOME");
    EXPECT_FALSE(PortsFolderPath(path, sizeof path));
    ASSERT_TRUE(PortDevicePath(4, path, sizeof path));
    EXPECT_STREQ(path, "/dev/ttyS3");
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(Ports, ListShowsEachSerialDeviceWithItsNameMakerPortAndAccess) {
    ConfigHome home;
    const FakeMachine m(home.Root / "machine");
    const fs::path byId = m.Dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0";
    home.LinkPort(3, byId);              // COM3 is the FTDI adapter, so ttyS2 is no longer COM3
    home.LinkPort(2, m.Dev / "ttyS10");  // and ttyS10 is COM2 as well as COM11
    home.LinkPort(5, m.Dev / "ttyUSB7"); // an adapter that is gone

    const auto devices = ListSerialDevices({m.Sys, m.Dev});
    std::vector<std::string> names;
    for (const auto& d : devices)
        names.push_back(d.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyS0", "ttyS2", "ttyS10", "ttyUSB0", "ttyUSB1",
                                               "ttyACM0"}));
    ASSERT_EQ(devices.size(), 6u);
    const auto& ftdi = devices[3];
    EXPECT_EQ(ftdi.ById, byId);
    EXPECT_EQ(ftdi.Maker + "|" + ftdi.Model + "|" + ftdi.Driver, "FTDI|FT232R USB UART|ftdi_sio");
    EXPECT_EQ(ftdi.Ports, std::vector<int>{3});
    EXPECT_TRUE(ftdi.MayOpen);
    EXPECT_EQ(devices[4].Model, "USB 1a86:7523");
    EXPECT_EQ(devices[4].ById, "");
    EXPECT_EQ(devices[5].Maker + " " + devices[5].Model + " " + devices[5].Driver,
              "Arduino Uno cdc_acm");
    EXPECT_EQ(devices[0].Driver, "serial");
    EXPECT_EQ(devices[0].Ports, std::vector<int>{1});
    EXPECT_TRUE(devices[1].Ports.empty());
    EXPECT_EQ(devices[2].Ports, (std::vector<int>{2, 11}));

    auto args = m.Options();
    args.push_back("list");
    const ToolRun run = RunTool(args);
    EXPECT_EQ(run.Code, ExitOk);
    EXPECT_NE(run.Out.find(m.Dev.string() +
                           "/ttyUSB0  FTDI FT232R USB UART (ftdi_sio)\n"
                           "    постоянное имя: " +
                           byId.string() +
                           "\n    порт консоли:   COM3\n    доступ:         есть\n"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(
        run.Out.find("порт консоли:   нет (tr7042k-ports map COMn " + m.Dev.string() + "/ttyS2)"),
        std::string::npos);
    const std::string gone =
        "COM5 ведёт к " + (m.Dev / "ttyUSB7").string() + ", а такого устройства нет\n";
    EXPECT_NE(run.Out.find(gone), std::string::npos);
    EXPECT_EQ(RunTool({"--dev", (home.Root / "empty").string()}).Out,
              "Последовательных устройств не найдено.\n" + gone);
}

TEST(Ports, MapPrefersTheStableNameAndUnmapGivesTheUartBack) {
    if (geteuid() != 0) GTEST_SKIP() << "device nodes to map are made by root only";
    ConfigHome home;
    const FakeMachine m(home.Root / "machine");
    const fs::path link = home.Ports / "com4";
    auto with = [&m](std::vector<std::string> words) {
        auto args = m.Options();
        args.insert(args.end(), words.begin(), words.end());
        return RunTool(args);
    };
    ToolRun run = with({"map", "COM4", "ttyUSB0"});
    EXPECT_EQ(run.Code, ExitOk) << run.Err;
    EXPECT_EQ(fs::read_symlink(link),
              m.Dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1234-if00-port0");
    // The link opens what was mapped.
    char path[4096];
    ASSERT_TRUE(PortDevicePath(4, path, sizeof path));
    EXPECT_EQ(fs::canonical(path), fs::canonical(m.Dev / "ttyUSB0"));

    // A second map replaces the link; an adapter without a stable name is linked as it is.
    EXPECT_EQ(with({"map", "com4", (m.Dev / "ttyUSB1").string()}).Code, ExitOk);
    EXPECT_EQ(fs::read_symlink(link), m.Dev / "ttyUSB1");
    run = with({"map", "COM4", "ttyUSB9"});
    EXPECT_EQ(run.Code, ExitMissing);
    EXPECT_EQ(run.Err, "tr7042k-ports: нет устройства " + (m.Dev / "ttyUSB9").string() + "\n");
    EXPECT_EQ(fs::read_symlink(link), m.Dev / "ttyUSB1");

    run = with({"unmap", "COM4"});
    EXPECT_EQ(run.Code, ExitOk);
    EXPECT_EQ(run.Out, "Связь COM4 убрана; теперь COM4 означает /dev/ttyS3\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(with({"unmap", "COM4"}).Out,
              "COM4 и не был связан; теперь COM4 означает /dev/ttyS3\n");

    // Only a serial line can be mapped: what the name leads to is judged by its type and by
    // sysfs, before anything is opened.
    Write(home.Root / "plain", "keep");
    const Pty pty;
    const struct {
        std::string device, why;
    } refused[] = {
        {(home.Root / "plain").string(), " - обычный файл, а не последовательный порт"},
        {"/etc/passwd", "/etc/passwd - обычный файл"},
        {"/dev/null", "/dev/null - устройство, но не последовательный порт"},
        {"tty0", "tty0 - устройство, но не последовательный порт"},
        {home.Root.string(), " - папка"},
        {pty.Slave, pty.Slave + " - псевдотерминал"},
        {"", "не задано устройство"},
    };
    for (const auto& c : refused) {
        run = with({"map", "COM4", c.device});
        EXPECT_EQ(run.Code, ExitNotSerial) << c.device;
        EXPECT_NE(run.Err.find(c.why), std::string::npos) << run.Err;
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << c.device;
    }
    EXPECT_EQ(fs::file_size(home.Root / "plain"), 5u);

    // Root with a user's HOME (sudo -E): what map makes belongs to that user, who can change it.
    const fs::path user = home.Root / "user";
    fs::create_directories(user);
    ASSERT_EQ(chown(user.c_str(), kNobody, kNobody), 0);
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", user.c_str(), 1);
    run = with({"map", "COM3", "ttyUSB1"});
    EXPECT_EQ(run.Code, ExitOk) << run.Err;
    for (const char* made :
         {".config", ".config/tr7042k", ".config/tr7042k/ports", ".config/tr7042k/ports/com3"}) {
        struct stat st {};
        EXPECT_EQ(lstat((user / made).c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_uid, kNobody) << made;
        EXPECT_EQ(st.st_gid, kNobody) << made;
    }
    setenv("HOME", savedHome.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.Root / "config").c_str(), 1);

    // Something in the ports folder that is not a link is left alone.
    Write(home.Ports / "com6", "notes");
    EXPECT_EQ(with({"map", "COM6", "ttyUSB0"}).Code, ExitFailed);
    EXPECT_EQ(with({"unmap", "COM6"}).Code, ExitFailed);
    EXPECT_TRUE(fs::is_regular_file(home.Ports / "com6"));

    // Wrong use says so on the error stream, with exit code 1.
    for (const auto& words : std::vector<std::vector<std::string>>{{"map", "COM0", "ttyUSB0"},
                                                                   {"map", "COM4"},
                                                                   {"check"},
                                                                   {"unmap", "LPT1"},
                                                                   {"list", "COM1"},
                                                                   {"open", "COM1"},
                                                                   {"--verbose"},
                                                                   {"--dev"}}) {
        run = RunTool(words);
        EXPECT_EQ(run.Code, ExitUsage) << words[0];
        EXPECT_NE(run.Err.find("tr7042k-ports --help"), std::string::npos);
    }
    EXPECT_EQ(RunTool({"--version"}).Out, std::string("tr7042k-ports ") + TR_VERSION + "\n");
    EXPECT_NE(RunTool({"--help"}).Out.find("check COMn"), std::string::npos);
}

TEST(Ports, CheckSaysWhyAPortDoesNotOpenAndWhatToDo) {
    ConfigHome home;
    auto check = [](int port) { return RunTool({"check", "COM" + std::to_string(port)}); };

    // Missing: a link to nowhere, a closed pseudo-terminal, no link and no UART.
    home.LinkPort(1, "/nonexistent/ttyUSB0");
    PortDiagnosis d = DiagnosePort(1);
    EXPECT_EQ(d.Problem, PortProblem::Missing);
    EXPECT_EQ(d.Reason, "COM1 ведёт к /nonexistent/ttyUSB0, а такого устройства нет");
    EXPECT_EQ(check(1).Code, ExitMissing);
    home.LinkPort(2, "/dev/pts/99999");
    EXPECT_NE(DiagnosePort(2).Fix.find("tr7042k-sim --port COM2"), std::string::npos);
    ASSERT_FALSE(fs::exists("/dev/ttyS248"));
    EXPECT_EQ(DiagnosePort(249).Reason, "нет порта COM249: нет ни ссылки " +
                                            (home.Ports / "com249").string() +
                                            ", ни устройства /dev/ttyS248");

    // Not a serial port: a plain file, a folder.
    Write(home.Root / "plain", "keep");
    home.LinkPort(3, home.Root / "plain");
    EXPECT_EQ(DiagnosePort(3).Problem, PortProblem::NotSerial);
    EXPECT_EQ(check(3).Code, ExitNotSerial);
    home.LinkPort(3, home.Root);
    EXPECT_EQ(DiagnosePort(3).Problem, PortProblem::NotSerial);

    // A free pseudo-terminal opens.
    Pty pty;
    ASSERT_FALSE(pty.Slave.empty());
    home.ServePort(4, pty.Slave);
    const ToolRun free = check(4);
    EXPECT_EQ(free.Code, ExitOk);
    EXPECT_EQ(free.Out, "COM4 (" + pty.Slave + ") открывается\n");

    // A terminal that no simulator serves (a link left by a simulator that was killed: the
    // terminal may be anyone's by now) is refused before it is opened, and list marks it.
    const Pty stranger;
    home.LinkPort(5, stranger.Slave);
    d = DiagnosePort(5);
    EXPECT_EQ(d.Problem, PortProblem::Missing);
    EXPECT_EQ(d.Reason, "COM5 ведёт к терминалу " + stranger.Slave +
                            ", который не обслуживает ни один имитатор");
    EXPECT_NE(d.Fix.find("tr7042k-sim --port COM5"), std::string::npos) << d.Fix;
    EXPECT_EQ(check(5).Code, ExitMissing);
    EXPECT_NE(RunTool({"list"}).Out.find(d.Reason + "\n"), std::string::npos);
    EXPECT_EQ(RunTool({"list"}).Out.find("COM4"), std::string::npos); // a served one is no leftover

    // Held: another program has locked it; the reason names that program, and not those that
    // only have it open (as this test does here).
    chmod(pty.Slave.c_str(), 0666);
    {
        OtherProgram holder(pty.Slave, false, "holder");
        ASSERT_TRUE(holder.Holding);
        const int opener = open(pty.Slave.c_str(), O_RDWR | O_NOCTTY);
        d = DiagnosePort(4);
        close(opener);
        EXPECT_EQ(d.Problem, PortProblem::Held);
        EXPECT_EQ(d.Reason, "COM4 (" + pty.Slave + ") занят другой программой: holder (PID " +
                                std::to_string(holder.Pid) + ")");
        EXPECT_EQ(check(4).Code, ExitHeld);
    }
    EXPECT_EQ(DiagnosePort(4).Problem, PortProblem::None);

    // Exclusive use keeps out every user but root: seen as a user who is not root.
    {
        OtherProgram holder(pty.Slave, true, "exclusive");
        ASSERT_TRUE(holder.Holding);
        d = DiagnoseUnprivileged(4);
        EXPECT_EQ(d.Problem, PortProblem::Exclusive) << d.Reason;
        // Root could break in, and is told the same.
        EXPECT_EQ(DiagnosePort(4).Problem, PortProblem::Exclusive);
        EXPECT_EQ(check(4).Code, ExitExclusive);
        EXPECT_NE(d.Reason.find("для монопольного использования: exclusive (PID " +
                                std::to_string(holder.Pid) + ")"),
                  std::string::npos)
            << d.Reason;
    }

    // No permission: a device this user may not read and write. (The exclusive flag stays on a
    // pseudo-terminal while its far side is open, so this takes a fresh one.)
    Pty closed;
    home.ServePort(4, closed.Slave);
    chmod(closed.Slave.c_str(), 0);
    d = DiagnoseUnprivileged(4);
    EXPECT_EQ(d.Problem, PortProblem::NoPermission);
    EXPECT_NE(d.Reason.find("нет прав на чтение и запись " + closed.Slave), std::string::npos)
        << d.Reason;
    EXPECT_NE(d.Fix.find("sudo chmod g+rw " + closed.Slave), std::string::npos) << d.Fix;
    if (geteuid() != 0) GTEST_SKIP() << "giving the device a group this user is not in needs root";
    const group* dialout = getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    ASSERT_EQ(chown(closed.Slave.c_str(), 0, dialout->gr_gid), 0);
    chmod(closed.Slave.c_str(), 0660);
    d = DiagnoseUnprivileged(4);
    EXPECT_EQ(d.Problem, PortProblem::NoPermission);
    EXPECT_EQ(d.Fix.substr(0, d.Fix.find(", затем")),
              "вступите в группу dialout: sudo usermod -aG dialout nobody");
}

// A ports folder that cannot be used is reported as what it is, by check, map and unmap alike;
// COMn is never taken for /dev/ttyS<n-1> in its place.
TEST(Ports, FolderTroubleIsTheCauseGivenNeverTheUart) {
    ConfigHome home;
    // Over long: no path at all.
    const std::string longHome = "/" + std::string(5000, 'x');
    setenv("XDG_CONFIG_HOME", longHome.c_str(), 1);
    char path[4096];
    EXPECT_FALSE(PortDevicePath(1, path, sizeof path));
    PortDiagnosis d = DiagnosePort(1);
    EXPECT_EQ(d.Problem, PortProblem::Other);
    EXPECT_NE(d.Reason.find("слишком длинный"), std::string::npos) << d.Reason;
    for (const auto& words : std::vector<std::vector<std::string>>{
             {"map", "COM1", "/dev/null"}, {"unmap", "COM1"}, {"check", "COM1"}}) {
        const ToolRun run = RunTool(words);
        EXPECT_EQ(run.Code, ExitFailed) << words[0];
        EXPECT_EQ(run.Out.find("/dev/ttyS0"), std::string::npos) << run.Out;
        EXPECT_NE((run.Out + run.Err).find("слишком длинный"), std::string::npos) << run.Err;
    }
    // Relative: ignored, as the XDG rules say; the folder under HOME counts.
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    const std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", "/home/tech", 1);
    ASSERT_TRUE(PortsFolderPath(path, sizeof path));
    EXPECT_STREQ(path, "/home/tech/.config/tr7042k/ports");
    setenv("HOME", savedHome.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.Root / "config").c_str(), 1);

    // A ports folder this user may not search: its links cannot be read, seen as a user who is
    // not root (root searches any folder).
    home.LinkPort(1, "/dev/null");
    chmod(home.Ports.c_str(), 0600);
    d = DiagnoseUnprivileged(1);
    chmod(home.Ports.c_str(), 0755);
    EXPECT_EQ(d.Problem, PortProblem::NoPermission) << d.Reason;
    EXPECT_NE(d.Reason.find("нет доступа к папке портов " + home.Ports.string()), std::string::npos)
        << d.Reason;
    EXPECT_EQ(d.Reason.find("ttyS0"), std::string::npos) << d.Reason;
}

TEST(Ports, PermissionFixFollowsWhatTheUserLacks) {
    const struct {
        bool groupRw, listed, session;
        const char* fix;
    } cases[] = {
        {true, false, false, "вступите в группу dialout: sudo usermod -aG dialout tech, затем"},
        {true, true, false, "вы уже в группе dialout, но этот сеанс начат до вступления"},
        {true, true, true, "группа dialout у вас есть, но доступ закрыт иначе"},
        {false, true, true, "права /dev/ttyUSB0 не дают группе dialout читать и писать"},
    };
    for (const auto& c : cases) {
        const AccessFacts facts{"/dev/ttyUSB0", "tech", "dialout", c.groupRw, c.listed, c.session};
        EXPECT_EQ(PermissionFix(facts).rfind(c.fix, 0), 0u) << PermissionFix(facts);
    }
}

} // namespace
