// Every command wrapper: the command code and exact data string it sends, and the argument
// checks that refuse before anything reaches the port, the callback or the log.
#include "LinkFixture.h"

#include <functional>
#include <limits>
#include <ostream>

using namespace linktest;

namespace {

struct WrapperCase {
    const char* name;
    std::function<int()> call;
    int result;       // 0: the exchange ran; negative: the wrapper's own refusal
    int code;         // command code sent
    std::string data; // data string sent
};

#define CB nullptr, recordReply, 5

const std::string kLong(300, 'n');
const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

const WrapperCase kCases[] = {
    {"ClearDisplay", [] { return PrinterClearDisplay(CB); }, 0, 0x21, ""},
    {"DisplayLowerLine", [] { return PrinterDisplayLowerLine(CB, "Hello"); }, 0, 0x23, "Hello"},
    {"OpenNonFiscalReceipt", [] { return PrinterOpenNonFiscalReceipt(CB); }, 0, 0x26, ""},
    {"CloseNonFiscalReceipt", [] { return PrinterCloseNonFiscalReceipt(CB); }, 0, 0x27, ""},
    {"PrintNonFiscalText", [] { return PrinterPrintNonFiscalText(CB, "a, b;c"); }, 0, 0x2A,
     "a, b;c"},
    {"PrintNonFiscalTextPercent", [] { return PrinterPrintNonFiscalText(CB, "50% %s %n"); }, 0,
     0x2A, "50% %s %n"},
    {"SetHeaderFooterLine", [] { return PrinterSetHeaderFooter(CB, 2, "ABC"); }, 0, 0x2B, "2ABC"},
    {"SetHeaderFooterFirst", [] { return PrinterSetHeaderFooter(CB, 0, "x"); }, 0, 0x2B, "0x"},
    {"SetHeaderFooterLast", [] { return PrinterSetHeaderFooter(CB, 7, ""); }, 0, 0x2B, "7"},
    {"SetHeaderFooterOptionC", [] { return PrinterSetHeaderFooter(CB, 'C', "1"); }, 0, 0x2B, "C1"},
    {"SetHeaderFooterOptionL", [] { return PrinterSetHeaderFooter(CB, 'L', "0"); }, 0, 0x2B, "L0"},
    {"SetHeaderFooterOptionJ", [] { return PrinterSetHeaderFooter(CB, 'J', "1"); }, 0, 0x2B, "J1"},
    {"SetHeaderFooterOptionI", [] { return PrinterSetHeaderFooter(CB, 'I', "1"); }, 0, 0x2B, "I1"},
    {"SetHeaderFooterItem8", [] { return PrinterSetHeaderFooter(CB, 8, "x"); }, -1, 0, ""},
    {"SetHeaderFooterItemNegative", [] { return PrinterSetHeaderFooter(CB, -1, "x"); }, -1, 0, ""},
    {"SetHeaderFooterOtherLetter", [] { return PrinterSetHeaderFooter(CB, 'A', "x"); }, -1, 0, ""},
    {"SetHeaderFooterLowerCase", [] { return PrinterSetHeaderFooter(CB, 'c', "x"); }, -1, 0, ""},
    {"SetHeaderFooterDigitChar", [] { return PrinterSetHeaderFooter(CB, '2', "x"); }, -1, 0, ""},
    {"CutReceipt", [] { return PrinterCutReceipt(CB); }, 0, 0x2D, ""},
    {"DisplayUpperLine", [] { return PrinterDisplayUpperLine(CB, "\xC8\xF2\xEE\xE3\xEE"); }, 0,
     0x2F, "\xC8\xF2\xEE\xE3\xEE"},
    {"OpenFiscalReceipt", [] { return PrinterOpenFiscalReceipt(CB, 12, "pw", 23); }, 0, 0x30,
     "00012,pw,00023,I"},
    {"OpenFiscalReceiptWide", [] { return PrinterOpenFiscalReceipt(CB, 123456, "", 7); }, 0, 0x30,
     "123456,,00007,I"},
    {"OpenFiscalReceiptHugePassword",
     [] { return PrinterOpenFiscalReceipt(CB, 1, kLong.c_str(), 1); }, -1, 0, ""},
    {"SubtotalAmount", [] { return PrinterSubtotal(CB, 1, 1, 0, -1); }, 0, 0x33, "11;-1.00"},
    {"SubtotalPercent", [] { return PrinterSubtotal(CB, 0, 1, 5, 0); }, 0, 0x33, "01,5.00"},
    {"SubtotalFlagsOnly", [] { return PrinterSubtotal(CB, 0, 0, 0, 0); }, 0, 0x33, "00"},
    {"SubtotalPrintOnly", [] { return PrinterSubtotal(CB, 7, 0, 0, 0); }, 0, 0x33, "10"},
    {"SubtotalBoth", [] { return PrinterSubtotal(CB, 1, 1, 10, 10); }, -1, 0, ""},
    {"RegisterSalePercent", [] { return PrinterRegisterSale(CB, 1, 100, 4, -5, 0); }, 0, 0x34,
     "100*4.000,-5.00"},
    {"RegisterSaleAmount", [] { return PrinterRegisterSale(CB, 1, 100, 2, 0, -1); }, 0, 0x34,
     "100*2.000;-1.00"},
    {"RegisterSaleNegativeBare", [] { return PrinterRegisterSale(CB, 0, 7, 0, 0, 0); }, 0, 0x34,
     "-7"},
    {"RegisterSaleNoQuantity", [] { return PrinterRegisterSale(CB, 1, 5, 0, 0, 2.5); }, 0, 0x34,
     "5;2.50"},
    {"RegisterSaleFractions", [] { return PrinterRegisterSale(CB, 1, 3, 1.5, 0, 0); }, 0, 0x34,
     "3*1.500"},
    {"RegisterSaleLowestPercent", [] { return PrinterRegisterSale(CB, 1, 1, 1, -99.99, 0); }, 0,
     0x34, "1*1.000,-99.99"},
    {"RegisterSaleHighestPercent", [] { return PrinterRegisterSale(CB, 1, 1, 1, 99.99, 0); }, 0,
     0x34, "1*1.000,99.99"},
    {"RegisterSalePercent100", [] { return PrinterRegisterSale(CB, 1, 1, 1, 100, 0); }, -1, 0, ""},
    {"RegisterSalePercentMinus100", [] { return PrinterRegisterSale(CB, 1, 1, 1, -100, 0); }, -1, 0,
     ""},
    {"RegisterSaleNegativeQuantity", [] { return PrinterRegisterSale(CB, 1, 1, -1, 0, 0); }, -1, 0,
     ""},
    {"RegisterSaleBoth", [] { return PrinterRegisterSale(CB, 1, 1, 1, 5, 5); }, -1, 0, ""},
    {"SubtotalNanPercent", [] { return PrinterSubtotal(CB, 1, 1, kNan, 0); }, -1, 0, ""},
    {"SubtotalInfiniteAmount", [] { return PrinterSubtotal(CB, 1, 1, 0, -kInf); }, -1, 0, ""},
    {"RegisterSaleNanQuantity", [] { return PrinterRegisterSale(CB, 1, 1, kNan, 0, 0); }, -1, 0,
     ""},
    {"RegisterSaleInfiniteQuantity", [] { return PrinterRegisterSale(CB, 1, 1, kInf, 0, 0); }, -1,
     0, ""},
    {"RegisterSaleNanPercent", [] { return PrinterRegisterSale(CB, 1, 1, 1, kNan, 0); }, -1, 0, ""},
    {"RegisterSaleInfiniteAmount", [] { return PrinterRegisterSale(CB, 1, 1, 1, 0, kInf); }, -1, 0,
     ""},
    {"TotalNanAmount", [] { return PrinterTotal(CB, "", 'P', kNan); }, -1, 0, ""},
    {"TotalDefaultPayment", [] { return PrinterTotal(CB, "", 0, 5); }, 0, 0x35, "\tP5.00"},
    {"TotalPaymentAndText", [] { return PrinterTotal(CB, "\xC8\xF2\xEE\xE3\xEE", 'N', 0); }, 0,
     0x35, "\xC8\xF2\xEE\xE3\xEE\tN0.00"},
    {"TotalLongText", [] { return PrinterTotal(CB, kLong.c_str(), 'P', 1); }, -1, 0, ""},
    {"PrintFiscalText", [] { return PrinterPrintFiscalText(CB, "line"); }, 0, 0x36, "line"},
    {"CloseFiscalReceipt", [] { return PrinterCloseFiscalReceipt(CB); }, 0, 0x38, ""},
    {"CancelReceipt", [] { return PrinterCancelReceipt(CB); }, 0, 0x39, ""},
    {"SetDateTime", [] { return PrinterSetDateTime(CB, "01-02-26", "10:30"); }, 0, 0x3D,
     "01-02-26 10:30"},
    {"GetDateTime", [] { return PrinterGetDateTime(CB); }, 0, 0x3E, ""},
    {"DailyReportX", [] { return PrinterDailyReport(CB, "0000", '2'); }, 0, 0x45, "0000,2"},
    {"DailyReportKindUnchecked", [] { return PrinterDailyReport(CB, "pw", 'Q'); }, 0, 0x45, "pw,Q"},
    {"CashInOutZero", [] { return PrinterCashInOut(CB, 0); }, 0, 0x46, ""},
    {"CashInOutOut", [] { return PrinterCashInOut(CB, -10); }, 0, 0x46, "-10.00"},
    {"CashInOutIn", [] { return PrinterCashInOut(CB, 1.25); }, 0, 0x46, "1.25"},
    {"CashInOutNan", [] { return PrinterCashInOut(CB, kNan); }, -1, 0, ""},
    {"CashInOutInfinite", [] { return PrinterCashInOut(CB, -kInf); }, -1, 0, ""},
    {"PrintDiagnostics", [] { return PrinterPrintDiagnostics(CB); }, 0, 0x47, ""},
    {"FullReportByNumber", [] { return PrinterFullReportByNumber(CB, "pw", 1, 23); }, 0, 0x49,
     "pw,0001,0023"},
    {"GetStatusX", [] { return PrinterGetStatus(CB, 1); }, 0, 0x4A, "X"},
    {"GetStatusW", [] { return PrinterGetStatus(CB, 0); }, 0, 0x4A, "W"},
    {"GetStatusAnyNonZero", [] { return PrinterGetStatus(CB, -3); }, 0, 0x4A, "X"},
    {"ShortReportByDate", [] { return PrinterShortReportByDate(CB, "pw", "0101", "311226"); }, 0,
     0x4F, "pw,0101,311226"},
    {"Beep", [] { return PrinterBeep(CB); }, 0, 0x50, ""},
    {"OpenReturnReceipt", [] { return PrinterOpenReturnReceipt(CB, 12, "pw", 23); }, 0, 0x55,
     "00012,pw,00023,I"},
    {"OpenReturnReceiptHugePassword",
     [] { return PrinterOpenReturnReceipt(CB, 1, kLong.c_str(), 1); }, -1, 0, ""},
    {"GetDiagnostics1", [] { return PrinterGetDiagnostics(CB, 1); }, 0, 0x5A, "1"},
    {"GetDiagnostics0", [] { return PrinterGetDiagnostics(CB, 0); }, 0, 0x5A, "0"},
    {"FullReportByDate", [] { return PrinterFullReportByDate(CB, "pw", "0101", "311226"); }, 0,
     0x5E, "pw,  0101,311226"},
    {"ShortReportByNumber", [] { return PrinterShortReportByNumber(CB, "pw", 5, 6); }, 0, 0x5F,
     "pw,0005,0006"},
    {"GetTaxRates", [] { return PrinterGetTaxRates(CB); }, 0, 0x61, ""},
    {"GetTaxNumber", [] { return PrinterGetTaxNumber(CB); }, 0, 0x63, ""},
    {"SetOperatorPassword", [] { return PrinterSetOperatorPassword(CB, 3, "old", "new"); }, 0, 0x65,
     "3,old,new"},
    {"OpenDrawerDefaultPulse", [] { return PrinterOpenDrawer(CB, 4); }, 0, 0x6A, ""},
    {"OpenDrawerZero", [] { return PrinterOpenDrawer(CB, 0); }, 0, 0x6A, ""},
    {"OpenDrawerPulse5", [] { return PrinterOpenDrawer(CB, 5); }, 0, 0x6A, "5"},
    {"OpenDrawerPulse150", [] { return PrinterOpenDrawer(CB, 150); }, 0, 0x6A, "150"},
    {"ProgramArticle", [] { return PrinterProgramArticle(CB, 0xC0, 100, 1, 1.25, "pw", "name"); },
     0, 0x6B,
     "P\xC0"
     "100,1,1.25,pw,name"},
    {"ProgramArticleDeviceLetter",
     [] { return PrinterProgramArticle(CB, 0x84, 1, 99, 10, "pw", "\xF7\xE0\xE9"); }, 0, 0x6B,
     "P\x84"
     "1,99,10.00,pw,\xF7\xE0\xE9"},
    {"ProgramArticleLastLetter",
     [] { return PrinterProgramArticle(CB, 0xC4, 2, 1, 0.01, "p", "n"); }, 0, 0x6B,
     "P\xC4"
     "2,1,0.01,p,n"},
    {"ProgramArticleArticleFirst",
     [] { return PrinterProgramArticle(CB, 'X', 0, 0, 0, "pw", "n"); }, -1, 0, ""},
    {"ProgramArticleTaxGroup", [] { return PrinterProgramArticle(CB, 'X', 1, 0, 0, "pw", "n"); },
     -2, 0, ""},
    {"ProgramArticleTaxGroupAfterRange",
     [] { return PrinterProgramArticle(CB, 0xC5, 1, 1, 1, "pw", "n"); }, -2, 0, ""},
    {"ProgramArticleTaxGroupDeviceAfterRange",
     [] { return PrinterProgramArticle(CB, 0x85, 1, 1, 1, "pw", "n"); }, -2, 0, ""},
    {"ProgramArticleGroupZero", [] { return PrinterProgramArticle(CB, 0xC0, 1, 0, 0, "pw", "n"); },
     -3, 0, ""},
    {"ProgramArticleGroup100", [] { return PrinterProgramArticle(CB, 0xC0, 1, 100, 1, "pw", "n"); },
     -3, 0, ""},
    {"ProgramArticlePriceZero", [] { return PrinterProgramArticle(CB, 0xC0, 1, 1, 0, "pw", "n"); },
     -4, 0, ""},
    {"ProgramArticlePriceNan",
     [] { return PrinterProgramArticle(CB, 0xC0, 1, 1, kNan, "pw", "n"); }, -4, 0, ""},
    {"ProgramArticlePriceInfinite",
     [] { return PrinterProgramArticle(CB, 0xC0, 1, 1, kInf, "pw", "n"); }, -4, 0, ""},
    {"ProgramArticlePriceNegative",
     [] { return PrinterProgramArticle(CB, 0xC0, 1, 1, -1, "pw", "n"); }, -4, 0, ""},
    {"ProgramArticleHugeName",
     [] { return PrinterProgramArticle(CB, 0xC0, 1, 1, 1, "pw", kLong.c_str()); }, -1, 0, ""},
    {"DeleteAllArticles", [] { return PrinterDeleteArticles(CB, 0, "pw"); }, 0, 0x6B, "DA,pw"},
    {"DeleteOneArticle", [] { return PrinterDeleteArticles(CB, 5, "pw"); }, 0, 0x6B, "D5,pw"},
    {"DeleteArticlesNegative", [] { return PrinterDeleteArticles(CB, -1, "pw"); }, -1, 0, ""},
    {"ArticlesReportS", [] { return PrinterArticlesReport(CB, "pw", 'S'); }, 0, 0x6F, "pw,S"},
    {"ArticlesReportP", [] { return PrinterArticlesReport(CB, "pw", 'P'); }, 0, 0x6F, "pw,P"},
    {"ArticlesReportG", [] { return PrinterArticlesReport(CB, "pw", 'G'); }, 0, 0x6F, "pw,G"},
    {"ArticlesReportX", [] { return PrinterArticlesReport(CB, "pw", 'X'); }, -1, 0, ""},
    {"ArticlesReportLowerCase", [] { return PrinterArticlesReport(CB, "pw", 's'); }, -1, 0, ""},
    {"ResetOperatorPassword1", [] { return PrinterResetOperatorPassword(CB, 1, "pw"); }, 0, 0x77,
     "1,pw"},
    {"ResetOperatorPassword15", [] { return PrinterResetOperatorPassword(CB, 15, "pw"); }, 0, 0x77,
     "15,pw"},
    {"ResetOperatorPassword0", [] { return PrinterResetOperatorPassword(CB, 0, "pw"); }, -1, 0, ""},
    {"ResetOperatorPassword16", [] { return PrinterResetOperatorPassword(CB, 16, "pw"); }, -1, 0,
     ""},
};

#undef CB

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const WrapperCase& c, std::ostream* os) {
    *os << c.name;
}

