// Why a port does not open: the link's own steps (find the device, open it for reading and
// writing, see a terminal behind it, lock it), each failure put in words with its fix.
#include "PortCheck.h"

#include "Files.h"
#include "PortPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char* const kMapHint = "tr7042k-ports list, затем tr7042k-ports map ";
// What to do when another program holds the port, by lock or by exclusive use.
const char* const kFreeHolderFix = "закройте её (или отключите в ней порт) и подключитесь снова";

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

bool SameFile(const struct stat& a, const struct stat& b) {
    // A character device is the same device through any node or link that names it.
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsNumber(const char* s) {
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// The name a technician knows the process by: the kernel's short name, or the program's file
// name when the short name is only its first 15 characters.
std::string ProcessName(pid_t pid) {
    const std::string dir = "/proc/" + std::to_string(pid);
    const std::string comm = FirstLine(dir + "/comm");
    std::ifstream cmdline(dir + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    const auto slash = argv0.rfind('/');
    const std::string base = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
    if (!comm.empty() && base.size() > comm.size() && base.compare(0, comm.size(), comm) == 0)
        return base;
    return comm.empty() ? base : comm;
}

// Processes holding a lock on the file, from /proc/locks ("1: FLOCK ADVISORY WRITE 1234
// 00:19:3 0 EOF"); lines with "->" are processes waiting for a lock, not holding one.
void AddLockHolders(const struct stat& st, std::vector<pid_t>& pids) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string id, kind, mode, access, pid, where;
        fields >> id >> kind;
        if (kind == "->") continue;
        fields >> mode >> access >> pid >> where;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3) continue;
        const long p = std::strtol(pid.c_str(), nullptr, 10);
        if (p > 0 && major == major(st.st_dev) && minor == minor(st.st_dev) && inode == st.st_ino)
            pids.push_back(static_cast<pid_t>(p));
    }
}

// Processes with the file among their open files. Other users' processes are hidden from a
// user who is not root.
void AddOpeners(const struct stat& st, std::vector<pid_t>& pids) {
    for (const std::string& process : FolderEntries("/proc")) {
        if (!IsNumber(process.c_str())) continue;
        const std::string fdDir = "/proc/" + process + "/fd";
        for (const std::string& fd : FolderEntries(fdDir)) {
            struct stat other;
            if (stat((fdDir + "/" + fd).c_str(), &other) == 0 && SameFile(st, other)) {
                pids.push_back(static_cast<pid_t>(std::atol(process.c_str())));
                break;
            }
        }
    }
}

std::string HoldersText(const std::vector<PortHolder>& holders) {
    if (holders.empty()) return "какой - не видно (вероятно, она запущена другим пользователем)";
    std::string text;
    for (const auto& h : holders) {
        if (!text.empty()) text += ", ";
        text +=
            (h.Name.empty() ? std::string("?") : h.Name) + " (PID " + std::to_string(h.Pid) + ")";
    }
    return text;
}

std::string ModeText(mode_t mode) {
    std::string text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : "-";
    const char* letters = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        text += (mode & (0400 >> i)) ? letters[i] : '-';
    return text;
}

std::string UserName(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    return pw ? pw->pw_name : std::to_string(uid);
}

AccessFacts FactsFor(const std::string& path, const struct stat& st) {
    AccessFacts f;
    f.Path = path;
    const passwd* pw = getpwuid(geteuid());
    f.User = pw ? pw->pw_name : std::to_string(geteuid());
    const gid_t myGroup = pw ? pw->pw_gid : getegid();
    const group* gr = getgrgid(st.st_gid);
    f.Group = gr ? gr->gr_name : std::to_string(st.st_gid);
    f.GroupMayReadWrite = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    f.UserListedInGroup = myGroup == st.st_gid;
    for (char** m = gr ? gr->gr_mem : nullptr; m && *m && !f.UserListedInGroup; ++m)
        f.UserListedInGroup = f.User == *m;
    f.SessionHasGroup = getegid() == st.st_gid;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
    const int count = getgroups(static_cast<int>(groups.size()), groups.data());
    for (int i = 0; i < count && !f.SessionHasGroup; ++i)
        f.SessionHasGroup = groups[static_cast<std::size_t>(i)] == st.st_gid;
    return f;
}

