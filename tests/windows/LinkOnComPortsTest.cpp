// The link on the workstation's own calls: \\.\COMn ports served by simulated printers, replies
// posted to a window's message queue, the log written in CR LF, ports held exclusively.
//
// scripts/test-windows.sh starts one simulated printer per port below and maps the ports to
// them (under wine: HKLM\Software\Wine\Ports), then runs this program in a scratch folder.
#include "PrinterLink.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

// The ports as the test script maps them.
const int HealthyPort = 1;     // a healthy, fiscalized printer
const int NakPort = 2;         // a printer that answers NAK
const int BadChecksumPort = 3; // a printer whose replies carry a wrong checksum
const int SilentPort = 4;      // a printer that never answers
const int HangUpPort = 5;      // a printer that drops the line when asked anything
const int HighPort = 12;       // a second healthy printer, above COM9
const int UnmappedPort = 200;  // no such port

// The state a new simulated printer reports in its status bytes: fiscal memory formatted,
// fiscalized, factory and fiscal numbers set.
const uint32_t HealthyState =
    ST_FM_FORMATTED | ST_FISCALIZED | ST_SERIAL_SET | ST_FISCAL_NUMBER_SET;

std::string Cp1251(const char* utf8) {
    wchar_t wide[256];
    char bytes[256];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 256);
    int k = n > 0 ? WideCharToMultiByte(1251, 0, wide, -1, bytes, 256, nullptr, nullptr) : 0;
    if (k <= 0) abort();
    return std::string(bytes, (size_t)k - 1);
}

struct Delivery {
    RetData record;
    std::vector<std::string> fields;
    WPARAM posted; // the message's command code when posted to a window, 0 from a callback
};

std::vector<Delivery> Deliveries;

void Record(RetData& record) {
    Delivery d{record, {}, 0};
    for (int i = 0; i < record.FieldCount && i < 20; ++i)
        d.fields.push_back(record.Fields[i]);
    Deliveries.push_back(d);
}

