// The additional functions page against the simulated printer.

#include "Busy.h"
#include "PageCases.h"
#include "RadioGroup.h"

#include <QDateEdit>
#include <QGroupBox>

#include <algorithm>

namespace {

using Kind = DeviceModel::ReceiptKind;

struct FunctionsPage : PageTest {
    FunctionsPage() : PageTest("TabSheet5") {}
};

const std::string Line(35, '\xD8'); // 35 times "Ш" in Windows-1251

Step Set(const char* edit, const char* text) {
    return [=](PageTest& t) { t.Type(edit, text); };
}
Step Report(int entry) {
    return [=](PageTest& t) { t.W<QComboBox>("ComboBox10")->setCurrentIndex(entry); };
}
// The device refuses the commands: "Команда не разрешена".
Step Refuse(std::vector<int> commands) {
    return [=](PageTest& t) {
        t.Printer.WithModel([&](DeviceModel& m) {
            for (int command : commands)
                m.GetFaults().statusBits[command] = {0, 0x02, 0, 0, 0, 0};
        });
    };
}
Step Open(Kind kind, int nakCount = 0, std::vector<int> refused = {}) {
    return [=](PageTest& t) {
        t.Printer.WithModel([=](DeviceModel& m) {
            m.LeaveReceiptOpen(kind);
            m.GetFaults().nak = nakCount;
        });
        Refuse(refused)(t);
    };
}
Step ExpectOpen(Kind kind) {
    return [=](PageTest& t) {
        EXPECT_EQ(t.Printer.WithModel([](DeviceModel& m) { return m.GetState().receipt.kind; }),
                  kind);
    };
}
Step Periodic(const char* type, const char* kind, QDate from = {}, QDate to = {}) {
    return [=](PageTest& t) {
        t.Click(type);
        t.Click(kind);
        t.W<QDateEdit>("DateEdit1")->setDate(from);
        t.W<QDateEdit>("DateEdit2")->setDate(to);
    };
}
// After a failure the page still works: the next run with a fixed value succeeds.
Step GoesOn(const char* edit, const char* text, const char* button, const char* success) {
    return [=](PageTest& t) {
        t.Type(edit, text);
        t.Click(button);
        EXPECT_EQ(t.Messages.Texts.last(), U(success));
    };
}

// clang-format off
const PageCase Rows[] = {
    {"PrintTestOfThreeLines", Set("Edit7", "3"), "Button12",
     {{0x26, ""}, {0x2A, Line}, {0x2A, Line}, {0x2A, Line}, {0x27, ""}},
     {"Нефискальный чек - успешно"}, {},
     [](PageTest& t) {
         const auto roll = t.Printer.PaperRoll();
         EXPECT_EQ(std::count(roll.begin(), roll.end(), Line), 3);
     }},
    {"PrintTestOfNoLine", Set("Edit7", "0"), "Button12", {{0x26, ""}, {0x27, ""}},
     {"Нефискальный чек - успешно"}},
    {"PrintTestOfMinusTwoLines", Set("Edit7", "-2"), "Button12", {},
     {"Некорректное количество циклов"}},
    {"PrintTestWithoutASymbol", Set("Edit3", ""), "Button12", {},
     {"Индекс строки вне допустимого диапазона: не задан символ печати"}, {},
     GoesOn("Edit3", "=", "Button12", "Нефискальный чек - успешно")},
    {"PrintTestClosesAfterAFailedLine",
     [](PageTest& t) {
         t.Type("Edit7", "3");
         t.Printer.WithModel([](DeviceModel& m) { m.GetFaults().statusBits[0x2A] = {0x10}; });
     },
     "Button12", {{0x26, ""}, {0x2A, Line}, {0x27, ""}},
     {"Ошибка печати", "Ошибка печати нефискального текста",
      "Ошибка закрытия нефискального чека"}, {}, ExpectOpen(Kind::None)},
    {"PrintTestCannotOpenItsReceipt", Refuse({0x26}), "Button12", {{0x26, ""}},
     {"Команда не разрешена", "Ошибка открытия нефискального чека"}},
    // Between the lines the window keeps painting (a timer fires), clicks wait for the end.
    {"PrintTestEndsWhenTheWindowCloses", Then(Set("Edit7", "10000"), At(1 + 5, CloseWindow)),
     "Button12", {{0x26, ""}, {0x2A, Line}, {0x2A, Line}, {0x2A, Line}, {0x2A, Line},
     {0x2A, Line}, {0x27, ""}}, {"Тест остановлен"}, {}, ExpectOpen(Kind::None)},
    {"ClicksDuringThePrintTestWaitForItsEnd",
     Then(Set("Edit7", "2"), At(1 + 1, [](PageTest& t) { PostClick(t.W("Button13")); })),
     "Button12", {{0x26, ""}, {0x2A, Line}, {0x2A, Line}, {0x27, ""}},
     {"Нефискальный чек - успешно"}, {},
     [](PageTest& t) {
         t.Printer.ClearRequests();
         ProcessMessages();
         EXPECT_EQ(t.Messages.Texts.last(), U("Фискальный чек - успешно"));
         EXPECT_EQ(t.Printer.Requests().size(), 4u);
     }},
    {"PrintTestWaitsForTheRunningLoop", [](PageTest& t) { t.Window->BusyMode = BusyFullTest; },
     "Button12", {}, {LoopRefusedText}},
    {"ZeroReceipt", [](PageTest& t) { t.W<QComboBox>("ComboBox8")->setCurrentIndex(2); },
     "Button13", {{0x30, "00003,5917,00001,I"}, {0x33, "11"}, {0x35, "\tP0.00"}, {0x38, ""}},
     {"Фискальный чек - успешно"}},
    {"ZeroReceiptSubtotalRefused", Refuse({0x33}), "Button13",
     {{0x30, "00001,5917,00001,I"}, {0x33, "11"}}, {"Команда не разрешена", "Ошибка подсуммы"},
     {}, ExpectOpen(Kind::Fiscal)},
    {"ZeroReceiptPaymentRefused", Refuse({0x35}), "Button13",
     {{0x30, "00001,5917,00001,I"}, {0x33, "11"}, {0x35, "\tP0.00"}},
     {"Команда не разрешена", "Ошибка оплаты"}},
    {"ZeroReceiptCloseRefused", Refuse({0x38}), "Button13",
     {{0x30, "00001,5917,00001,I"}, {0x33, "11"}, {0x35, "\tP0.00"}, {0x38, ""}},
     {"Команда не разрешена", "Ошибка закрытия фискального чека"}},
    {"ZeroReceiptOfATypedCashier",
     [](PageTest& t) { t.W<QComboBox>("ComboBox8")->setEditText(U("Оператор 77")); },
     "Button13", {{0x30, "00000,5917,00001,I"}},
     {"Синтаксическая ошибка", "Ошибка открытия фискального чека"}},
    {"SoldArticlesReport", Report(0), "Button14", {{0x6F, "5917,S"}}, {"Отчет - успешно"}},
    {"ProgrammedArticlesReportAtALoopsPump",
     [](PageTest& t) { Report(1)(t); t.Window->BusyMode = BusyLoop; },
     "Button14", {{0x6F, "5917,P"}}, {"Отчет - успешно"}},
    {"GroupsReport", Report(2), "Button14", {{0x6F, "5917,G"}}, {"Отчет - успешно"}},
    {"ZReportDoubleClickedPrintsOnce", Then(Report(4), DoubleClicked), "Button14",
     {{0x45, "5917,0"}}, {"Отчет - успешно"}, {},
     [](PageTest& t) {
         EXPECT_EQ(t.Printer.WithModel([](DeviceModel& m) { return m.GetState().fiscalMemory.size(); }), 1u);
     }},
    {"XReport", Report(3), "Button14", {{0x45, "5917,2"}}, {"Отчет - успешно"}},
    {"ZReportRefused", [](PageTest& t) { Report(4)(t); t.Type("Edit23", "1"); }, "Button14",
     {{0x45, "1,0"}}, {"Команда не разрешена", "Ошибка отчета"}},
    {"CancellationWithNothingOpen", nullptr, "Button15", {{0x4A, "X"}}, {"Нет открытых чеков"}},
    {"CancellationOfAReturnReceipt", Open(Kind::Return), "Button15", {{0x4A, "X"}, {0x39, ""}},
     {"Анулирование - успешно"}, {}, ExpectOpen(Kind::None)},
    {"CancellationOfANonFiscalReceipt", Open(Kind::NonFiscal), "Button15",
     {{0x4A, "X"}, {0x27, ""}}, {"Анулирование - успешно"}, {}, ExpectOpen(Kind::None)},
    // The receipt is closed instead, which records its sales: no success all the same.
    {"CancellationRefusedClosesInstead", Open(Kind::Fiscal, 0, {0x39}), "Button15",
     {{0x4A, "X"}, {0x39, ""}, {0x38, ""}},
     {"Команда не разрешена", "Ошибка анулирования\nЧек закрыт"}, {}, ExpectOpen(Kind::None)},
    {"CancellationAndCloseRefused", Open(Kind::Fiscal, 0, {0x39, 0x38}), "Button15",
     {{0x4A, "X"}, {0x39, ""}, {0x38, ""}},
     {"Команда не разрешена", "Команда не разрешена", "Ошибка анулирования\nЧек остался открытым"},
     {}, ExpectOpen(Kind::Fiscal)},
    {"NonFiscalCloseRefused", Open(Kind::NonFiscal, 0, {0x27}), "Button15",
     {{0x4A, "X"}, {0x27, ""}}, {"Команда не разрешена", "Ошибка анулирования"}, {},
     ExpectOpen(Kind::NonFiscal)},
    {"CancellationWithoutAState", Open(Kind::Fiscal, 1), "Button15", {{0x4A, "X"}},
     {"Ошибка приема команды", "Ошибка анулирования"}, {}, ExpectOpen(Kind::Fiscal)},
    {"ShortReportByNumber", Periodic("RadioGroup3_0", "RadioGroup4_0"), "Button24",
     {{0x5F, "5917,0001,0001"}}, {"Сокращенный отчет выполнен!"}},
    {"FullReportByDate", Periodic("RadioGroup3_1", "RadioGroup4_1", {2006, 4, 10}, {2006, 4, 15}),
     "Button24", {{0x5E, "5917,100406,150406"}}, {"Полный отчет выполнен!"}},
    {"PeriodicReportRefused",
     [](PageTest& t) { Periodic("RadioGroup3_0", "RadioGroup4_0")(t); t.Type("Edit23", "1"); },
     "Button24", {{0x5F, "1,0001,0001"}}, {"Команда не разрешена", "Ошибка выполнения отчета"}},
    {"ReportNumberThatIsNoNumber",
     [](PageTest& t) { Periodic("RadioGroup3_0", "RadioGroup4_1")(t); t.Type("Edit26", "x"); },
     "Button24", {}, {"'x' не является допустимым целым числом"}, {},
     GoesOn("Edit26", "12", "Button24", "Полный отчет выполнен!")},
};
// clang-format on

TEST_P(FunctionsPage, Row) {
    RunRow();
}
INSTANTIATE_TEST_SUITE_P(Rows, FunctionsPage, ::testing::ValuesIn(Rows), CaseName);

// The report type shows its pair of fields on a click, and also when the focus leaves the group
// with a type checked otherwise; focus moving inside the group or to another window is no exit.
using ReportType = DeviceTest;

TEST_F(ReportType, ShowsItsFields) {
    const auto shown = [&] {
        QStringList on;
        for (const char* name :
             {"Label38", "DateEdit1", "DateEdit2", "Label40", "Edit25", "Edit26"})
            if (!Get<QWidget>(name)->isHidden() && Get<QWidget>(name)->isEnabled()) on << U(name);
        return on.join(' ');
    };
    const QString byDate = U("Label38 DateEdit1 DateEdit2"), byNumber = U("Label40 Edit25 Edit26");
    ASSERT_TRUE(ShowActive(*Window));
    Get<TPageControl>("PageControl1")->setCurrentWidget(Get<QWidget>("TabSheet5"));
    EXPECT_EQ(shown(), QString());
    EXPECT_FALSE(Get<QWidget>("Button24")->isEnabled());
    EXPECT_EQ(Get<QDateEdit>("DateEdit1")->date(), QDate::currentDate());
    Get<QRadioButton>("RadioGroup3_1")->click();
    EXPECT_EQ(shown(), byDate);
    EXPECT_TRUE(Get<QWidget>("Button24")->isEnabled());
    Get<QRadioButton>("RadioGroup3_0")->click();
    EXPECT_EQ(shown(), byNumber);

    SetRadioGroupItemIndex(Get<QGroupBox>("RadioGroup3"), 1);
    Get<QWidget>("RadioGroup3_1")->setFocus(Qt::TabFocusReason);
    Get<QWidget>("RadioGroup3_0")->setFocus(Qt::TabFocusReason);
    QLineEdit other;
    ASSERT_TRUE(ShowActive(other));
    other.close();
    ASSERT_TRUE(ShowActive(*Window));
    EXPECT_EQ(QApplication::focusWidget(), Get<QWidget>("RadioGroup3_0"));
    EXPECT_EQ(shown(), byNumber);
    Get<QWidget>("Edit7")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(shown(), byDate);
}

} // namespace
