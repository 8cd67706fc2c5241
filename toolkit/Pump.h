#pragma once

#include <functional>

// Lets the application handle every pending window message (clicks, repaints, page changes)
// and returns. Long operations call it between device commands to stay responsive.
void ProcessMessages();

// Blocks the calling thread for the given number of milliseconds; no messages are handled
// meanwhile. Negative or zero waits return at once.
void BlockingSleep(int milliseconds);

// Replaces the blocking wait (tests record the waits instead of spending them); an empty
// function puts the real wait back.
using SleepFunction = std::function<void(int milliseconds)>;
void SetSleepFunction(SleepFunction sleep);
