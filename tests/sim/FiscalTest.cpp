// The printer's fiscal rules: what the console's sequences do on a healthy device, and what the
// device refuses, with the status bit it sets.
#include "Device.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint8_t kSyntax = 0x01;       // S0
constexpr std::uint8_t kNotPermitted = 0x02; // S1

// The sequences the console sends must all succeed on a new simulated printer.
class SimHealthy : public ::testing::Test {
protected:
    void Ok(int cmd, std::string_view data = {}) {
        const auto r = d.Send(cmd, data);
        ASSERT_TRUE(r.valid) << std::hex << cmd;
        EXPECT_FALSE(r.Error()) << "command 0x" << std::hex << cmd << " data " << data;
        reply = r;
    }
    Device d;
    frames::Reply reply;
};

const std::string kSweep =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyzАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩьЫЪЭЮЯЄЇабвгдежз"
    "ийклмнопрстуфхцчшщьыъэюяєї";

TEST_F(SimHealthy, FullDeviceTestPassRunsWithoutAnError) {
    Ok(0x5A, "1");
    const auto fields = Device::Fields(reply.data, true);
    ASSERT_GE(fields.size(), 8u);
    EXPECT_EQ(fields[0], "1.00");
    EXPECT_EQ(fields[4], "00101100");
    EXPECT_EQ(fields[6], "TR00012345");
    EXPECT_EQ(fields[7], "1234567890");
    EXPECT_EQ(reply.status[5] & 0x32, 0x32); // serial, formatted, fiscal number
    EXPECT_EQ(reply.status[2] & 0x28, 0);    // no receipt open

    const char* header[8] = {
        "У К Р А Ї Н А", "К И Ї В", "АТ \"ВЕЛТОР УКРАЇНА\"", "тел. 123-45-67", "", "", "", ""};
    for (int i = 0; i < 8; ++i)
        Ok(0x2B, std::to_string(i) + header[i]);
    Ok(0x4A, "W");
    Ok(0x3D, "08-12-26 10:15");
    Ok(0x47);
    Ok(0x5A, "1");
    Ok(0x3E);
    ASSERT_EQ(reply.data.size(), 17u);
    EXPECT_EQ(reply.data.substr(0, 15), "08-12-26 10:15:") << reply.data;
    Ok(0x63);
    Ok(0x45, "5917,2");
    // Non-fiscal receipt.
    Ok(0x26);
    for (int blanks : {0, 3, 6, 8, 11})
        Ok(0x2A, std::string(blanks, ' ') + "НеФиСкАлЬнЫй  Текст");
    Ok(0x27);
    EXPECT_FALSE(reply.data.empty());
    // Display sweeps.
    const std::string sweep = sim::ToCp1251(kSweep + kSweep);
    for (int i = 0; i < 120; ++i) {
        const auto r = d.Send(0x23, sim::FromCp1251(sweep.substr(i, 20)));
        EXPECT_FALSE(r.Error());
    }
    EXPECT_EQ(d.model.GetState().displayLower, sweep.substr(119, 20));
    for (int i = 0; i < 120; ++i)
        Ok(0x2F, sim::FromCp1251(sweep.substr(i, 20)));
    // Fiscal block.
    Ok(0x45, "5917,0");
    Ok(0x46, "10.00");
    Ok(0x46, "-10.00");
    Ok(0x6B, "PА100,1,1.25,5917,Кулебяка");
    Ok(0x30, "00001,5917,00001,I");
    EXPECT_EQ(reply.status[2] & 0x08, 0x08);
    Ok(0x36, "Фискальный  ТеКсТ");
    Ok(0x34, "100*4.000,-5.00");
    Ok(0x33, "11;-1.00");
    EXPECT_EQ(reply.data, "3.75");
    Ok(0x35, "\tP10.00");
    EXPECT_EQ(reply.data, "F6.25");
    Ok(0x38);
    Ok(0x55, "00001,5917,00001,I");
    EXPECT_EQ(reply.status[1] & 0x08, 0x08);
    EXPECT_EQ(reply.status[2] & 0x08, 0x08);
    Ok(0x36, "Фискальный  ТеКсТ");
    Ok(0x34, "100*2.000;-1.00");
    Ok(0x35, "\tP5.00");
    Ok(0x38);
    Ok(0x6F, "5917,S");
    EXPECT_EQ(reply.data, "1");
    Ok(0x45, "5917,0");
    Ok(0x3E);

    const auto& s = d.model.GetState();
    ASSERT_EQ(s.fiscalMemory.size(), 2u);
    EXPECT_EQ(s.fiscalMemory[0].number, 1);
    EXPECT_EQ(s.fiscalMemory[1].number, 2);
    EXPECT_EQ(s.fiscalMemory[1].sales[0], 375);
    EXPECT_EQ(s.fiscalMemory[1].returns[0], 150);
    EXPECT_EQ(s.fiscalMemory[1].receipts, 2);
    EXPECT_EQ(s.fiscalMemory[1].date.day, 8);
    EXPECT_EQ(s.day.sales[0], 0); // the day starts again after a Z report
    EXPECT_EQ(s.fiscalReceiptNumber, 2);
    EXPECT_EQ(s.receipt.kind, DeviceModel::ReceiptKind::None);
    EXPECT_FALSE(s.articles.at(100).sold);
}

