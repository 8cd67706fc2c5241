// The simulated printer's side of the wire: request checking, NAK, resynchronisation and the
// reply frame.
#include "Device.h"

#include <gtest/gtest.h>

namespace {

using frames::Parse;
using frames::Request;

TEST(SimProtocol, ReplyFrameEchoesSeqAndCommandAndCarriesStatusWithBit7) {
    DeviceModel model;
    // The console's first status request, byte for byte.
    const std::string req("\x01\x25\x21\x4A\x58\x05\x30\x30\x3E\x3D\x03", 11);
    const std::string bytes = model.Receive(req).Bytes();
    ASSERT_EQ(bytes.size(), 17u); // no data
    EXPECT_EQ(bytes[0], '\x01');
    EXPECT_EQ(bytes[1], '\x2B');
    EXPECT_EQ(bytes[2], '\x21');
    EXPECT_EQ(bytes[3], '\x4A');
    EXPECT_EQ(bytes[4], '\x04');
    EXPECT_EQ(bytes[11], '\x05');
    EXPECT_EQ(bytes[16], '\x03');
    const auto r = Parse(bytes);
    ASSERT_TRUE(r.valid);
    for (auto s : r.status)
        EXPECT_EQ(s & 0x80, 0x80);
    // A new printer is healthy and fiscalized with no receipt open.
    EXPECT_EQ(r.status[0], 0x80);
    EXPECT_EQ(r.status[1], 0x80);
    EXPECT_EQ(r.status[2], 0x80);
    EXPECT_EQ(r.status[4], 0x80);
    EXPECT_EQ(r.status[5], 0x80 | 0x02 | 0x08 | 0x10 | 0x20);
}

TEST(SimProtocol, ChecksumCharactersRunFromZeroToQuestionMark) {
    Device d;
    // Many replies: every BCC character stays within 0x30..0x3F and the sum checks.
    for (int i = 0; i < 200; ++i) {
        const auto reply = d.Send(0x3E);
        ASSERT_TRUE(reply.valid);
        const std::string bytes = d.last.Bytes();
        for (std::size_t k = bytes.size() - 5; k < bytes.size() - 1; ++k) {
            EXPECT_GE(static_cast<unsigned char>(bytes[k]), 0x30);
            EXPECT_LE(static_cast<unsigned char>(bytes[k]), 0x3F);
        }
        EXPECT_EQ(reply.seq, d.seq);
        EXPECT_EQ(reply.cmd, 0x3E);
    }
}

TEST(SimProtocol, BrokenRequestsAreAnsweredWithNak) {
    const std::string good = Request(0x21, 0x4A, "X");
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    std::string badSum = good;
    badSum[good.size() - 2] ^= 0x01;
    cases.push_back({"checksum", badSum});
    std::string badEnq = good;
    badEnq[5] = 0x06;
    cases.push_back({"ENQ", badEnq});
    std::string badEtx = good;
    badEtx.back() = 0x04;
    cases.push_back({"ETX", badEtx});
    cases.push_back({"LEN below 0x24", std::string("\x01\x23\x21\x4A\x05\x30\x30\x30\x30\x03")});
    std::string lowSeq = Request(0x1F, 0x4A, "X");
    cases.push_back({"SEQ below 0x20", lowSeq});
    for (const auto& c : cases) {
        DeviceModel model;
        EXPECT_EQ(model.Receive(c.bytes).Bytes(), "\x15") << c.what;
        EXPECT_TRUE(model.Requests().empty()) << c.what;
    }
}

TEST(SimProtocol, ResynchronisesOnSohAndDropsNoise) {
    DeviceModel model;
    std::string stream = std::string("\x00\xFF\x16 junk", 8) + Request(0x21, 0x4A, "X");
    // A broken frame first, then a good one in the same burst: NAK, then the reply.
    std::string broken = Request(0x22, 0x3E);
    broken[broken.size() - 2] ^= 1;
    stream += broken + Request(0x23, 0x3E);
    const std::string out = model.Receive(stream).Bytes();
    ASSERT_EQ(model.Requests().size(), 2u);
    EXPECT_EQ(model.Requests()[0].command, 0x4A);
    EXPECT_EQ(model.Requests()[1].command, 0x3E);
    const auto nak = out.find('\x15');
    ASSERT_NE(nak, std::string::npos);
    EXPECT_EQ(Parse(out).seq, 0x23);
    EXPECT_GT(out.rfind('\x01'), nak);
}

TEST(SimProtocol, RequestMayArriveByteByByte) {
    DeviceModel model;
    const std::string req = Request(0x30, 0x5A, "1");
    std::string out;
    for (char c : req)
        out += model.Receive(std::string(1, c)).Bytes();
    const auto r = Parse(out);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.seq, 0x30);
    EXPECT_EQ(r.cmd, 0x5A);
    ASSERT_EQ(model.Requests().size(), 1u);
    EXPECT_EQ(model.Requests()[0].data, "1");
}

TEST(SimProtocol, RequestLeftIncompleteIsRefusedWhenTheLineGoesQuiet) {
    DeviceModel model;
    const std::string req = Request(0x21, 0x4A, "X");
    EXPECT_EQ(model.Receive(req.substr(0, 6)).Bytes(), "");
    EXPECT_EQ(model.LineIdle().Bytes(), "\x15");
    // The next request is served normally.
    EXPECT_TRUE(Parse(model.Receive(Request(0x22, 0x4A, "X")).Bytes()).valid);
    EXPECT_EQ(model.LineIdle().Bytes(), "");
}

TEST(SimProtocol, DataIsTakenByCountSoControlBytesInDataAreData) {
    Device d;
    // A display text holding ENQ and ETX bytes.
    const auto r = d.Send(0x2F, std::string("A\x05\x03Z", 4));
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(d.model.GetState().displayUpper, std::string("A\x05\x03Z", 4));
}

TEST(SimProtocol, UnknownCommandSetsInvalidCommandAndGeneralError) {
    Device d;
    for (int cmd : {0x22, 0x3A, 0x78, 0xF0}) {
        const auto r = d.Send(cmd);
        ASSERT_TRUE(r.valid);
        EXPECT_EQ(r.status[0], 0x80 | 0x02 | 0x20) << cmd;
        EXPECT_EQ(r.status[1] & 0x03, 0) << cmd;
    }
}

TEST(SimProtocol, RepeatedSeqGetsTheSameReplyWithoutDoingTheCommandTwice) {
    DeviceModel model;
    const std::string req = Request(0x40, 0x46, "10.00");
    const std::string first = model.Receive(req).Bytes();
    const std::string again = model.Receive(req).Bytes();
    EXPECT_EQ(first, again);
    EXPECT_EQ(model.GetState().cash, 1000);
    // A new SEQ is a new request.
    model.Receive(Request(0x41, 0x46, "10.00"));
    EXPECT_EQ(model.GetState().cash, 2000);
}

TEST(SimProtocol, CyrillicTextTravelsAsWindows1251BytesUnchanged) {
    Device d;
    d.Send(0x2F, "Ш Кулебяка Їж");
    EXPECT_EQ(d.model.GetState().displayUpper, "\xD8 \xCA\xF3\xEB\xE5\xE1\xFF\xEA\xE0 \xAF\xE6");
    d.Send(0x6B, "PА7,1,2.00,5917,Пиріжок");
    d.Send(0x30, "00001,5917,00001,I");
    d.Send(0x34, "7");
    EXPECT_EQ(d.model.GetState().displayUpper, sim::ToCp1251("Пиріжок"));
}

} // namespace
