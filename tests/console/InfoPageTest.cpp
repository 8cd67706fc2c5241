#include "DeviceFixture.h"
#include "PageControl.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <functional>

namespace {

using Request = std::pair<int, std::string>;
using Requests = std::vector<Request>;
using Kind = DeviceModel::ReceiptKind;

constexpr int DiagnosticsCode = 0x5A, TaxNumberCode = 0x63, TaxRatesCode = 0x61;

// The displays in the page's order: factory number, fiscal number, tax number, firmware, tax
// rates, switches.
const char* const Displays[] = {"Edit12", "Edit13", "Edit14", "Edit15", "Edit16", "Edit8"};
// "Фискализирован", "Открыт фискальный чек", "Открыт чек возврата", "Открыт нефискальный чек".
const char* const Boxes[] = {"CheckBox2", "CheckBox3", "CheckBox4", "CheckBox5"};

class InfoPage : public DeviceTest {
protected:
    // The user picks the page, as by a click on its tab.
    void Visit(int page) {
        auto* pages = Get<TPageControl>("PageControl1");
        pages->setCurrentIndex(page);
        emit pages->pageChangedByUser(page);
    }
    QStringList Shown() {
        QStringList out;
        for (const char* display : Displays)
            out << Get<QLineEdit>(display)->text();
        return out;
    }
    std::vector<bool> Ticked() {
        std::vector<bool> out;
        for (const char* box : Boxes)
            out.push_back(Get<QCheckBox>(box)->isChecked());
        return out;
    }
};

TEST_F(InfoPage, ShowsTheDevicesIdentityAndStateAndNothingStale) {
    const QStringList healthy = {U("TR00012345"),
                                 U("1234567890"),
                                 U("ПН123456789012"),
                                 U("1.00"),
                                 U("А20.00,Б07.00,В00.00,Г14.00,Д00.00"),
                                 U("00101100")};
    const Requests all = {{DiagnosticsCode, "1"}, {TaxNumberCode, ""}, {TaxRatesCode, ""}};
    const QString failed = U("Ошибка получения информации");
    const QString refused = U("Команда не разрешена");
    const auto open = [this](Kind kind) {
        return [this, kind] {
            Printer.WithModel([kind](DeviceModel& m) { m.LeaveReceiptOpen(kind); });
        };
    };
    const auto refuse = [this](int code) {
        return [this, code] {
            Printer.WithModel([code](DeviceModel& m) {
                m.GetFaults().statusBits[code] = {0, 0x02};
            });
        };
    };
    QStringList firstOnly = healthy;
    firstOnly[2] = firstOnly[4] = QString();

    struct Case {
        const char* name;
        std::function<void()> arrange;
        Requests requests;
        QStringList messages;
        QStringList shown;
        std::vector<bool> ticked;
    };
    const Case cases[] = {
        {"a fiscalized device with no receipt open",
         [] {},
         all,
         {},
         healthy,
         {true, false, false, false}},
        {"a fiscal receipt open", open(Kind::Fiscal), all, {}, healthy, {true, true, false, false}},
        {"a return receipt open", open(Kind::Return), all, {}, healthy, {true, false, true, false}},
        {"a non-fiscal receipt open",
         open(Kind::NonFiscal),
         all,
         {},
         healthy,
         {true, false, false, true}},
        {"a silent device",
         [this] { Printer.WithModel([](DeviceModel& m) { m.GetFaults().silent = 1; }); },
         {{DiagnosticsCode, "1"}},
         {U("Таймаут"), failed},
         QStringList(6, QString()),
         {false, false, false, false}},
        {"a refused tax number leaves it and the later displays empty",
         refuse(TaxNumberCode),
         {{DiagnosticsCode, "1"}, {TaxNumberCode, ""}},
         {refused, failed},
         firstOnly,
         {false, false, false, false}},
        {"refused tax rates leave the state unknown",
         refuse(TaxRatesCode),
         all,
         {refused, failed},
         [&] {
             QStringList shown = healthy;
             shown[4] = QString();
             return shown;
         }(),
         {false, false, false, false}},
        // Last: the device stays new.
        {"a new device without numbers",
         [this] { Printer.WithModel([](DeviceModel& m) { m.MakeFresh(); }); },
         all,
         {},
         {"", "", U("ПН"), U("1.00"), healthy[4], U("00101100")},
         {false, false, false, false}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // What an earlier visit to another device showed.
        for (const char* display : Displays)
            Get<QLineEdit>(display)->setText(U("старое"));
        for (const char* box : Boxes)
            Get<QCheckBox>(box)->setChecked(true);
        c.arrange();
        Printer.ClearRequests();
        Messages.Texts.clear();

        Visit(3);

        EXPECT_EQ(Received(), c.requests);
        EXPECT_EQ(Messages.Texts, c.messages);
        EXPECT_EQ(Shown(), c.shown);
        // A long text shows from its start.
        EXPECT_EQ(Get<QLineEdit>("Edit16")->cursorPosition(), 0);
        EXPECT_EQ(Ticked(), c.ticked);
        EXPECT_EQ(Get<QLabel>("Label26")->text(), QString());
        Visit(0);
        Printer.WithModel([](DeviceModel& m) {
            m.GetFaults() = {};
            m.LeaveReceiptOpen(Kind::None);
        });
    }
    // Leaving the page or coming to another one sends nothing.
    Printer.ClearRequests();
    Visit(7);
    Visit(2);
    EXPECT_TRUE(Received().empty());
}

} // namespace
