// Reply decoding: the error word, the status copy, the per-command fix-ups and the fields.
#include "LinkFixture.h"

#include <cstring>

using namespace linktest;

namespace {

class Decode : public LinkTest {};

StatusBytes statusWith(int index, unsigned char bits) {
    StatusBytes st = kQuietStatus;
    st[static_cast<size_t>(index)] = static_cast<unsigned char>(0x80 | bits);
    return st;
}

} // namespace

// Every bit of every status byte on its own: the mapped ones give exactly their error-word bit,
// the unmapped ones (bit 7 included) give nothing, and the record's copy has bit 7 cleared.
TEST_F(Decode, EveryStatusBitMapsToItsOwnWordBit) {
    const uint32_t map[6][8] = {
        {ERR_SYNTAX, ERR_BAD_COMMAND, ERR_CLOCK, 0, ERR_PRINTER, ERR_GENERAL, 0, 0},
        {ERR_OVERFLOW, ERR_NOT_ALLOWED, ERR_RAM_CLEARED, ST_RETURN_RECEIPT, ERR_RAM_CLEARED2,
         ST_S1_BIT5, 0, 0},
        {ERR_NO_PAPER, 0, 0, ST_FISCAL_RECEIPT, 0, ST_NONFISCAL_RECEIPT, 0, 0},
        {0, 0, 0, 0, 0, 0, 0, 0},
        {ERR_FM_WRITE, 0, ERR_NO_FM_MODULE, ERR_FM_LOW, ERR_FM_FULL, ERR_FM_GENERAL, 0, 0},
        {ERR_FM_READ_ONLY, ST_FM_FORMATTED, ERR_LAST_Z, ST_FISCALIZED, ST_SERIAL_SET,
         ST_FISCAL_NUMBER_SET, 0, 0},
    };
    uint32_t seen = 0;
    for (int s = 0; s < 6; ++s) {
        for (int bit = 0; bit < 8; ++bit) {
            SCOPED_TRACE("S" + std::to_string(s) + " bit " + std::to_string(bit));
            StatusBytes st = kQuietStatus;
            st[static_cast<size_t>(s)] = static_cast<unsigned char>(0x80 | (1u << bit));
            Delivery d = decodeBytes(0x4A, replyFrame(0x21, 0x4A, "", st));
            EXPECT_EQ(d.record.ErrorWord, map[s][bit]);
            for (int i = 0; i < 6; ++i)
                EXPECT_EQ(d.record.Status[i], i == s ? ((1u << bit) & 0x7F) : 0u);
            EXPECT_EQ(seen & map[s][bit], 0u) << "two status bits share a word bit";
            seen |= map[s][bit];
        }
    }
}

TEST_F(Decode, StatusExamplesCombineBits) {
    StatusBytes st = kQuietStatus;
    st[0] = 0x21;
    EXPECT_EQ(decodeBytes(0x4A, replyFrame(0x21, 0x4A, "", st)).record.ErrorWord, 0x08000001u);
    st = kQuietStatus;
    st[1] = 0x08;
    st[2] = 0x08;
    EXPECT_EQ(decodeBytes(0x4A, replyFrame(0x21, 0x4A, "", st)).record.ErrorWord, 0x00000480u);
    st = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    Delivery all = decodeBytes(0x4A, replyFrame(0x21, 0x4A, "", st));
    EXPECT_EQ(all.record.ErrorWord, 0x18FF7FFFu);
    for (unsigned char b : all.record.Status)
        EXPECT_EQ(b, 0x7F);
}

// The link's own conditions exclude each other and every status bit.
TEST_F(Decode, LinkConditionsAreReportedAlone) {
    StatusBytes noisy{0xBF, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF};
    Delivery bad = decodeBytes(0x4A, replyFrame(0x21, 0x4A, "1,2", statusWith(0, 0x01), false));
    EXPECT_EQ(bad.record.ErrorWord, ERR_PROTOCOL);
    EXPECT_EQ(bad.record.Status[0], 0x01) << "status is still copied";
    EXPECT_EQ(bad.fields, (std::vector<std::string>{"1", "2"})) << "data are still split";

    Delivery badNoisy = decodeBytes(0x4A, replyFrame(0x21, 0x4A, "", noisy, false));
    EXPECT_EQ(badNoisy.record.ErrorWord, ERR_PROTOCOL);

    Delivery nak = decodeBytes(0x4A, replyFrame(0x21, 0x4A, "", noisy, false) + "\x15");
    EXPECT_EQ(nak.record.ErrorWord, ERR_NAK);

    Delivery partial = decodeBytes(0x4A, replyFrame(0x21, 0x4A, "", noisy).substr(0, 10));
    EXPECT_EQ(partial.record.ErrorWord, ERR_TIMEOUT);
}

// A time-out leaves no data behind, even when part of the data had arrived.
TEST_F(Decode, TimeoutLeavesNoFields) {
    Delivery d = decodeBytes(0x4A, replyFrame(0x21, 0x4A, "12,34,56").substr(0, 9));
    EXPECT_EQ(d.record.ErrorWord, ERR_TIMEOUT);
    EXPECT_EQ(d.record.FieldCount, 0);
}