TEST_F(SimHealthy, FiscalReceiptIsLaidOutOnPaper) {
    Ok(0x6B, "PА100,1,1.25,5917,Кулебяка");
    Ok(0x30, "00001,5917,00001,I");
    Ok(0x34, "100*4.000,-5.00");
    Ok(0x35, "\tP10.00");
    Ok(0x38);
    const auto roll = d.RollUtf8();
    auto has = [&roll](const std::string& text) {
        for (const auto& l : roll)
            if (l.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(has("Кулебяка"));
    EXPECT_TRUE(has("4.000 x 1.25"));
    EXPECT_TRUE(has("-0.25"));
    EXPECT_TRUE(has("ИТОГО"));
    EXPECT_TRUE(has("4.75"));
    EXPECT_TRUE(has("СДАЧА"));
    EXPECT_TRUE(has("5.25"));
    EXPECT_TRUE(has("НДС А 20.00%")); // 4.75 * 20 / 120
    EXPECT_TRUE(has("0.79"));
    EXPECT_TRUE(has("ФИСКАЛЬНЫЙ ЧЕК"));
    for (const auto& l : d.model.GetState().paperRoll)
        EXPECT_LE(l.size(), static_cast<std::size_t>(DeviceModel::kLineWidth));
    EXPECT_EQ(d.model.GetState().cash, 475);
}

TEST_F(SimHealthy, ZeroReceiptPrintTestDrawerCutterBeeperAndPasswords) {
    // Zero receipt: no sale, closed with a payment of 0.
    Ok(0x30, "00001,5917,00001,I");
    Ok(0x33, "11");
    Ok(0x35, "\tP0.00");
    Ok(0x38);
    EXPECT_EQ(d.model.GetState().fiscalReceiptNumber, 1);
    // Print test with 35 characters a line.
    Ok(0x26);
    Ok(0x2A, std::string(35 * 2, ' ').replace(0, 70, "ШШШШШШШШШШШШШШШШШШШШШШШШШШШШШШШШШШШ"));
    Ok(0x27);
    Ok(0x6A, "20");
    Ok(0x6A);
    EXPECT_EQ(d.model.GetState().drawerOpenings, 2);
    EXPECT_EQ(d.model.GetState().lastDrawerPulse, DeviceModel::kDefaultDrawerPulse);
    Ok(0x2D);
    Ok(0x50);
    EXPECT_EQ(d.model.GetState().cuts, 1);
    EXPECT_EQ(d.model.GetState().beeps, 1);
    Ok(0x21);
    EXPECT_EQ(d.model.GetState().displayUpper, "");
    // Passwords: a cashier changes hers; the administrator resets it.
    Ok(0x65, "3,5917,1234");
    EXPECT_TRUE(d.Send(0x30, "00003,5917,00001,I").status[1] & kNotPermitted);
    Ok(0x30, "00003,1234,00001,I");
    Ok(0x39);
    Ok(0x77, "3,0000");
    Ok(0x30, "00003,5917,00001,I");
    Ok(0x39);
    Ok(0x65, "16,5917,42");
}

TEST_F(SimHealthy, EveryReportRuns) {
    for (const char* kind : {"S", "P", "G"})
        Ok(0x6F, std::string("5917,") + kind);
    Ok(0x45, "5917,2");
    Ok(0x45, "5917,0");
    Ok(0x45, "5917,0");
    EXPECT_EQ(reply.data.substr(0, 2), "2,");
    Ok(0x5F, "5917,0001,0001");
    EXPECT_EQ(reply.data, "1");
    Ok(0x49, "5917,0001,0002");
    EXPECT_EQ(reply.data, "2");
    // Dates as DDMMYY; the full report pads them to six columns.
    Ok(0x4F, "5917,010126,311226");
    EXPECT_EQ(reply.data, "2");
    Ok(0x5E, "5917,010126,311226");
    EXPECT_EQ(reply.data, "2");
    Ok(0x5F, "5917,0005,0009"); // no records in the range: printed as such
    EXPECT_EQ(reply.data, "0");
    Ok(0x61);
    EXPECT_EQ(reply.Utf8(), "А20.00,Б07.00,В00.00,Г14.00,Д00.00");
    Ok(0x63);
    EXPECT_EQ(Device::Fields(reply.data)[1], "0");
    Ok(0x46);
    EXPECT_EQ(reply.data, "0.00,0.00,0.00");
}

TEST(SimRefusals, ReceiptRulesAndTheirStatusBits) {
    Device d;
    d.Send(0x6B, "PА100,1,1.25,5917,Кулебяка");
    // A sale outside a fiscal receipt.
    EXPECT_EQ(d.Send(0x34, "100").status[1], 0x80 | kNotPermitted);
    EXPECT_EQ(d.Send(0x34, "100").status[0], 0x80 | 0x20); // general error beside it
    // Close or pay with no receipt open.
    EXPECT_TRUE(d.Send(0x38).status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x35, "\tP1.00").status[1] & kNotPermitted);
    // Wrong password, unknown operator.
    EXPECT_TRUE(d.Send(0x30, "00001,1111,00001,I").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x30, "00000,5917,00001,I").status[0] & kSyntax);
    EXPECT_EQ(d.model.GetState().receipt.kind, DeviceModel::ReceiptKind::None);

    ASSERT_FALSE(d.Send(0x30, "00001,5917,00001,I").Error());
    // A second receipt, a non-fiscal one, a Z report or a cash operation while it is open.
    EXPECT_TRUE(d.Send(0x30, "00001,5917,00001,I").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x26).status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x45, "5917,0").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x46, "5.00").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x3D, "01-01-27 10:00").status[1] & kNotPermitted);
    // An unknown article, a malformed sale.
    EXPECT_TRUE(d.Send(0x34, "999").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x34, "100*x").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x34, "100,5.00;1.00").status[0] & kSyntax);
    // A void of more than the receipt holds.
    ASSERT_FALSE(d.Send(0x34, "100*2").Error());
    EXPECT_TRUE(d.Send(0x34, "-100*3").status[1] & kNotPermitted);
    ASSERT_FALSE(d.Send(0x34, "-100").Error());
    EXPECT_EQ(d.model.GetState().receipt.Subtotal(), 125);
    // Closing unpaid, paying short: refused, and the reply says what is due.
    EXPECT_TRUE(d.Send(0x38).status[1] & kNotPermitted);
    const auto shortPay = d.Send(0x35, "\tP1.00");
    EXPECT_TRUE(shortPay.status[1] & kNotPermitted);
    EXPECT_EQ(shortPay.data, "D1.25");
    // A card gives no change.
    EXPECT_TRUE(d.Send(0x35, "\tD2.00").status[1] & kNotPermitted);
    ASSERT_FALSE(d.Send(0x35, "\tP1.25").Error());
    // Paid in full: no more sales, no cancelling; closing works.
    EXPECT_TRUE(d.Send(0x34, "100").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x39).status[1] & kNotPermitted);
    EXPECT_FALSE(d.Send(0x38).Error());
}

