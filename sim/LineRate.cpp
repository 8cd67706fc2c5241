#include "LineRate.h"

namespace sim {

namespace {

// The level of a line carrying the bytes back to back from time 0, one bit every `bit` time
// units: start bit 0, eight data bits from the lowest, stop bit 1; idle (1) outside them.
int Level(std::string_view bytes, long long t, long long bit) {
    if (t < 0) return 1;
    const long long k = t / bit;
    const auto byte = static_cast<std::size_t>(k / 10);
    const int pos = static_cast<int>(k % 10);
    if (byte >= bytes.size()) return 1;
    if (pos == 0) return 0;
    if (pos == 9) return 1;
    return (static_cast<unsigned char>(bytes[byte]) >> (pos - 1)) & 1;
}

} // namespace

std::string ReadAtRate(std::string_view sent, int sentBaud, int readBaud) {
    if (sentBaud <= 0 || readBaud <= 0 || sentBaud == readBaud) return std::string(sent);
    // Time in units of 1 / (sentBaud * readBaud) seconds: a sent bit lasts readBaud units, a bit
    // read lasts sentBaud units.
    const long long sentBit = readBaud, readBit = sentBaud;
    const long long end = 10LL * static_cast<long long>(sent.size()) * sentBit;
    std::string read;
    long long from = 0; // the receiver looks for a start bit from here on
    while (from < end) {
        // The next falling edge: the level changes only where a sent bit begins.
        long long edge = -1;
        for (long long b = (from + sentBit - 1) / sentBit; b * sentBit < end; ++b) {
            const long long t = b * sentBit;
            if (Level(sent, t, sentBit) == 0 && Level(sent, t - 1, sentBit) == 1) {
                edge = t;
                break;
            }
        }
        if (edge < 0) break;
        const long long middle = edge + readBit / 2;
        if (Level(sent, middle, sentBit) != 0) { // too short for a start bit: a glitch
            from = middle;
            continue;
        }
        unsigned value = 0;
        for (int i = 0; i < 8; ++i)
            value |= static_cast<unsigned>(Level(sent, middle + (i + 1) * readBit, sentBit)) << i;
        const long long stop = middle + 9 * readBit;
        read += Level(sent, stop, sentBit) == 1 ? static_cast<char>(value) : '\0';
        from = stop;
    }
    return read;
}

bool IsLineRate(int baud) {
    for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        if (rate == baud) return true;
    return false;
}

bool RatesFarApart(int a, int b) {
    const long long low = a < b ? a : b, high = a < b ? b : a;
    return low <= 0 || 4 * low <= high;
}

DeviceModel::Output AtHostRate(const DeviceModel::Output& out, int deviceBaud, int hostBaud) {
    DeviceModel::Output read;
    read.synForever = out.synForever;
    read.hangUp = out.hangUp;
    if (deviceBaud <= 0 || hostBaud <= 0 || deviceBaud == hostBaud) return out;
    // A chunk that follows the one before within one byte's time continues its burst.
    const DeviceModel::Micros byteTime{10'000'000LL / deviceBaud};
    DeviceModel::Micros delay{0};
    std::string burst;
    bool open = false;
    auto finish = [&] {
        if (!open) return;
        read.chunks.push_back({delay, ReadAtRate(burst, deviceBaud, hostBaud)});
        burst.clear();
        delay = DeviceModel::Micros{0};
        open = false;
    };
    for (const auto& chunk : out.chunks) {
        if (open && chunk.delay > byteTime) finish();
        delay += chunk.delay;
        burst += chunk.bytes;
        open = true;
    }
    finish();
    return read;
}

} // namespace sim