TEST_F(Decode, FixUpsAndFields) {
    struct Case {
        const char* what;
        int command;
        std::string data;
        std::vector<std::string> fields;
    };
    // Spaces at 0..19 become commas for 0x5A; the ones further on stay.
    const std::string diag = "A B" + std::string(16, 'C') + " D E";
    const Case cases[] = {
        {"0x35 splits after the first character", 0x35, "AB12", {"A", "B12"}},
        {"0x32 splits after the first character", 0x32, "AB12", {"A", "B12"}},
        {"0x35 with one character", 0x35, "A", {"A"}},
        {"0x32 with one character", 0x32, "7", {"7"}},
        {"0x35 before a comma", 0x35, "A,B", {"A", "", "B"}},
        {"0x3E comma at index 8", 0x3E, "12345678 9", {"12345678", "9"}},
        {"0x3E nine characters", 0x3E, "123456789", {"12345678", ""}},
        {"0x3E exactly eight characters", 0x3E, "12345678", {"12345678"}},
        {"0x3E short", 0x3E, "1234", {"1234"}},
        {"0x5A spaces to commas", 0x5A, "A B C", {"A", "B", "C"}},
        {"0x5A spaces after index 19 kept", 0x5A, diag, {"A", "B" + std::string(16, 'C'), "D E"}},
        {"other commands keep spaces", 0x4A, "A B", {"A B"}},
        {"other commands no insertion", 0x4A, "AB12", {"AB12"}},
        {"0x3E fix-up only for 0x3E", 0x4A, "12345678 9", {"12345678 9"}},
        {"adjacent commas", 0x4A, "12,34,,5", {"12", "34", "", "5"}},
        {"trailing comma", 0x4A, "1,", {"1", ""}},
        {"leading comma", 0x4A, ",1", {"", "1"}},
        {"empty", 0x4A, "", {}},
        {"empty for 0x35", 0x35, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Delivery d =
            decodeBytes(c.command, replyFrame(0x21, static_cast<unsigned char>(c.command), c.data));
        EXPECT_EQ(d.record.ErrorWord, 0u);
        EXPECT_EQ(d.record.FieldCount, static_cast<int>(c.fields.size()));
        EXPECT_EQ(d.fields, c.fields);
        EXPECT_EQ(d.rawReply, c.data) << "the raw reply is taken before the fix-ups";
        EXPECT_EQ(d.commandName, PrinterCommandName(c.command));
        EXPECT_EQ(d.record.SentData, PrinterLink.SentData);
        EXPECT_EQ(d.record.RawReply, PrinterLink.RawReply);
        for (int i = 0; i < d.record.FieldCount; ++i) {
            EXPECT_GE(d.record.Fields[i], PrinterLink.ReplyData);
            EXPECT_LT(d.record.Fields[i], PrinterLink.ReplyData + LINK_REPLY_SIZE);
        }
    }
}

TEST_F(Decode, MoreThan19CommasKeepTheRestInTheLastField) {
    std::string data;
    for (int i = 0; i <= 21; ++i)
        data += (i ? "," : "") + std::to_string(i);
    Delivery d = decodeBytes(0x4A, replyFrame(0x21, 0x4A, data));
    ASSERT_EQ(d.record.FieldCount, 20);
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ(d.fields[static_cast<size_t>(i)], std::to_string(i));
    EXPECT_EQ(d.fields[19], "19,20,21");

    Delivery commas = decodeBytes(0x5A, replyFrame(0x21, 0x5A, std::string(200, ' ')));
    ASSERT_EQ(commas.record.FieldCount, 20);
    EXPECT_EQ(commas.fields[0], "");
    EXPECT_EQ(commas.fields[19], "," + std::string(180, ' '));
}

TEST_F(Decode, LongestReplyToTheInsertingCommandsStaysInBounds) {
    for (int command : {0x32, 0x35}) {
        std::string data(212, 'z');
        Delivery d =
            decodeBytes(command, replyFrame(0x21, static_cast<unsigned char>(command), data));
        ASSERT_EQ(d.fields.size(), 2u);
        EXPECT_EQ(d.fields[0], "z");
        EXPECT_EQ(d.fields[1], std::string(211, 'z'));
    }
}

TEST_F(Decode, RawReplyIsCutAt128BytesAndAlwaysTerminated) {
    std::string data;
    for (int i = 0; i < 200; ++i)
        data += static_cast<char>('a' + i % 26);
    Delivery d = decodeBytes(0x4A, replyFrame(0x21, 0x4A, data));
    EXPECT_EQ(d.rawReply, data.substr(0, 128));
    for (int i = 128; i < LINK_RAW_SIZE; ++i)
        ASSERT_EQ(PrinterLink.RawReply[i], 0) << "byte " << i;
    ASSERT_EQ(d.fields.size(), 1u);
    EXPECT_EQ(d.fields[0], data) << "the fields keep the whole reply";

    Delivery shorter = decodeBytes(0x4A, replyFrame(0x22, 0x4A, "AB"));
    EXPECT_EQ(shorter.rawReply, "AB");
}
