// One pass of the customer display sweep ("Тест" on the display page with one pass: the clear,
// 120 windows on the lower line, 120 on the upper line, the clear) against the simulated printer
// on a paced line, set beside the bound the wire allows: every byte of every request and reply
// at 10 bits a byte.
//
//   QT_QPA_PLATFORM=offscreen bench_display

#include "Application.h"
#include "Dialogs.h"
#include "Mainform.h"
#include "SimulatedPrinter.h"

#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QLineEdit>

#include <chrono>
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Bytes on the wire for one exchange: the request frame (SOH, LEN, SEQ, CMD, data, ENQ, four
// checksum characters, ETX) and a reply without data (SOH, LEN, SEQ, CMD, separator, six status
// bytes, ENQ, four checksum characters, ETX).
long long WireBytes(const std::string& requestData) {
    return static_cast<long long>(requestData.size()) + 10 + 17;
}

void DisplaySweepPass(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    DeviceModel::Options options; // printing takes no time; both directions paced
    options.baud = baud;
    SimulatedPrinter printer(1, options);

    QStringList messages;
    SetMessageSink([&messages](const QString& text) { messages << text; });
    TForm1 window;
    Form1 = &window;
    window.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setCurrentIndex(0);
    window.findChild<QComboBox*>(QStringLiteral("ComboBox3"))
        ->setCurrentIndex(baud == 19200 ? 1 : 3);
    window.Button2Click(nullptr);
    if (!window.IsConnected()) {
        state.SkipWithError("cannot connect to the simulated printer");
        SetMessageSink({});
        return;
    }
    window.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(QStringLiteral("1"));

    long long bytes = 0;
    int commands = 0;
    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        printer.ClearRequests();
        messages.clear();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        window.Button7Click(nullptr);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        const auto requests = printer.Requests();
        state.ResumeTiming();
        if (messages != QStringList{QStringLiteral("Тест индикаторов клиента - успешно")}) {
            state.SkipWithError(qPrintable(messages.join(QLatin1Char('|'))));
            break;
        }
        commands = static_cast<int>(requests.size());
        bytes = 0;
        for (const auto& request : requests)
            bytes += WireBytes(request.Data);
    }
    window.Button2Click(nullptr);
    Form1 = nullptr;
    SetMessageSink({});

    const double boundSeconds = static_cast<double>(bytes) * 10 / baud;
    state.counters["commands"] = commands;
    state.counters["wire bytes"] = static_cast<double>(bytes);
    state.counters["bound ms"] = boundSeconds * 1000;
    // The mean time of a pass over the bound.
    if (state.iterations() > 0 && boundSeconds > 0)
        state.counters["ratio"] = seconds / static_cast<double>(state.iterations()) / boundSeconds;
}

BENCHMARK(DisplaySweepPass)
    ->Arg(19200)
    ->Arg(115200)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication application(argc, argv);
    // Byte times of some 87 µs must not be stretched by the 50 µs of timer slack that threads
    // get by default; the simulated printer's thread inherits this setting.
    prctl(PR_SET_TIMERSLACK, 1UL);
    // The console's exchange log goes to a scratch folder.
    char folder[] = "/tmp/tr7042k-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) return 2;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
