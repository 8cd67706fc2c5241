// Shared pieces of the link's tests: the recording callback and the fixtures.
#pragma once

#include "LinkPeer.h"
#include "PrinterLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace linktest {

// A copy of one delivered record, taken the way the console's handlers take it: at once.
struct Delivery {
    RetData record{};
    std::string commandName;
    std::string sentData;
    std::string rawReply;
    std::vector<std::string> fields;
    bool recordIsTheLinks = false; // the reference handed over was the link's own record
};

// Everything delivered to recordReply since the last clearDeliveries().
std::vector<Delivery>& deliveries();
void clearDeliveries();
void recordReply(RetData& record);

// Copies a record's strings (the fields up to FieldCount, clamped to the 20 slots).
Delivery copyRecord(const RetData& record);

// Link state as an exchange leaves it when it starts waiting for a reply, for feeding bytes to
// the receiver directly: error word, field count and status cleared, LinkReady 0.
void beginReply(int command);
void feed(const std::string& bytes);
// beginReply + feed + PrinterDecodeReply; gives a copy of the decoded record.
Delivery decodeBytes(int command, const std::string& bytes);

// Link reset, temporary directories; no port.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<TestEnv> env;
};

// LinkTest plus a device on a pseudo-terminal as port 1, opened.
class PeerTest : public LinkTest {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<PtyPeer> peer;
};

} // namespace linktest
