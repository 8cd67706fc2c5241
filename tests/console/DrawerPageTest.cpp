#include "Busy.h"
#include "DeviceFixture.h"
#include "PageControl.h"

#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include <functional>

namespace {

using Request = std::pair<int, std::string>;
using Requests = std::vector<Request>;

constexpr int DrawerCode = 0x6A, CashCode = 0x46, ArticlesCode = 0x6B;

class DrawerPage : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        // Amounts are typed the Russian way, with a decimal comma.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    }
    void TearDown() override {
        QLocale::setDefault(QLocale::c());
        DeviceTest::TearDown();
    }
    void Type(const char* edit, const char* text) { Get<QLineEdit>(edit)->setText(U(text)); }
    DeviceModel::State Device() {
        return Printer.WithModel([](DeviceModel& m) { return m.GetState(); });
    }
};

TEST_F(DrawerPage, DrawerServiceCashAndArticles) {
    const QString badPulse = U("Некорректная длина импульса \n   исправьте!!!");
    const QString notAmount = U("Некорректная сумма для вноса/выноса \n   исправьте!!!");
    const QString notPositive = U("Некорректная сумма для вноса/выноса\n   исправьте!!!");
    const QString opened = U("Открыть ящик - успешно");
    const QString cashDone = U("Служебный внос/вынос - успешно");
    const QString refused = U("Команда не разрешена");
    auto* list = Get<QComboBox>("ComboBox6");

    struct Case {
        const char* name;
        const char* button;
        std::function<void()> arrange;
        Requests requests;
        QStringList messages;
        int drawerOpenings; // on the device afterwards
        long long cash;     // kopecks in the drawer afterwards (it starts at 100.00)
        int busyBefore = 0; // the code of a loop running when the button is clicked
    };
    const Case cases[] = {
        {"the default pulse", "Button10", [] {}, {{DrawerCode, "20"}}, {opened}, 1, 10000},
        {"the shortest pulse",
         "Button10",
         [this] { Type("Edit9", "5"); },
         {{DrawerCode, "5"}},
         {opened},
         1,
         10000},
        {"the longest pulse, longer than the label says",
         "Button10",
         [this] { Type("Edit9", "150"); },
         {{DrawerCode, "150"}},
         {opened},
         1,
         10000},
        {"a pulse too short", "Button10", [this] { Type("Edit9", "4"); }, {}, {badPulse}, 0, 10000},
        {"a pulse too long",
         "Button10",
         [this] { Type("Edit9", "151"); },
         {},
         {badPulse},
         0,
         10000},
        {"no pulse", "Button10", [this] { Type("Edit9", ""); }, {}, {badPulse}, 0, 10000},
        {"a drawer the device does not answer",
         "Button10",
         [this] { Printer.WithModel([](DeviceModel& m) { m.GetFaults().nak = 1; }); },
         {{DrawerCode, "20"}},
         {U("Ошибка приема команды"), U("Ошибка открытия ящика")},
         0,
         10000},
        {"a pulse at a running loop's pump keeps the loop's code",
         "Button10",
         [] {},
         {{DrawerCode, "20"}},
         {opened},
         1,
         10000,
         BusyLoop},
        {"a deposit",
         "Button20",
         [this] { Type("Edit17", "250"); },
         {{CashCode, "250.00"}},
         {cashDone},
         0,
         35000},
        {"a withdrawal with a decimal comma",
         "Button20",
         [&] {
             list->setCurrentIndex(1);
             Type("Edit17", "12,5");
         },
         {{CashCode, "-12.50"}},
         {cashDone},
         0,
         8750},
        {"a typed operation puts cash in",
         "Button20",
         [&] {
             list->setCurrentIndex(1);
             list->setEditText(U("вынос"));
             Type("Edit17", "1");
         },
         {{CashCode, "1.00"}},
         {cashDone},
         0,
         10100},
        {"amounts are rounded to kopecks",
         "Button20",
         [this] { Type("Edit17", "0,125"); },
         {{CashCode, "0.13"}},
         {cashDone},
         0,
         10013},
        {"less than a kopeck is no amount",
         "Button20",
         [this] { Type("Edit17", "0,001"); },
         {},
         {notPositive},
         0,
         10000},
        {"a zero amount", "Button20", [this] { Type("Edit17", "0"); }, {}, {notPositive}, 0, 10000},
        {"a negative amount",
         "Button20",
         [this] { Type("Edit17", "-5"); },
         {},
         {notPositive},
         0,
         10000},
        {"letters", "Button20", [this] { Type("Edit17", "сто"); }, {}, {notAmount}, 0, 10000},
        {"a decimal point under a Russian locale",
         "Button20",
         [this] { Type("Edit17", "12.5"); },
         {},
         {notAmount},
         0,
         10000},
        {"no amount", "Button20", [] {}, {}, {notAmount}, 0, 10000},
        {"a withdrawal beyond the cash in the drawer",
         "Button20",
         [&] {
             list->setCurrentIndex(1);
             Type("Edit17", "100,01");
         },
         {{CashCode, "-100.01"}},
         {refused, U("Ошибка ")},
         0,
         10000},
        {"an amount too long for a frame",
         "Button20",
         [this] { Type("Edit17", "1e200"); },
         {},
         {U("Ошибка ")},
         0,
         10000},
        {"article deletion with the default password",
         "Button21",
         [] {},
         {{ArticlesCode, "DA,5917"}},
         {U("Удаление артикулов - успешно")},
         0,
         10000},
        {"article deletion with a wrong password",
         "Button21",
         [this] { Type("Edit18", "1"); },
         {{ArticlesCode, "DA,1"}},
         {refused, U("Ошибка ")},
         0,
         10000},
    };

    // The drawer holds 100.00 to start with.
    Type("Edit17", "100");
    list->setCurrentIndex(0);
    Window->Button20Click(nullptr);
    ASSERT_EQ(Messages.Texts, QStringList{cashDone});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Type("Edit9", "20");
        Type("Edit17", "");
        Type("Edit18", "5917");
        list->setCurrentIndex(0);
        c.arrange();
        const DeviceModel::State before = Device();
        Printer.ClearRequests();
        Messages.Texts.clear();
        Window->BusyMode = c.busyBefore;

        Get<QPushButton>(c.button)->click();

        EXPECT_EQ(Received(), c.requests);
        EXPECT_EQ(Messages.Texts, c.messages);
        const DeviceModel::State after = Device();
        EXPECT_EQ(after.drawerOpenings - before.drawerOpenings, c.drawerOpenings);
        if (c.drawerOpenings) {
            EXPECT_EQ(after.lastDrawerPulse, std::stoi(c.requests[0].second));
        }
        EXPECT_EQ(after.cash, c.cash);
        EXPECT_EQ(Window->BusyMode, c.busyBefore);
        // Cash put back to 100.00 for the next case.
        if (after.cash != 10000) {
            const double back = (10000 - after.cash) / 100.0;
            EXPECT_EQ(PrinterCashInOut(nullptr, PrinterResultsx, 0, back), 0);
        }
    }
}

TEST_F(DrawerPage, EveryPageChangePutsTheCashListBackToItsFirstEntry) {
    auto* pages = Get<QTabWidget>("PageControl1");
    auto* list = Get<QComboBox>("ComboBox6");
    EXPECT_EQ(list->currentIndex(), -1);
    for (int page : {2, 7, 0}) {
        list->setCurrentIndex(1);
        list->setEditText(U("что-то"));
        pages->setCurrentIndex(page);
        emit Get<TPageControl>("PageControl1")->pageChangedByUser(page);
        EXPECT_EQ(list->currentIndex(), 0) << page;
        EXPECT_EQ(list->currentText(), U("Служебный внос")) << page;
    }
    EXPECT_TRUE(Received().empty());
    EXPECT_TRUE(Messages.Texts.isEmpty());
    // The program's own page changes leave the list alone.
    list->setCurrentIndex(1);
    pages->setCurrentIndex(2);
    EXPECT_EQ(list->currentIndex(), 1);
}

} // namespace
