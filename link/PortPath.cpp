// The COMn rules on POSIX, shared by the link, tr7042k-ports and the simulated printer.
#include "PortPath.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const int PathSize = 4096;

bool Fits(int n, size_t size) {
    return n > 0 && (size_t)n < size;
}

bool Fail(int* why, int error) {
    if (why) *why = error;
    return false;
}

bool IsAbsolute(const char* path) {
    return path && path[0] == '/';
}

// Opens the claim file of COMn for looking (never for writing), or -1.
int OpenClaim(int port) {
    char path[PathSize];
    if (!PortClaimPath(port, path, sizeof path)) return -1;
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// Whether some process holds the claim open on this descriptor: a shared lock cannot be had
// beside the simulator's exclusive one. A lock that can be had is given back at once.
bool Held(int fd) {
    if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
        flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

} // namespace

bool PortsFolderPath(char* path, size_t size, int* why) {
    if (!path || size == 0) return Fail(why, ENAMETOOLONG);
    const char* config = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    int n = -1;
    if (IsAbsolute(config))
        n = snprintf(path, size, "%s/tr7042k/ports", config);
    else if (IsAbsolute(home))
        n = snprintf(path, size, "%s/.config/tr7042k/ports", home);
    else
        return Fail(why, ENOENT);
    return Fits(n, size) || Fail(why, ENAMETOOLONG);
}

bool PortLinkPath(int port, char* path, size_t size, int* why) {
    if (port < 1) return Fail(why, EINVAL);
    char folder[PathSize];
    if (!PortsFolderPath(folder, sizeof folder, why)) return false;
    return Fits(snprintf(path, size, "%s/com%d", folder, port), size) || Fail(why, ENAMETOOLONG);
}

bool PortDefaultDevice(int port, char* path, size_t size) {
    if (port < 1 || !path || size == 0) return false;
    return Fits(snprintf(path, size, "/dev/ttyS%d", port - 1), size);
}

bool PortDevicePath(int port, char* path, size_t size, int* why) {
    if (port < 1 || !path || size == 0) return Fail(why, EINVAL);
    char link[PathSize];
    int error = 0;
    if (!PortLinkPath(port, link, sizeof link, &error)) {
        // Without any config folder no link can exist: COMn is the UART.
        if (error == ENOENT) return PortDefaultDevice(port, path, size) || Fail(why, ENAMETOOLONG);
        return Fail(why, error);
    }
    struct stat st;
    if (lstat(link, &st) == 0)
        return Fits(snprintf(path, size, "%s", link), size) || Fail(why, ENAMETOOLONG);
    error = errno;
    if (error == ENOENT || error == ENOTDIR)
        return PortDefaultDevice(port, path, size) || Fail(why, ENAMETOOLONG);
    // The link may be there, unseen: never the UART in its place.
    if (!Fits(snprintf(path, size, "%s", link), size)) path[0] = 0;
    return Fail(why, error);
}

int PortNumberFromName(const char* name) {
    if (!name || (name[0] != 'C' && name[0] != 'c') || (name[1] != 'O' && name[1] != 'o') ||
        (name[2] != 'M' && name[2] != 'm'))
        return -1;
    int n = 0;
    const char* p = name + 3;
    if (*p < '1' || *p > '9') return -1; // no sign, no leading zero, at least one digit
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return -1;
        n = n * 10 + (*p - '0');
        if (n > PortNumberMax) return -1;
    }
    return n;
}

PortTargetKind PortTargetKindOf(const struct stat* st, const char* sysRoot) {
    if (!st || !S_ISCHR(st->st_mode)) return PortTargetNotDevice;
    const unsigned type = major(st->st_rdev), unit = minor(st->st_rdev);
    if (type >= 136 && type <= 143) return PortTargetPseudo;
    // Terminals that are no line to a device: /dev/tty, /dev/console, /dev/ptmx (5), the
    // virtual consoles (4, below 64), the old-style and master sides of pseudo-terminals.
    if (type == 5 || (type == 4 && unit < 64) || type == 2 || type == 3 ||
        (type >= 128 && type <= 135))
        return PortTargetNotTerminal;
    char path[PathSize];
    struct stat dir;
    if (!Fits(snprintf(path, sizeof path, "%s/dev/char", sysRoot), sizeof path) ||
        stat(path, &dir) != 0)
        return PortTargetSerial; // no sysfs to ask: opening the line will tell
    char subsystem[PathSize];
    if (!Fits(snprintf(path, sizeof path, "%s/dev/char/%u:%u/subsystem", sysRoot, type, unit),
              sizeof path))
        return PortTargetNotTerminal;
    const ssize_t n = readlink(path, subsystem, sizeof subsystem - 1);
    if (n <= 0) return PortTargetNotTerminal;
    subsystem[n] = 0;
    const char* base = strrchr(subsystem, '/');
    return strcmp(base ? base + 1 : subsystem, "tty") == 0 ? PortTargetSerial
                                                           : PortTargetNotTerminal;
}

