// The additional functions page against the simulated printer: print test, zero receipt,
// reports, cancellation and periodic reports.

#include "Busy.h"
#include "PageCases.h"
#include "RadioGroup.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>

#include <algorithm>

namespace {

using Kind = DeviceModel::ReceiptKind;

class FunctionsPage : public PageTest {};

const std::string PrintLine(35, '\xD8'); // 35 times "Ш" in Windows-1251
const std::string ZeroReceiptPayment = "\tP0.00";

Kind OpenReceipt(PageTest& t) {
    return t.Read<Kind>([](const DeviceModel& m) { return m.GetState().receipt.kind; });
}

std::function<void(PageTest&)> LeaveOpen(Kind kind) {
    return [kind](PageTest& t) { t.Model([kind](DeviceModel& m) { m.LeaveReceiptOpen(kind); }); };
}

std::function<void(PageTest&)> ExpectOpen(Kind kind) {
    return [kind](PageTest& t) { EXPECT_EQ(OpenReceipt(t), kind); };
}

std::function<void(PageTest&)> PrintTest(const char* symbol, const char* lines) {
    return [=](PageTest& t) {
        t.Type("Edit3", symbol);
        t.Type("Edit7", lines);
    };
}

std::function<void(PageTest&)> Report(int entry, const char* password = "5917") {
    return [=](PageTest& t) {
        t.Widget<QComboBox>("ComboBox10")->setCurrentIndex(entry);
        t.Type("Edit23", password);
    };
}

std::function<void(PageTest&)> ByNumber(const char* report, const char* first, const char* last) {
    return [=](PageTest& t) {
        t.Click("RadioGroup3_0");
        t.Click(report);
        t.Type("Edit25", first);
        t.Type("Edit26", last);
    };
}

std::function<void(PageTest&)> ByDate(const char* report, QDate from, QDate to) {
    return [=](PageTest& t) {
        t.Click("RadioGroup3_1");
        t.Click(report);
        t.Widget<QDateEdit>("DateEdit1")->setDate(from);
        t.Widget<QDateEdit>("DateEdit2")->setDate(to);
    };
}

const PageCase Cases[] = {
    // Print test.
    {"PrintTestOfThreeLines",
     "TabSheet5",
     PrintTest("Ш", "3"),
     "Button12",
     {{0x26, ""}, {0x2A, PrintLine}, {0x2A, PrintLine}, {0x2A, PrintLine}, {0x27, ""}},
     {"Нефискальный чек - успешно"},
     {},
     [](PageTest& t) {
         const auto roll = t.Device().PaperRoll();
         EXPECT_EQ(std::count(roll.begin(), roll.end(), PrintLine), 3);
         EXPECT_EQ(t.Form().FailedSteps, 0);
     }},
    {"PrintTestOfNoLineOpensAndCloses",
     "TabSheet5",
     PrintTest("Ш", "0"),
     "Button12",
     {{0x26, ""}, {0x27, ""}},
     {"Нефискальный чек - успешно"}},
    {"PrintTestRefusesANegativeCount",
     "TabSheet5",
     PrintTest("Ш", "-2"),
     "Button12",
     {},
     {"Некорректное количество циклов"}},
    {"PrintTestRefusesACountThatIsNoNumber",
     "TabSheet5",
     PrintTest("Ш", "три"),
     "Button12",
     {},
     {"Некорректное количество циклов"}},
    {"PrintTestWithoutASymbolSendsNothingAndTheConsoleGoesOn",
     "TabSheet5",
     PrintTest("", "1"),
     "Button12",
     {},
     {"Индекс строки вне допустимого диапазона: не задан символ печати"},
     {},
     [](PageTest& t) {
         t.Type("Edit3", "=");
         t.Click("Button12");
         EXPECT_EQ(t.Recorded().Texts.last(), U("Нефискальный чек - успешно"));
     }},
    {"PrintTestClosesTheReceiptAfterAFailedLine",
     "TabSheet5",
     [](PageTest& t) {
         PrintTest("Ш", "3")(t);
         t.Model([](DeviceModel& m) { m.GetFaults().statusBits[0x2A] = {0x10, 0, 0, 0, 0, 0}; });
     },
     "Button12",
     {{0x26, ""}, {0x2A, PrintLine}, {0x27, ""}},
     {"Ошибка печати", "Ошибка печати нефискального текста", "Ошибка закрытия нефискального чека"},
     {},
     [](PageTest& t) {
         ExpectOpen(Kind::None)(t);
         EXPECT_EQ(t.Form().FailedSteps, 1);
     }},
    {"PrintTestWaitsForTheRunningLoop",
     "TabSheet5",
     [](PageTest& t) { t.Form().BusyMode = BusyFullTest; },
     "Button12",
     {},
     {LoopRefusedText}},

    // Zero receipt, with the cashier and password of the passwords page.
    {"ZeroReceiptOfTheChosenCashier",
     "TabSheet5",
     [](PageTest& t) { t.Widget<QComboBox>("ComboBox8")->setCurrentIndex(2); },
     "Button13",
     {{0x30, "00003,5917,00001,I"}, {0x33, "11"}, {0x35, ZeroReceiptPayment}, {0x38, ""}},
     {"Фискальный чек - успешно"},
     {},
     [](PageTest& t) {
         ExpectOpen(Kind::None)(t);
         EXPECT_EQ(
             t.Read<int>([](const DeviceModel& m) { return m.GetState().day.fiscalReceipts; }), 1);
     }},
    {"ZeroReceiptWithATypedCashierIsNoCashier",
     "TabSheet5",
     [](PageTest& t) {
         auto* cashier = t.Widget<QComboBox>("ComboBox8");
         cashier->setCurrentIndex(6);
         cashier->setEditText(U("Оператор 77"));
     },
     "Button13",
     {{0x30, "00000,5917,00001,I"}},
     {"Синтаксическая ошибка", "Ошибка открытия фискального чека"}},
    {"ZeroReceiptStopsAtTheFirstFailedStep",
     "TabSheet5",
     LeaveOpen(Kind::NonFiscal),
     "Button13",
     {{0x30, "00001,5917,00001,I"}},
     {"Команда не разрешена", "Ошибка открытия фискального чека"},
     {},
     ExpectOpen(Kind::NonFiscal)},

    // Reports of the list, run at a loop's pump in one row.
    {"SoldArticlesReport",
     "TabSheet5",
     Report(0),
     "Button14",
     {{0x6F, "5917,S"}},
     {"Отчет - успешно"}},
    {"ProgrammedArticlesReportDuringALoop",
     "TabSheet5",
     [](PageTest& t) {
         Report(1)(t);
         t.Form().BusyMode = BusyLoop;
     },
     "Button14",
     {{0x6F, "5917,P"}},
     {"Отчет - успешно"}},
    {"GroupsReport", "TabSheet5", Report(2), "Button14", {{0x6F, "5917,G"}}, {"Отчет - успешно"}},
    {"XReport", "TabSheet5", Report(3), "Button14", {{0x45, "5917,2"}}, {"Отчет - успешно"}},
    {"ZReport",
     "TabSheet5",
     Report(4),
     "Button14",
     {{0x45, "5917,0"}},
     {"Отчет - успешно"},
     {},
     [](PageTest& t) {
         EXPECT_EQ(
             t.Read<size_t>([](const DeviceModel& m) { return m.GetState().fiscalMemory.size(); }),
             1u);
     }},
    {"ReportWithAWrongPassword",
     "TabSheet5",
     Report(3, "1111"),
     "Button14",
     {{0x45, "1111,2"}},
     {"Команда не разрешена", "Ошибка отчета"}},

    // Cancellation: it asks the device what is open.
    {"CancellationWithNothingOpen",
     "TabSheet5",
     nullptr,
     "Button15",
     {{0x4A, "X"}},
     {"Нет открытых чеков"}},
    {"CancellationOfAReturnReceipt",
     "TabSheet5",
     LeaveOpen(Kind::Return),
     "Button15",
     {{0x4A, "X"}, {0x39, ""}},
     {"Анулирование - успешно"},
     {},
     ExpectOpen(Kind::None)},
    {"CancellationClosesANonFiscalReceipt",
     "TabSheet5",
     LeaveOpen(Kind::NonFiscal),
     "Button15",
     {{0x4A, "X"}, {0x27, ""}},
     {"Анулирование - успешно"},
     {},
     ExpectOpen(Kind::None)},
    {"CancellationRefusedClosesTheReceiptInstead",
     "TabSheet5",
     [](PageTest& t) {
         LeaveOpen(Kind::Fiscal)(t);
         t.Model([](DeviceModel& m) { m.GetFaults().statusBits[0x39] = {0, 0x02, 0, 0, 0, 0}; });
     },
     "Button15",
     {{0x4A, "X"}, {0x39, ""}, {0x38, ""}},
     {"Команда не разрешена", "Анулирование - успешно"},
     {},
     ExpectOpen(Kind::None)},
    {"CancellationTrustsOnlyAStateItRead",
     "TabSheet5",
     [](PageTest& t) {
         LeaveOpen(Kind::Fiscal)(t);
         t.Model([](DeviceModel& m) { m.GetFaults().nak = 1; });
     },
     "Button15",
     {{0x4A, "X"}},
     {"Ошибка приема команды", "Ошибка анулирования"},
     {},
     ExpectOpen(Kind::Fiscal)},

    // Periodic reports.
    {"ShortReportByNumber",
     "TabSheet5",
     ByNumber("RadioGroup4_0", "1", "1"),
     "Button24",
     {{0x5F, "5917,0001,0001"}},
     {"Сокращенный отчет выполнен!"}},
    {"FullReportByNumber",
     "TabSheet5",
     ByNumber("RadioGroup4_1", "2", "15"),
     "Button24",
     {{0x49, "5917,0002,0015"}},
     {"Полный отчет выполнен!"}},
    {"ShortReportByDate",
     "TabSheet5",
     ByDate("RadioGroup4_0", {2006, 4, 10}, {2006, 4, 15}),
     "Button24",
     {{0x4F, "5917,100406,150406"}},
     {"Сокращенный отчет выполнен!"}},
    {"FullReportByDate",
     "TabSheet5",
     ByDate("RadioGroup4_1", {2026, 12, 1}, {2026, 12, 31}),
     "Button24",
     {{0x5E, "5917,011226,311226"}},
     {"Полный отчет выполнен!"}},
    {"ReportOverABackwardRange",
     "TabSheet5",
     ByNumber("RadioGroup4_0", "5", "1"),
     "Button24",
     {{0x5F, "5917,0005,0001"}},
     {"Синтаксическая ошибка", "Ошибка выполнения отчета"}},
    {"ReportNumberThatIsNoNumberSendsNothingAndTheConsoleGoesOn",
     "TabSheet5",
     ByNumber("RadioGroup4_0", "1", "x"),
     "Button24",
     {},
     {"'x' не является допустимым целым числом"},
     {},
     [](PageTest& t) {
         t.Type("Edit26", "3");
         t.Click("Button24");
         EXPECT_EQ(t.Recorded().Texts.last(), U("Сокращенный отчет выполнен!"));
     }},
};

TEST_P(FunctionsPage, Row) {
    RunCase();
}

INSTANTIATE_TEST_SUITE_P(Rows, FunctionsPage, ::testing::ValuesIn(Cases), CaseName);

// The report type shows its pair of fields: on a click, and when the keyboard focus leaves the
// group with a type checked otherwise than by a click.
class ReportTypeTest : public DeviceTest {};

TEST_F(ReportTypeTest, ShowsTheFieldsOfTheChosenType) {
    auto* run = Get<QPushButton>("Button24");
    const auto shown = [&](std::initializer_list<const char*> names) {
        QStringList on;
        for (const char* name : names) {
            auto* control = Get<QWidget>(name);
            if (!control->isHidden() && control->isEnabled()) on << U(name);
        }
        return on.join(' ');
    };
    ASSERT_TRUE(ShowActive(*Window));
    Get<TPageControl>("PageControl1")->setCurrentWidget(Get<QWidget>("TabSheet5"));
    const auto all = {"Label38", "Label39", "DateEdit1", "DateEdit2",
                      "Label40", "Label41", "Edit25",    "Edit26"};
    EXPECT_EQ(shown(all), U(""));
    EXPECT_FALSE(run->isEnabled());
    // The dates start as today.
    EXPECT_EQ(Get<QDateEdit>("DateEdit1")->date(), QDate::currentDate());

    Get<QRadioButton>("RadioGroup3_1")->click();
    EXPECT_EQ(shown(all), U("Label38 Label39 DateEdit1 DateEdit2"));
    EXPECT_TRUE(run->isEnabled());
    Get<QRadioButton>("RadioGroup3_0")->click();
    EXPECT_EQ(shown(all), U("Label40 Label41 Edit25 Edit26"));

    // Checked without a click: nothing changes while the focus stays in the group or goes to
    // another window, and the fields follow when it moves on to another control.
    auto* group = Get<QGroupBox>("RadioGroup3");
    SetRadioGroupItemIndex(group, 1);
    Get<QRadioButton>("RadioGroup3_1")->setFocus(Qt::TabFocusReason);
    Get<QRadioButton>("RadioGroup3_0")->setFocus(Qt::TabFocusReason);
    QLineEdit other;
    ASSERT_TRUE(ShowActive(other));
    EXPECT_EQ(shown(all), U("Label40 Label41 Edit25 Edit26"));
    other.close();
    ASSERT_TRUE(ShowActive(*Window));
    EXPECT_EQ(QApplication::focusWidget(), Get<QRadioButton>("RadioGroup3_0"));
    EXPECT_EQ(shown(all), U("Label40 Label41 Edit25 Edit26"));
    Get<QLineEdit>("Edit7")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(shown(all), U("Label38 Label39 DateEdit1 DateEdit2"));
}

} // namespace
