// The reply receiver fed byte by byte: framing, resynchronisation, NAK and early ETX.
#include "LinkFixture.h"

#include <cstring>

using namespace linktest;

namespace {

const std::string kGood = replyFrame(0x21, 0x4A, "12,34");

class Receiver : public LinkTest {};

} // namespace

TEST_F(Receiver, CompleteReplyEndsTheExchangeWithDataAndStatus) {
    StatusBytes st{0x80, 0x81, 0x82, 0x83, 0x84, 0xA0};
    beginReply(0x4A);
    feed(replyFrame(0x25, 0x4A, "AB", st));
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    EXPECT_EQ(PrinterLink.LinkFault, 0);
    EXPECT_EQ(PrinterLink.RxState, WaitSoh);
    EXPECT_STREQ(PrinterLink.ReplyData, "AB");
    EXPECT_EQ(PrinterLink.RxSum, PrinterLink.RxCheck);
    EXPECT_EQ(0, std::memcmp(PrinterLink.StatusBytes, st.data(), 6));
}

TEST_F(Receiver, ReplyWithoutDataLeavesReplyDataEmpty) {
    std::strcpy(PrinterLink.ReplyData, "stale");
    Delivery d = decodeBytes(0x4A, replyFrame(0x21, 0x4A, ""));
    EXPECT_EQ(PrinterLink.ReplyData[0], 0);
    EXPECT_EQ(d.record.ErrorWord, 0u);
    EXPECT_EQ(d.record.FieldCount, 0);
    EXPECT_EQ(d.rawReply, "");
}

TEST_F(Receiver, DataAreTakenByCountSoSeparatorAndEnqMayAppearInThem) {
    Delivery d = decodeBytes(0x4A, replyFrame(0x21, 0x4A,
                                              "A\x04\x05"
                                              "B"));
    EXPECT_EQ(d.record.ErrorWord, 0u);
    ASSERT_EQ(d.fields.size(), 1u);
    EXPECT_EQ(hex(d.fields[0]), hex("A\x04\x05"
                                    "B"));
}

// Whatever comes before a reply (noise, SYN, broken or abandoned frames) must not spoil it.
TEST_F(Receiver, ResynchronisesOnTheNextSoh) {
    const std::string partial = kGood.substr(0, 7);
    struct Case {
        const char* what;
        std::string before;
    };
    const Case cases[] = {
        {"SYN bytes", "\x16\x16\x16"},
        {"noise", std::string("\xFF\x00zz\x04\x05", 6)},
        {"second SOH mid-reply", partial},
        {"LEN below 0x2B", "\x01\x2A"},
        {"SEQ below 0x20", "\x01\x2B\x1F"},
        {"wrong separator", "\x01\x2C\x21\x4A"
                            "Az"},
        {"wrong ENQ", "\x01\x2B\x21\x4A\x04\x80\x80\x80\x80\x80\x80z"},
        {"junk instead of ETX", kGood.substr(0, kGood.size() - 1) + "z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Delivery d = decodeBytes(0x4A, c.before + kGood);
        EXPECT_EQ(d.record.ErrorWord, 0u);
        EXPECT_EQ(d.fields, (std::vector<std::string>{"12", "34"}));
    }
}

TEST_F(Receiver, BrokenFramesAloneNeverCompleteTheReply) {
    const std::string broken[] = {
        std::string("\x16\x16"),
        std::string("\x01\x2A\x21\x4A"),
        kGood.substr(0, kGood.size() - 1) + "z",
        kGood.substr(0, 9),
    };
    for (const std::string& b : broken) {
        SCOPED_TRACE(hex(b));
        beginReply(0x4A);
        feed(b);
        EXPECT_EQ(PrinterLink.LinkReady, 0);
    }
}

TEST_F(Receiver, NakCompletesAtOnceAndIsReportedAlone) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    StatusBytes syntax{0x81, 0x80, 0x80, 0x80, 0x80, 0x80};
    const Case cases[] = {
        {"NAK alone", "\x15"},
        {"NAK after half a reply with a syntax error",
         replyFrame(0x21, 0x4A, "1", syntax).substr(0, 11) + "\x15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        beginReply(0x4A);
        feed(c.bytes);
        EXPECT_EQ(PrinterLink.LinkReady, 1);
        EXPECT_TRUE(PrinterLink.LinkFault & FaultNak);
        EXPECT_EQ(PrinterLink.RxState, WaitSoh);
        PrinterDecodeReply();
        EXPECT_EQ(PrinterLink.Reply.ErrorWord, ERR_NAK);
    }
}

TEST_F(Receiver, EarlyEtxCompletesAndTheChecksumJudges) {
    // A good reply first leaves its checksum behind in RxCheck.
    decodeBytes(0x4A, replyFrame(0x21, 0x4A, "OLD"));
    std::string cut = replyFrame(0x22, 0x4A, "NEW");
    cut = cut.substr(0, cut.size() - 6) + "\x03"; // ENQ and BCC missing
    Delivery d = decodeBytes(0x4A, cut);
    EXPECT_EQ(d.record.ErrorWord, ERR_PROTOCOL);
    EXPECT_EQ(d.fields, std::vector<std::string>{"NEW"});
}

TEST_F(Receiver, EtxAfterNakClearsTheNak) {
    beginReply(0x4A);
    feed("\x15\x03");
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    EXPECT_FALSE(PrinterLink.LinkFault & FaultNak);
}

// LEN announces up to 212 data bytes; the longest reply is taken whole and stays in bounds.
TEST_F(Receiver, LongestReplyIsTakenWhole) {
    std::string data(212, 'q');
    Delivery d = decodeBytes(0x4A, replyFrame(0x21, 0x4A, data));
    EXPECT_EQ(d.record.ErrorWord, 0u);
    ASSERT_EQ(d.fields.size(), 1u);
    EXPECT_EQ(d.fields[0], data);
}
