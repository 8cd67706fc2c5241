#pragma once

// What the burn-in's tests share: a simulated printer as a program of its own
// (tr7042k-sim --port COMn --trace in the test's config folder; what it received is read from
// its trace), waiting for a condition, and reading a file whole.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <functional>
#include <ostream>
#include <sys/prctl.h>
#include <vector>

// gtest prints QStrings readably.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << text.toStdString();
}

inline QString U(const char* text) {
    return QString::fromUtf8(text);
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Waits until `done` holds, up to `ms`, keeping the event loop going where there is one; gives
// whether it did.
inline bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

class TSimProcess {
public:
    TSimProcess(const QString& config, int port, const QStringList& options) {
        output_ = QStringLiteral("%1/sim%2.out").arg(config).arg(port);
        process_.setProgram(QStringLiteral(TR_SIM));
        process_.setArguments(QStringList{QStringLiteral("--port"),
                                          QStringLiteral("COM%1").arg(port),
                                          QStringLiteral("--trace")} +
                              options);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        process_.setProcessEnvironment(environment);
        process_.setStandardOutputFile(output_);
        process_.setStandardErrorFile(output_ + QStringLiteral(".err"));
        // A test that dies leaves no simulator behind, frozen or not.
        process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start();
        const QString link = QStringLiteral("%1/tr7042k/ports/com%2").arg(config).arg(port);
        started_ = WaitUntil([&] { return QFileInfo(link).isSymLink(); }, 10000);
    }
    ~TSimProcess() {
        if (process_.state() == QProcess::NotRunning) return;
        Signal(SIGCONT);
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(2000);
    }
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;

    bool Started() const { return started_; }
    void Signal(int signal) { kill(pid_t(process_.processId()), signal); }
    // The command codes received, in order.
    std::vector<int> Received() const {
        static const QRegularExpression request(QStringLiteral("^→ 0x([0-9A-F]{2})"),
                                                QRegularExpression::MultilineOption);
        std::vector<int> codes;
        auto it = request.globalMatch(QString::fromUtf8(ReadFile(output_)));
        while (it.hasNext())
            codes.push_back(it.next().captured(1).toInt(nullptr, 16));
        return codes;
    }
    int Count(int code) const {
        const std::vector<int> codes = Received();
        return int(std::count(codes.begin(), codes.end(), code));
    }

private:
    QProcess process_;
    QString output_;
    bool started_ = false;
};
