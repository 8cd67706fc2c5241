#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The simulated TR7042K fiscal printer: request bytes in, reply bytes out. The model does no I/O
// and reads no clock of its own: time passes only through AdvanceClock(), so the same input
// always gives the same output. Everything it prints or shows is Windows-1251, as on the device.
//
// It is written from the device's side and shares no code with the console's printer link.
class DeviceModel {
public:
    using Micros = std::chrono::microseconds;
    using Money = std::int64_t; // kopecks

    // Bytes to send after waiting `delay` from the end of the previous chunk.
    struct Chunk {
        Micros delay{0};
        std::string bytes;
    };

    // What the device sends in answer to the bytes it was given.
    struct Output {
        std::vector<Chunk> chunks;
        bool synForever = false;   // after the chunks, SYN every SynInterval until the next input
        bool hangUp = false;       // after the chunks, the device drops the line
        std::string Bytes() const; // all chunk bytes in order, delays ignored
        Micros Duration() const;   // sum of the delays
    };

    // A fault is off at 0, on for the next N well-formed requests at N > 0, and on for good at
    // kAlways. Each request that meets a fault uses up one count.
    static constexpr int kAlways = -1;

    struct Faults {
        int silent = 0;      // no answer at all; the command is not carried out
        int nak = 0;         // NAK instead of a reply; the command is not carried out
        int synForever = 0;  // SYN until the next input, no reply; the command is not carried out
        int hangUp = 0;      // the device drops the line; the command is not carried out
        int badChecksum = 0; // reply with a wrong checksum; the command is carried out
        int garbage = 0;     // garbage bytes before the reply; the command is carried out
        int cutShort = 0;    // only the first half of the reply, then silence; carried out
        int secondSoh = 0;   // half a reply, then the whole reply from its SOH; carried out
        std::string garbageBytes = std::string("\x00\x7F\xFF\x16 ~\x02\x80", 8);
        // Status bits added to the reply of a command (key 0: every command), in the order S0..S5;
        // bit 7 need not be given. A command that meets error bits here is not carried out.
        std::map<int, std::array<std::uint8_t, 6>> statusBits;
    };

    enum class ReceiptKind { None, Fiscal, Return, NonFiscal };

    struct DateTime {
        int year = 2026, month = 1, day = 1, hour = 0, minute = 0, second = 0;
        bool operator==(const DateTime&) const = default;
    };

    struct Options {
        std::string factoryNumber = "TR00012345";
        std::string fiscalNumber = "1234567890";
        std::string taxNumber = "123456789012";
        int taxNumberKind = 0; // 0 a tax number, 1 an identification number
        std::string switches = "00101100";
        std::string adminPassword = "0000";
        DateTime clock;              // the device clock at power-on
        int lineTimeMs = 0;          // time to print one line; 0: printing takes no time
        int cutTimeMs = 0;           // time for one cut
        int synIntervalMs = 60;      // SYN period while the device works
        int baud = 0;                // wire pacing at 10 bits a byte; 0: no pacing
        int paperLines = 0;          // lines left on the roll; 0: an endless roll
        int fiscalMemorySize = 2000; // Z-report records the fiscal memory holds
    };

    struct Request {
        int command = 0;
        int seq = 0;
        std::string data;     // Windows-1251, as received
        bool refused = false; // the reply carried an error bit: the command was not carried out
    };

    struct Article {
        int number = 0;
        int taxGroup = 0; // 0..4 for the tax groups А..Д
        int group = 1;
        Money price = 0;
        std::string name;         // Windows-1251
        std::int64_t soldQty = 0; // thousandths, since the last Z report
        Money soldAmount = 0;
        bool sold = false; // sold or returned since the last Z report
    };

    struct SaleLine {
        int article = 0;
        int taxGroup = 0;
        std::int64_t qty = 0; // thousandths; negative for a void
        Money amount = 0;     // after the line's discount or surcharge
    };

