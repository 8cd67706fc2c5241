#pragma once

#include <cstdint>

class TForm1;

// Codes of TForm1::BusyMode: the page operation in progress, 0 when none.
constexpr int32_t BusyFullTest = 1; // the full device test
constexpr int32_t BusyLoop = 2;     // the display sweep, the repeated cutter and beeper tests
constexpr int32_t BusyCash = 3;     // the drawer pulse, service cash in or out
constexpr int32_t BusyReports = 5;  // reports, receipt cancellation, the print test

// The message shown when a loop is asked to start while another operation runs.
extern const char* const LoopRefusedText;

// The console runs one looping operation at a time: the full test, the display sweep, the print
// test and the repeated cutter and beeper tests pump window messages between their commands, so
// the user can reach other pages meanwhile, but never start a second loop there.
//
// A loop claims the console for its whole run. The claim succeeds only while no operation is in
// progress (BusyMode 0); otherwise LoopRefusedText is shown and nothing is claimed. A claim sets
// BusyMode to the loop's code and clears StopFlag, so a stop meant for an earlier loop never
// ends this one. BusyMode goes back to 0 on every way out of the loop.
class TLoopRun {
public:
    TLoopRun(TForm1& form, int32_t mode);
    ~TLoopRun();
    TLoopRun(const TLoopRun&) = delete;
    TLoopRun& operator=(const TLoopRun&) = delete;

    bool Claimed() const { return claimed_; }

private:
    TForm1& form_;
    bool claimed_ = false;
};

// A one-off operation of a page (the drawer, service cash, a report, the cancellation), which
// may run at a running loop's pump. It shows its own code in BusyMode while it runs and gives
// the code it found back when it ends, so the loop's BusyMode is as the loop left it. One-off
// operations touch neither FailedSteps nor StopFlag, which belong to the loop.
class TSingleRun {
public:
    TSingleRun(TForm1& form, int32_t mode);
    ~TSingleRun();
    TSingleRun(const TSingleRun&) = delete;
    TSingleRun& operator=(const TSingleRun&) = delete;

private:
    TForm1& form_;
    int32_t saved_;
};
