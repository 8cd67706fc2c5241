// The faults the simulated printer can be given, each producing the bytes it promises, and the
// timing of its replies (as computed delays, not measured).
#include "Device.h"

#include <gtest/gtest.h>

namespace {

using frames::Parse;
using frames::Request;

// Cash-in is a command whose effect shows whether it was carried out.
std::string CashIn(int seq) {
    return Request(seq, 0x46, "1.00");
}

TEST(SimFaults, SilenceForTheNextRequestsThenAnswers) {
    DeviceModel model;
    model.GetFaults().silent = 2;
    EXPECT_EQ(model.Receive(CashIn(0x21)).Bytes(), "");
    EXPECT_EQ(model.Receive(CashIn(0x22)).Bytes(), "");
    EXPECT_TRUE(Parse(model.Receive(CashIn(0x23)).Bytes()).valid);
    EXPECT_EQ(model.GetState().cash, 100);  // the ignored requests did nothing
    EXPECT_EQ(model.Requests().size(), 3u); // but were received

    model.GetFaults().silent = DeviceModel::kAlways;
    for (int seq = 0x30; seq < 0x35; ++seq)
        EXPECT_EQ(model.Receive(CashIn(seq)).Bytes(), "");
    model.GetFaults().silent = 0;
    EXPECT_TRUE(Parse(model.Receive(CashIn(0x36)).Bytes()).valid);
}

TEST(SimFaults, NakRefusesWithoutCarryingOut) {
    DeviceModel model;
    model.GetFaults().nak = 1;
    EXPECT_EQ(model.Receive(CashIn(0x21)).Bytes(), "\x15");
    EXPECT_EQ(model.GetState().cash, 0);
    EXPECT_TRUE(Parse(model.Receive(CashIn(0x22)).Bytes()).valid);
}

TEST(SimFaults, CorruptedRepliesStillCarryTheCommandOut) {
    struct Case {
        const char* what;
        int DeviceModel::Faults::*fault;
    };
    const Case cases[] = {{"bad checksum", &DeviceModel::Faults::badChecksum},
                          {"garbage", &DeviceModel::Faults::garbage},
                          {"cut short", &DeviceModel::Faults::cutShort},
                          {"second SOH", &DeviceModel::Faults::secondSoh}};
    for (const auto& c : cases) {
        DeviceModel clean;
        const std::string good = clean.Receive(CashIn(0x21)).Bytes();
        DeviceModel model;
        model.GetFaults().*c.fault = 1;
        const std::string bytes = model.Receive(CashIn(0x21)).Bytes();
        EXPECT_EQ(model.GetState().cash, 100) << c.what;
        EXPECT_NE(bytes, good) << c.what;
        // The fault is used up: the next reply is clean.
        EXPECT_EQ(Parse(model.Receive(CashIn(0x22)).Bytes()).seq, 0x22) << c.what;
    }

    DeviceModel model;
    const std::string good = DeviceModel().Receive(CashIn(0x21)).Bytes();
    model.GetFaults().badChecksum = 1;
    std::string bytes = model.Receive(CashIn(0x21)).Bytes();
    ASSERT_EQ(bytes.size(), good.size());
    EXPECT_EQ(bytes.substr(0, bytes.size() - 5), good.substr(0, good.size() - 5));
    EXPECT_FALSE(Parse(bytes).valid);

    model = DeviceModel();
    model.GetFaults().garbage = 1;
    model.GetFaults().garbageBytes = "\x7F\x16zz";
    EXPECT_EQ(model.Receive(CashIn(0x21)).Bytes(), "\x7F\x16zz" + good);

    model = DeviceModel();
    model.GetFaults().cutShort = 1;
    bytes = model.Receive(CashIn(0x21)).Bytes();
    EXPECT_EQ(bytes, good.substr(0, good.size() / 2));
    EXPECT_EQ(bytes.find('\x03'), std::string::npos);

    model = DeviceModel();
    model.GetFaults().secondSoh = 1;
    bytes = model.Receive(CashIn(0x21)).Bytes();
    EXPECT_EQ(bytes, good.substr(0, good.size() / 2) + good);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\x01'), 2);
    EXPECT_TRUE(Parse(bytes).valid);
}

TEST(SimFaults, SynForeverAndHangUpSendNoReply) {
    DeviceModel model;
    model.GetFaults().synForever = DeviceModel::kAlways;
    auto out = model.Receive(CashIn(0x21));
    EXPECT_TRUE(out.synForever);
    EXPECT_EQ(out.Bytes(), "");
    EXPECT_EQ(model.GetState().cash, 0);
    model.GetFaults().synForever = 0;

    model.GetFaults().hangUp = 1;
    out = model.Receive(CashIn(0x22) + CashIn(0x23));
    EXPECT_TRUE(out.hangUp);
    EXPECT_EQ(out.Bytes(), "");
    EXPECT_EQ(model.Requests().size(), 2u); // nothing after the hang-up is read
}

TEST(SimFaults, ChosenStatusBitsRefuseTheCommand) {
    DeviceModel model;
    model.GetFaults().statusBits[0x46] = {0x10, 0, 0, 0, 0, 0}; // printing error on cash-in
    auto r = Parse(model.Receive(CashIn(0x21)).Bytes());
    EXPECT_EQ(r.status[0], 0x80 | 0x10 | 0x20);
    EXPECT_EQ(model.GetState().cash, 0);
    // Other commands are not touched.
    EXPECT_EQ(Parse(model.Receive(Request(0x22, 0x4A, "X")).Bytes()).status[0], 0x80);
    // Key 0 applies to every command; state bits alone do not stop it.
    model.GetFaults().statusBits.clear();
    model.GetFaults().statusBits[0] = {0, 0, 0, 0, 0x08, 0};
    r = Parse(model.Receive(CashIn(0x23)).Bytes());
    EXPECT_EQ(r.status[4], 0x80 | 0x08);
    EXPECT_EQ(model.GetState().cash, 0); // "little room" is an error bit
    model.GetFaults().statusBits[0] = {0, 0x20, 0, 0, 0, 0};
    r = Parse(model.Receive(CashIn(0x24)).Bytes());
    EXPECT_EQ(r.status[1], 0x80 | 0x20);
    EXPECT_EQ(model.GetState().cash, 100);
}

TEST(SimTiming, PrintingSendsSynEverySixtyMillisecondsThenTheReply) {
    DeviceModel::Options o;
    o.lineTimeMs = 40;
    DeviceModel model(o);
    const auto out = model.Receive(Request(0x21, 0x47)); // diagnostics: many lines
    const int lines = static_cast<int>(model.GetState().paperRoll.size());
    ASSERT_GT(lines, 5);
    ASSERT_GE(out.chunks.size(), 2u);
    for (std::size_t i = 0; i + 1 < out.chunks.size(); ++i) {
        EXPECT_EQ(out.chunks[i].bytes, "\x16");
        EXPECT_EQ(out.chunks[i].delay, std::chrono::milliseconds(60));
    }
    EXPECT_TRUE(Parse(out.chunks.back().bytes).valid);
    EXPECT_EQ(out.Duration(), std::chrono::milliseconds(40 * lines));
    // A command that prints nothing answers at once.
    const auto quick = model.Receive(Request(0x22, 0x4A, "X"));
    ASSERT_EQ(quick.chunks.size(), 1u);
    EXPECT_EQ(quick.Duration().count(), 0);
}

TEST(SimTiming, WirePacingAtTenBitsAByte) {
    DeviceModel::Options o;
    o.baud = 9600;
    DeviceModel model(o);
    const auto out = model.Receive(Request(0x21, 0x4A, "X"));
    ASSERT_EQ(out.chunks.size(), 17u);
    for (const auto& c : out.chunks) {
        EXPECT_EQ(c.bytes.size(), 1u);
        EXPECT_EQ(c.delay, std::chrono::microseconds(1041));
    }
    EXPECT_TRUE(Parse(out.Bytes()).valid);
}

} // namespace
