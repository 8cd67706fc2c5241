// Exchange rate of the link against a device that answers every request at once.
#include "LinkPeer.h"
#include "PrinterLink.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

int replies;

void countReply(RetData& record) {
    replies += record.ErrorWord == 0;
}

void StatusExchange(benchmark::State& state) {
    PrinterLinkReset();
    auto env = std::make_unique<linktest::TestEnv>();
    auto peer = std::make_unique<linktest::PtyPeer>();
    env->linkPort(1, peer->slavePath());
    if (PrinterOpenPort(1, 115200) < 0) {
        state.SkipWithError("cannot open the test port");
        return;
    }
    replies = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(PrinterGetStatus(nullptr, countReply, 0, 1));
    state.counters["exchanges/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["good replies"] = replies;
    PrinterLinkReset();
    peer.reset();
    env.reset();
}

// Real time: an exchange mostly waits for the device, which the CPU time does not see.
BENCHMARK(StatusExchange)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
