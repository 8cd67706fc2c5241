#pragma once

#include <functional>

// Lets the application handle every pending window message (clicks, repaints, page changes)
// and returns. Long operations call it between device commands to stay responsive.
void ProcessMessages();

// Waits the given number of milliseconds before the caller goes on. The windows are repainted
// and answer the desktop meanwhile, but user input (clicks, keys) is held until the caller's next
// ProcessMessages. Negative or zero waits return at once.
void BlockingSleep(int milliseconds);

// Replaces the blocking wait (tests record the waits instead of spending them); an empty
// function puts the real wait back.
using SleepFunction = std::function<void(int milliseconds)>;
void SetSleepFunction(SleepFunction sleep);