    struct Receipt {
        ReceiptKind kind = ReceiptKind::None;
        int operatorNo = 0;
        int till = 0;
        std::vector<SaleLine> lines;
        Money adjustment = 0; // discount (negative) or surcharge on the subtotal
        Money paid = 0;
        bool paymentStarted = false;
        std::map<char, Money> payments;
        Money Subtotal() const; // sum of the lines
        Money Total() const { return Subtotal() + adjustment; }
        bool FullyPaid() const { return paymentStarted && paid >= Total(); }
    };

    struct FiscalRecord {
        int number = 0;
        DateTime date;
        std::array<Money, 5> sales{};
        std::array<Money, 5> returns{};
        int receipts = 0;
    };

    struct DayTotals {
        std::array<Money, 5> sales{};
        std::array<Money, 5> returns{};
        int fiscalReceipts = 0;
        int returnReceipts = 0;
        int cancelledReceipts = 0;
        Money serviceIn = 0;
        Money serviceOut = 0;
    };

    enum class EventKind { Printed, Display, Drawer, Cut, Beep };
    struct Event {
        EventKind kind;
        std::string text; // Printed: the line; Display: upper line, '\n', lower line
        int value = 0;    // Drawer: the pulse in ms
    };

    // The device's whole state. Text is Windows-1251.
    struct State {
        std::string factoryNumber, fiscalNumber, taxNumber;
        bool fiscalMemoryFormatted = true;
        bool fiscalized = true;
        std::string switches;
        DateTime clock;
        bool clockValid = true;
        std::array<std::string, 8> headerLines;   // 0..5 head the receipts, 6..7 close them
        std::map<char, std::string> printOptions; // C (cut after each receipt), L, J, I
        std::array<std::string, 16> operatorPasswords;
        std::string adminPassword;
        std::map<int, Article> articles;
        DayTotals day;
        Money cash = 0;              // cash in the drawer
        int documentNumber = 0;      // every document printed
        int fiscalReceiptNumber = 0; // fiscal and return receipts since fiscalisation
        std::vector<FiscalRecord> fiscalMemory;
        int fiscalMemorySize = 2000;
        Receipt receipt;
        std::string displayUpper, displayLower;
        int drawerOpenings = 0, lastDrawerPulse = 0, cuts = 0, beeps = 0;
        std::vector<std::string> paperRoll;
        int paperLeft = -1; // -1: endless
        bool paperOut = false;
    };

    static constexpr int kLineWidth = 40; // characters on a printed line
    static constexpr int kDisplayWidth = 20;
    static constexpr int kDefaultDrawerPulse = 40;
    static constexpr int kMaxArticles = 1000;
    static constexpr const char* kDefaultPassword = "5917";

    DeviceModel();
    explicit DeviceModel(const Options& options);

    // Bytes from the console. Broken requests are answered with NAK; bytes outside a frame are
    // dropped until the next SOH.
    Output Receive(std::string_view bytes);
    // The line has been quiet for a while: a request left incomplete is dropped with a NAK.
    Output LineIdle();
    // Time passes on the device clock.
    void AdvanceClock(std::chrono::milliseconds elapsed);

    Faults& GetFaults() { return faults_; }
    const Faults& GetFaults() const { return faults_; }
    const State& GetState() const { return state_; }
    const Options& GetOptions() const { return options_; }
    // Printing time per line and per cut, and wire pacing (baud 0: none), from the next request.
    void SetTiming(int lineTimeMs, int cutTimeMs, int baud);

    // Device conditions a technician may meet.
    void SetPaperOut(bool out);
    void SetSwitches(const std::string& switches);
    void MakeFresh(); // no factory number, fiscal memory not formatted, no fiscal number
    void LeaveReceiptOpen(ReceiptKind kind, int operatorNo = 1);
    void SetClockValid(bool valid) { state_.clockValid = valid; }

