// The serial devices present, read from the device tree and sysfs, and the COMn links to them.
#include "PortList.h"

#include "Files.h"
#include "PortCheck.h"
#include "PortPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM"};

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The family prefix and the number of a device name: ttyUSB12 -> ("ttyUSB", 12); -1 when the
// name is not one of the serial families.
int DeviceNumber(const std::string& name, std::string& family) {
    for (const char* f : kFamilies) {
        const std::string prefix = f;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 6)
            continue;
        family = prefix;
        return std::atoi(digits.c_str());
    }
    return -1;
}

// A ttyS node exists for every possible UART; only those with a UART type other than 0
// ("unknown") have hardware behind them.
bool HasUart(const PortRoots& roots, const std::string& name) {
    const std::string base = roots.Sys + "/class/tty/" + name;
    const std::string type = FirstLine(base + "/type");
    if (!type.empty()) return std::atoi(type.c_str()) != 0;
    return Exists(base + "/device");
}

// The driver and, for an adapter, its maker and model: the devices above the serial port in
// sysfs, from the port up. The serial core's own port devices ("serial-base") are skipped: the
// driver that matters sits above them.
void ReadAdapter(const PortRoots& roots, SerialDevice& d) {
    const std::string device = ResolvedPath(roots.Sys + "/class/tty/" + d.Name + "/device");
    const std::string top = ResolvedPath(roots.Sys);
    if (device.empty() || top.empty()) return;
    for (std::string dir = device; dir.size() > top.size() && dir.rfind(top + "/", 0) == 0;
         dir = dir.substr(0, dir.rfind('/'))) {
        if (d.Driver.empty() && BaseName(ResolvedPath(dir + "/subsystem")) != "serial-base")
            d.Driver = BaseName(ResolvedPath(dir + "/driver"));
        if (!Exists(dir + "/idVendor")) continue;
        d.Maker = FirstLine(dir + "/manufacturer");
        d.Model = FirstLine(dir + "/product");
        if (d.Maker.empty() && d.Model.empty())
            d.Model = "USB " + FirstLine(dir + "/idVendor") + ":" + FirstLine(dir + "/idProduct");
        return;
    }
}

} // namespace

