// The console's batch mode (see Batch.h): one printer, the full device test of "Старт", nobody
// at the screen. This file reads the command line and sets the process up; the run itself is
// TBatchRun (BatchRun.h).
//
// The main window is made as at start-up but never shown (Qt's offscreen platform), connected
// with its own "Подключить", the printer's identity read by its information page, and the test
// started with its own "Старт" handler. What the test writes into the journal goes into the
// journal file line by line, so a process that ends any way at all loses nothing journaled.

#include "Batch.h"

#include "Application.h"
#include "BatchRun.h"
#include "BatchSystem.h"
#include "Status.h"
#include "Switches.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

bool IsBatchCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--batch") == 0) return true;
    return false;
}

namespace {

bool ParseOptions(const QStringList& arguments, TBatchOptions& o, QString& error) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size()) return std::nullopt;
            return arguments[++i];
        };
        const auto number = [&](int& target, int least, int most) {
            const std::optional<QString> text = value();
            bool ok = false;
            const int n = text ? text->toInt(&ok) : 0;
            if (!ok || n < least || n > most) return false;
            target = n;
            return true;
        };
        const auto text = [&](QString& target) {
            const std::optional<QString> v = value();
            if (v) target = *v;
            return v.has_value();
        };
        const auto optionalText = [&](std::optional<QString>& target) {
            target = value();
            return target.has_value();
        };
        bool ok = true;
        if (arg == QLatin1String("--batch"))
            continue;
        else if (arg == QLatin1String("--port"))
            ok = number(o.Port, 1, 255);
        else if (arg == QLatin1String("--port-name"))
            ok = text(o.PortName);
        else if (arg == QLatin1String("--baud"))
            ok = number(o.Baud, 1, 10000000);
        else if (arg == QLatin1String("--passes"))
            ok = text(o.Passes);
        else if (arg == QLatin1String("--delay"))
            ok = text(o.Delay);
        else if (arg == QLatin1String("--no-fiscal"))
            o.NoFiscal = true;
        else if (arg == QLatin1String("--cashier"))
            ok = number(o.Cashier, 1, 255);
        else if (arg == QLatin1String("--password"))
            ok = optionalText(o.Password);
        else if (arg == QLatin1String("--program-password"))
            ok = optionalText(o.ProgramPassword);
        else if (arg == QLatin1String("--report-password"))
            ok = optionalText(o.ReportPassword);
        else if (arg == QLatin1String("--journal"))
            ok = text(o.Journal);
        else
            ok = false;
        if (!ok) {
            error = QStringLiteral("неверный параметр пакетного режима: %1").arg(arg);
            return false;
        }
    }
    if (o.Port == 0 || o.Journal.isEmpty()) {
        error = QStringLiteral("пакетному режиму нужны --port и --journal");
        return false;
    }
    if (o.PortName.isEmpty()) o.PortName = QStringLiteral("COM%1").arg(o.Port);
    return true;
}

// Before anything else: the journal file open, and stops caught from the first moment on. A
// stop reaches the run through its event loop, so it is taken at the test's next check point (or
// wait), like a click on "Стоп".
bool PrepareProcess(const TBatchOptions& o) {
    QString error;
    if (!OpenBatchJournal(o.Journal, error)) {
        std::fprintf(stderr, "tr7042k-console: не удалось открыть журнал %s: %s\n",
                     o.Journal.toLocal8Bit().constData(), error.toLocal8Bit().constData());
        return false;
    }
    if (CatchBatchStops(BatchJournalBytes(QStringLiteral("Тест прерван")))) return true;
    std::fputs("tr7042k-console: не удалось принять сигналы остановки\n", stderr);
    return false;
}

} // namespace

int RunBatch(int argc, char** argv) {
    TBatchOptions options;
    QString error;
    if (!ParseOptions(BatchArguments(argc, argv), options, error)) {
        std::fprintf(stderr, "tr7042k-console: %s\n", error.toLocal8Bit().constData());
        return 3;
    }
    if (!PrepareProcess(options)) return 3;
    // No window is ever shown: no display is needed. A Qt built without FreeType has no offscreen
    // platform; the minimal one then serves.
    qputenv("QT_QPA_PLATFORM", "offscreen;minimal");
    TApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("tr7042k-console"));
    auto mainWindow = std::make_unique<TForm1>();
    Form1 = mainWindow.get();
    auto switchesWindow = std::make_unique<TForm2>();
    Form2 = switchesWindow.get();
    auto stateWindow = std::make_unique<TForm4>();
    Form4 = stateWindow.get();
    int result = 0;
    {
        TBatchRun run(options, *mainWindow);
        result = run.Exec();
    }
    CloseBatchJournal();
    return result;
}
