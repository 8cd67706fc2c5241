// The exchange trace (TR7042K_TRACE) and the line's account of an exchange, against a scripted
// device: what each record says, field by field, and how the file is opened.
#include "LinkFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace linktest {
namespace {

// One line of the trace: "<micros> COM<n> <mark> <rest>", the rest split at " | ".
struct TraceLine {
    long long micros = -1;
    std::string port, mark, bytes, text;
};

std::vector<TraceLine> readTrace(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    std::vector<TraceLine> lines;
    std::string raw = all.str();
    for (std::size_t at = 0; at < raw.size();) {
        const std::size_t end = raw.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "every record ends with CR LF";
        if (end == std::string::npos) break;
        std::istringstream fields(raw.substr(at, end - at));
        TraceLine t;
        fields >> t.micros >> t.port >> t.mark;
        std::string rest;
        std::getline(fields, rest);
        rest = rest.empty() ? rest : rest.substr(1);
        const std::size_t bar = rest.find(" | ");
        t.bytes = bar == std::string::npos ? "" : rest.substr(0, bar);
        t.text = bar == std::string::npos ? rest : rest.substr(bar + 3);
        lines.push_back(t);
        at = end + 2;
    }
    return lines;
}

// A device on port 1 opened with the trace going to <root>/trace.txt.
class TraceTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        peer = std::make_unique<PtyPeer>();
        env->linkPort(1, peer->slavePath());
        file = env->root() / "trace.txt";
        setenv("TR7042K_TRACE", file.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("TR7042K_TRACE");
        PrinterLinkReset();
        peer.reset();
        LinkTest::TearDown();
    }
    void open() { ASSERT_GE(PrinterOpenPort(1, 19200), 0); }
    std::unique_ptr<PtyPeer> peer;
    std::filesystem::path file;
};

const std::string kStatusName = "Получить состояние регистратора";

std::string afterPrefix(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : "<" + text + ">";
}

TEST_F(TraceTest, ANakAndTheRetryRecordedFieldByField) {
    open();
    ASSERT_EQ(PrinterTraceState(), PRINTER_TRACE_ON);
    peer->script(Answer::raw("\x15"));
    // The device's state in the reply: fiscalized, numbers set.
    const StatusBytes state{0x80, 0x80, 0x80, 0x80, 0x80, 0x80 | 0x08 | 0x10 | 0x20};
    peer->setResponder(
        [&](const Request& r) { return Answer::raw(replyFrame(r.seq, r.cmd, "", state)); });
    PrinterGetStatus(nullptr, recordReply, 0, 1);
    ASSERT_EQ(deliveries().back().record.ErrorWord, ERR_NAK);
    PrinterGetStatus(nullptr, recordReply, 0, 1); // the caller's retry
    ASSERT_EQ(deliveries().back().record.ErrorWord,
              ST_FISCALIZED | ST_SERIAL_SET | ST_FISCAL_NUMBER_SET);
    PrinterClosePort();

    const auto t = readTrace(file);
    ASSERT_EQ(t.size(), 8u);
    for (std::size_t i = 0; i < t.size(); ++i) {
        EXPECT_EQ(t[i].port, "COM1") << i;
        EXPECT_GT(t[i].micros, 0) << i;
        if (i) {
            EXPECT_GE(t[i].micros, t[i - 1].micros) << "time never goes back, line " << i;
        }
    }
    EXPECT_EQ(t[0].mark, "#");
    EXPECT_EQ(t[0].text, cp1251("открыт " + env->portsDir().string() + "/com1, 19200 бод"));

    EXPECT_EQ(t[1].mark, ">");
    EXPECT_EQ(t[1].bytes, "01 25 21 4A 58 05 30 30 3E 3D 03");
    EXPECT_EQ(t[1].text, cp1251("запрос 0x4A " + kStatusName + ", SEQ 0x21, данные \"X\""));
    EXPECT_EQ(t[2].mark, "<");
    EXPECT_EQ(t[2].bytes, "15");
    EXPECT_EQ(t[2].text, "NAK");
    EXPECT_EQ(t[3].mark, "=");
    EXPECT_EQ(t[3].bytes, "02000000");
    const std::string nakTail = afterPrefix(t[3].text, "ERR_NAK; " + cp1251("обмен "));
    const long long nakMicros = std::atoll(nakTail.c_str());
    EXPECT_GT(nakMicros, 0);
    EXPECT_LE(nakMicros, t[3].micros - t[1].micros);
    EXPECT_EQ(afterPrefix(nakTail, std::to_string(nakMicros)),
              cp1251(" мкс, отправлено 11, принято 1 байт"));

    // The retry is a new request: the next SEQ, its own checksum.
    EXPECT_EQ(t[4].mark, ">");
    EXPECT_EQ(t[4].bytes, "01 25 22 4A 58 05 30 30 3E 3E 03");
    EXPECT_EQ(t[4].text, cp1251("запрос 0x4A " + kStatusName + ", SEQ 0x22, данные \"X\""));
    EXPECT_EQ(t[5].mark, "<");
    EXPECT_EQ(t[5].bytes, hex(replyFrame(0x22, 0x4A, "", state)));
    EXPECT_EQ(t[5].text, cp1251("ответ 0x4A " + kStatusName + ", SEQ 0x22, данные \"\", статус ") +
                             "ST_FISCAL_NUMBER_SET ST_FISCALIZED ST_SERIAL_SET; " +
                             cp1251("контрольная сумма верна"));
    EXPECT_EQ(t[6].mark, "=");
    EXPECT_EQ(t[6].bytes, "00C04000");
    const std::string replyTail = afterPrefix(
        t[6].text, "ST_FISCAL_NUMBER_SET ST_FISCALIZED ST_SERIAL_SET; " + cp1251("обмен "));
    EXPECT_EQ(afterPrefix(replyTail, std::to_string(std::atoll(replyTail.c_str()))),
              cp1251(" мкс, отправлено 11, принято 17 байт"));
    EXPECT_EQ(t[7].mark, "#");
    EXPECT_EQ(t[7].text, cp1251("закрыт"));
}

