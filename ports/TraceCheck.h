// Why the exchange trace asked for with TR7042K_TRACE is not being written, in the technician's
// words: shared by the console and tr7042k-ports.
#pragma once

#include <string>

// The text for the link's trace state (PrinterTraceState) and the file TR7042K_TRACE names;
// empty when the trace is written or none was asked for.
std::string TraceTrouble(int traceState);