    const std::vector<Request>& Requests() const { return requests_; }
    void ClearRequests() { requests_.clear(); }
    std::vector<Event> TakeEvents();
    void ClearPaperRoll() { state_.paperRoll.clear(); }

    // The operator who may run reports, and the one who may program articles.
    static constexpr int kProgrammingOperator = 14;
    static constexpr int kReportOperator = 15;

    static std::string FormatMoney(Money value);           // 1234 -> "12.34"
    static std::string FormatDateTime(const DateTime& dt); // "dd-mm-yy hh:mm:ss"
    static std::int64_t ToSeconds(const DateTime& dt);
    static DateTime FromSeconds(std::int64_t seconds);

private:
    struct Result {
        std::string data;
        std::array<std::uint8_t, 6> status{}; // error bits of the outcome
        int busyLines = 0;
        int busyCuts = 0;
    };

    static Result Refused(int statusByte, std::uint8_t bit);
    Output ScanInput();
    Output Process(int seq, int command, std::string_view data);
    Result Execute(int command, std::string_view data);
    std::array<std::uint8_t, 6> StatusBytes(const Result& result) const;
    std::string BuildReply(int seq, int command, const std::string& data,
                           const std::array<std::uint8_t, 6>& status) const;
    void AddPaced(Output& out, Micros delay, const std::string& bytes) const;
    static bool UseFault(int& counter);

    // Commands.
    Result ClearDisplay(std::string_view data);
    Result DisplayLine(bool upper, std::string_view data);
    Result OpenNonFiscal(std::string_view data);
    Result CloseNonFiscal(std::string_view data);
    Result PrintNonFiscalText(std::string_view data);
    Result SetHeaderFooter(std::string_view data);
    Result Cut(std::string_view data);
    Result OpenFiscal(ReceiptKind kind, std::string_view data);
    Result Subtotal(std::string_view data);
    Result RegisterSale(std::string_view data);
    Result Total(std::string_view data);
    Result PrintFiscalText(std::string_view data);
    Result CloseFiscal(std::string_view data);
    Result CancelReceipt(std::string_view data);
    Result SetDateTime(std::string_view data);
    Result GetDateTime(std::string_view data);
    Result DailyReport(std::string_view data);
    Result CashInOut(std::string_view data);
    Result PrintDiagnostics(std::string_view data);
    Result PeriodicReport(bool full, bool byDate, std::string_view data);
    Result GetStatus(std::string_view data);
    Result Beep(std::string_view data);
    Result GetDiagnostics(std::string_view data);
    Result GetTaxRates(std::string_view data);
    Result GetTaxNumber(std::string_view data);
    Result SetOperatorPassword(std::string_view data);
    Result OpenDrawer(std::string_view data);
    Result Articles(std::string_view data);
    Result ArticlesReport(std::string_view data);
    Result ResetOperatorPassword(std::string_view data);

    // Paper.
    bool CanPrint(Result& r);
    void Print(Result& r, const std::string& line);
    void PrintUtf8(Result& r, std::string_view utf8);
    void PrintCentered(Result& r, const std::string& line);
    void PrintPair(Result& r, const std::string& left, const std::string& right);
    void PrintHeader(Result& r);
    void PrintDocumentEnd(Result& r, const std::string& titleUtf8);
    void DoCut(Result& r);
    void ShowDisplay(const std::string& upper, const std::string& lower);

    bool IsReportPassword(std::string_view password) const;
    bool IsProgrammingPassword(std::string_view password) const;
    bool FiscalReady() const;
    std::string TaxRatesText() const;

    Options options_;
    State state_;
    Faults faults_;
    std::string input_;
    std::vector<Request> requests_;
    std::vector<Event> events_;
    std::int64_t clockMillis_ = 0; // milliseconds not yet added to the clock
    // The last request carried out and its reply, for a request repeated with the same SEQ.
    bool haveLast_ = false;
    int lastSeq_ = 0, lastCommand_ = 0;
    std::string lastData_, lastReply_;
};
