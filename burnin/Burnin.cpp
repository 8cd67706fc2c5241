#include "Burnin.h"

#include "Report.h"
#include "System.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

// A console still running this long after the second stop signal is killed.
constexpr int KillAfterMs = 3000;

const QString ErrorsFile = QStringLiteral("console-errors.txt");

// The last non-empty line of a file, for a console that ended without saying why.
QString LastLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    return lines.isEmpty() ? QString() : QString::fromUtf8(lines.last().trimmed());
}

} // namespace

TBurnin::TBurnin(const TOptions& options, const QString& out, const QString& console)
    : O(options), Out(out), Console(console),
      Progress(Printers, options.Passes, ProgressOnTerminal()) {
    for (const TPort& port : O.Ports) {
        TPrinterRecord printer;
        printer.Port = port;
        printer.Folder = UnnamedFileName(port.Label);
        printer.Journal = printer.Folder + QStringLiteral(".txt");
        Printers << printer;
    }
    Pending.resize(size_t(Printers.size()));
}

TBurnin::~TBurnin() {
    // Whatever way the run ends, no console is left behind.
    for (const auto& process : Processes)
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
}

int TBurnin::Run() {
    Started = QDateTime::currentDateTime();
    StopWatch = WatchStopSignals([this](int arrived) { StopsArrived(arrived); });

    Progress.Redraw();
    for (int i = 0; i < Printers.size(); ++i)
        Start(i);
    connect(&Clock, &QTimer::timeout, this, [this] { Progress.Redraw(); });
    if (Progress.Terminal()) Clock.start(250);
    if (Running > 0) QCoreApplication::exec();
    Clock.stop();

    TBatchInfo batch;
    batch.Options = &O;
    batch.Started = Started;
    batch.Ended = QDateTime::currentDateTime();
    batch.Stopped = Signals > 0;
    batch.ExitCode = ExitCode(batch.Outcome);
    for (const TPrinterRecord& printer : Printers) {
        // An empty error file says nothing: it is not kept.
        const QString errors = FileOf(printer, ErrorsFile);
        if (QFileInfo(errors).size() == 0) QFile::remove(errors);
    }
    QString error;
    const bool written = WriteReports(Out, batch, Printers, error);
    Progress.Redraw(true);
    if (!written) std::fprintf(stderr, "tr7042k-burnin: %s\n", error.toUtf8().constData());
    std::printf("%s\nОтчет: %s\n", batch.Outcome.toUtf8().constData(),
                QDir(Out).filePath(QStringLiteral("report.html")).toUtf8().constData());
    std::fflush(stdout);
    return batch.ExitCode;
}

