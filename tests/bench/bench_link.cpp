// Exchange timings of the link against a device on a pseudo-terminal: the rate of answered
// exchanges, and how long a NAK and a silent device hold an exchange. The answered and the NAK
// exchanges run twice: /0 as usual, /1 with the exchange trace written (TR7042K_TRACE), so the
// trace's cost shows beside them.
#include "LinkPeer.h"
#include "PrinterLink.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

int replies;

void countReply(RetData& record) {
    replies += record.ErrorWord == 0;
}

// A device on port 1 for the length of one benchmark run.
struct Device {
    std::unique_ptr<linktest::TestEnv> env = std::make_unique<linktest::TestEnv>();
    std::unique_ptr<linktest::PtyPeer> peer = std::make_unique<linktest::PtyPeer>();
    bool open = false;

    explicit Device(bool traced = false) {
        PrinterLinkReset();
        env->linkPort(1, peer->slavePath());
        if (traced) setenv("TR7042K_TRACE", (env->root() / "trace.txt").c_str(), 1);
        open =
            PrinterOpenPort(1, 115200) >= 0 && (!traced || PrinterTraceState() == PRINTER_TRACE_ON);
        replies = 0;
    }
    ~Device() {
        unsetenv("TR7042K_TRACE");
        PrinterLinkReset();
        peer.reset();
        env.reset();
    }
};

void rate(benchmark::State& state) {
    state.counters["exchanges/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["good replies"] = replies;
}

// Status requests answered at once with a valid reply.
void StatusExchange(benchmark::State& state) {
    Device device(state.range(0) != 0);
    if (!device.open) {
        state.SkipWithError("cannot open the test port");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(PrinterGetStatus(nullptr, countReply, 0, 1));
    rate(state);
}

// Status requests answered at once with NAK.
void NakExchange(benchmark::State& state) {
    Device device(state.range(0) != 0);
    if (!device.open) {
        state.SkipWithError("cannot open the test port");
        return;
    }
    device.peer->setResponder(
        [](const linktest::Request&) { return linktest::Answer::raw("\x15"); });
    for (auto _ : state)
        benchmark::DoNotOptimize(PrinterGetStatus(nullptr, countReply, 0, 1));
    rate(state);
}

// One request to a device that never answers: the whole wait for silence.
void SilentDevice(benchmark::State& state) {
    Device device;
    if (!device.open) {
        state.SkipWithError("cannot open the test port");
        return;
    }
    device.peer->answerNothing();
    for (auto _ : state)
        benchmark::DoNotOptimize(PrinterGetStatus(nullptr, countReply, 0, 1));
}

// The link's own work for one answered exchange, without the wait for the device: the request's
// frame, the reply's bytes through the receiver and the decode; with the trace (/1) also its
// records and their two writes. Set beside an exchange's time, it is what the trace costs.
void ExchangeWork(benchmark::State& state) {
    Device device(state.range(0) != 0);
    if (!device.open) {
        state.SkipWithError("cannot open the test port");
        return;
    }
    const std::string reply = linktest::replyFrame(0x21, 0x4A, "");
    unsigned char frame[LINK_FRAME_SIZE];
    for (auto _ : state) {
        const int length = PrinterBuildFrame(frame, sizeof frame, 0x21, 0x4A, "X");
        PrinterAwaitReply(0x4A);
        if (PrinterLink.TraceFile != SERIAL_FILE_INVALID) PrinterTraceSent(frame, length, length);
        for (unsigned char c : reply)
            PrinterReceiveByte(c);
        PrinterDecodeReply();
        if (PrinterLink.TraceFile != SERIAL_FILE_INVALID) PrinterTraceOutcome();
        benchmark::DoNotOptimize(PrinterLink.Reply.ErrorWord);
    }
}

// Real time: an exchange mostly waits for the device, which the CPU time does not see.
BENCHMARK(StatusExchange)
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(2.0);
BENCHMARK(NakExchange)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(ExchangeWork)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(SilentDevice)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
