// One pass of the customer display sweep ("Тест" on the display page with one pass: the clear,
// 120 windows on the lower line, 120 on the upper line, the clear) against the simulated printer
// on a paced line, set beside the bound the wire allows: every byte of every request and reply
// at 10 bits a byte.
//
// The simulated printer paces its replies only; a request written to its pseudo-terminal arrives
// at once. So the console talks to it through a relay that passes each request byte on at the
// line's speed, as a serial line would, and the replies straight back.
//
//   QT_QPA_PLATFORM=offscreen bench_display

#include "Application.h"
#include "Dialogs.h"
#include "Mainform.h"
#include "Server.h"
#include "SimulatedPrinter.h"

#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

constexpr int ConsolePort = 2; // the relay's end; the simulated printer sits on COM1

// The wire between the console and the simulated printer: a pseudo-terminal of its own, linked
// as COM2, whose bytes go on to the printer's line one every ten bit times.
class PacedLine {
public:
    PacedLine(const std::string& printerSlave, int baud) : byteNanos_(10'000'000'000LL / baud) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("relay: no pseudo-terminal");
        slavePath_ = ptsname(master_);
        // Held open so that the console may close and open its end without a hang-up.
        slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
        printer_ = open(printerSlave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (slave_ < 0 || printer_ < 0) throw std::runtime_error("relay: cannot open the lines");
        for (int fd : {slave_, printer_}) {
            termios tio{};
            tcgetattr(fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(fd, TCSANOW, &tio);
        }
        std::string link, error;
        if (!sim::MakePortLink(ConsolePort, slavePath_, link, error))
            throw std::runtime_error("relay: " + error);
        thread_ = std::thread([this] { Run(); });
    }
    ~PacedLine() {
        stop_ = true;
        thread_.join();
        for (int fd : {master_, slave_, printer_})
            close(fd);
    }

private:
    void Run() {
        char buf[512];
        while (!stop_) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {printer_, POLLIN, 0}};
            if (poll(fds, 2, 20) <= 0) continue;
            if (fds[1].revents & POLLIN) {
                const ssize_t n = read(printer_, buf, sizeof buf);
                if (n > 0) WriteAll(master_, buf, n);
            }
            if (fds[0].revents & POLLIN) {
                const ssize_t n = read(master_, buf, sizeof buf);
                if (n <= 0) continue;
                // The bytes reach the far end one byte time after another; the device can act
                // on them once the last has arrived, so they are passed on together then.
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                const long long start = std::max(Nanos(now), lineFree_);
                lineFree_ = start + n * byteNanos_;
                const timespec due{static_cast<time_t>(lineFree_ / 1'000'000'000),
                                   static_cast<long>(lineFree_ % 1'000'000'000)};
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
                WriteAll(printer_, buf, n);
            }
        }
    }
    static long long Nanos(const timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; }
    static void WriteAll(int fd, const char* bytes, ssize_t size) {
        while (size > 0) {
            const ssize_t n = write(fd, bytes, static_cast<size_t>(size));
            if (n > 0) {
                bytes += n;
                size -= n;
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            }
        }
    }

    long long byteNanos_;
    long long lineFree_ = 0; // when the last byte passed on has arrived, in CLOCK_MONOTONIC ns
    int master_ = -1, slave_ = -1, printer_ = -1;
    std::string slavePath_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Bytes on the wire for one exchange: the request frame (SOH, LEN, SEQ, CMD, data, ENQ, four
// checksum characters, ETX) and a reply without data (SOH, LEN, SEQ, CMD, separator, six status
// bytes, ENQ, four checksum characters, ETX).
long long WireBytes(const std::string& requestData) {
    return static_cast<long long>(requestData.size()) + 10 + 17;
}

void DisplaySweepPass(benchmark::State& state) {
    const int baud = static_cast<int>(state.range(0));
    DeviceModel::Options options;
    options.baud = baud;
    SimulatedPrinter printer(1, options);
    PacedLine line(printer.SlavePath(), baud);

    QStringList messages;
    SetMessageSink([&messages](const QString& text) { messages << text; });
    TForm1 window;
    Form1 = &window;
    window.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setCurrentIndex(ConsolePort - 1);
    window.findChild<QComboBox*>(QStringLiteral("ComboBox3"))
        ->setCurrentIndex(baud == 19200 ? 1 : 3);
    window.Button2Click(nullptr);
    if (!window.IsConnected()) {
        state.SkipWithError("cannot connect to the relay");
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
        if (messages != QStringList{QStringLiteral("Тест индикаторов клиента - успешно")}) {
            state.ResumeTiming();
            state.SkipWithError(qPrintable(messages.join(QLatin1Char('|'))));
            break;
        }
        commands = static_cast<int>(requests.size());
        bytes = 0;
        for (const auto& request : requests)
            bytes += WireBytes(request.Data);
        state.ResumeTiming();
    }
    window.Button2Click(nullptr);
    Form1 = nullptr;
    SetMessageSink({});

    const double boundSeconds = static_cast<double>(bytes) * 10 / baud;
    state.counters["commands"] = commands;
    state.counters["wire bytes"] = static_cast<double>(bytes);
    state.counters["bound ms"] = boundSeconds * 1000;
    // Measured time over the bound; the counter's time is the mean over the iterations.
    state.counters["ratio"] =
        benchmark::Counter(boundSeconds * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
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
    // Byte times of some 87 µs must not be stretched by the timer slack of 50 µs that threads
    // get by default; the printer's and the relay's threads inherit this setting.
    prctl(PR_SET_TIMERSLACK, 1UL);
    // The console's exchange log goes to a scratch folder.
    char folder[] = "/tmp/tr7042k-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) return 2;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