std::string LogBytes() {
    std::string bytes;
    FILE* f = fopen("fpllog.dat", "rb");
    if (!f) return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

std::string LogRecord(int code, const std::string& data, const char* status) {
    return Cp1251(" \r\nКод команды:") + std::to_string(code) + Cp1251(" \r\nДанные: ") + data +
           Cp1251(" \r\nСтатус: ") + status;
}

// Runs this program again as another process that tries to open the port: 0 when it could.
DWORD OpenFromAnotherProcess(int port) {
    char self[MAX_PATH];
    if (!GetModuleFileNameA(nullptr, self, sizeof self)) return 99;
    char command[MAX_PATH + 64];
    snprintf(command, sizeof command, "\"%s\" --try-open %d", self, port);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 98;
    DWORD code = 97;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class ComPort : public ::testing::Test {
protected:
    void SetUp() override {
        PrinterLinkReset();
        Deliveries.clear();
        DeleteFileA("fpllog.dat");
    }
    void TearDown() override { PrinterLinkReset(); }
};

} // namespace

TEST_F(ComPort, MissingPortsAreRefused) {
    EXPECT_EQ(PrinterGetStatus(nullptr, Record, 0, 1), -1) << "exchange before any open";
    EXPECT_EQ(PrinterOpenPort(UnmappedPort, 19200), -1);
    EXPECT_EQ(PrinterLink.LinkReady, 1);
    EXPECT_NE(PrinterClosePort(), 0) << "closing when nothing is open must not fail";
    EXPECT_TRUE(Deliveries.empty());
    EXPECT_EQ(LogBytes(), "");
}

// Replies arrive whole and unchanged, Windows-1251 bytes included; requests with such bytes are
// taken by the device (it refuses a frame with a wrong checksum and an unknown tax group); every
// exchange leaves its record in the log, with CR LF line ends.
TEST_F(ComPort, AnsweredExchangesOnLowAndHighPorts) {
    for (int port : {HealthyPort, HighPort}) {
        SCOPED_TRACE(port);
        ASSERT_NE(PrinterOpenPort(port, 19200), -1);
        Deliveries.clear();
        DeleteFileA("fpllog.dat");

        ASSERT_EQ(PrinterGetTaxRates(nullptr, Record, 0), 0);
        ASSERT_EQ(PrinterGetTaxNumber(nullptr, Record, 0), 0);
        const std::string name = Cp1251("Чай зелёный");
        ASSERT_EQ(PrinterProgramArticle(nullptr, Record, 0, 0xC1, 7, 1, 12.5, "5917", name.c_str()),
                  0);
        ASSERT_EQ(PrinterDeleteArticles(nullptr, Record, 0, 7, "5917"), 0);
        const std::string shown = Cp1251("Проверка 1251 №1");
        ASSERT_EQ(PrinterDisplayUpperLine(nullptr, Record, 0, shown.c_str()), 0);

        ASSERT_EQ(Deliveries.size(), 5u);
        for (const Delivery& d : Deliveries)
            EXPECT_EQ(d.record.ErrorWord, HealthyState) << "command " << d.record.Command;
        EXPECT_EQ(Deliveries[0].fields,
                  (std::vector<std::string>{Cp1251("А20.00"), Cp1251("Б07.00"), Cp1251("В00.00"),
                                            Cp1251("Г14.00"), Cp1251("Д00.00")}));
        EXPECT_EQ(Deliveries[1].fields, (std::vector<std::string>{"123456789012", "0"}));
        EXPECT_EQ(Deliveries[3].fields, (std::vector<std::string>{"1"})) << "article not deleted";

        const std::string expected = LogRecord(0x61, "", "e04000") + LogRecord(0x63, "", "e04000") +
                                     LogRecord(0x6B, Cp1251("PБ7,1,12.50,5917,") + name, "e04000") +
                                     LogRecord(0x6B, "D7,5917", "e04000") +
                                     LogRecord(0x2F, shown, "e04000");
        EXPECT_EQ(LogBytes(), expected);
        ASSERT_NE(PrinterClosePort(), 0);
    }
}

// The device's faults end the exchange and are reported in the error word: a NAK at once, a
// wrong checksum with the data kept, silence after five seconds of it, and a dropped line too
// (wine reads a dropped pseudo-terminal as silence, a driver may report it as an error).
TEST_F(ComPort, NakBadChecksumAndSilence) {
    struct Case {
        int port;
        uint32_t fault;
        int fields;
        const char* status;
    };
    const Case cases[] = {{NakPort, ERR_NAK, 0, "2000000"},
                          {BadChecksumPort, ERR_PROTOCOL, 2, "1000000"},
                          {SilentPort, ERR_TIMEOUT, 0, "4000000"},
                          {HangUpPort, ERR_TIMEOUT, 0, "4000000"}};
    std::string expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        ASSERT_NE(PrinterOpenPort(c.port, 19200), -1);
        Deliveries.clear();
        ASSERT_EQ(PrinterGetTaxNumber(nullptr, Record, 0), 0);
        ASSERT_EQ(Deliveries.size(), 1u);
        EXPECT_EQ(Deliveries[0].record.ErrorWord, c.fault);
        EXPECT_EQ(Deliveries[0].record.FieldCount, c.fields);
        EXPECT_EQ(PrinterLink.LinkReady, 1);
        expected += LogRecord(0x63, "", c.status);
        ASSERT_NE(PrinterClosePort(), 0);
    }
    EXPECT_EQ(LogBytes(), expected);
}

// The exchange trace on the workstation: appended across connections, in CR LF, a NAK and a
// reply each named; a folder given for the file is refused and the exchange goes on.
TEST_F(ComPort, TraceOfANakAndAReply) {
    DeleteFileA("trace.txt");
    _putenv("TR7042K_TRACE=trace.txt");
    for (int port : {NakPort, HealthyPort}) {
        ASSERT_NE(PrinterOpenPort(port, 19200), -1);
        EXPECT_EQ(PrinterTraceState(), PRINTER_TRACE_ON);
        ASSERT_EQ(PrinterGetStatus(nullptr, Record, 0, 1), 0);
        ASSERT_NE(PrinterClosePort(), 0);
    }
    std::string trace;
    if (FILE* f = fopen("trace.txt", "rb")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;)
            trace.append(buffer, n);
        fclose(f);
    }
    // The link's count goes on from one connection to the next: the second request has SEQ 0x22.
    EXPECT_NE(trace.find("COM2 > 01 25 21 4A 58 05 30 30 3E 3D 03 | "), std::string::npos) << trace;
    EXPECT_NE(trace.find("COM2 < 15 | NAK\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("COM2 = 02000000 | ERR_NAK; "), std::string::npos) << trace;
    EXPECT_NE(trace.find("COM1 > 01 25 22 4A 58 05 30 30 3E 3E 03 | "), std::string::npos) << trace;
    EXPECT_NE(trace.find("COM1 = 00E04000 | ST_FISCAL_NUMBER_SET ST_FM_FORMATTED ST_FISCALIZED "
                         "ST_SERIAL_SET; "),
              std::string::npos)
        << trace;

    CreateDirectoryA("trace-folder", nullptr);
    _putenv("TR7042K_TRACE=trace-folder");
    Deliveries.clear();
    ASSERT_NE(PrinterOpenPort(HealthyPort, 19200), -1);
    EXPECT_NE(PrinterTraceState(), PRINTER_TRACE_ON);
    ASSERT_EQ(PrinterGetStatus(nullptr, Record, 0, 1), 0);
    ASSERT_EQ(Deliveries.size(), 1u);
    EXPECT_EQ(Deliveries[0].record.ErrorWord, HealthyState);
    ASSERT_NE(PrinterClosePort(), 0);
    _putenv("TR7042K_TRACE=");
}

namespace {

LRESULT CALLBACK ReplyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PRINTER_REPLY_MESSAGE) {
        // The window copies the record when the message arrives, as a result window would.
        Record(*reinterpret_cast<RetData*>(lParam));
        Deliveries.back().posted = wParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Takes the window's messages until one reply has been handled or a few seconds have passed.
bool PumpOneReply(size_t before) {
    DWORD start = GetTickCount();
    while (Deliveries.size() == before && GetTickCount() - start < 5000) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&message, nullptr, 0, 0) <= 0) return false;
            DispatchMessageA(&message);
        } else {
            Sleep(10);
        }
    }
    return Deliveries.size() > before;
}

} // namespace

