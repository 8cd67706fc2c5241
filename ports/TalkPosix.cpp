// Talking to a printer on Linux: COMn as the ports folder has it, or a serial device by its path
// opened as a COMn of a ports folder made for the moment; Ctrl-C and SIGTERM caught by signal.
#include "Talk.h"

#include "Files.h"
#include "PortPath.h"
#include "Probe.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t gStopAsked = 0;
struct sigaction gSavedInt {
}, gSavedTerm{};

void OnStop(int) {
    gStopAsked = 1;
}

// While it lives, XDG_CONFIG_HOME is a folder of its own whose ports folder holds com1 leading
// to the device; the link's COM1 is then that device.
class MomentaryMapping {
public:
    explicit MomentaryMapping(const std::string& device) {
        char pattern[] = "/tmp/tr7042k-ports-XXXXXX";
        if (!mkdtemp(pattern)) return;
        root_ = pattern;
        std::error_code ec;
        std::filesystem::create_directories(root_ + "/tr7042k/ports", ec);
        if (ec || symlink(device.c_str(), (root_ + "/tr7042k/ports/com1").c_str()) != 0) return;
        const char* saved = std::getenv("XDG_CONFIG_HOME");
        hadSaved_ = saved != nullptr;
        if (saved) saved_ = saved;
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        ok_ = true;
    }
    ~MomentaryMapping() {
        if (ok_) {
            if (hadSaved_)
                setenv("XDG_CONFIG_HOME", saved_.c_str(), 1);
            else
                unsetenv("XDG_CONFIG_HOME");
        }
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    MomentaryMapping(const MomentaryMapping&) = delete;
    MomentaryMapping& operator=(const MomentaryMapping&) = delete;
    bool Ok() const { return ok_; }

private:
    std::string root_, saved_;
    bool hadSaved_ = false, ok_ = false;
};

// The diagnosis of the momentary COM1 told of the device itself: its reason names the device
// rather than COM1, and a fix that speaks of mapping COM1 does not apply.
void TellOfDevice(PortDiagnosis& d, const std::string& device) {
    const std::string alias = "COM1 (" + d.Target + ")";
    for (auto at = d.Reason.find(alias); at != std::string::npos; at = d.Reason.find(alias))
        d.Reason.replace(at, alias.size(), device);
    if (d.Fix.find("COM1") != std::string::npos) d.Fix.clear();
    d.Path = device;
}

} // namespace

bool ParseTalkPort(const std::string& word, const PortRoots& roots, TalkPort& port,
                   std::string& error) {
    port = TalkPort{};
    if (const int n = PortNumberFromName(word.c_str()); n > 0) {
        port.Number = n;
        port.Name = "COM" + std::to_string(n);
        return true;
    }
    if (word.empty() ||
        (word.size() >= 3 && (word[0] == 'C' || word[0] == 'c') &&
         (word[1] == 'O' || word[1] == 'o') && (word[2] == 'M' || word[2] == 'm'))) {
        error = "неверное имя порта " + word + " (нужно от COM1 до COM" +
                std::to_string(PortNumberMax) + ")";
        return false;
    }
    const std::string path = DevicePathOf(roots, word);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        error = "нет устройства " + path;
        return false;
    }
    port.Name = path;
    port.Device = path;
    // A device that a COMn reaches already (a built-in UART by default) is talked to as that
    // COMn.
    SerialDevice device;
    device.Path = path;
    const std::string target = ResolvedPath(path);
    device.Name = target.substr(target.rfind('/') + 1);
    if (const std::vector<int> ports = PortsReaching(device); !ports.empty())
        port.Number = ports.front();
    return true;
}

std::string TalkTarget(const TalkPort& port) {
    std::string path = port.Device;
    if (path.empty()) {
        char device[4096];
        if (PortDevicePath(port.Number, device, sizeof device)) path = device;
    }
    const std::string target = ResolvedPath(path);
    return target.empty() ? path : target;
}

bool OpenTalkPort(const TalkPort& port, int baud, PortDiagnosis& why) {
    if (port.Number > 0) {
        if (PrinterOpenPort(port.Number, baud) != -1) return true;
        why = DiagnosePort(port.Number);
        return false;
    }
    MomentaryMapping mapping(port.Device);
    if (!mapping.Ok()) {
        why = PortDiagnosis{};
        why.Problem = PortProblem::Other;
        why.Reason =
            "не удаётся открыть " + port.Device + ": нет места для временной ссылки в /tmp";
        return false;
    }
    if (PrinterOpenPort(1, baud) != -1) return true;
    why = DiagnosePort(1);
    TellOfDevice(why, port.Device);
    return false;
}

StopRequest::StopRequest(bool interruptOnly) : interruptOnly_(interruptOnly) {
    gStopAsked = 0;
    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, &gSavedInt);
    if (!interruptOnly_) sigaction(SIGTERM, &stop, &gSavedTerm);
}

StopRequest::~StopRequest() {
    sigaction(SIGINT, &gSavedInt, nullptr);
    if (!interruptOnly_) sigaction(SIGTERM, &gSavedTerm, nullptr);
}

bool StopRequest::Asked() {
    return gStopAsked != 0;
}

std::vector<PortHolder> OtherPortHolders(const std::string& target) {
    std::vector<PortHolder> others;
    if (target.rfind("/dev/pts/", 0) == 0) return others;
    for (const PortHolder& h : FindPortHolders(target))
        if (h.Pid != getpid()) others.push_back(h);
    return others;
}

std::vector<TalkPort> PortsToProbe(const PortRoots& roots) {
    std::vector<TalkPort> ports;
    std::vector<std::string> targets;
    char folder[4096];
    std::vector<int> numbers;
    if (PortsFolderPath(folder, sizeof folder)) {
        for (const std::string& name : FolderEntries(folder)) {
            const int n = PortNumberFromName(name.c_str());
            if (n > 0) numbers.push_back(n);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    for (int n : numbers) {
        TalkPort p;
        p.Number = n;
        p.Name = "COM" + std::to_string(n);
        targets.push_back(TalkTarget(p));
        ports.push_back(p);
    }
    for (const SerialDevice& d : ListSerialDevices(roots)) {
        const std::string target = ResolvedPath(d.Path);
        if (std::find(targets.begin(), targets.end(), target) != targets.end()) continue;
        TalkPort p;
        if (!d.Ports.empty()) {
            p.Number = d.Ports.front();
            p.Name = "COM" + std::to_string(p.Number);
        } else {
            p.Name = d.Path;
            p.Device = d.Path;
        }
        targets.push_back(target);
        ports.push_back(p);
    }
    return ports;
}

const char* NoPortsToProbe() {
    return "Нет ни связанных COMn, ни последовательных устройств: проверять нечего.";
}

const char* FlowControlOff() {
    return "stty -F УСТРОЙСТВО -crtscts";
}