bool PortClaimPath(int port, char* path, size_t size, int* why) {
    char folder[PathSize];
    if (port < 1) return Fail(why, EINVAL);
    if (!PortsFolderPath(folder, sizeof folder, why)) return false;
    return Fits(snprintf(path, size, "%s/com%d.lock", folder, port), size) ||
           Fail(why, ENAMETOOLONG);
}

int PortClaim(int port, int* why) {
    char folder[PathSize], path[PathSize];
    if (!PortsFolderPath(folder, sizeof folder, why) ||
        !PortClaimPath(port, path, sizeof path, why) || !PortMakeFolders(folder, why))
        return -1;
    // A checker holds its shared lock for a moment only; another simulator holds it for good.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            Fail(why, errno);
            return -1;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            close(fd);
            if (error != EWOULDBLOCK) {
                Fail(why, error);
                return -1;
            }
            usleep(10000);
            continue;
        }
        // The file may have been given up by the simulator that held it between our open and our
        // lock: a lock on a file no longer there claims nothing.
        struct stat mine, now;
        if (fstat(fd, &mine) != 0 || stat(path, &now) != 0 || mine.st_ino != now.st_ino ||
            mine.st_dev != now.st_dev) {
            close(fd);
            continue;
        }
        // Every user's console must be able to look at the claim.
        fchmod(fd, 0644);
        PortOwnLikeFolder(path);
        PortClaimServe(fd, "");
        return fd;
    }
    Fail(why, EWOULDBLOCK);
    return -1;
}

bool PortClaimServe(int claim, const char* terminal) {
    const size_t n = terminal ? strlen(terminal) : 0;
    if (claim < 0) return false;
    if (n > 0 && pwrite(claim, terminal, n, 0) != (ssize_t)n) return false;
    return ftruncate(claim, (off_t)n) == 0;
}

void PortClaimRelease(int port, int claim) {
    char path[PathSize];
    struct stat mine, now;
    if (claim < 0) return;
    if (PortClaimPath(port, path, sizeof path) && fstat(claim, &mine) == 0 &&
        lstat(path, &now) == 0 && mine.st_ino == now.st_ino && mine.st_dev == now.st_dev)
        unlink(path);
    close(claim);
}

bool PortServed(int port, dev_t terminal) {
    const int fd = OpenClaim(port);
    if (fd < 0) return false;
    char name[PathSize];
    const ssize_t n = Held(fd) ? pread(fd, name, sizeof name - 1, 0) : -1;
    close(fd);
    if (n <= 0) return false;
    name[n] = 0;
    struct stat st;
    return stat(name, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == terminal;
}

bool PortClaimed(int port) {
    const int fd = OpenClaim(port);
    if (fd < 0) return false;
    const bool held = Held(fd);
    close(fd);
    return held;
}

bool PortOwnLikeFolder(const char* path, int* why) {
    if (geteuid() != 0) return true;
    char folder[PathSize];
    if (!Fits(snprintf(folder, sizeof folder, "%s", path), sizeof folder))
        return Fail(why, ENAMETOOLONG);
    char* slash = strrchr(folder, '/');
    if (!slash) return Fail(why, EINVAL);
    if (slash == folder)
        slash[1] = 0;
    else
        *slash = 0;
    struct stat above, st;
    if (stat(folder, &above) != 0 || lstat(path, &st) != 0) return Fail(why, errno);
    if (st.st_uid == above.st_uid && st.st_gid == above.st_gid) return true;
    return lchown(path, above.st_uid, above.st_gid) == 0 || Fail(why, errno);
}

bool PortMakeFolders(const char* path, int* why) {
    char part[PathSize];
    if (!path || !Fits(snprintf(part, sizeof part, "%s", path), sizeof part))
        return Fail(why, ENAMETOOLONG);
    const size_t length = strlen(part);
    for (size_t i = 1; i <= length; ++i) {
        if (part[i] != '/' && part[i] != 0) continue;
        const char kept = part[i];
        part[i] = 0;
        if (mkdir(part, 0777) == 0) {
            int error = 0;
            if (!PortOwnLikeFolder(part, &error)) {
                rmdir(part);
                return Fail(why, error);
            }
        } else {
            const int error = errno;
            struct stat st;
            if (error != EEXIST) return Fail(why, error);
            if (stat(part, &st) != 0 || !S_ISDIR(st.st_mode)) return Fail(why, ENOTDIR);
        }
        part[i] = kept;
    }
    return true;
}
