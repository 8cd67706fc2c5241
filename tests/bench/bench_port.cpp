// Exchange times of the link against a device on a COM port, typically the simulated printer:
//   bench_port [port] [count]     (defaults: port 1, 200 exchanges)
// Runs answered status requests back to back at 115200 bd and prints the median, mean, fastest
// and slowest exchange. It measures; it never fails on a figure.
#include "Printer.h"

#include <algorithm>
#include <chrono>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

namespace {

int good;

void countReply(RetData& record) {
    good += (record.ErrorWord & (ERR_PROTOCOL | ERR_NAK | ERR_TIMEOUT)) == 0;
}

} // namespace

int main(int argc, char** argv) {
    int port = argc > 1 ? atoi(argv[1]) : 1;
    int count = argc > 2 ? atoi(argv[2]) : 200;
    if (port < 1 || count < 1) {
        fprintf(stderr, "usage: bench_port [port] [count]\n");
        return 2;
    }
    if (PrinterOpenPort(port, 115200) == -1) {
        fprintf(stderr, "bench_port: cannot open COM%d\n", port);
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    double total = 0;
    for (int i = 0; i < count; ++i) {
        Clock::time_point start = Clock::now();
        PrinterGetStatus(nullptr, countReply, 0, 1);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        total += times.back();
    }
    PrinterClosePort();
    std::sort(times.begin(), times.end());
    printf("status exchange on COM%d: %d exchanges, %d answered; median %.0f us, mean %.0f us, "
           "fastest %.0f us, slowest %.0f us\n",
           port, count, good, times[times.size() / 2], total / count, times.front(), times.back());
    return 0;
}
