// The customer display page against the simulated printer: the sweep, the fill, the typed lines.

#include "Busy.h"
#include "PageCases.h"

#include <QApplication>
#include <QLineEdit>

namespace {

using Requests = std::vector<std::pair<int, std::string>>;

constexpr int ClearCode = 0x21, LowerCode = 0x23, UpperCode = 0x2F;

// The letters the display is swept with, in Windows-1251: "A".."Z", "a".."z", then
// АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩьЫЪЭЮЯЄЇ and абвгдежзийклмнопрстуфхцчшщьыъэюяєї.
const std::string Run = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                        "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0"
                        "\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xFC\xDB\xDA\xDD\xDE\xDF\xAA\xAF"
                        "\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF\xF0"
                        "\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFC\xFB\xFA\xFD\xFE\xFF\xBA\xBF";

// Windows first .. last - 1 of one line's sweep, as the device receives them.
Requests Sweep(int code, int first, int last) {
    Requests out;
    for (int i = first; i < last; ++i)
        out.emplace_back(code, (Run + Run).substr(i, 20));
    return out;
}
Requests operator+(Requests first, const Requests& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}
const Requests Clear{{ClearCode, ""}};
const Requests Pass = Sweep(LowerCode, 0, 120) + Sweep(UpperCode, 0, 120);
const std::string Fill(20, '\xD8'); // twenty times "Ш"

struct DisplayPage : PageTest {
    DisplayPage() : PageTest("TabSheet2") {}
};

Step Passes(const char* count, Step more = {}) {
    return [=](PageTest& t) {
        t.Type("Edit2", count);
        if (more) more(t);
    };
}
const Step Stop = [](PageTest& t) { t.Click("Button11"); };
const Step NakOnce = [](PageTest& t) {
    t.Printer.WithModel([](DeviceModel& m) { m.GetFaults().nak = 1; });
};

// The display's two lines afterwards, and the page idle: the sweep's stop button off, everything
// else usable as far as the page goes (a disconnect greys the whole page control besides).
Step Shows(std::string upper, std::string lower, Step more = {}) {
    return [=](PageTest& t) {
        EXPECT_EQ(t.Printer.DisplayUpper(), upper);
        EXPECT_EQ(t.Printer.DisplayLower(), lower);
        QWidget* pages = t.W("PageControl1");
        EXPECT_TRUE(t.W("Button7")->isEnabledTo(pages));
        EXPECT_FALSE(t.W("Button11")->isEnabledTo(pages));
        for (const char* group : {"GroupBox1", "GroupBox2", "GroupBox3"})
            EXPECT_TRUE(t.W(group)->isEnabledTo(pages)) << group;
        EXPECT_FALSE(t.Window->StopFlag);
        if (more) more(t);
    };
}

const char* const Passed = "Тест индикаторов клиента - успешно";
const char* const Failed = "Ошибка теста индикаторов клиента";
const char* const BadCount = "Некорректное количество проходов теста \n   исправьте!!!";

// clang-format off
const PageCase Rows[] = {
    {"OnePassSweepsTheLowerThenTheUpperLine", nullptr, "Button7", Clear + Pass + Clear,
     {Passed}, {}, Shows("", "")},
    {"StopDuringTheLowerLine", Passes("3", At(1 + 50, Stop)), "Button7",
     Clear + Sweep(LowerCode, 0, 50) + Clear, {"Тест остановлен"}, {}, Shows("", "")},
    {"StopDuringTheUpperLineOfALaterPass", Passes("2", At(1 + 240 + 120 + 3, Stop)), "Button7",
     Clear + Pass + Sweep(LowerCode, 0, 120) + Sweep(UpperCode, 0, 3) + Clear,
     {"Тест остановлен"}, {}, Shows("", "")},
    {"UpperLineFailingInTheFirstPassFailsTheRun", Passes("2", At(1 + 120 + 4, NakOnce)),
     "Button7", Clear + Pass + Pass + Clear, {"Ошибка приема команды", Failed}, {},
     Shows("", "")},
    {"LowerLineFailingInTheLastPassFailsTheRun", Passes("2", At(1 + 240 + 7, NakOnce)),
     "Button7", Clear + Pass + Pass + Clear, {"Ошибка приема команды", Failed}, {},
     Shows("", "")},
    {"DisconnectAndConnectAgainStopTheSweep", Passes("5", At(1 + 130, Reconnect)), "Button7",
     Clear + Sweep(LowerCode, 0, 120) + Sweep(UpperCode, 0, 10) + Clear, {"Тест остановлен"}, {},
     Shows("", "", [](PageTest& t) { EXPECT_TRUE(t.Window->IsConnected()); })},
    {"DisconnectStopsTheSweep",
     Passes("5", At(1 + 130, [](PageTest& t) { t.Click("Button2"); })), "Button7",
     Clear + Sweep(LowerCode, 0, 120) + Sweep(UpperCode, 0, 10), {"Тест остановлен"}, {},
     Shows(Run.substr(9, 20), (Run + Run).substr(119, 20),
           [](PageTest& t) { EXPECT_FALSE(t.Window->IsConnected()); })},
    {"ClosingTheWindowStopsTheSweep",
     Passes("50",
            [](PageTest& t) {
                t.Window->show();
                At(1 + 30, [](PageTest& t) { t.Click("Button1"); })(t);
            }),
     "Button7",
     Clear + Sweep(LowerCode, 0, 30) + Clear, {"Тест остановлен"}, {},
     Shows("", "", [](PageTest& t) { EXPECT_FALSE(t.Window->isVisible()); })},
    {"NoPassIsRefused", Passes("0"), "Button7", {}, {BadCount}},
    {"NegativePassCountIsRefused", Passes("-2"), "Button7", {}, {BadCount}},
    {"LettersAreNoPassCount", Passes("два"), "Button7", {}, {BadCount}},
    {"NoSweepWhileTheFullTestRuns", [](PageTest& t) { t.Window->BusyMode = BusyFullTest; },
     "Button7", {}, {LoopRefusedText}},
    {"FillShowsTwentyCopiesOnBothLines", nullptr, "Button8",
     {{LowerCode, Fill}, {UpperCode, Fill}}, {Passed}, {}, Shows(Fill, Fill)},
    {"FillDoubleClickedShowsOnce", DoubleClicked, "Button8",
     {{LowerCode, Fill}, {UpperCode, Fill}}, {Passed}, {}, Shows(Fill, Fill)},
    // A loop never starts inside a one-off operation: it waits, with its message.
    {"SweepClickedAtTheFillsPumpWaits", [](PageTest& t) { PostClick(t.W("Button7")); }, "Button8",
     {{LowerCode, Fill}, {UpperCode, Fill}}, {LoopRefusedText, Passed}, {}, Shows(Fill, Fill)},
    {"FillWithTheLowerLineRefusedFails",
     [](PageTest& t) {
         t.Printer.WithModel([](DeviceModel& m) { m.GetFaults().statusBits[LowerCode] = {0, 2}; });
     },
     "Button8", {{LowerCode, Fill}, {UpperCode, Fill}}, {"Команда не разрешена", Failed}, {},
     Shows(Fill, "")},
    {"FillWithoutACharacter", [](PageTest& t) { t.Type("Edit4", ""); }, "Button8", {},
     {"Индекс строки вне допустимого диапазона: не задан символ индикатора"}, {},
     [](PageTest& t) {
         t.Type("Edit4", "Ш");
         t.Click("Button8");
         EXPECT_EQ(t.Messages.Texts.last(), U(Passed));
     }},
    {"TypedLinesGoToTheirLines",
     [](PageTest& t) { t.Type("Edit5", "Итого: 12.50"); t.Type("Edit6", "Thank you"); },
     "Button9",
     {{LowerCode, "Thank you"}, {UpperCode, "\xC8\xF2\xEE\xE3\xEE: 12.50"}}, {Passed}, {},
     Shows("\xC8\xF2\xEE\xE3\xEE: 12.50", "Thank you")},
    {"EmptyTypedLinesAreSent", nullptr, "Button9", {{LowerCode, ""}, {UpperCode, ""}},
     {Passed}},
    {"TypedLineTheDisplayCannotShow", [](PageTest& t) { t.Type("Edit5", "日"); }, "Button9", {},
     {"Символ «日» (U+65E5) нельзя записать в кодировке Windows-1251"}},
};
// clang-format on

TEST_P(DisplayPage, Row) {
    RunRow();
}
INSTANTIATE_TEST_SUITE_P(Rows, DisplayPage, ::testing::ValuesIn(Rows), CaseName);

// While the sweep runs only its group is usable, and in it the pass count and the stop button;
// the focus coming into the page then leaves the controls so. With nothing running it puts
// them back to idle. Moves inside the page, and focus coming back from another window, do not.
TEST_F(DisplayPage, FocusEnteringThePage) {
    ASSERT_TRUE(ShowActive(*Window));
    auto* pages = W<TPageControl>("PageControl1");
    const auto running = [this](bool yes) {
        EXPECT_EQ(W("Button7")->isEnabled(), !yes);
        EXPECT_EQ(W("Button11")->isEnabled(), yes);
        EXPECT_TRUE(W("GroupBox1")->isEnabled());
        EXPECT_EQ(W("GroupBox2")->isEnabled(), !yes);
        EXPECT_EQ(W("GroupBox3")->isEnabled(), !yes);
    };
    W("Button1")->setFocus();
    bool checked = false;
    At(10, [&](PageTest&) {
        running(true);
        EXPECT_EQ(Window->BusyMode, BusyLoop);
        pages->setCurrentWidget(W("TabSheet3"));
        W("Edit9")->setFocus();
        pages->setCurrentWidget(W("TabSheet2"));
        W("Edit2")->setFocus();
        running(true);
        checked = true;
    })(*this);
    Click("Button7");
    EXPECT_TRUE(checked);
    running(false);

    const auto disturb = [this] {
        W("Button7")->setEnabled(false);
        W("Button11")->setEnabled(true);
        W("GroupBox3")->setEnabled(false);
    };
    W("Button1")->setFocus();
    disturb();
    W("Edit2")->setFocus();
    running(false);
    disturb();
    W("Edit4")->setFocus();
    EXPECT_FALSE(W("Button7")->isEnabled());
    QLineEdit other;
    ASSERT_TRUE(ShowActive(other));
    other.close();
    ASSERT_TRUE(ShowActive(*Window));
    ASSERT_EQ(QApplication::focusWidget(), W("Edit4"));
    EXPECT_FALSE(W("Button7")->isEnabled());
}

} // namespace