void TBurnin::Start(int index) {
    TPrinterRecord& printer = Printers[index];
    const QDir out(Out);
    out.mkpath(printer.Folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    auto process = std::make_unique<QProcess>();
    PrepareConsole(*process, environment, Devices);
    int port = printer.Port.Number;
    if (!printer.Port.Device.isEmpty()) {
        // A printer given by its device path is COM1 of a config folder of its own.
        const QString config = Devices.filePath(QString::number(index));
        const QString ports = config + QStringLiteral("/tr7042k/ports");
        QDir().mkpath(ports);
        QFile::link(printer.Port.Device, ports + QStringLiteral("/com1"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        port = 1;
    }

    process->setProgram(Console);
    process->setArguments(ConsoleArguments(printer, port));
    process->setWorkingDirectory(out.filePath(printer.Folder)); // its fpllog.dat goes there
    process->setProcessEnvironment(environment);
    process->setStandardErrorFile(FileOf(printer, ErrorsFile));
    connect(process.get(), &QProcess::readyReadStandardOutput, this,
            [this, index] { Read(index); });
    connect(process.get(), &QProcess::finished, this,
            [this, index](int code, QProcess::ExitStatus status) { Ended(index, code, status); });
    connect(process.get(), &QProcess::errorOccurred, this, [this, index](QProcess::ProcessError e) {
        TPrinterRecord& p = Printers[index];
        // Told once, though a start may fail on more than one count.
        if (e != QProcess::FailedToStart || !p.Verdict.isEmpty()) return;
        p.Trouble = QStringLiteral("не удалось запустить консоль %1: %2")
                        .arg(Console, Processes[size_t(index)]->errorString());
        p.Verdict = QStringLiteral("failed");
        p.Ended = QDateTime::currentDateTime();
        Progress.Event(p, p.Trouble);
        if (--Running == 0) QCoreApplication::exit(0);
    });
    printer.Started = QDateTime::currentDateTime();
    printer.Step = QStringLiteral("Запуск");
    ++Running;
    Processes.push_back(std::move(process));
    Processes.back()->start();
    if (Processes.back()->state() != QProcess::NotRunning)
        Progress.Event(printer, QStringLiteral("консоль запущена"));
}

QStringList TBurnin::ConsoleArguments(const TPrinterRecord& printer, int port) const {
    QStringList arguments{QStringLiteral("--batch"),
                          QStringLiteral("--port"),
                          QString::number(port),
                          QStringLiteral("--port-name"),
                          printer.Port.Name,
                          QStringLiteral("--baud"),
                          QString::number(O.Baud),
                          QStringLiteral("--passes"),
                          QString::number(O.Passes),
                          QStringLiteral("--delay"),
                          QString::number(O.Delay),
                          QStringLiteral("--cashier"),
                          QString::number(O.Cashier),
                          QStringLiteral("--journal"),
                          FileOf(printer, printer.Journal)};
    if (O.NoFiscal) arguments << QStringLiteral("--no-fiscal");
    const std::pair<const char*, const std::optional<QString>*> passwords[] = {
        {"--password", &O.Password},
        {"--program-password", &O.ProgramPassword},
        {"--report-password", &O.ReportPassword}};
    for (const auto& [option, value] : passwords)
        if (*value) arguments << QString::fromLatin1(option) << **value;
    return arguments;
}

void TBurnin::Read(int index) {
    QByteArray& pending = Pending[size_t(index)];
    pending += Processes[size_t(index)]->readAllStandardOutput();
    qsizetype end;
    while ((end = pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(pending.left(end));
        pending.remove(0, end + 1);
        Handle(index, line.split(QLatin1Char('\t')));
    }
}

void TBurnin::Handle(int index, const QStringList& f) {
    TPrinterRecord& p = Printers[index];
    const QString& kind = f[0];
    if (kind == QLatin1String("identity") && f.size() >= 6) {
        p.Factory = f[1];
        p.Fiscal = f[2];
        p.Tax = f[3];
        p.Version = f[4];
        p.Switches = f[5];
        if (FolderRenamedWhileRunning) NameFolder(index);
        Progress.Event(p, QStringLiteral("фискальный номер %1, налоговый номер %2, версия ПО %3, "
                                         "переключатели %4")
                              .arg(p.Fiscal, p.Tax, p.Version, p.Switches));
    } else if (kind == QLatin1String("pass") && f.size() >= 2) {
        p.Pass = f[1].toInt();
        p.PassesDone = p.Pass - 1;
        p.Step.clear();
        Progress.Event(p, QStringLiteral("проход %1 из %2").arg(p.Pass).arg(O.Passes));
    } else if (kind == QLatin1String("step") && f.size() >= 2) {
        p.Step = f[1];
        Progress.Redraw();
    } else if (kind == QLatin1String("failed") && f.size() >= 4) {
        const int pass = f[1].toInt(), failed = f[3].toInt();
        if (!p.Failures.isEmpty() && p.Failures.last().Pass == pass &&
            p.Failures.last().Step == f[2])
            p.Failures.last().Failed += failed;
        else
            p.Failures << TStepFailures{pass, f[2], failed};
        Progress.Event(p, QStringLiteral("%1: отказавших команд %2 (всего %3)")
                              .arg(f[2])
                              .arg(failed)
                              .arg(p.FailedCommands()));
    } else if (kind == QLatin1String("message") && f.size() >= 3) {
        p.Messages << TMessage{f[1], f[2]};
        Progress.Event(p, QStringLiteral("сообщение: %1").arg(f[2]));
    } else if (kind == QLatin1String("lost")) {
        p.LineLost = true;
        Progress.Event(p, QStringLiteral("связь с принтером потеряна"));
    } else if (kind == QLatin1String("reason") && f.size() >= 2) {
        p.Reason = f[1];
    } else if (kind == QLatin1String("verdict") && f.size() >= 3) {
        p.Verdict = f[1];
        p.PassesDone = f[2].toInt();
    } else if (kind == QLatin1String("usage") && f.size() >= 3) {
        p.CpuSeconds = f[1].toDouble();
        p.PeakMemoryKb = f[2].toLongLong();
    }
}

void TBurnin::NameFolder(int index) {
    // Named by port and factory number once the number is known. Where the console keeps
    // writing meanwhile, its open journal and its current folder move with the names.
    TPrinterRecord& p = Printers[index];
    const QString factory = FileLabel(p.Factory);
    if (factory.isEmpty()) return;
    const QString name = p.Port.Label + QLatin1Char('-') + factory;
    if (p.Folder == name) return;
    QDir out(Out);
    const QString journal = name + QStringLiteral(".txt");
    if (out.rename(p.Folder + QLatin1Char('/') + p.Journal, p.Folder + QLatin1Char('/') + journal))
        p.Journal = journal;
    if (!out.exists(name) && out.rename(p.Folder, name)) p.Folder = name;
}

void TBurnin::Ended(int index, int exitCode, QProcess::ExitStatus status) {
    Read(index);
    NameFolder(index); // where it could not be named while its console ran
    TPrinterRecord& p = Printers[index];
    p.Ended = QDateTime::currentDateTime();
    if (p.Verdict.isEmpty()) {
        // The console ended without its verdict: stopped at once, or broken.
        if ((status == QProcess::NormalExit && exitCode == 130) || Signals > 0) {
            p.Verdict = QStringLiteral("stopped");
            p.PassesDone = std::max(0, p.Pass - 1);
        } else {
            const QString said = LastLine(FileOf(p, ErrorsFile));
            p.Trouble = status == QProcess::CrashExit
                            ? QStringLiteral("консоль завершилась аварийно")
                            : QStringLiteral("консоль завершилась с кодом %1").arg(exitCode);
            if (!said.isEmpty()) p.Trouble += QStringLiteral(": ") + said;
            p.Verdict = QStringLiteral("failed");
        }
    }
    Progress.Event(p, QStringLiteral("итог: %1, отказавших команд %2")
                          .arg(VerdictWord(p.Verdict))
                          .arg(p.FailedCommands()));
    if (--Running == 0) QCoreApplication::exit(0);
}

void TBurnin::StopsArrived(int arrived) {
    for (; arrived > 0 && Signals < 2; --arrived) {
        ++Signals;
        if (Signals == 1) {
            Progress.Notice(QStringLiteral("Остановка: каждый принтер остановится на ближайшей "
                                           "контрольной точке теста. Еще раз Ctrl-C - сразу."));
        } else {
            Progress.Notice(
                QStringLiteral("Остановка сразу: записывается то, что уже в журналах."));
            QTimer::singleShot(KillAfterMs, this, [this] {
                for (size_t i = 0; i < Processes.size(); ++i)
                    if (Processes[i]->state() == QProcess::Running)
                        Printers[int(i)].Trouble =
                            QStringLiteral("консоль не завершилась по второму сигналу остановки "
                                           "и была завершена принудительно");
                KillConsoles();
            });
        }
        StopConsoles();
    }
}

QString TBurnin::FileOf(const TPrinterRecord& printer, const QString& name) const {
    return QDir(Out).absoluteFilePath(printer.Folder + QLatin1Char('/') + name);
}

void TBurnin::StopConsoles() {
    for (const auto& process : Processes)
        if (process->state() == QProcess::Running) StopConsole(*process);
}

void TBurnin::KillConsoles() {
    for (const auto& process : Processes)
        if (process->state() == QProcess::Running) process->kill();
}

int TBurnin::ExitCode(QString& outcome) const {
    QMap<QString, int> counts;
    for (const TPrinterRecord& p : Printers)
        ++counts[p.Verdict];
    QStringList tally;
    for (const char* verdict : {"passed", "failed", "not fit", "no line", "stopped"})
        if (counts.value(QLatin1String(verdict)) > 0)
            tally << QStringLiteral("%1: %2")
                         .arg(VerdictWord(QLatin1String(verdict)))
                         .arg(counts.value(QLatin1String(verdict)));
    int code = 0;
    if (Signals > 0) {
        code = 130;
        outcome = QStringLiteral("Тест остановлен по сигналу; журналы и отчет записаны");
    } else if (counts.value(QStringLiteral("no line")) + counts.value(QStringLiteral("not fit")) >
               0) {
        code = 2;
        outcome = QStringLiteral("Не все принтеры проверены: нет связи или принтер не годится "
                                 "для теста");
    } else if (counts.value(QStringLiteral("failed")) > 0) {
        code = 1;
        outcome = QStringLiteral("Есть ошибки в шагах теста");
    } else {
        outcome = QStringLiteral("Все принтеры прошли тест");
    }
    outcome += QStringLiteral(" (%1).").arg(tally.join(QStringLiteral(", ")));
    return code;
}
