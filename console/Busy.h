#pragma once

#include <cstdint>

class QObject;
class TForm1;

// Codes of TForm1::BusyMode: the page operation in progress, 0 when none.
constexpr int32_t BusyFullTest = 1;  // the full device test
constexpr int32_t BusyLoop = 2;      // the display and the cutter and beeper pages
constexpr int32_t BusyCash = 3;      // the drawer pulse, service cash in or out, the articles
constexpr int32_t BusyReports = 5;   // the additional functions: reports, receipts, print test
constexpr int32_t BusyPasswords = 6; // an operator's password set or reset

// The message shown when a loop is asked to start while another operation runs.
extern const char* const LoopRefusedText;

// The console runs one operation at a time, and every handler that sends a command holds the
// console while it runs.
//
// A loop (the full test, the display sweep, the print test, the repeated cutter and beeper tests)
// claims the console for its whole run. It pumps window messages between its commands, so the
// user can reach other pages meanwhile, but never start a second loop there: the claim succeeds
// only while nothing runs (no loop, no one-off operation); otherwise LoopRefusedText is shown and
// nothing is claimed. A claim sets BusyMode to the loop's code and clears StopFlag, so a stop
// meant for an earlier loop never ends this one. BusyMode goes back to 0 on every way out.
class TLoopRun {
public:
    // `stopButton` is the loop's own stop button, if it has one: only that button stops it.
    TLoopRun(TForm1& form, int32_t mode, const QObject* stopButton = nullptr);
    ~TLoopRun();
    TLoopRun(const TLoopRun&) = delete;
    TLoopRun& operator=(const TLoopRun&) = delete;

    bool Claimed() const { return claimed_; }

private:
    TForm1& form_;
    bool claimed_ = false;
};

// A one-off operation of a page (the drawer, service cash, a report, a receipt, a single cut, a
// password): it may run at a running loop's pump, but never at another one-off operation's pump
// and never inside itself. Such a click (the second click of a double click, handled at the
// first one's pump) is dropped without a word: Claimed() is false and the handler sends nothing.
// A claimed operation shows its own code in BusyMode while it runs and gives the code it found
// back when it ends, so a loop's BusyMode is as the loop left it. One-off operations touch
// neither FailedSteps nor StopFlag, which belong to the loop.
class TSingleRun {
public:
    TSingleRun(TForm1& form, int32_t mode);
    ~TSingleRun();
    TSingleRun(const TSingleRun&) = delete;
    TSingleRun& operator=(const TSingleRun&) = delete;

    bool Claimed() const { return claimed_; }

private:
    TForm1& form_;
    int32_t saved_ = 0;
    bool claimed_ = false;
};

// A loop's stop button was pressed: StopFlag is set when the loop it belongs to runs. A stop
// button left enabled after its loop has ended (the full test stopped by a disconnect) stops
// nothing, so it never ends another page's loop.
void RequestStop(TForm1& form, const QObject* stopButton);

// True while a loop runs: its StopFlag is its own, to be cleared by the loop when it stops.
bool LoopRunning(const TForm1& form);
