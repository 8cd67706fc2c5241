#pragma once

// A simulated printer as a program of its own for the bench window's tests: tr7042k-sim
// --port COMn --trace in the test's config folder; what it received is read from its trace.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/prctl.h>

// Waits until `done` holds, up to `ms`, keeping the event loop going; gives whether it did.
inline bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

class TSimProcess {
public:
    TSimProcess(const QString& config, int port, const QStringList& options) {
        Output = QStringLiteral("%1/sim%2.out").arg(config).arg(port);
        Process.setProgram(QStringLiteral(TR_SIM));
        Process.setArguments(QStringList{QStringLiteral("--port"),
                                         QStringLiteral("COM%1").arg(port),
                                         QStringLiteral("--trace")} +
                             options);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        Process.setProcessEnvironment(environment);
        Process.setStandardOutputFile(Output);
        Process.setStandardErrorFile(Output + QStringLiteral(".err"));
        // A test that dies leaves no simulator behind.
        Process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        Process.start();
        const QString link = QStringLiteral("%1/tr7042k/ports/com%2").arg(config).arg(port);
        Started = WaitUntil([&] { return QFileInfo(link).isSymLink(); }, 10000);
    }
    ~TSimProcess() {
        Process.terminate();
        if (!Process.waitForFinished(5000)) Process.kill();
        Process.waitForFinished(2000);
    }
    // The command codes received, in order.
    std::vector<int> Received() const {
        static const QRegularExpression request(QStringLiteral("^→ 0x([0-9A-F]{2})"),
                                                QRegularExpression::MultilineOption);
        QFile file(Output);
        std::vector<int> codes;
        if (!file.open(QIODevice::ReadOnly)) return codes;
        auto it = request.globalMatch(QString::fromUtf8(file.readAll()));
        while (it.hasNext())
            codes.push_back(it.next().captured(1).toInt(nullptr, 16));
        return codes;
    }

    int Count(int code) const {
        const std::vector<int> codes = Received();
        return int(std::count(codes.begin(), codes.end(), code));
    }

    bool Started = false;

private:
    QProcess Process;
    QString Output;
};