void Set(PortDiagnosis& d, PortProblem problem, std::string reason, std::string fix) {
    d.Problem = problem;
    d.Reason = std::move(reason);
    d.Fix = std::move(fix);
}

} // namespace

std::vector<PortHolder> FindPortHolders(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return {};
    // Those that hold its lock are the ones in the way; when none does (exclusive use without a
    // lock), every process that has it open is named.
    std::vector<pid_t> pids;
    AddLockHolders(st, pids);
    if (pids.empty()) AddOpeners(st, pids);
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    std::vector<PortHolder> holders;
    for (pid_t pid : pids)
        holders.push_back({pid, ProcessName(pid)});
    return holders;
}

std::string PermissionFix(const AccessFacts& f) {
    const std::string relogin =
        "выйдите из системы и войдите снова (группа действует с нового входа)";
    if (!f.GroupMayReadWrite) {
        return "права " + f.Path + " не дают группе " + f.Group +
               " читать и писать: администратор может открыть устройство группе dialout (sudo "
               "chgrp dialout " +
               f.Path + " && sudo chmod g+rw " + f.Path +
               "); если вы не в ней, вступите: sudo usermod -aG dialout " + f.User + ", затем " +
               relogin;
    }
    if (!f.UserListedInGroup)
        return "вступите в группу " + f.Group + ": sudo usermod -aG " + f.Group + " " + f.User +
               ", затем " + relogin;
    if (!f.SessionHasGroup)
        return "вы уже в группе " + f.Group + ", но этот сеанс начат до вступления: " + relogin;
    return "группа " + f.Group +
           " у вас есть, но доступ закрыт иначе (списки доступа или права "
           "папок на пути): проверьте их у администратора";
}

static std::string FolderTroubleText(int error, const std::string& link) {
    const std::string folder = link.substr(0, link.rfind('/'));
    if (error == ENAMETOOLONG || link.empty())
        return "путь к папке портов слишком длинный (XDG_CONFIG_HOME или HOME)";
    if (error == EACCES) return "нет доступа к папке портов " + folder + ": в неё нельзя заглянуть";
    return "не удаётся заглянуть в папку портов " + folder + ": " + std::strerror(error);
}

