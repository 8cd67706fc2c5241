#include "PtyPorts.h"

#include "PortPath.h"

#include <QDir>

#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <stdexcept>
#include <unistd.h>

PtyPorts::PtyPorts() {
    if (!Config.isValid() || !QDir(Config.path()).mkpath(QStringLiteral("tr7042k/ports")))
        throw std::runtime_error("cannot make a ports folder");
    const char* saved = getenv("XDG_CONFIG_HOME");
    HadConfig = saved != nullptr;
    if (saved) SavedConfig = saved;
    setenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit().constData(), 1);
}

PtyPorts::~PtyPorts() {
    if (HadConfig)
        setenv("XDG_CONFIG_HOME", SavedConfig.constData(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    for (const auto& [port, master] : Masters)
        close(master);
    for (const auto& [port, claim] : Claims)
        PortClaimRelease(port, claim);
}

static QByteArray LinkPath(const QTemporaryDir& config, int port) {
    return (config.path() + QStringLiteral("/tr7042k/ports/com%1").arg(port)).toLocal8Bit();
}

QByteArray PtyPorts::AddTerminal(int port) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    Masters[port] = master;
    const QByteArray slave = ptsname(master);
    Slaves[port] = slave;
    if (symlink(slave.constData(), LinkPath(Config, port).constData()) != 0)
        throw std::runtime_error("cannot link the port");
    // A pseudo-terminal is a port while a simulator serves it; the test holds its claim.
    if (!Claims.count(port)) Claims[port] = PortClaim(port);
    if (!PortClaimServe(Claims[port], slave.constData()))
        throw std::runtime_error("cannot claim the port");
    return slave;
}

void PtyPorts::ClearLeftExclusive(int port) {
    const int fd = open(Slaves[port].constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ioctl(fd, TIOCNXCL) != 0) throw std::runtime_error("cannot clear the flag");
    close(fd);
}

void PtyPorts::AddMissing(int port) {
    if (symlink("/nonexistent/tr7042k-test-port", LinkPath(Config, port).constData()) != 0)
        throw std::runtime_error("cannot link the port");
}
