// The cutter and beeper page against the simulated printer: single and repeated tests.

#include "Busy.h"
#include "PageCases.h"
#include "PrinterLink.h"

#include <QLabel>

#include <algorithm>

namespace {

struct CutterPage : PageTest {
    CutterPage() : PageTest("TabSheet7") {}
};

std::vector<std::pair<int, std::string>> Cuts(int count, int command = 0x2D) {
    return {size_t(count), {command, ""}};
}

// Runs `hook` at every blocking wait, after recording it; `wait` counts from 0.
void OnWait(PageTest& t, std::function<void(int wait)> hook) {
    SetSleepFunction([&t, hook](int milliseconds) {
        t.Messages.Sleeps.push_back(milliseconds);
        hook(int(t.Messages.Sleeps.size()) - 1);
    });
}

// The pass list's entry, or typed text when it is no entry, and the pause; a NAK for the request
// after each of the given waits (-1: for the first request).
Step Run(const char* list, const char* passes, const char* pause, std::vector<int> nakAfter = {}) {
    return [=](PageTest& t) {
        auto* box = t.W<QComboBox>(list);
        box->setCurrentIndex(passes ? box->findText(U(passes)) : -1);
        if (passes && box->currentIndex() < 0) box->setEditText(U(passes));
        t.Type(list == std::string("ComboBox4") ? "Edit10" : "Edit11", pause);
        const auto nak = [&t] {
            t.Printer.WithModel([](DeviceModel& m) { m.GetFaults().nak = 1; });
        };
        const auto naks = [nakAfter](int wait) {
            return std::find(nakAfter.begin(), nakAfter.end(), wait) != nakAfter.end();
        };
        if (naks(-1)) nak();
        OnWait(t, [&t, naks, nak](int wait) {
            // While it waits, the run holds the console and the page's four tests.
            EXPECT_EQ(t.Window->BusyMode, BusyLoop);
            EXPECT_FALSE(t.W("Button16")->isEnabled() || t.W("Button19")->isEnabled());
            if (naks(wait)) nak();
        });
    };
}
Step Cut(const char* passes, const char* pause = "1500", std::vector<int> nakAfter = {}) {
    return Run("ComboBox4", passes, pause, nakAfter);
}
Step Beep(const char* passes, const char* pause = "1500", std::vector<int> nakAfter = {}) {
    return Run("ComboBox5", passes, pause, nakAfter);
}
// At every wait of the run.
Step EachWait(Step act) {
    return [=](PageTest& t) { OnWait(t, [&t, act](int) { act(t); }); };
}

// The result label, the error figure, and the page usable again.
Step Shows(const char* label, const char* text, const char* figureLabel = nullptr,
           const char* figure = "", Step more = {}) {
    return [=](PageTest& t) {
        if (more) more(t);
        EXPECT_EQ(t.W<QLabel>(label)->text(), U(text));
        if (figureLabel) {
            EXPECT_EQ(t.W<QLabel>(figureLabel)->text(), U(figure));
        }
        for (const char* name :
             {"Button16", "Button17", "Button18", "Button19", "ComboBox4", "Edit11"})
            EXPECT_TRUE(t.W(name)->isEnabledTo(t.W("TabSheet7"))) << name;
    };
}

const char* const BadRun = "Некорректное количество проходов теста \n   исправьте!!!";

// clang-format off
const PageCase Rows[] = {
    {"SingleCut", nullptr, "Button16", Cuts(1), {}, {},
     Shows("Label16", "Тест отрезки чека - успешно")},
    {"SingleCutFailing",
     [](PageTest& t) {
         t.Printer.WithModel([](DeviceModel& m) { m.GetFaults().statusBits[0x2D] = {0x10}; });
     },
     "Button16", Cuts(1), {"Ошибка печати"}, {}, Shows("Label16", "Ошибка теста отрезки чека")},
    {"SingleBeepRefusedByTheLink", [](PageTest&) { PrinterLinkReset(); }, "Button19", {}, {}, {},
     Shows("Label25", "Ошибка теста звукового сигнала")},
    {"ThreeCutsEachWithItsPause", Cut("3"), "Button17", Cuts(3), {}, {1500, 1500, 1500},
     Shows("Label17", "Тест обрезки чека - успешно", "Label19", "0")},
    {"OnlyTheFirstPassFails", Cut("2", "1500", {-1}), "Button17", Cuts(2),
     {"Ошибка приема команды"}, {1500, 1500},
     Shows("Label17", "Ошибка теста обрезки чека", "Label19", "1")},
    {"OnlyTheLastPassFails", Beep("3", "20", {1}), "Button18", Cuts(3, 0x50),
     {"Ошибка приема команды"}, {20, 20, 20},
     Shows("Label22", "Ошибка теста звукового сигнала", "Label24", "1")},
    {"TwoPassesFail", Cut("3", "20", {-1, 1}), "Button17", Cuts(3),
     {"Ошибка приема команды", "Ошибка приема команды"}, {20, 20, 20},
     Shows("Label17", "Ошибка теста обрезки чека", "Label19", "2")},
    {"SingleCutDoubleClicked", DoubleClicked, "Button16", Cuts(1), {}, {},
     Shows("Label16", "Тест отрезки чека - успешно")},
    // "Стоп" of a full test that a disconnect ended stays enabled; it is not this run's stop.
    {"TheFullTestsStopButtonDoesNotEndTheRun",
     Then(Beep("3", "10"), Then([](PageTest& t) { t.W("Button4")->setEnabled(true); },
                                EachWait([](PageTest& t) { t.Click("Button4"); }))),
     "Button18", Cuts(3, 0x50), {}, {10, 10, 10},
     Shows("Label22", "Тест звукового сигнала - успешно", "Label24", "0")},
    {"TypedPassCount", Beep("12", "0"), "Button18", Cuts(12, 0x50), {}, std::vector<int>(12, 0),
     Shows("Label22", "Тест звукового сигнала - успешно", "Label24", "0")},
    {"ADisconnectEndsTheRun",
     [](PageTest& t) { Cut("5", "10")(t); OnWait(t, [&t](int) { t.Click("Button2"); }); },
     "Button17", Cuts(1), {}, {10}, Shows("Label17", "Ошибка теста обрезки чека", "Label19", "0")},
    {"DisconnectAndConnectAgainEndsTheRun", Then(Cut("5", "10"), EachWait(Reconnect)), "Button17",
     Cuts(1), {}, {10},
     Shows("Label17", "Ошибка теста обрезки чека", "Label19", "0",
           [](PageTest& t) { EXPECT_TRUE(t.Window->IsConnected()); })},
    {"ClosingTheWindowEndsAnHourLongPause",
     Then(Cut("3", "3600000"), Then(CloseDuringWaits, InWait(1, CloseWindow))), "Button17",
     Cuts(1), {}, {},
     Shows("Label17", "Ошибка теста обрезки чека", "Label19", "0",
           [](PageTest& t) { EXPECT_TRUE(t.Quit); })},
    {"NoPassCount", Cut(nullptr), "Button17", {}, {BadRun}, {}, Shows("Label17", "", "Label19")},
    {"TypedPassCountOfZero", Beep("0"), "Button18", {}, {BadRun}, {},
     Shows("Label22", "", "Label24")},
    {"PauseThatIsNoNumber", Cut("1", "1,5"), "Button17", {}, {BadRun}, {},
     Shows("Label17", "", "Label19")},
    {"NegativePause", Beep("1", "-100"), "Button18", {}, {BadRun}, {},
     Shows("Label22", "", "Label24")},
    {"WaitsForTheRunningLoop", [](PageTest& t) { Cut("1")(t); t.Window->BusyMode = BusyFullTest; },
     "Button17", {}, {LoopRefusedText}},
};
// clang-format on

TEST_P(CutterPage, Row) {
    RunRow();
}
INSTANTIATE_TEST_SUITE_P(Rows, CutterPage, ::testing::ValuesIn(Rows), CaseName);

} // namespace