PortDiagnosis DiagnosePort(int port) {
    PortDiagnosis d;
    const std::string name = PortName(port);
    char path[4096];
    int why = 0;
    if (!PortDevicePath(port, path, sizeof path, &why)) {
        // The link cannot be looked for: what COMn means is unknown, never the UART.
        d.Path = path;
        Set(d, why == EACCES ? PortProblem::NoPermission : PortProblem::Other,
            "не понять, куда ведёт " + name + ": " + FolderTroubleText(why, d.Path),
            why == EACCES ? "верните себе право заходить в папку: chmod u+rwx " +
                                d.Path.substr(0, d.Path.rfind('/'))
                          : "проверьте переменные окружения XDG_CONFIG_HOME и HOME");
        return d;
    }
    d.Path = path;
    struct stat link;
    const bool isLink = lstat(path, &link) == 0 && S_ISLNK(link.st_mode);
    const std::string mapFix = kMapHint + name + " УСТРОЙСТВО";

    struct stat st;
    if (stat(path, &st) != 0) {
        const int e = errno;
        if (e == EACCES) {
            Set(d, PortProblem::NoPermission,
                "нет доступа к " + d.Path + ": закрыта одна из папок на пути к нему",
                "проверьте права папок на пути к устройству");
        } else if (e != ENOENT && e != ENOTDIR && e != ELOOP) {
            Set(d, PortProblem::Other, "не удаётся найти " + d.Path + ": " + std::strerror(e), "");
        } else if (isLink) {
            char target[4096];
            const ssize_t n = readlink(path, target, sizeof target - 1);
            target[n > 0 ? n : 0] = '\0';
            const std::string to = target;
            Set(d, PortProblem::Missing, name + " ведёт к " + to + ", а такого устройства нет",
                to.rfind("/dev/pts/", 0) == 0
                    ? "псевдотерминал закрыт: запустите симулятор снова (tr7042k-sim --port " +
                          name + ") или свяжите " + name + " с устройством: " + mapFix
                    : "подключите адаптер или свяжите " + name +
                          " с другим устройством: " + mapFix);
        } else {
            char linkPath[4096];
            const std::string linkText = PortLinkPath(port, linkPath, sizeof linkPath)
                                             ? linkPath
                                             : "com" + std::to_string(port);
            Set(d, PortProblem::Missing,
                "нет порта " + name + ": нет ни ссылки " + linkText + ", ни устройства " + d.Path,
                "найдите адаптер и свяжите его с " + name + ": " + mapFix);
        }
        return d;
    }
    d.Target = ResolvedPath(d.Path);
    if (d.Target.empty()) d.Target = d.Path;
    const std::string where = name + " (" + d.Target + ")";
    const std::string serialFix = "свяжите " + name + " с последовательным портом: " + mapFix;

    // What the name leads to is judged before anything is opened for writing.
    switch (PortTargetKindOf(&st, "/sys")) {
    case PortTargetNotDevice:
        Set(d, PortProblem::NotSerial,
            where +
                (S_ISDIR(st.st_mode)   ? " - папка"
                 : S_ISREG(st.st_mode) ? " - обычный файл"
                                       : " - не устройство") +
                ", а не последовательный порт",
            serialFix);
        return d;
    case PortTargetNotTerminal:
        Set(d, PortProblem::NotSerial, where + " - устройство, но не последовательный порт",
            serialFix);
        return d;
    case PortTargetPseudo:
        if (!PortServed(port, st.st_rdev)) {
            Set(d, PortProblem::Missing,
                name + " ведёт к терминалу " + d.Target +
                    ", который не обслуживает ни один имитатор",
                "запустите имитатор снова (tr7042k-sim --port " + name + ") или свяжите " + name +
                    " с устройством: " + mapFix);
            return d;
        }
        break;
    case PortTargetSerial:
        break;
    }

    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == EACCES || e == EPERM) {
            const AccessFacts facts = FactsFor(d.Target, st);
            Set(d, PortProblem::NoPermission,
                "нет прав на чтение и запись " + d.Target + " (владелец " + UserName(st.st_uid) +
                    ", группа " + facts.Group + ", права " + ModeText(st.st_mode) + ")",
                PermissionFix(facts));
        } else if (e == EBUSY) {
            d.Holders = FindPortHolders(d.Target);
            Set(d, PortProblem::Exclusive,
                where + " открыт другой программой для монопольного использования: " +
                    HoldersText(d.Holders),
                kFreeHolderFix);
        } else if (e == ENXIO || e == ENODEV || e == EIO || e == ENOENT) {
            Set(d, PortProblem::Missing,
                "за " + d.Target + " нет устройства (адаптер отключён или UART не установлен)",
                "подключите адаптер или свяжите " + name + " с другим устройством: " + mapFix);
        } else {
            Set(d, PortProblem::Other, "не удаётся открыть " + d.Target + ": " + std::strerror(e),
                "");
        }
        return d;
    }
    struct termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        close(fd);
        Set(d, PortProblem::NotSerial, where + " - не последовательный порт", serialFix);
        return d;
    }
    // Root opens a port held for exclusive use all the same; the link refuses it, and so does
    // this check, whoever runs it.
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        close(fd);
        d.Holders = FindPortHolders(d.Target);
        Set(d, PortProblem::Exclusive,
            where + " открыт другой программой для монопольного использования: " +
                HoldersText(d.Holders),
            kFreeHolderFix);
        return d;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        close(fd);
        if (e == EWOULDBLOCK) {
            d.Holders = FindPortHolders(d.Target);
            Set(d, PortProblem::Held, where + " занят другой программой: " + HoldersText(d.Holders),
                kFreeHolderFix);
        } else {
            Set(d, PortProblem::Other, "не удаётся занять " + d.Target + ": " + std::strerror(e),
                "");
        }
        return d;
    }
    flock(fd, LOCK_UN);
    close(fd);
    Set(d, PortProblem::None, where + " открывается", "");
    return d;
}