TEST(SimRefusals, CancelledReceiptLeavesTheTotalsAlone) {
    Device d;
    d.Send(0x6B, "PБ5,2,3.00,5917,Чай");
    d.Send(0x30, "00002,5917,00001,I");
    d.Send(0x34, "5*2");
    ASSERT_FALSE(d.Send(0x39).Error());
    const auto& s = d.model.GetState();
    EXPECT_EQ(s.receipt.kind, DeviceModel::ReceiptKind::None);
    EXPECT_EQ(s.day.sales[1], 0);
    EXPECT_EQ(s.day.cancelledReceipts, 1);
    EXPECT_FALSE(s.articles.at(5).sold);
    EXPECT_TRUE(d.Send(0x39).status[1] & kNotPermitted); // nothing left to cancel
}

TEST(SimRefusals, NonFiscalReceiptRules) {
    Device d;
    EXPECT_TRUE(d.Send(0x2A, "text").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x27).status[1] & kNotPermitted);
    const auto open = d.Send(0x26);
    EXPECT_EQ(open.status[2] & 0x20, 0x20);
    EXPECT_TRUE(d.Send(0x34, "1").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x39).status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x45, "5917,2").status[1] & kNotPermitted);
    const auto close = d.Send(0x27);
    EXPECT_FALSE(close.Error());
    EXPECT_EQ(close.status[2] & 0x20, 0);
}

