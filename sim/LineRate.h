#pragma once

#include "DeviceModel.h"

#include <string>
#include <string_view>

// A line whose two ends run at different baud rates. A UART reads a byte by waiting for the
// falling edge of a start bit, checking the start bit half a bit later, then sampling eight data
// bits and the stop bit one bit apart, all at its own rate. Fed with bytes sent at another rate it
// reads other bytes, or none; a stop bit found low is a framing error, which a serial port in raw
// mode hands on as a NUL byte.
namespace sim {

// Whether a serial line can be set to this rate (1200 to 115200, the usual steps).
bool IsLineRate(int baud);

// What a receiver at readBaud reads of bytes sent back to back at sentBaud.
std::string ReadAtRate(std::string_view sent, int sentBaud, int readBaud);

// Rates four times apart or more: a device at one of them takes nothing the other end sends
// for a request, and stays silent.
bool RatesFarApart(int a, int b);

// The device's answer as the host reads it: the bytes it sends back to back are read at the
// host's rate, and each such burst arrives when its last byte would have.
DeviceModel::Output AtHostRate(const DeviceModel::Output& out, int deviceBaud, int hostBaud);

} // namespace sim
