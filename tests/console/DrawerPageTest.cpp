// The drawer, service cash and article deletion page against the simulated printer.

#include "Busy.h"
#include "PageCases.h"

#include <QLocale>

namespace {

constexpr int DrawerCode = 0x6A, CashCode = 0x46, ArticlesCode = 0x6B;

// Amounts are typed the Russian way, with a decimal comma.
struct DrawerPage : PageTest {
    DrawerPage() : PageTest("TabSheet3") {}
    void SetUp() override {
        PageTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        PageTest::TearDown();
    }
};

Step Set(const char* edit, const char* text) {
    return [=](PageTest& t) { t.Type(edit, text); };
}
// The amount, as a deposit (entry 0), a withdrawal (entry 1) or typed text; the drawer holds
// 100.00 before.
Step Cash(const char* amount, int entry = 0, const char* typed = nullptr) {
    return [=](PageTest& t) {
        t.Type("Edit17", "100");
        t.Click("Button20");
        ASSERT_EQ(t.Messages.Texts.last(), U("Служебный внос/вынос - успешно"));
        auto* list = t.W<QComboBox>("ComboBox6");
        list->setCurrentIndex(entry);
        if (typed) list->setEditText(U(typed));
        t.Type("Edit17", amount);
    };
}
Step Nak(Step before = {}) {
    return [=](PageTest& t) {
        if (before) before(t);
        t.Printer.WithModel([](DeviceModel& m) { m.GetFaults().nak = 1; });
    };
}
// What the device did: drawer openings with the last pulse, and the cash in the drawer.
Step Device(int openings, int pulse, long long cash) {
    return [=](PageTest& t) {
        const auto state = t.Printer.WithModel([](DeviceModel& m) { return m.GetState(); });
        EXPECT_EQ(state.drawerOpenings, openings);
        if (openings) {
            EXPECT_EQ(state.lastDrawerPulse, pulse);
        }
        EXPECT_EQ(state.cash, cash);
    };
}

const char* const BadPulse = "Некорректная длина импульса \n   исправьте!!!";
const char* const NoAmount = "Некорректная сумма для вноса/выноса \n   исправьте!!!";
const char* const NotPositive = "Некорректная сумма для вноса/выноса\n   исправьте!!!";
const char* const Opened = "Открыть ящик - успешно";
const char* const CashDone = "Служебный внос/вынос - успешно";
const char* const Refused = "Команда не разрешена";

// clang-format off
const PageCase Rows[] = {
    {"DefaultPulse", nullptr, "Button10", {{DrawerCode, "20"}}, {Opened}, {}, Device(1, 20, 0)},
    {"ShortestPulse", Set("Edit9", "5"), "Button10", {{DrawerCode, "5"}}, {Opened}, {},
     Device(1, 5, 0)},
    {"LongestPulseBeyondTheLabel", Set("Edit9", "150"), "Button10", {{DrawerCode, "150"}},
     {Opened}, {}, Device(1, 150, 0)},
    {"PulseTooShort", Set("Edit9", "4"), "Button10", {}, {BadPulse}, {}, Device(0, 0, 0)},
    {"PulseTooLong", Set("Edit9", "151"), "Button10", {}, {BadPulse}},
    {"NoPulse", Set("Edit9", ""), "Button10", {}, {BadPulse}},
    {"DrawerNotAnswered", Nak(), "Button10", {{DrawerCode, "20"}},
     {"Ошибка приема команды", "Ошибка открытия ящика"}, {}, Device(0, 0, 0)},
    {"PulseAtARunningLoopsPump", [](PageTest& t) { t.Window->BusyMode = BusyLoop; }, "Button10",
     {{DrawerCode, "20"}}, {Opened}},
    {"Deposit", Cash("250"), "Button20", {{CashCode, "250.00"}}, {CashDone}, {},
     Device(0, 0, 35000)},
    {"WithdrawalWithADecimalComma", Cash("12,5", 1), "Button20", {{CashCode, "-12.50"}},
     {CashDone}, {}, Device(0, 0, 8750)},
    {"TypedOperationPutsCashIn", Cash("1", 1, "вынос"), "Button20", {{CashCode, "1.00"}},
     {CashDone}, {}, Device(0, 0, 10100)},
    {"AmountRoundedToKopecks", Cash("0,125"), "Button20", {{CashCode, "0.13"}}, {CashDone}, {},
     Device(0, 0, 10013)},
    {"LessThanAKopeckIsNoAmount", Cash("0,001", 1), "Button20", {}, {NotPositive}, {},
     Device(0, 0, 10000)},
    {"ZeroAmount", Set("Edit17", "0"), "Button20", {}, {NotPositive}},
    {"NegativeAmount", Set("Edit17", "-5"), "Button20", {}, {NotPositive}},
    {"LettersAreNoAmount", Set("Edit17", "сто"), "Button20", {}, {NoAmount}},
    {"DecimalPointUnderARussianLocale", Set("Edit17", "12.5"), "Button20", {}, {NoAmount}},
    {"NoAmount", nullptr, "Button20", {}, {NoAmount}},
    {"WithdrawalBeyondTheCash", Cash("100,01", 1), "Button20", {{CashCode, "-100.01"}},
     {Refused, "Ошибка "}, {}, Device(0, 0, 10000)},
    {"AmountTooLongForAFrame", Set("Edit17", "1e200"), "Button20", {}, {"Ошибка "}},
    {"CashDoubleClickedGoesOnce", Then(Cash("12,5"), DoubleClicked), "Button20",
     {{CashCode, "12.50"}}, {CashDone}, {}, Device(0, 0, 11250)},
    // One one-off operation never runs at another's pump: the click is dropped, without a box.
    {"DrawerClickedAtTheCashPumpIsDropped",
     Then(Cash("3", 1), [](PageTest& t) { PostClick(t.W("Button10")); }), "Button20",
     {{CashCode, "-3.00"}}, {CashDone}, {}, Device(0, 0, 9700)},
    {"CashAtARunningLoopsPump",
     [](PageTest& t) { Cash("3")(t); t.Window->BusyMode = BusyLoop; }, "Button20",
     {{CashCode, "3.00"}}, {CashDone}},
    {"CashNotAnswered", Nak(Cash("3")), "Button20", {{CashCode, "3.00"}},
     {"Ошибка приема команды", "Ошибка "}, {}, Device(0, 0, 10000)},
    {"ArticlesDeletedWithTheDefaultPassword", nullptr, "Button21", {{ArticlesCode, "DA,5917"}},
     {"Удаление артикулов - успешно"}},
    {"ArticlesWithAWrongPassword", Set("Edit18", "1"), "Button21", {{ArticlesCode, "DA,1"}},
     {Refused, "Ошибка "}},
};
// clang-format on

TEST_P(DrawerPage, Row) {
    RunRow();
}
INSTANTIATE_TEST_SUITE_P(Rows, DrawerPage, ::testing::ValuesIn(Rows), CaseName);

// Every page change the user makes puts the cash list back to its first entry, typed text
// replaced, and sends nothing; the program's own page changes leave it alone.
TEST_F(DrawerPage, PageChangesPutTheCashListBack) {
    auto* pages = W<TPageControl>("PageControl1");
    auto* list = W<QComboBox>("ComboBox6");
    EXPECT_EQ(list->currentIndex(), -1);
    for (int page : {2, 7, 0}) {
        list->setCurrentIndex(1);
        list->setEditText(U("что-то"));
        pages->setCurrentIndex(page);
        emit pages->pageChangedByUser(page);
        EXPECT_EQ(list->currentIndex(), 0) << page;
        EXPECT_EQ(list->currentText(), U("Служебный внос")) << page;
    }
    EXPECT_TRUE(Received().empty());
    EXPECT_TRUE(Messages.Texts.isEmpty());
    list->setCurrentIndex(1);
    pages->setCurrentIndex(2);
    EXPECT_EQ(list->currentIndex(), 1);
}

} // namespace