// The COMn that reach a device now: links in the ports folder that lead to it, and for a UART
// the port whose default it is, unless a link of that number leads elsewhere.
std::vector<int> PortsReaching(const SerialDevice& d) {
    std::vector<int> ports;
    const std::string target = ResolvedPath(d.Path);
    char folder[4096];
    if (!target.empty() && PortsFolderPath(folder, sizeof folder)) {
        for (const std::string& name : FolderEntries(folder)) {
            const int port = PortNumberFromName(name.c_str());
            if (port > 0 && ResolvedPath(std::string(folder) + "/" + name) == target)
                ports.push_back(port);
        }
    }
    std::string family;
    const int number = DeviceNumber(d.Name, family);
    char fallback[64], link[4096];
    struct stat st;
    if (family == "ttyS" && number + 1 <= PortNumberMax &&
        PortDefaultDevice(number + 1, fallback, sizeof fallback) && BaseName(fallback) == d.Name &&
        !(PortLinkPath(number + 1, link, sizeof link) && lstat(link, &st) == 0)) {
        ports.push_back(number + 1);
    }
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

std::vector<SerialDevice> ListSerialDevices(const PortRoots& roots) {
    std::vector<SerialDevice> devices;
    for (const std::string& name : FolderEntries(roots.Dev)) {
        std::string family;
        if (DeviceNumber(name, family) < 0) continue;
        if (family == "ttyS" && !HasUart(roots, name)) continue;
        SerialDevice d;
        d.Name = name;
        d.Path = roots.Dev + "/" + name;
        d.ById = StableName(roots, d.Path);
        ReadAdapter(roots, d);
        d.Ports = PortsReaching(d);
        d.MayOpen = access(d.Path.c_str(), R_OK | W_OK) == 0;
        devices.push_back(std::move(d));
    }
    auto key = [](const SerialDevice& d) {
        std::string family;
        const int number = DeviceNumber(d.Name, family);
        const auto index =
            std::find(std::begin(kFamilies), std::end(kFamilies), family) - std::begin(kFamilies);
        return std::make_pair(index, number);
    };
    std::sort(devices.begin(), devices.end(),
              [&](const SerialDevice& a, const SerialDevice& b) { return key(a) < key(b); });
    return devices;
}

std::string StableName(const PortRoots& roots, const std::string& device) {
    const std::string target = ResolvedPath(device);
    const std::string folder = roots.Dev + "/serial/by-id";
    if (target.empty()) return {};
    for (const std::string& name : FolderEntries(folder)) {
        if (ResolvedPath(folder + "/" + name) == target) return folder + "/" + name;
    }
    return {};
}

namespace {

MapResult Failed(MapResult r, int code, std::string message) {
    r.Code = code;
    r.Message = std::move(message);
    return r;
}

// Why the link comN cannot even be named.
std::string NoLinkPath(int why) {
    return why == ENOENT ? "не найти папку для ссылок: не задан ни XDG_CONFIG_HOME, ни HOME "
                           "(полным путём)"
                         : "путь к папке для ссылок слишком длинный (XDG_CONFIG_HOME или HOME)";
}

// Why what a path leads to cannot be a port, in words; empty when it can.
std::string NotAPort(const PortRoots& roots, const std::string& path, const struct stat& st) {
    switch (PortTargetKindOf(&st, roots.Sys.c_str())) {
    case PortTargetNotDevice:
        return path +
               (S_ISDIR(st.st_mode)   ? " - папка"
                : S_ISREG(st.st_mode) ? " - обычный файл"
                                      : " - не устройство") +
               ", а не последовательный порт";
    case PortTargetNotTerminal:
        return path + " - устройство, но не последовательный порт";
    case PortTargetPseudo:
        return path + " - псевдотерминал: порт консоли ведёт к нему, только пока его обслуживает "
                      "имитатор, а ссылку к себе имитатор делает сам (tr7042k-sim --port COMn)";
    case PortTargetSerial:
        break;
    }
    return {};
}

} // namespace

std::string DevicePathOf(const PortRoots& roots, const std::string& device) {
    std::string path = device.find('/') == std::string::npos ? roots.Dev + "/" + device : device;
    if (!path.empty() && path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
    }
    return path;
}

MapResult MapPort(const PortRoots& roots, int port, const std::string& device) {
    MapResult r;
    char link[4096];
    int why = 0;
    if (!PortLinkPath(port, link, sizeof link, &why)) return Failed(r, ExitFailed, NoLinkPath(why));
    r.Link = link;
    if (device.empty()) return Failed(r, ExitNotSerial, "не задано устройство");
    const std::string path = DevicePathOf(roots, device);
    struct stat target;
    if (stat(path.c_str(), &target) != 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR) return Failed(r, ExitMissing, "нет устройства " + path);
        return Failed(r, ExitFailed, "не удаётся найти " + path + ": " + std::strerror(e));
    }
    // Only a serial line may become a port: the link opens what COMn leads to read-write.
    const std::string notAPort = NotAPort(roots, path, target);
    if (!notAPort.empty()) return Failed(r, ExitNotSerial, notAPort);
    const std::string stable = StableName(roots, path);
    r.Target = stable.empty() ? path : stable;

    const std::string folder = r.Link.substr(0, r.Link.rfind('/'));
    if (!PortMakeFolders(folder.c_str(), &why))
        return Failed(r, ExitFailed,
                      "не удаётся создать папку " + folder + ": " + std::strerror(why));
    struct stat st;
    if (lstat(link, &st) == 0 && !S_ISLNK(st.st_mode))
        return Failed(r, ExitFailed, r.Link + " уже есть, и это не ссылка: уберите его сами");
    // The new link replaces the old one in one step: COMn never leads nowhere in between. It
    // belongs to the folder's owner, as the folders do.
    const std::string fresh = r.Link + ".new";
    unlink(fresh.c_str());
    if (symlink(r.Target.c_str(), fresh.c_str()) != 0 || !PortOwnLikeFolder(fresh.c_str(), &why) ||
        rename(fresh.c_str(), link) != 0) {
        const int e = errno;
        unlink(fresh.c_str());
        return Failed(r, ExitFailed,
                      "не удаётся сделать ссылку " + r.Link + ": " + std::strerror(e));
    }
    r.Changed = true;
    return r;
}

MapResult UnmapPort(int port) {
    MapResult r;
    char link[4096], fallback[64];
    int why = 0;
    if (!PortLinkPath(port, link, sizeof link, &why)) return Failed(r, ExitFailed, NoLinkPath(why));
    if (!PortDefaultDevice(port, fallback, sizeof fallback))
        return Failed(r, ExitFailed, "нет порта COM" + std::to_string(port));
    r.Link = link;
    r.Target = fallback;
    struct stat st;
    if (lstat(link, &st) != 0) {
        const int e = errno;
        if (e == ENOENT || e == ENOTDIR) return r; // nothing to remove
        return Failed(r, e == EACCES ? ExitNoPermission : ExitFailed,
                      "не удаётся заглянуть в папку портов " + r.Link.substr(0, r.Link.rfind('/')) +
                          ": " + std::strerror(e));
    }
    if (!S_ISLNK(st.st_mode)) {
        r.Code = ExitFailed;
        r.Message = r.Link + " - не ссылка: уберите его сами";
    } else if (unlink(link) != 0) {
        r.Code = ExitFailed;
        r.Message = "не удаётся убрать ссылку " + r.Link + ": " + std::strerror(errno);
    } else {
        r.Changed = true;
    }
    return r;
}