// What came back, as the trace names it and as the line's account counts it.
TEST_F(TraceTest, EachKindOfAnswerNamedAndCounted) {
    const std::string reply = replyFrame(0x21, 0x4A, "A,B");
    const std::string badReply = replyFrame(0x21, 0x4A, "A,B", kQuietStatus, false);
    // The checksum characters 0x30..0x3F are the nibbles 0..F.
    auto nibbles = [](const std::string& frame) {
        std::string digits;
        for (char c : frame.substr(frame.size() - 5, 4))
            digits += "0123456789ABCDEF"[c - 0x30];
        return digits;
    };
    const std::string good = nibbles(reply), bad = nibbles(badReply);
    const std::string answered =
        cp1251("ответ 0x4A " + kStatusName + ", SEQ 0x21, данные \"A,B\", статус без ошибок; ");
    const uint32_t size = static_cast<uint32_t>(reply.size());
    struct Case {
        const char* what;
        std::string answer;
        std::vector<std::string> received; // texts of the '<' records, in order
        std::string outcome;               // the '=' record's error word
        PrinterLineStats line;             // sent, received, SYN, noise, frame open
    };
    const std::vector<Case> cases = {
        {"busy, then the reply",
         "\x16\x16\x16" + reply,
         {cp1251("SYN x3: принтер занят"), answered + cp1251("контрольная сумма верна")},
         "00000000",
         {11, 3 + size, 3, 0, 0, 0}},
        {"a bad checksum",
         badReply,
         {answered + cp1251("контрольная сумма неверна: в кадре ") + bad + cp1251(", по байтам ") +
          good},
         "01000000",
         {11, size, 0, 0, 0, 0}},
        {"cut short",
         reply.substr(0, 9),
         {cp1251("неполный кадр: 9 байт")},
         "04000000",
         {11, 9, 0, 0, 1, 0}},
        {"noise",
         std::string("\x00\x7F\xFF~", 4),
         {cp1251("байты вне кадра: 4")},
         "04000000",
         {11, 4, 0, 4, 0, 0}},
        {"silence", "", {}, "04000000", {11, 0, 0, 0, 0, 0}},
        {"data that could break the line",
         replyFrame(0x21, 0x4A, cp1251("Ц\"\x04\\")),
         {cp1251("ответ 0x4A " + kStatusName +
                 ", SEQ 0x21, данные \"Ц\\x22\\x04\\x5C\", статус "
                 "без ошибок; контрольная сумма верна")},
         "00000000",
         {11, size + 1, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrinterLinkReset();
        std::filesystem::remove(file);
        open();
        PrinterSetReplyWait(2); // a time-out after 200 ms keeps the silent cases short
        peer->script(Answer::raw(c.answer));
        PrinterGetStatus(nullptr, recordReply, 0, 1);
        PrinterLineStats line{};
        PrinterGetLineStats(&line);
        PrinterClosePort();
        EXPECT_EQ(line.BytesSent, c.line.BytesSent);
        EXPECT_EQ(line.BytesReceived, c.line.BytesReceived);
        EXPECT_EQ(line.SynReceived, c.line.SynReceived);
        EXPECT_EQ(line.NoiseReceived, c.line.NoiseReceived);
        EXPECT_EQ(line.FrameOpen, c.line.FrameOpen);
        EXPECT_GT(line.Micros, 0u);

        const auto t = readTrace(file);
        ASSERT_EQ(t.size(), 4 + c.received.size());
        for (std::size_t i = 0; i < c.received.size(); ++i) {
            EXPECT_EQ(t[2 + i].mark, "<");
            EXPECT_EQ(t[2 + i].text, c.received[i]);
        }
        const TraceLine& outcome = t[2 + c.received.size()];
        EXPECT_EQ(outcome.mark, "=");
        EXPECT_EQ(outcome.bytes, c.outcome);
        if (c.outcome == "04000000") {
            EXPECT_EQ(outcome.text.rfind(
                          "ERR_TIMEOUT; " + cp1251("таймаут: 2 пустых чтений подряд по 100 мс"), 0),
                      0u)
                << outcome.text;
        }
    }
}

// The trace file: appended, created for its owner alone, never through a symbolic link, never a
// device or a pipe; an exchange goes on whatever becomes of it.
TEST_F(TraceTest, TheFileIsAppendedAndNeverReachedThroughALink) {
    const auto root = env->root();
    const auto other = root / "other.txt";
    struct Case {
        const char* what;
        std::function<void()> prepare;
        int state;
    };
    const std::vector<Case> cases = {
        {"missing: created", [] {}, PRINTER_TRACE_ON},
        {"there: appended", [&] { std::ofstream(file) << "before\r\n"; }, PRINTER_TRACE_ON},
        {"a symbolic link",
         [&] {
             std::ofstream(other) << "mine";
             std::filesystem::create_symlink(other, file);
         },
         PRINTER_TRACE_SYMLINK},
        {"a folder", [&] { std::filesystem::create_directory(file); }, PRINTER_TRACE_NOT_FILE},
        {"a pipe nobody reads", [&] { mkfifo(file.c_str(), 0600); }, PRINTER_TRACE_NOT_FILE},
        {"in no folder", [&] { setenv("TR7042K_TRACE", (root / "none" / "t.txt").c_str(), 1); },
         PRINTER_TRACE_NO_FOLDER},
        {"not asked for", [&] { unsetenv("TR7042K_TRACE"); }, PRINTER_TRACE_OFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrinterLinkReset();
        clearDeliveries();
        std::filesystem::remove_all(file);
        std::filesystem::remove(other);
        setenv("TR7042K_TRACE", file.c_str(), 1);
        c.prepare();
        open();
        EXPECT_EQ(PrinterTraceState(), c.state);
        PrinterGetStatus(nullptr, recordReply, 0, 1);
        ASSERT_EQ(deliveries().size(), 1u);
        EXPECT_EQ(deliveries()[0].record.ErrorWord, 0u);
        PrinterClosePort();
        open();
        PrinterClosePort();
        if (c.state == PRINTER_TRACE_ON) {
            std::ifstream in(file, std::ios::binary);
            std::string first;
            std::getline(in, first);
            if (std::string(c.what) == "there: appended") {
                EXPECT_EQ(first, "before\r");
            }
            struct stat st {};
            stat(file.c_str(), &st);
            if (std::string(c.what) == "missing: created") {
                EXPECT_EQ(st.st_mode & 0777, 0600u);
            }
            // Two connections, each opened and closed; the first with its exchange.
            EXPECT_EQ(readTrace(file).size() - (first == "before\r" ? 1 : 0), 7u);
        }
        if (std::string(c.what) == "a symbolic link") {
            std::ifstream in(other);
            std::string text((std::istreambuf_iterator<char>(in)), {});
            EXPECT_EQ(text, "mine");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(file)) << "with the variable unset nothing is made";
}

} // namespace
} // namespace linktest
