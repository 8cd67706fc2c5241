// Test harness for the printer link: a scripted device on a pseudo-terminal, reply frames
// built independently of the link, and Windows-1251 helpers.
//
// Depends on nothing but the C++ standard library, POSIX and the port rules (a pseudo-terminal
// counts as a port while its device holds a simulator's claim), so the benchmark uses it as well.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace linktest {

// Six status bytes of a reply. The device sets bit 7 of every status byte, so a reply with no
// condition carries 0x80 six times; the receiver never mistakes such bytes for SOH, ETX or NAK.
using StatusBytes = std::array<unsigned char, 6>;
inline constexpr StatusBytes kQuietStatus{0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

// The four checksum characters of a sum: its four low nibbles, most significant first, + 0x30.
std::string checksumChars(uint32_t sum);

// A reply frame: SOH, LEN = 0x2B + d, SEQ, CMD, data, 0x04, S0..S5, 0x05, BCC, 0x03.
// With goodChecksum false the last checksum character is changed so the sum no longer matches.
std::string replyFrame(unsigned char seq, unsigned char cmd, const std::string& data,
                       const StatusBytes& status = kQuietStatus, bool goodChecksum = true);

// A request frame as the device expects it: SOH, LEN = 0x24 + n, SEQ, CMD, data, 0x05, BCC, 0x03.
std::string requestFrame(unsigned char seq, unsigned char cmd, const std::string& data);

// UTF-8 text converted to Windows-1251 bytes (via iconv); aborts on text it cannot convert.
std::string cp1251(const std::string& utf8);

// Printable dump of bytes for failure messages: "01 25 21 4A ...".
std::string hex(const std::string& bytes);

// A temporary home for one test: XDG_CONFIG_HOME points into it (so the link finds its port
// links in <root>/config/tr7042k/ports) and the current directory is <root>/work, where the
// exchange log lands. Everything is restored and removed on destruction.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path portsDir() const { return root_ / "config" / "tr7042k" / "ports"; }
    std::filesystem::path workDir() const { return root_ / "work"; }
    // Makes port n's link comN point at target; a pseudo-terminal is claimed as a simulator
    // claims it, for the object's life.
    void linkPort(int n, const std::filesystem::path& target) const;
    // Contents of the exchange log in the work directory; empty when there is none.
    std::string logBytes() const;
    bool logExists() const;

private:
    std::filesystem::path root_;
    mutable std::map<int, int> claims_; // port -> the claim its test device holds
    int savedCwd_ = -1;
    std::string savedXdg_;
    bool hadXdg_ = false;
};

// One request frame as the peer received it.
struct Request {
    unsigned char seq = 0;
    unsigned char cmd = 0;
    std::string data;
    std::string frame; // every byte of the frame, SOH to ETX
};

// What the peer does with one request.
struct Answer {
    std::string bytes;            // written in one write, may be empty (silence)
    bool hangUp = false;          // close the master after writing: the line goes dead
    std::function<void()> before; // run on the peer thread before writing (may be empty)
    int pauseMs = 0;              // then, after this pause,
    std::string rest;             // these bytes follow

    static Answer silence() { return {}; }
    static Answer raw(std::string b) {
        Answer a;
        a.bytes = std::move(b);
        return a;
    }
    static Answer dropLine(std::string b) {
        Answer a = raw(std::move(b));
        a.hangUp = true;
        return a;
    }
    static Answer inTwo(std::string first, int pauseMs, std::string second) {
        Answer a = raw(std::move(first));
        a.pauseMs = pauseMs;
        a.rest = std::move(second);
        return a;
    }
};

// The device end of a pseudo-terminal. The slave side is raw and stays open for the peer's
// whole life, so the master sees no hang-up when the link closes its own descriptor. A thread
// reads request frames from the master (framed by their LEN byte) and answers each one: with the
// next scripted answer when there is one, else with the default responder, which by default
// gives a valid reply with the request's SEQ and CMD, no data and quiet status.
class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    // The peer's own descriptor of the slave side, for reading the line settings.
    int slaveFd() const { return slave_; }

    void script(Answer answer);
    void setResponder(std::function<Answer(const Request&)> responder);
    // The default: silence for every unscripted request.
    void answerNothing();

    // Every byte received so far and the request frames parsed from them.
    std::string received() const;
    std::vector<Request> requests() const;
    // Waits briefly for anything still on its way, then gives the bytes received so far.
    std::string receivedAfterSettling() const;
    // Forgets what has been received.
    void clear();

    // Bytes the device sends of its own accord, not as an answer.
    void send(const std::string& bytes);
    // Drops the line (closes the master) and returns once it is down.
    void hangUp();

private:
    void run();
    void handle(const Request& request);
    void writeAll(const std::string& bytes);

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hangUpWanted_{false};
    std::atomic<bool> lineDown_{false};
    mutable std::mutex mutex_;
    std::string received_;
    std::string pending_;
    std::vector<Request> requests_;
    std::deque<Answer> script_;
    std::function<Answer(const Request&)> responder_;
};

// The default responder: a valid, quiet reply to the request, optionally with data.
Answer quietReply(const Request& request, const std::string& data = "");

} // namespace linktest
