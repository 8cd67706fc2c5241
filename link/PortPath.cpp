// The COMn path rule on POSIX, shared by the link and tr7042k-ports.
#include "PortPath.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace {

bool Fits(int n, size_t size) {
    return n > 0 && (size_t)n < size;
}

} // namespace

bool PortsFolderPath(char* path, size_t size) {
    if (!path || size == 0) return false;
    const char* config = getenv("XDG_CONFIG_HOME");
    const char* home = getenv("HOME");
    int n = -1;
    if (config && *config)
        n = snprintf(path, size, "%s/tr7042k/ports", config);
    else if (home && *home)
        n = snprintf(path, size, "%s/.config/tr7042k/ports", home);
    return Fits(n, size);
}

bool PortLinkPath(int port, char* path, size_t size) {
    if (port < 1) return false;
    char folder[4096];
    if (!PortsFolderPath(folder, sizeof folder)) return false;
    return Fits(snprintf(path, size, "%s/com%d", folder, port), size);
}

bool PortDefaultDevice(int port, char* path, size_t size) {
    if (port < 1 || !path || size == 0) return false;
    return Fits(snprintf(path, size, "/dev/ttyS%d", port - 1), size);
}

bool PortDevicePath(int port, char* path, size_t size) {
    if (port < 1 || !path || size == 0) return false;
    char link[4096];
    struct stat st;
    if (PortLinkPath(port, link, sizeof link) && lstat(link, &st) == 0)
        return Fits(snprintf(path, size, "%s", link), size);
    return PortDefaultDevice(port, path, size);
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
