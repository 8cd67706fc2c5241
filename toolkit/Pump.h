#pragma once

#include <functional>

class QWidget;

// Lets the application handle every pending window message (clicks, repaints, page changes)
// and returns. Long operations call it between device commands to stay responsive. User input
// held back by a wait or by ProcessMessagesExceptInput is handled first, in the order it came.
void ProcessMessages();

// Lets the windows repaint and answer the desktop, and returns; user input (clicks, keys) is held
// back until the caller's next ProcessMessages, except input to the controls kept live. For work
// that takes long between two points where it may be interrupted.
void ProcessMessagesExceptInput();

// Waits the given number of milliseconds before the caller goes on. The windows are repainted
// and answer the desktop meanwhile; user input is held as by ProcessMessagesExceptInput. Negative
// or zero waits return at once; so do waits once the application has been asked to quit, and a
// wait in progress then ends.
void BlockingSleep(int milliseconds);

// The control takes clicks and keys also while input is held (a window's close button: the
// window can be closed during a wait, and the operation waiting sees it).
void KeepLiveDuringWaits(QWidget* control);

// Replaces the blocking wait (tests record the waits instead of spending them); an empty
// function puts the real wait back.
using SleepFunction = std::function<void(int milliseconds)>;
void SetSleepFunction(SleepFunction sleep);