TEST(SimRefusals, ReportsAndArticlesNeedTheRightPassword) {
    Device d;
    EXPECT_TRUE(d.Send(0x45, "1111,2").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x45, "5917,7").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x6F, "1111,S").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x6F, "5917,X").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x5F, "1111,0001,0001").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x5F, "5917,0002,0001").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x4F, "5917,310226,010326").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x5E, "5917,  0101,311226").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x6B, "PА1,1,1.00,1111,X").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x6B, "PZ1,1,1.00,5917,X").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x6B, "PА1,100,1.00,5917,X").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x6B, "PА1,1,0.00,5917,X").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x77, "1,5917").status[1] & kNotPermitted); // not the administrator's
    EXPECT_TRUE(d.Send(0x65, "1,1111,2222").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x65, "1,5917,").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x65, "17,5917,1").status[0] & kSyntax);
    // The administrator may do what the report and programming operators may.
    EXPECT_FALSE(d.Send(0x45, "0000,2").Error());
    EXPECT_FALSE(d.SendRaw(0x6B, "P\x80"
                                 "1,1,1.00,0000,X")
                     .Error()); // А in the device's code
    EXPECT_EQ(d.model.GetState().articles.at(1).taxGroup, 0);
}

TEST(SimRefusals, SoldArticlesCannotBeDeletedOrChangedUntilTheZReport) {
    Device d;
    d.Send(0x6B, "PА1,1,1.00,5917,Хліб");
    d.Send(0x6B, "PВ2,1,2.00,5917,Сіль");
    d.Send(0x30, "00001,5917,00001,I");
    d.Send(0x34, "1");
    d.Send(0x35, "\tP1.00");
    d.Send(0x38);
    EXPECT_TRUE(d.Send(0x6B, "D1,5917").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x6B, "PА1,1,9.00,5917,Хліб").status[1] & kNotPermitted);
    EXPECT_FALSE(d.Send(0x6B, "PА1,1,1.00,5917,Хліб").Error()); // unchanged: accepted
    // Deleting all deletes the unsold ones only.
    const auto all = d.Send(0x6B, "DA,5917");
    EXPECT_FALSE(all.Error());
    EXPECT_EQ(all.data, "1");
    EXPECT_EQ(d.model.GetState().articles.count(1), 1u);
    EXPECT_EQ(d.model.GetState().articles.count(2), 0u);
    EXPECT_TRUE(d.Send(0x6B, "D2,5917").status[1] & kNotPermitted); // gone
    d.Send(0x45, "5917,0");
    EXPECT_FALSE(d.Send(0x6B, "D1,5917").Error());
    EXPECT_TRUE(d.model.GetState().articles.empty());
}

TEST(SimRefusals, CashOutNeverExceedsTheCashInTheDrawer) {
    Device d;
    // A cash refund too: it needs the money in the drawer; a card refund does not.
    d.Send(0x6B, "PА1,1,2.00,5917,Хліб");
    d.Send(0x55, "00001,5917,00001,I");
    d.Send(0x34, "1");
    EXPECT_TRUE(d.Send(0x35, "\tP2.00").status[1] & kNotPermitted);
    EXPECT_FALSE(d.Send(0x35, "\tD2.00").Error());
    EXPECT_FALSE(d.Send(0x38).Error());
    EXPECT_EQ(d.model.GetState().cash, 0);

    EXPECT_TRUE(d.Send(0x46, "-0.01").status[1] & kNotPermitted);
    EXPECT_FALSE(d.Send(0x46, "12.50").Error());
    EXPECT_TRUE(d.Send(0x46, "-12.51").status[1] & kNotPermitted);
    const auto out = d.Send(0x46, "-12.50");
    EXPECT_FALSE(out.Error());
    EXPECT_EQ(out.data, "0.00,12.50,12.50");
    EXPECT_TRUE(d.Send(0x46, "abc").status[0] & kSyntax);
}

