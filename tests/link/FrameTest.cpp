// Request frames: layout, checksum characters, sequence numbers and the size limit.
#include "LinkFixture.h"

using namespace linktest;

namespace {

std::string built(unsigned char seq, int code, const std::string& data) {
    unsigned char out[LINK_FRAME_SIZE + 56] = {};
    int n = PrinterBuildFrame(out, sizeof out, seq, code, data.c_str());
    if (n < 0) return "<refused>";
    return std::string(reinterpret_cast<char*>(out), static_cast<size_t>(n));
}

std::string bytes(std::initializer_list<unsigned char> list) {
    return std::string(list.begin(), list.end());
}

} // namespace

TEST(RequestFrame, WorkedExamplesByteForByte) {
    EXPECT_EQ(hex(built(0x21, 0x6A, "20")),
              hex(bytes({0x01, 0x26, 0x21, 0x6A, 0x32, 0x30, 0x05, 0x30, 0x31, 0x31, 0x38, 0x03})));
    // Nibbles above 9 are sent as ':'..'?', never as letters.
    EXPECT_EQ(hex(built(0x21, 0x4A, "X")),
              hex(bytes({0x01, 0x25, 0x21, 0x4A, 0x58, 0x05, 0x30, 0x30, 0x3E, 0x3D, 0x03})));
}

TEST(RequestFrame, EmptyDataIsTenBytesWithLen24) {
    std::string frame = built(0x21, 0x2D, "");
    ASSERT_EQ(frame.size(), 10u);
    EXPECT_EQ(static_cast<unsigned char>(frame[1]), 0x24);
    EXPECT_EQ(hex(frame), hex(requestFrame(0x21, 0x2D, "")));
}

TEST(RequestFrame, MatchesIndependentBuilderAcrossLengthsAndBytes) {
    struct Case {
        unsigned char seq;
        int code;
        std::string data;
    };
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c)
        high += static_cast<char>(c);
    const Case cases[] = {
        {0x20, 0x21, ""},
        {0x7E, 0x77, "pw,1"},
        {0x30, 0x36, high},                     // Cyrillic and every other high byte unchanged
        {0x45, 0x2A, std::string(189, '\xFF')}, // longest data, every nibble of the sum used
        {0x21, 0x35, "\tP5.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("data length " + std::to_string(c.data.size()));
        EXPECT_EQ(hex(built(c.seq, c.code, c.data)), hex(requestFrame(c.seq, c.code, c.data)));
    }
}

TEST(RequestFrame, DataLongerThan189IsRefused) {
    EXPECT_EQ(built(0x21, 0x2A, std::string(189, 'a')).size(), 199u);
    EXPECT_EQ(built(0x21, 0x2A, std::string(190, 'a')), "<refused>");
    EXPECT_EQ(built(0x21, 0x2A, std::string(1000, 'a')), "<refused>");
}

// Real exchanges against a device that answers at once: the drawer example as the first
// request, then the sequence byte over both wraps (mod 95 for the byte, mod 256 for the counter).
TEST_F(PeerTest, FirstRequestAfterStartIsTheDrawerExample) {
    ASSERT_EQ(PrinterOpenDrawer(nullptr, recordReply, 0, 20), 0);
    ASSERT_EQ(peer->requests().size(), 1u);
    EXPECT_EQ(hex(peer->received()),
              hex(bytes({0x01, 0x26, 0x21, 0x6A, 0x32, 0x30, 0x05, 0x30, 0x31, 0x31, 0x38, 0x03})));
}

TEST_F(PeerTest, FirstStatusRequestIsTheWorkedExample) {
    ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0);
    EXPECT_EQ(hex(peer->received()),
              hex(bytes({0x01, 0x25, 0x21, 0x4A, 0x58, 0x05, 0x30, 0x30, 0x3E, 0x3D, 0x03})));
}

TEST_F(PeerTest, SequenceByteWrapsAt95AndCounterAt256) {
    for (int i = 1; i <= 257; ++i)
        ASSERT_EQ(PrinterGetStatus(nullptr, recordReply, 0, 1), 0) << "request " << i;
    std::vector<Request> sent = peer->requests();
    ASSERT_EQ(sent.size(), 257u);
    const std::pair<int, unsigned char> expected[] = {
        {1, 0x21},   {2, 0x22},   {94, 0x7E},  {95, 0x20},  {96, 0x21},
        {190, 0x20}, {255, 0x61}, {256, 0x20}, {257, 0x21},
    };
    for (auto [n, seq] : expected)
        EXPECT_EQ(sent[n - 1].seq, seq) << "request " << n;
    for (const Request& r : sent) {
        EXPECT_EQ(hex(r.frame), hex(requestFrame(r.seq, 0x4A, "X")));
        ASSERT_GE(r.seq, 0x20);
        ASSERT_LE(r.seq, 0x7E);
    }
    EXPECT_EQ(PrinterLink.SeqCounter, 1);
}
