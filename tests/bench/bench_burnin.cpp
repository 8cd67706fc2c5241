// The unattended burn-in: one pass of the full test at delay 0 on one simulated printer and on
// eight at once, each printer a tr7042k-sim of its own paced at 115200 baud with its usual
// printing times (25 ms a line, 300 ms a cut), the timer test's minute left out. The wall time
// of the batch is set beside the one printer's (`ratio`); each console's CPU time and peak
// memory come from the batch's report. The same eight printers once more from the bench window's
// engine: TBurnin in this process, its rows updated on every change as the window's are, set
// beside the same single printer (`ratio`).
//
//   build/test/tests/bench/bench_burnin
#include "Burnin.h"
#include "Places.h"
#include "System.h"
#include "WindowRun.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <memory>
#include <sys/prctl.h>
#include <vector>

namespace {

double LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1;
}

double SingleSeconds = 0; // the one printer's wall time, for the batch's ratio

// The simulated printers COM1 to COMn in the config folder, each paced at 115200 baud; back
// once each has made its link.
std::vector<std::unique_ptr<QProcess>> StartSimulators(const QString& config, int printers) {
    std::vector<std::unique_ptr<QProcess>> sims;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    for (int port = 1; port <= printers; ++port) {
        auto sim = std::make_unique<QProcess>();
        sim->setProcessEnvironment(environment);
        sim->setStandardOutputFile(QProcess::nullDevice());
        sim->start(QStringLiteral(TR_SIM),
                   {QStringLiteral("--port"), QStringLiteral("COM%1").arg(port),
                    QStringLiteral("--baud"), QStringLiteral("115200")});
        sims.push_back(std::move(sim));
    }
    for (int port = 1; port <= printers; ++port) {
        const QString link = QStringLiteral("%1/tr7042k/ports/com%2").arg(config).arg(port);
        for (int i = 0; i < 500 && !QFileInfo(link).isSymLink(); ++i)
            QThread::msleep(10);
    }
    return sims;
}

void StopSimulators(std::vector<std::unique_ptr<QProcess>>& sims) {
    for (auto& sim : sims) {
        sim->terminate();
        sim->waitForFinished(5000);
    }
}

void BatchPass(benchmark::State& state) {
    const int printers = int(state.range(0));
    double wall = 0, cpu = 0, memory = 0, load = 0;
    for (auto _ : state) {
        QTemporaryDir root;
        const QString config = root.filePath(QStringLiteral("config"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        QStringList arguments{QStringLiteral("--passes"), QStringLiteral("1"),
                              QStringLiteral("--delay"),  QStringLiteral("0"),
                              QStringLiteral("--baud"),   QStringLiteral("115200"),
                              QStringLiteral("--out"),    root.filePath(QStringLiteral("out"))};
        for (int port = 1; port <= printers; ++port)
            arguments << QStringLiteral("COM%1").arg(port);
        std::vector<std::unique_ptr<QProcess>> sims = StartSimulators(config, printers);
        environment.insert(QStringLiteral("TR7042K_CONSOLE"), QStringLiteral(TR_CONSOLE));
        environment.insert(QStringLiteral("TR7042K_TIMER_WAIT_MS"), QStringLiteral("0"));
        QProcess burnin;
        burnin.setProcessEnvironment(environment);
        burnin.setStandardOutputFile(QProcess::nullDevice());
        load = LoadAverage();
        QElapsedTimer timer;
        timer.start();
        burnin.start(QStringLiteral(TR_BURNIN), arguments);
        burnin.waitForFinished(600000);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        wall += seconds;
        StopSimulators(sims);
        QFile report(root.filePath(QStringLiteral("out/report.json")));
        if (burnin.exitCode() != 0 || !report.open(QIODevice::ReadOnly)) {
            state.SkipWithError("the batch did not pass");
            break;
        }
        const QJsonArray list = QJsonDocument::fromJson(report.readAll())
                                    .object()[QStringLiteral("printers")]
                                    .toArray();
        for (const QJsonValue& printer : list) {
            cpu += printer[QStringLiteral("cpu_seconds")].toDouble() / printers;
            memory = std::max(memory, printer[QStringLiteral("peak_memory_kb")].toDouble() / 1024);
        }
    }
    const double iterations = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["wall_s"] = wall / iterations;
    state.counters["console_cpu_s"] = cpu / iterations; // per printer
    state.counters["console_peak_mb"] = memory;         // the largest console
    state.counters["load1_at_start"] = load;            // other work on the machine
    if (printers == 1) SingleSeconds = wall / iterations;
    if (printers > 1 && SingleSeconds > 0)
        state.counters["ratio"] = wall / iterations / SingleSeconds;
}
BENCHMARK(BatchPass)->Arg(1)->Arg(8)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// The batch as the bench window runs it: the engine in this process, a row per printer shown
// anew on every change and every second.
void WindowBatchPass(benchmark::State& state) {
    const int printers = int(state.range(0));
    double wall = 0, load = 0;
    for (auto _ : state) {
        QTemporaryDir root;
        const QString config = root.filePath(QStringLiteral("config"));
        std::vector<std::unique_ptr<QProcess>> sims = StartSimulators(config, printers);
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("TR7042K_TIMER_WAIT_MS", "0");
        TOptions options;
        options.Delay = 0;
        options.Baud = 115200;
        options.Out = root.filePath(QStringLiteral("out"));
        QString error;
        for (int port = 1; port <= printers; ++port) {
            TPort named;
            if (!ParsePort(QStringLiteral("COM%1").arg(port), named, error) ||
                !AddPort(options, named, error))
                break;
        }
        if (!error.isEmpty() || !MakeOutFolder(options.Out, error)) {
            state.SkipWithError(error.toUtf8().constData());
            break;
        }
        TBurnin burnin(options, options.Out, QStringLiteral(TR_CONSOLE));
        TRunTable rows;
        rows.Reset(burnin.Printers(), options.Passes);
        QObject::connect(&burnin, &TBurnin::PrinterChanged, &rows, [&](int index, const QString&) {
            rows.Show(index, burnin.Printers()[index]);
        });
        QTimer clock;
        QObject::connect(&clock, &QTimer::timeout, &rows, [&] {
            for (int row = 0; row < burnin.Printers().size(); ++row)
                rows.Show(row, burnin.Printers()[row]);
        });
        QEventLoop loop;
        QObject::connect(&burnin, &TBurnin::Finished, &loop, &QEventLoop::quit);
        load = LoadAverage();
        QElapsedTimer timer;
        timer.start();
        clock.start(1000);
        burnin.Begin();
        if (!burnin.Ended()) loop.exec();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        wall += seconds;
        StopSimulators(sims);
        if (burnin.ExitCode() != 0) {
            state.SkipWithError("the batch did not pass");
            break;
        }
    }
    const double iterations = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["wall_s"] = wall / iterations;
    state.counters["load1_at_start"] = load;
    if (SingleSeconds > 0) state.counters["ratio"] = wall / iterations / SingleSeconds;
}
BENCHMARK(WindowBatchPass)->Arg(8)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // The window's rows are widgets: drawn nowhere.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Byte times of some 87 µs: the simulators (started from here) must not be woken late.
    prctl(PR_SET_TIMERSLACK, 1UL);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