class Wrapper : public PeerTest, public ::testing::WithParamInterface<WrapperCase> {};

} // namespace

TEST_P(Wrapper, SendsItsDataOrRefusesQuietly) {
    const WrapperCase& c = GetParam();
    ASSERT_EQ(c.call(), c.result);
    if (c.result == 0) {
        std::vector<Request> sent = peer->requests();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].cmd, c.code);
        EXPECT_EQ(hex(sent[0].data), hex(c.data)) << "sent \"" << sent[0].data << "\"";
        EXPECT_EQ(hex(sent[0].frame),
                  hex(requestFrame(0x21, static_cast<unsigned char>(c.code), c.data)));
        ASSERT_EQ(deliveries().size(), 1u);
        EXPECT_EQ(deliveries()[0].record.Command, c.code);
        EXPECT_EQ(deliveries()[0].record.Tag, 5);
        EXPECT_EQ(hex(deliveries()[0].sentData), hex(c.data));
        EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);
        EXPECT_TRUE(env->logExists());
    } else {
        EXPECT_EQ(peer->receivedAfterSettling(), "");
        EXPECT_TRUE(deliveries().empty());
        EXPECT_FALSE(env->logExists());
        EXPECT_EQ(PrinterLink.LinkReady, 1);
        EXPECT_EQ(PrinterLink.SeqCounter, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(AllCommands, Wrapper, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<WrapperCase>& info) {
                             return std::string(info.param.name);
                         });

// The name table gives every wrapper's command its display name.
TEST(WrapperNames, EverySentCodeHasAName) {
    const std::string invalid = cp1251("Неверная команда");
    for (const WrapperCase& c : kCases) {
        if (c.result == 0) {
            EXPECT_NE(std::string(PrinterCommandName(c.code)), invalid) << c.name;
        }
    }
}
