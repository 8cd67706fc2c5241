#include "LinkFixture.h"

namespace linktest {

std::vector<Delivery>& deliveries() {
    static std::vector<Delivery> all;
    return all;
}

void clearDeliveries() {
    deliveries().clear();
}

Delivery copyRecord(const RetData& record) {
    Delivery d;
    d.record = record;
    d.commandName = record.CommandName ? record.CommandName : "<null>";
    d.sentData = record.SentData ? record.SentData : "<null>";
    d.rawReply = record.RawReply ? record.RawReply : "<null>";
    int count = record.FieldCount < 0 ? 0 : (record.FieldCount > 20 ? 20 : record.FieldCount);
    for (int i = 0; i < count; ++i)
        d.fields.push_back(record.Fields[i] ? record.Fields[i] : "<null>");
    return d;
}

void recordReply(RetData& record) {
    Delivery d = copyRecord(record);
    d.recordIsTheLinks = &record == &PrinterLink.Reply;
    deliveries().push_back(std::move(d));
}

void beginReply(int command) {
    PrinterAwaitReply(command);
}

void feed(const std::string& bytes) {
    for (unsigned char c : bytes)
        PrinterReceiveByte(c);
}

Delivery decodeBytes(int command, const std::string& bytes) {
    beginReply(command);
    feed(bytes);
    PrinterDecodeReply();
    return copyRecord(PrinterLink.Reply);
}

void LinkTest::SetUp() {
    PrinterLinkReset();
    clearDeliveries();
    env = std::make_unique<TestEnv>();
}

void LinkTest::TearDown() {
    PrinterLinkReset();
    env.reset();
}

void PeerTest::SetUp() {
    LinkTest::SetUp();
    peer = std::make_unique<PtyPeer>();
    env->linkPort(1, peer->slavePath());
    ASSERT_GE(PrinterOpenPort(1, 115200), 0) << "cannot open the test port " << peer->slavePath();
}

void PeerTest::TearDown() {
    PrinterLinkReset();
    peer.reset();
    LinkTest::TearDown();
}

} // namespace linktest
