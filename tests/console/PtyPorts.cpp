#include "PtyPorts.h"

#include <QDir>

#include <cstdlib>
#include <fcntl.h>
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
    if (symlink(slave.constData(), LinkPath(Config, port).constData()) != 0)
        throw std::runtime_error("cannot link the port");
    return slave;
}

void PtyPorts::AddMissing(int port) {
    if (symlink("/nonexistent/tr7042k-test-port", LinkPath(Config, port).constData()) != 0)
        throw std::runtime_error("cannot link the port");
}
