// The console against the simulated printer: one pass of the full device test, measured against
// what the line and the printer allow, and the journal's append at length.
//
//   QT_QPA_PLATFORM=offscreen build/test/tests/bench/bench_console
#include "Application.h"
#include "Dialogs.h"
#include "Mainform.h"
#include "PrinterLink.h"
#include "Pump.h"
#include "SimulatedPrinter.h"
#include "Status.h"
#include "Switches.h"

#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

constexpr int Baud = 115200;
constexpr double SecondsPerByte = 10.0 / Baud; // start, eight data bits, stop

// The printer as the simulator's program runs it by default: 25 ms a printed line, 300 ms a
// cut, replies paced on the line.
DeviceModel::Options PacedPrinter() {
    DeviceModel::Options options;
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    options.clock = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, 0};
    options.baud = Baud;
    options.lineTimeMs = 25;
    options.cutTimeMs = 300;
    return options;
}

// The least time the exchanges of a run can take: every request and reply frame on the line at
// ten bits a byte, plus the device's printing and cutting. The run is replayed on a model of its
// own without pacing or printing time, which gives the reply bytes, the lines and the cuts.
struct Bound {
    double requestSeconds = 0, replySeconds = 0, printSeconds = 0;
    double Total() const { return requestSeconds + replySeconds + printSeconds; }
};

Bound LineBound(const std::vector<SimulatedPrinter::Request>& requests,
                const DeviceModel::Options& paced) {
    DeviceModel::Options plain = paced;
    plain.baud = 0;
    plain.lineTimeMs = 0;
    plain.cutTimeMs = 0;
    DeviceModel model(plain);
    long requestBytes = 0, replyBytes = 0;
    unsigned char frame[LINK_FRAME_SIZE];
    int seq = 0;
    for (const auto& request : requests) {
        const int n = PrinterBuildFrame(frame, sizeof frame, (unsigned char)(0x20 + seq++ % 95),
                                        request.Command, request.Data.c_str());
        if (n < 0) continue;
        requestBytes += n;
        replyBytes += static_cast<long>(
            model.Receive(std::string_view(reinterpret_cast<char*>(frame), n)).Bytes().size());
    }
    Bound bound;
    bound.requestSeconds = requestBytes * SecondsPerByte;
    bound.replySeconds = replyBytes * SecondsPerByte;
    bound.printSeconds =
        (static_cast<double>(model.GetState().paperRoll.size()) * paced.lineTimeMs +
         static_cast<double>(model.GetState().cuts) * paced.cutTimeMs) /
        1000.0;
    return bound;
}

// One pass at delay 0, the minute between the clock readings skipped, on a fresh device each
// time (a second pass in the same minute would find the clock behind its last Z report).
void FullTestPass(benchmark::State& state) {
    int messages = 0;
    SetMessageSink([&messages](const QString&) { ++messages; });
    SetSleepFunction([](int) {});
    const DeviceModel::Options paced = PacedPrinter();
    Bound bound;
    double measured = 0;
    for (auto _ : state) {
        SimulatedPrinter printer(1, paced);
        TForm1 window;
        TForm2 switches;
        TForm4 status;
        Form1 = &window;
        Form2 = &switches;
        Form4 = &status;
        window.FormActivate(nullptr);
        window.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QStringLiteral("0"));
        window.Button2Click(nullptr);
        if (!window.IsConnected()) {
            state.SkipWithError("cannot connect to the simulated printer");
            break;
        }
        const auto start = std::chrono::steady_clock::now();
        window.Button3Click(nullptr);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(elapsed.count());
        measured += elapsed.count();
        window.Button2Click(nullptr);
        bound = LineBound(printer.Requests(), paced);
        Form1 = nullptr;
        Form2 = nullptr;
        Form4 = nullptr;
    }
    SetMessageSink({});
    SetSleepFunction({});
    if (messages > 0) state.SkipWithError("the pass was not clean: message boxes were shown");
    state.counters["request_line_s"] = bound.requestSeconds;
    state.counters["reply_line_s"] = bound.replySeconds;
    state.counters["printing_s"] = bound.printSeconds;
    state.counters["bound_s"] = bound.Total();
    if (state.iterations() > 0 && bound.Total() > 0)
        state.counters["ratio"] =
            measured / static_cast<double>(state.iterations()) / bound.Total();
}
BENCHMARK(FullTestPass)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

// Appending to a journal that already holds range(0) lines, with the last line kept visible.
void JournalAppend(benchmark::State& state) {
    TForm1 window;
    Form1 = &window;
    window.show();
    for (int64_t i = 0; i < state.range(0); ++i)
        window.JournalAdd(QStringLiteral("Тест индикаторов клиента - строка %1").arg(i));
    ProcessMessages();
    for (auto _ : state)
        window.JournalAdd(QStringLiteral("Тест индикаторов клиента - успешно"));
    ProcessMessages();
    const QScrollBar* bar =
        window.findChild<QPlainTextEdit*>(QStringLiteral("RichEdit1"))->verticalScrollBar();
    if (bar->value() != bar->maximum()) state.SkipWithError("the last line is not visible");
    Form1 = nullptr;
}
BENCHMARK(JournalAppend)->Arg(1000)->Arg(100000)->Iterations(5000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    benchmark::Initialize(&argc, argv);
    TApplication application(argc, argv);
    // The link appends its exchange log to the current folder.
    QTemporaryDir scratch;
    if (!scratch.isValid() || chdir(scratch.path().toLocal8Bit().constData()) != 0) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return chdir("/") == 0 ? 0 : 2;
}
