// The general information page against the simulated printer: filled anew on every visit.

#include "PageCases.h"

#include <QCheckBox>
#include <QLabel>

namespace {

using Kind = DeviceModel::ReceiptKind;

constexpr int DiagnosticsCode = 0x5A, TaxNumberCode = 0x63, TaxRatesCode = 0x61;

// The displays, factory number to switches, and the state boxes: fiscalized, fiscal receipt
// open, return receipt open, non-fiscal receipt open.
const char* const Displays[] = {"Edit12", "Edit13", "Edit14", "Edit15", "Edit16", "Edit8"};
const char* const Boxes[] = {"CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5"};

// Each row starts on another page with the page showing what an earlier visit to another
// device showed; the row's act is the user's change to this page.
struct InfoPage : PageTest {
    InfoPage() : PageTest("TabSheet1") {}
    void SetUp() override {
        PageTest::SetUp();
        for (const char* display : Displays)
            Type(display, "старое");
        for (const char* box : Boxes)
            W<QCheckBox>(box)->setChecked(true);
    }
    void Act(const PageCase&) override {
        auto* pages = W<TPageControl>("PageControl1");
        pages->setCurrentWidget(W("TabSheet4"));
        emit pages->pageChangedByUser(pages->currentIndex());
    }
};

Step Open(Kind kind) {
    return [=](PageTest& t) {
        t.Printer.WithModel([=](DeviceModel& m) { m.LeaveReceiptOpen(kind); });
    };
}
Step Refuse(int command) {
    return [=](PageTest& t) {
        t.Printer.WithModel([=](DeviceModel& m) { m.GetFaults().statusBits[command] = {0, 2}; });
    };
}

// The six displays and the four boxes ("1" ticked); "" for an empty display. The wait label is
// gone, and a text longer than its display shows from its start.
Step Shows(std::vector<const char*> displays, const char* ticked) {
    return [=](PageTest& t) {
        for (size_t i = 0; i < std::size(Displays); ++i)
            EXPECT_EQ(t.W<QLineEdit>(Displays[i])->text(), U(displays[i])) << Displays[i];
        for (size_t i = 0; i < std::size(Boxes); ++i)
            EXPECT_EQ(t.W<QCheckBox>(Boxes[i])->isChecked(), ticked[i] == '1') << Boxes[i];
        EXPECT_EQ(t.W<QLabel>("Label26")->text(), QString());
        EXPECT_EQ(t.W<QLineEdit>("Edit16")->cursorPosition(), 0);
    };
}

const std::vector<std::pair<int, std::string>> All = {
    {DiagnosticsCode, "1"}, {TaxNumberCode, ""}, {TaxRatesCode, ""}};
const char* const Rates = "А20.00,Б07.00,В00.00,Г14.00,Д00.00";
const std::vector<const char*> Healthy = {"TR00012345", "1234567890", "ПН123456789012",
                                          "1.00",       Rates,        "00101100"};
const char* const Failed = "Ошибка получения информации";

// clang-format off
const PageCase Rows[] = {
    {"FiscalizedWithNoReceiptOpen", nullptr, "", All, {}, {}, Shows(Healthy, "1000")},
    {"FiscalReceiptOpen", Open(Kind::Fiscal), "", All, {}, {}, Shows(Healthy, "1100")},
    {"ReturnReceiptOpen", Open(Kind::Return), "", All, {}, {}, Shows(Healthy, "1010")},
    {"NonFiscalReceiptOpen", Open(Kind::NonFiscal), "", All, {}, {}, Shows(Healthy, "1001")},
    {"IdentificationNumber",
     [](PageTest& t) {
         t.Printer.WithModel([](DeviceModel& m) {
             DeviceModel::Options options = m.GetOptions();
             options.taxNumberKind = 1;
             m = DeviceModel(options);
         });
     },
     "", All, {}, {},
     Shows({"TR00012345", "1234567890", "IД123456789012", "1.00", Rates, "00101100"}, "1000")},
    {"NewDeviceWithoutNumbers",
     [](PageTest& t) { t.Printer.WithModel([](DeviceModel& m) { m.MakeFresh(); }); }, "", All,
     {}, {}, Shows({"", "", "ПН", "1.00", Rates, "00101100"}, "0000")},
    {"SilentDevice",
     [](PageTest& t) { t.Printer.WithModel([](DeviceModel& m) { m.GetFaults().silent = 1; }); },
     "", {{DiagnosticsCode, "1"}}, {"Таймаут", Failed}, {}, Shows({"", "", "", "", "", ""}, "0000")},
    {"TaxNumberRefused", Refuse(TaxNumberCode), "", {{DiagnosticsCode, "1"}, {TaxNumberCode, ""}},
     {"Команда не разрешена", Failed}, {},
     Shows({"TR00012345", "1234567890", "", "1.00", "", "00101100"}, "0000")},
    {"TaxRatesRefused", Refuse(TaxRatesCode), "", All, {"Команда не разрешена", Failed}, {},
     Shows({"TR00012345", "1234567890", "ПН123456789012", "1.00", "", "00101100"}, "0000")},
};
// clang-format on

TEST_P(InfoPage, Row) {
    RunRow();
}
INSTANTIATE_TEST_SUITE_P(Rows, InfoPage, ::testing::ValuesIn(Rows), CaseName);

} // namespace
