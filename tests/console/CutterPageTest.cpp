// The cutter and beeper page against the simulated printer: single and repeated tests.

#include "Busy.h"
#include "PageCases.h"
#include "PrinterLink.h"

#include <QLabel>

namespace {

class CutterPage : public PageTest {};

const std::vector<Request> Cut{{0x2D, ""}};
const std::vector<Request> Beep{{0x50, ""}};

std::vector<Request> Times(const std::vector<Request>& one, int count) {
    std::vector<Request> all;
    for (int i = 0; i < count; ++i)
        all.insert(all.end(), one.begin(), one.end());
    return all;
}

// The pass list gets the entry or, for a text that is no entry, the typed text; then the pause.
std::function<void(PageTest&)> Passes(const char* list, const char* passes, const char* pause,
                                      const char* pauseField) {
    return [=](PageTest& t) {
        auto* box = t.Widget<QComboBox>(list);
        const int entry = passes ? box->findText(U(passes)) : -1;
        box->setCurrentIndex(entry);
        if (passes && entry < 0) box->setEditText(U(passes));
        t.Type(pauseField, pause);
    };
}
std::function<void(PageTest&)> CutPasses(const char* passes, const char* pause = "1500") {
    return Passes("ComboBox4", passes, pause, "Edit10");
}
std::function<void(PageTest&)> BeepPasses(const char* passes, const char* pause = "1500") {
    return Passes("ComboBox5", passes, pause, "Edit11");
}

// The result label, and for a repeated test its error figure, as the run left them.
std::function<void(PageTest&)> Shows(const char* label, const char* text,
                                     const char* figureLabel = nullptr,
                                     const char* figure = nullptr) {
    return [=](PageTest& t) {
        EXPECT_EQ(t.Widget<QLabel>(label)->text(), U(text)) << label;
        if (figureLabel) {
            EXPECT_EQ(t.Widget<QLabel>(figureLabel)->text(), U(figure));
        }
        // The page is usable again.
        for (const char* name : {"Button16", "Button17", "Button18", "Button19", "ComboBox4",
                                 "ComboBox5", "Edit10", "Edit11"})
            EXPECT_TRUE(t.Widget<QWidget>(name)->isEnabledTo(t.Widget<QWidget>("TabSheet7")))
                << name;
    };
}

// A NAK for the next request, switched on at the given pause of the run (-1: before the run).
std::function<void(PageTest&)> NakAfterWait(int wait) {
    return [wait](PageTest& t) {
        const auto nak = [&t] { t.Model([](DeviceModel& m) { m.GetFaults().nak = 1; }); };
        if (wait < 0) nak();
        t.OnWait([&t, wait, nak](int now) {
            // While the run waits, it holds the console and its page's tests.
            EXPECT_EQ(t.Form().BusyMode, BusyLoop);
            for (const char* button : {"Button16", "Button17", "Button18", "Button19"})
                EXPECT_FALSE(t.Widget<QWidget>(button)->isEnabled()) << button;
            if (now == wait) nak();
        });
    };
}

template <class... Steps> std::function<void(PageTest&)> All(Steps... steps) {
    return [=](PageTest& t) { (steps(t), ...); };
}

const char* const BadRun = "Некорректное количество проходов теста \n   исправьте!!!";

const PageCase Cases[] = {
    // Single tests.
    {"SingleCut",
     "TabSheet7",
     nullptr,
     "Button16",
     Cut,
     {},
     {},
     [](PageTest& t) {
         Shows("Label16", "Тест отрезки чека - успешно")(t);
         EXPECT_EQ(t.Read<int>([](const DeviceModel& m) { return m.GetState().cuts; }), 1);
     }},
    {"SingleCutFailing",
     "TabSheet7",
     [](PageTest& t) {
         t.Model([](DeviceModel& m) { m.GetFaults().statusBits[0x2D] = {0x10, 0, 0, 0, 0, 0}; });
     },
     "Button16",
     Cut,
     {"Ошибка печати"},
     {},
     Shows("Label16", "Ошибка теста отрезки чека")},
    {"SingleBeep",
     "TabSheet7",
     nullptr,
     "Button19",
     Beep,
     {},
     {},
     Shows("Label25", "Тест звукового сигнала - успешно")},
    {"SingleBeepWithoutALink",
     "TabSheet7",
     [](PageTest&) { PrinterLinkReset(); },
     "Button19",
     {},
     {},
     {},
     Shows("Label25", "Ошибка теста звукового сигнала")},

    // Repeated tests: the verdict and the figure cover every pass.
    {"ThreeCutsWithTheirPauses",
     "TabSheet7",
     CutPasses("3"),
     "Button17",
     Times(Cut, 3),
     {},
     {1500, 1500, 1500},
     Shows("Label17", "Тест обрезки чека - успешно", "Label19", "0")},
    {"CutsWhereOnlyTheFirstPassFails",
     "TabSheet7",
     All(CutPasses("2"), NakAfterWait(-1)),
     "Button17",
     Times(Cut, 2),
     {"Ошибка приема команды"},
     {1500, 1500},
     Shows("Label17", "Ошибка теста обрезки чека", "Label19", "1")},
    {"BeepsWhereOnlyTheLastPassFails",
     "TabSheet7",
     All(BeepPasses("3", "20"), NakAfterWait(1)),
     "Button18",
     Times(Beep, 3),
     {"Ошибка приема команды"},
     {20, 20, 20},
     Shows("Label22", "Ошибка теста звукового сигнала", "Label24", "1")},
    {"BeepsWithEveryPassFailing",
     "TabSheet7",
     All(BeepPasses("2", "0"),
         [](PageTest& t) {
             t.Model([](DeviceModel& m) { m.GetFaults().nak = DeviceModel::kAlways; });
         }),
     "Button18",
     Times(Beep, 2),
     {"Ошибка приема команды", "Ошибка приема команды"},
     {0, 0},
     Shows("Label22", "Ошибка теста звукового сигнала", "Label24", "2")},
    {"TypedPassCountIsThePassCount",
     "TabSheet7",
     BeepPasses("12", "5"),
     "Button18",
     Times(Beep, 12),
     {},
     std::vector<int>(12, 5),
     Shows("Label22", "Тест звукового сигнала - успешно", "Label24", "0")},
    {"ADisconnectEndsTheRun",
     "TabSheet7",
     All(CutPasses("5", "10"), [](PageTest& t) { t.OnWait([&t](int) { t.Click("Button2"); }); }),
     "Button17",
     Cut,
     {},
     {10},
     Shows("Label17", "Ошибка теста обрезки чека", "Label19", "0")},

    // Runs that cannot go as set up send nothing and give no result.
    {"NoPassCountChosen",
     "TabSheet7",
     CutPasses(nullptr),
     "Button17",
     {},
     {BadRun},
     {},
     Shows("Label17", "", "Label19", "")},
    {"TypedPassCountOfZero",
     "TabSheet7",
     CutPasses("0"),
     "Button17",
     {},
     {BadRun},
     {},
     Shows("Label17", "", "Label19", "")},
    {"TypedPassCountThatIsNoNumber",
     "TabSheet7",
     BeepPasses("пять"),
     "Button18",
     {},
     {BadRun},
     {},
     Shows("Label22", "", "Label24", "")},
    {"PauseThatIsNoNumber",
     "TabSheet7",
     CutPasses("1", "1,5"),
     "Button17",
     {},
     {BadRun},
     {},
     Shows("Label17", "", "Label19", "")},
    {"NegativePause",
     "TabSheet7",
     BeepPasses("1", "-100"),
     "Button18",
     {},
     {BadRun},
     {},
     Shows("Label22", "", "Label24", "")},
    {"RepeatedTestWaitsForTheRunningLoop",
     "TabSheet7",
     All(CutPasses("1"), [](PageTest& t) { t.Form().BusyMode = BusyLoop; }),
     "Button17",
     {},
     {LoopRefusedText}},
};

TEST_P(CutterPage, Row) {
    RunCase();
}

INSTANTIATE_TEST_SUITE_P(Rows, CutterPage, ::testing::ValuesIn(Cases), CaseName);

} // namespace
