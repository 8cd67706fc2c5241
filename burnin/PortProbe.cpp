#include "PortProbe.h"

#include "Places.h"
#include "System.h"

#include <QFileInfo>
#include <QSet>
#include <QTimer>

namespace {

const QStringList States{QStringLiteral("printer"), QStringLiteral("silent"),
                         QStringLiteral("held"), QStringLiteral("unusable")};

enum Field {
    PortField,
    StateField,
    BaudField,
    FactoryField,
    FiscalField,
    VersionField,
    SwitchesField,
    ReasonField,
    Fields
};

// The name a port is known by here, so "com3" as asked and "COM3" as told are one port.
QString Key(const QString& name) {
    TPort port;
    QString ignored;
    return ParsePort(name, port, ignored) ? port.Name : name;
}

TProbedPort Unreadable(const QString& name, const QString& reason) {
    TProbedPort port;
    port.Name = name;
    port.State = QStringLiteral("unusable");
    port.Reason = reason;
    return port;
}

} // namespace

bool ParseProbeLine(const QString& line, TProbedPort& port, QString& error) {
    // Each field is trimmed: a CR before the line's end goes with the last one.
    QStringList f = line.split(QLatin1Char('\t'));
    while (f.size() < Fields)
        f << QString();
    port = TProbedPort();
    port.Name = f[PortField].trimmed();
    port.State = f[StateField].trimmed();
    port.Factory = f[FactoryField].trimmed();
    port.Fiscal = f[FiscalField].trimmed();
    port.Version = f[VersionField].trimmed();
    port.Switches = f[SwitchesField].trimmed();
    port.Reason = f[ReasonField].trimmed();
    if (port.Name.isEmpty()) {
        error = QStringLiteral("нет имени порта");
        return false;
    }
    if (!States.contains(port.State)) {
        error = port.State.isEmpty() ? QStringLiteral("не сказано, что на порте")
                                     : QStringLiteral("неизвестное состояние «%1»").arg(port.State);
        return false;
    }
    if (!port.Printer()) return true;
    bool number = false;
    port.Baud = f[BaudField].trimmed().toInt(&number);
    if (!number || !IsConsoleRate(port.Baud)) {
        error = QStringLiteral("принтер на скорости «%1», которой консоль не предлагает")
                    .arg(f[BaudField].trimmed());
        port.Baud = 0;
        return false;
    }
    return true;
}

QList<TProbedPort> ParseProbeOutput(const QByteArray& output, const QStringList& asked) {
    QList<TProbedPort> ports;
    QSet<QString> told;
    for (const QByteArray& bytes : output.split('\n')) {
        const QString line = QString::fromUtf8(bytes);
        if (line.trimmed().isEmpty()) continue;
        TProbedPort port;
        QString error;
        if (!ParseProbeLine(line, port, error))
            port = Unreadable(port.Name.isEmpty() ? QStringLiteral("?") : port.Name,
                              QStringLiteral("непонятный ответ tr7042k-ports (%1): «%2»")
                                  .arg(error, line.trimmed()));
        if (told.contains(Key(port.Name))) continue;
        told.insert(Key(port.Name));
        ports << port;
    }
    for (const QString& name : asked)
        if (!told.contains(Key(name)))
            ports << Unreadable(name,
                                QStringLiteral("tr7042k-ports ничего не сказал об этом порте"));
    return ports;
}

TPortProbe::TPortProbe(const QString& tool, QObject* parent) : QObject(parent), Tool(tool) {}

TPortProbe::~TPortProbe() {
    if (Process && Process->state() != QProcess::NotRunning) {
        Process->kill();
        Process->waitForFinished(1000);
    }
}

bool TPortProbe::Running() const {
    return Process && Process->state() != QProcess::NotRunning;
}

void TPortProbe::Begin(const QStringList& ports) {
    if (Running()) return;
    Asked = ports;
    const auto refuse = [this](const QString& trouble) {
        // Told from the event loop, as a probe that ran is.
        QTimer::singleShot(0, this, [this, trouble] { emit Done({}, trouble); });
    };
    if (Tool.isEmpty() || !QFileInfo(Tool).isExecutable()) {
        refuse(Tool.isEmpty() ? PortsToolMissing()
                              : QStringLiteral("программа %1 не найдена или не запускается; "
                                               "путь к tr7042k-ports можно задать в TR7042K_PORTS")
                                    .arg(Tool));
        return;
    }
    Process = std::make_unique<QProcess>();
    Process->setProgram(Tool);
    Process->setArguments(QStringList{QStringLiteral("probe"), QStringLiteral("--tab")} + ports);
    Process->setStandardInputFile(QProcess::nullDevice());
    connect(Process.get(), &QProcess::finished, this, &TPortProbe::Ended);
    connect(Process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        emit Done({},
                  QStringLiteral("не удалось запустить %1: %2").arg(Tool, Process->errorString()));
    });
    Process->start();
}

void TPortProbe::Ended(int exitCode, QProcess::ExitStatus status) {
    const QByteArray output = Process->readAllStandardOutput();
    const QString said = QString::fromUtf8(Process->readAllStandardError()).trimmed();
    QString trouble;
    // 0: a printer found, 2: none; anything else is the tool's failure.
    if (status == QProcess::CrashExit)
        trouble = QStringLiteral("программа tr7042k-ports завершилась аварийно");
    else if (exitCode != 0 && exitCode != 2)
        trouble = QStringLiteral("программа tr7042k-ports завершилась с кодом %1").arg(exitCode);
    if (!trouble.isEmpty() && !said.isEmpty()) trouble += QStringLiteral(": ") + said;
    const QList<TProbedPort> ports =
        output.trimmed().isEmpty() ? QList<TProbedPort>() : ParseProbeOutput(output, Asked);
    // No port at all: what the tool said on its error output is the reason.
    if (trouble.isEmpty() && ports.isEmpty())
        trouble = said.isEmpty() ? QStringLiteral("программа tr7042k-ports не назвала ни одного "
                                                  "порта")
                                 : said;
    emit Done(ports, trouble);
}