TEST(SimRefusals, ClockCannotGoBackBeforeTheLastZReport) {
    Device d;
    ASSERT_FALSE(d.Send(0x3D, "10-12-26 12:00").Error());
    d.Send(0x45, "5917,0");
    EXPECT_TRUE(d.Send(0x3D, "09-12-26 12:00").status[1] & kNotPermitted);
    EXPECT_FALSE(d.Send(0x3D, "11-12-26 08:00").Error());
    EXPECT_TRUE(d.Send(0x3D, "31-02-27 08:00").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x3D, "11-12-26 25:00").status[0] & kSyntax);
    EXPECT_TRUE(d.Send(0x3D, "11.12.26 08:00").status[0] & kSyntax);
    d.model.AdvanceClock(std::chrono::milliseconds(61'500));
    EXPECT_EQ(d.Send(0x3E).data, "11-12-26 08:01:01");
}

TEST(SimRefusals, FullFiscalMemoryRefusesTheZReport) {
    DeviceModel::Options o;
    o.fiscalMemorySize = 52;
    Device d(o);
    ASSERT_FALSE(d.Send(0x45, "5917,0").Error());
    EXPECT_EQ(d.Send(0x45, "5917,0").status[4], 0x80 | 0x08); // 50 records left: little room
    for (int i = 2; i < 52; ++i)
        d.Send(0x45, "5917,0");
    const auto full = d.Send(0x45, "5917,0");
    EXPECT_TRUE(full.status[1] & kNotPermitted);
    EXPECT_EQ(full.status[4], 0x80 | 0x10 | 0x20);
    EXPECT_EQ(d.model.GetState().fiscalMemory.size(), 52u);
    EXPECT_TRUE(d.Send(0x30, "00001,5917,00001,I").status[1] & kNotPermitted);
    // An X report still prints; every reply tells that the memory is full.
    const auto before = d.model.GetState().paperRoll.size();
    EXPECT_EQ(d.Send(0x45, "5917,2").status[1] & kNotPermitted, 0);
    EXPECT_GT(d.model.GetState().paperRoll.size(), before);
}

TEST(SimConditions, FreshDeviceHasNoNumbersAndIssuesNoFiscalDocuments) {
    Device d;
    d.model.MakeFresh();
    const auto diag = d.Send(0x5A, "1");
    EXPECT_EQ(diag.status[5], 0x80);
    const auto f = Device::Fields(diag.data, true);
    ASSERT_EQ(f.size(), 8u);
    EXPECT_EQ(f[4], "00101100");
    EXPECT_EQ(f[6], "");
    EXPECT_EQ(f[7], "");
    EXPECT_TRUE(d.Send(0x30, "00001,5917,00001,I").status[1] & kNotPermitted);
    EXPECT_TRUE(d.Send(0x45, "5917,0").status[1] & kNotPermitted);
    EXPECT_FALSE(d.Send(0x26).Error()); // service documents still print
}

TEST(SimConditions, PaperOutRefusesPrintingButAnswersQueries) {
    DeviceModel::Options o;
    o.paperLines = 12;
    Device d(o);
    ASSERT_FALSE(d.Send(0x26).Error());
    int printed = 0;
    while (!d.Send(0x2A, "line").Error())
        ++printed;
    EXPECT_LT(printed, 12);
    EXPECT_EQ(d.model.GetState().paperRoll.size(), 12u);
    const auto refused = d.Send(0x27);
    EXPECT_EQ(refused.status[2] & 0x01, 0x01);
    EXPECT_EQ(refused.status[0] & 0x20, 0x20);
    EXPECT_EQ(d.model.GetState().receipt.kind, DeviceModel::ReceiptKind::NonFiscal);
    EXPECT_TRUE(frames::Parse(d.model.Receive(frames::Request(0x7D, 0x3E)).Bytes()).valid);
    d.model.SetPaperOut(false);
    EXPECT_FALSE(d.Send(0x27).Error());
}

TEST(SimConditions, ReceiptLeftOpenAndWrongSwitchesShowInTheReplies) {
    Device d;
    d.model.LeaveReceiptOpen(DeviceModel::ReceiptKind::Return);
    auto r = d.Send(0x4A, "X");
    EXPECT_EQ(r.status[1] & 0x08, 0x08);
    EXPECT_EQ(r.status[2] & 0x08, 0x08);
    EXPECT_FALSE(d.Send(0x39).Error()); // the cancellation page can clear it
    d.model.LeaveReceiptOpen(DeviceModel::ReceiptKind::NonFiscal);
    EXPECT_EQ(d.Send(0x4A, "X").status[2] & 0x28, 0x20);
    d.model.SetSwitches("10101100");
    EXPECT_EQ(Device::Fields(d.Send(0x5A, "1").data, true)[4], "10101100");
}

} // namespace
