#include "Talk.h"

#include "Files.h"
#include "PortPath.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TalkResult gLast;
volatile std::sig_atomic_t gStopAsked = 0;

void OnStop(int) {
    gStopAsked = 1;
}

void Keep(RetData& reply) {
    gLast.ErrorWord = reply.ErrorWord;
    gLast.FieldCount = reply.FieldCount;
    for (int i = 0; i < 8; ++i)
        gLast.Fields[i] = i < reply.FieldCount && reply.Fields[i] ? reply.Fields[i] : "";
}

TalkResult Finish(int sent) {
    gLast.Ran = sent == 0;
    PrinterGetLineStats(&gLast.Line);
    return gLast;
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

void CloseTalkPort() {
    PrinterClosePort();
}

TalkResult AskStatus() {
    gLast = TalkResult{};
    return Finish(PrinterGetStatus(nullptr, Keep, 0, 1));
}

TalkResult AskDiagnostics() {
    gLast = TalkResult{};
    return Finish(PrinterGetDiagnostics(nullptr, Keep, 0, 1));
}

StopRequest::StopRequest() {
    gStopAsked = 0;
    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, &savedInt_);
    sigaction(SIGTERM, &stop, &savedTerm_);
}

StopRequest::~StopRequest() {
    sigaction(SIGINT, &savedInt_, nullptr);
    sigaction(SIGTERM, &savedTerm_, nullptr);
}

bool StopRequest::Asked() {
    return gStopAsked != 0;
}
