#include "Burnin.h"

#include "Report.h"
#include "System.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

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
    : O(options), Out(out), Console(console) {
    for (const TPort& port : O.Ports) {
        TPrinterRecord printer;
        printer.Port = port;
        printer.Folder = UnnamedFileName(port.Label);
        printer.Journal = printer.Folder + QStringLiteral(".txt");
        Records << printer;
    }
    Pending.resize(size_t(Records.size()));
}

TBurnin::~TBurnin() {
    // Whatever way the run ends, no console is left behind.
    for (const auto& process : Processes)
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(1000);
        }
}

void TBurnin::Begin() {
    if (Begun) return;
    Begun = true;
    Started = QDateTime::currentDateTime();
    // A console that cannot be started ends at once; the batch ends once all were started.
    Starting = true;
    for (int i = 0; i < Records.size(); ++i)
        Start(i);
    Starting = false;
    if (Alive == 0) Finish();
}

void TBurnin::OneLess() {
    if (--Alive == 0 && !Starting) Finish();
}

void TBurnin::Finish() {
    TBatchInfo batch;
    batch.Options = &O;
    batch.Started = Started;
    batch.Ended = QDateTime::currentDateTime();
    batch.Stopped = Signals > 0;
    batch.ExitCode = Code = Verdicts(batch.Outcome);
    OutcomeText = batch.Outcome;
    for (const TPrinterRecord& printer : Records) {
        // An empty error file says nothing: it is not kept.
        const QString errors = FileOf(printer, ErrorsFile);
        if (QFileInfo(errors).size() == 0) QFile::remove(errors);
    }
    if (!WriteReports(Out, batch, Records, ReportTrouble) && ReportTrouble.isEmpty())
        ReportTrouble = QStringLiteral("отчет не записан");
    Done = true;
    emit Finished();
}

QString TBurnin::JournalOf(int index) const {
    return FileOf(Records[index], Records[index].Journal);
}

void TBurnin::Start(int index) {
    TPrinterRecord& printer = Records[index];
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
            [this, index](int code, QProcess::ExitStatus status) {
                ProcessEnded(index, code, status);
            });
    connect(process.get(), &QProcess::errorOccurred, this, [this, index](QProcess::ProcessError e) {
        TPrinterRecord& p = Records[index];
        // Told once, though a start may fail on more than one count.
        if (e != QProcess::FailedToStart || !p.Verdict.isEmpty()) return;
        p.Trouble = QStringLiteral("не удалось запустить консоль %1: %2")
                        .arg(Console, Processes[size_t(index)]->errorString());
        p.Verdict = QStringLiteral("failed");
        p.Ended = QDateTime::currentDateTime();
        emit PrinterChanged(index, p.Trouble);
        OneLess();
    });
    printer.Started = QDateTime::currentDateTime();
    printer.Step = QStringLiteral("Запуск");
    ++Alive;
    Processes.push_back(std::move(process));
    Processes.back()->start();
    if (Processes.back()->state() != QProcess::NotRunning)
        emit PrinterChanged(index, QStringLiteral("консоль запущена"));
}

QStringList TBurnin::ConsoleArguments(const TPrinterRecord& printer, int port) const {
    QStringList arguments{QStringLiteral("--batch"),
                          QStringLiteral("--port"),
                          QString::number(port),
                          QStringLiteral("--port-name"),
                          printer.Port.Name,
                          QStringLiteral("--baud"),
                          QString::number(printer.Port.Baud > 0 ? printer.Port.Baud : O.Baud),
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
    TPrinterRecord& p = Records[index];
    const auto changed = [&](const QString& event) { emit PrinterChanged(index, event); };
    const QString& kind = f[0];
    if (kind == QLatin1String("identity") && f.size() >= 6) {
        p.Factory = f[1];
        p.Fiscal = f[2];
        p.Tax = f[3];
        p.Version = f[4];
        p.Switches = f[5];
        if (FolderRenamedWhileRunning) NameFolder(index);
        changed(QStringLiteral("фискальный номер %1, налоговый номер %2, версия ПО %3, "
                               "переключатели %4")
                    .arg(p.Fiscal, p.TaxNumberShown(), p.Version, p.Switches));
    } else if (kind == QLatin1String("pass") && f.size() >= 2) {
        p.Pass = f[1].toInt();
        p.PassesDone = p.Pass - 1;
        p.Step.clear();
        changed(QStringLiteral("проход %1 из %2").arg(p.Pass).arg(O.Passes));
    } else if (kind == QLatin1String("step") && f.size() >= 2) {
        p.Step = f[1];
        changed(QString());
    } else if (kind == QLatin1String("failed") && f.size() >= 4) {
        const int pass = f[1].toInt(), failed = f[3].toInt();
        if (!p.Failures.isEmpty() && p.Failures.last().Pass == pass &&
            p.Failures.last().Step == f[2])
            p.Failures.last().Failed += failed;
        else
            p.Failures << TStepFailures{pass, f[2], failed};
        changed(QStringLiteral("%1: отказавших команд %2 (всего %3)")
                    .arg(f[2])
                    .arg(failed)
                    .arg(p.FailedCommands()));
    } else if (kind == QLatin1String("message") && f.size() >= 3) {
        p.Messages << TMessage{f[1], f[2]};
        changed(QStringLiteral("сообщение: %1").arg(f[2]));
    } else if (kind == QLatin1String("lost")) {
        p.LineLost = true;
        changed(QStringLiteral("связь с принтером потеряна"));
    } else if (kind == QLatin1String("reason") && f.size() >= 2) {
        p.Reason = f[1];
        changed(QString());
    } else if (kind == QLatin1String("verdict") && f.size() >= 3) {
        p.Verdict = f[1];
        p.PassesDone = f[2].toInt();
        changed(QString());
    } else if (kind == QLatin1String("usage") && f.size() >= 3) {
        p.CpuSeconds = f[1].toDouble();
        p.PeakMemoryKb = f[2].toLongLong();
    }
}

void TBurnin::NameFolder(int index) {
    // Named by port and factory number once the number is known. Where the console keeps
    // writing meanwhile, its open journal and its current folder move with the names.
    TPrinterRecord& p = Records[index];
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

void TBurnin::ProcessEnded(int index, int exitCode, QProcess::ExitStatus status) {
    Read(index);
    NameFolder(index); // where it could not be named while its console ran
    TPrinterRecord& p = Records[index];
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
    emit PrinterChanged(index, QStringLiteral("итог: %1, отказавших команд %2")
                                   .arg(VerdictWord(p.Verdict))
                                   .arg(p.FailedCommands()));
    OneLess();
}

void TBurnin::StopsArrived(int arrived) {
    if (!Running()) return;
    for (; arrived > 0 && Signals < 2; --arrived) {
        ++Signals;
        emit Stopping(Signals);
        if (Signals == 2) {
            QTimer::singleShot(KillAfterMs, this, [this] {
                for (size_t i = 0; i < Processes.size(); ++i)
                    if (Processes[i]->state() == QProcess::Running)
                        Records[int(i)].Trouble =
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

int TBurnin::Verdicts(QString& outcome) const {
    QMap<QString, int> counts;
    for (const TPrinterRecord& p : Records)
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