// Without a callback the record travels to the window as a posted message: the command code in
// wParam, the link's record in lParam; it waits in the queue until the window takes it.
TEST_F(ComPort, RepliesArePostedToAWindow) {
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = ReplyWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "tr7042k-reply-window";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    ASSERT_NE(PrinterOpenPort(HealthyPort, 19200), -1);
    ASSERT_EQ(PrinterExchange(window, 7, 0x63, ""), 0);
    EXPECT_TRUE(Deliveries.empty()) << "handled before the window asked for its messages";
    ASSERT_TRUE(PumpOneReply(0));
    ASSERT_EQ(PrinterCommand(window, nullptr, 8, 0x61, ""), 0);
    ASSERT_TRUE(PumpOneReply(1));

    ASSERT_EQ(Deliveries.size(), 2u);
    EXPECT_EQ(Deliveries[0].posted, 0x63u);
    EXPECT_EQ(Deliveries[0].record.Tag, 7);
    EXPECT_EQ(Deliveries[0].fields, (std::vector<std::string>{"123456789012", "0"}));
    EXPECT_EQ(Deliveries[1].posted, 0x61u);
    EXPECT_EQ(Deliveries[1].record.Tag, 8);
    EXPECT_EQ(Deliveries[1].record.FieldCount, 5);
    EXPECT_EQ(Deliveries[1].record.ErrorWord, HealthyState);
    DestroyWindow(window);
}

// While this program holds the port, another one cannot open it; once closed, it can. A closed
// port refuses nothing but reaches nothing, and opens again.
TEST_F(ComPort, HeldExclusivelyClosedAndReopened) {
    ASSERT_NE(PrinterOpenPort(HealthyPort, 19200), -1);
    EXPECT_EQ(OpenFromAnotherProcess(HealthyPort), 1u) << "another process opened a held port";
    ASSERT_EQ(PrinterGetTaxNumber(nullptr, Record, 0), 0);

    ASSERT_NE(PrinterClosePort(), 0);
    EXPECT_NE(PrinterClosePort(), 0) << "a second close must not fail";
    EXPECT_EQ(OpenFromAnotherProcess(HealthyPort), 0u) << "the closed port is still held";
    ASSERT_EQ(PrinterGetTaxNumber(nullptr, Record, 0), 0);

    ASSERT_NE(PrinterOpenPort(HealthyPort, 19200), -1);
    ASSERT_EQ(PrinterGetTaxNumber(nullptr, Record, 0), 0);
    ASSERT_EQ(Deliveries.size(), 3u);
    EXPECT_EQ(Deliveries[0].record.ErrorWord, HealthyState);
    EXPECT_EQ(Deliveries[1].record.ErrorWord, ERR_TIMEOUT) << "exchange on the closed port";
    EXPECT_EQ(Deliveries[1].record.FieldCount, 0);
    EXPECT_EQ(Deliveries[2].record.ErrorWord, HealthyState);
    EXPECT_EQ(Deliveries[2].fields, (std::vector<std::string>{"123456789012", "0"}));
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--try-open") == 0) {
        // The other process of HeldExclusivelyClosedAndReopened.
        int opened = PrinterOpenPort(atoi(argv[2]), 19200) != -1;
        PrinterClosePort();
        return opened ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
