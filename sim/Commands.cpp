// The printer's commands: what each does to the device's state, what it prints, what it answers
// and what it refuses.
#include "DeviceModel.h"

#include "Cp1251.h"

#include <algorithm>
#include <cstdio>

namespace {

using Money = DeviceModel::Money;
using ReceiptKind = DeviceModel::ReceiptKind;

// Error bits of an outcome, as (status byte, bit).
constexpr int kS0 = 0, kS1 = 1;
constexpr std::uint8_t kSyntax = 0x01, kBadCommand = 0x02, kOverflow = 0x01, kNotPermitted = 0x02;

constexpr Money kMaxAmount = 999'999'999; // 9 999 999.99, the largest amount a line may hold

// Tax rates of the groups А..Д, in hundredths of a per cent.
constexpr int kTaxRates[5] = {2000, 700, 0, 1400, 0};

constexpr const char* kFirmware = "1.00 15Oct26 1200";
constexpr const char* kCountry = "UA";

std::string Cp(std::string_view utf8) {
    return sim::ToCp1251(utf8);
}

std::string TaxLetter(int group) {
    return std::string(1, static_cast<char>(0xC0 + group));
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        const auto pos = s.find(sep, start);
        if (pos == std::string_view::npos) {
            out.push_back(s.substr(start));
            return out;
        }
        out.push_back(s.substr(start, pos - start));
        start = pos + 1;
    }
}

// Decimal digits only, at least one, at most `max`.
bool ParseUint(std::string_view s, long long max, long long& out) {
    if (s.empty() || s.size() > 12) return false;
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > max) return false;
    out = v;
    return true;
}

// A signed decimal number with up to `decimals` digits after the point, as an integer count of
// 10^-decimals: "-1.5" with 2 decimals gives -150.
bool ParseFixed(std::string_view s, int decimals, long long& out) {
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    const auto dot = s.find('.');
    const std::string_view whole = s.substr(0, dot);
    std::string_view frac = dot == std::string_view::npos ? std::string_view{} : s.substr(dot + 1);
    if (whole.empty() && frac.empty()) return false;
    if (whole.size() > 10 || frac.size() > static_cast<std::size_t>(decimals)) return false;
    long long v = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    for (int i = 0; i < decimals; ++i) {
        const char c = i < static_cast<int>(frac.size()) ? frac[i] : '0';
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = negative ? -v : v;
    return true;
}

// value * numerator / denominator, rounded half away from zero.
Money MulDivRound(Money value, long long numerator, long long denominator) {
    const __int128 p = static_cast<__int128>(value) * numerator;
    const __int128 half = denominator / 2;
    return static_cast<Money>(p >= 0 ? (p + half) / denominator : (p - half) / denominator);
}

std::string Qty(std::int64_t thousandths) {
    char buf[32];
    const auto a = thousandths < 0 ? -thousandths : thousandths;
    std::snprintf(buf, sizeof buf, "%s%lld.%03lld", thousandths < 0 ? "-" : "",
                  static_cast<long long>(a / 1000), static_cast<long long>(a % 1000));
    return buf;
}

std::string Rate(int hundredths) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d.%02d", hundredths / 100, hundredths % 100);
    return buf;
}

std::string Padded(long long v, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, v);
    return buf;
}

bool ValidDate(int y, int m, int d) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1) return false;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= (m == 2 && leap ? 29 : days[m - 1]);
}

// DDMMYY, as the periodic reports take it; blanks before it (right alignment) are allowed.
bool ParseShortDate(std::string_view s, DeviceModel::DateTime& out) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    long long v = 0;
    if (s.size() != 6 || !ParseUint(s, 999999, v)) return false;
    out = {};
    out.day = static_cast<int>(v / 10000);
    out.month = static_cast<int>(v / 100 % 100);
    out.year = 2000 + static_cast<int>(v % 100);
    return ValidDate(out.year, out.month, out.day);
}

std::int64_t DaysOf(const DeviceModel::DateTime& d) {
    return DeviceModel::ToSeconds({d.year, d.month, d.day, 0, 0, 0}) / 86400;
}

bool IsFiscalKind(ReceiptKind k) {
    return k == ReceiptKind::Fiscal || k == ReceiptKind::Return;
}

} // namespace

// ---- Dispatch -------------------------------------------------------------------------------

DeviceModel::Result DeviceModel::Execute(int command, std::string_view data) {
    switch (command) {
    case 0x21:
        return ClearDisplay(data);
    case 0x23:
        return DisplayLine(false, data);
    case 0x26:
        return OpenNonFiscal(data);
    case 0x27:
        return CloseNonFiscal(data);
    case 0x2A:
        return PrintNonFiscalText(data);
    case 0x2B:
        return SetHeaderFooter(data);
    case 0x2D:
        return Cut(data);
    case 0x2F:
        return DisplayLine(true, data);
    case 0x30:
        return OpenFiscal(ReceiptKind::Fiscal, data);
    case 0x33:
        return Subtotal(data);
    case 0x34:
        return RegisterSale(data);
    case 0x35:
        return Total(data);
    case 0x36:
        return PrintFiscalText(data);
    case 0x38:
        return CloseFiscal(data);
    case 0x39:
        return CancelReceipt(data);
    case 0x3D:
        return SetDateTime(data);
    case 0x3E:
        return GetDateTime(data);
    case 0x45:
        return DailyReport(data);
    case 0x46:
        return CashInOut(data);
    case 0x47:
        return PrintDiagnostics(data);
    case 0x49:
        return PeriodicReport(true, false, data);
    case 0x4A:
        return GetStatus(data);
    case 0x4F:
        return PeriodicReport(false, true, data);
    case 0x50:
        return Beep(data);
    case 0x55:
        return OpenFiscal(ReceiptKind::Return, data);
    case 0x5A:
        return GetDiagnostics(data);
    case 0x5E:
        return PeriodicReport(true, true, data);
    case 0x5F:
        return PeriodicReport(false, false, data);
    case 0x61:
        return GetTaxRates(data);
    case 0x63:
        return GetTaxNumber(data);
    case 0x65:
        return SetOperatorPassword(data);
    case 0x6A:
        return OpenDrawer(data);
    case 0x6B:
        return Articles(data);
    case 0x6F:
        return ArticlesReport(data);
    case 0x77:
        return ResetOperatorPassword(data);
    default:
        return Refused(kS0, kBadCommand);
    }
}

// Refusals: nothing is done, and the reply carries the bit of the reason.
DeviceModel::Result DeviceModel::Refused(int statusByte, std::uint8_t bit) {
    Result r;
    r.status[statusByte] |= bit;
    return r;
}

// ---- Paper and display ----------------------------------------------------------------------

bool DeviceModel::CanPrint(Result&) {
    return !state_.paperOut;
}

void DeviceModel::Print(Result& r, const std::string& line) {
    std::string text = line.substr(0, kLineWidth);
    state_.paperRoll.push_back(text);
    events_.push_back({EventKind::Printed, text, 0});
    ++r.busyLines;
    if (state_.paperLeft > 0 && --state_.paperLeft == 0) state_.paperOut = true;
}

void DeviceModel::PrintUtf8(Result& r, std::string_view utf8) {
    Print(r, Cp(utf8));
}

void DeviceModel::PrintCentered(Result& r, const std::string& line) {
    const std::string text = line.substr(0, kLineWidth);
    Print(r, std::string((kLineWidth - text.size()) / 2, ' ') + text);
}

void DeviceModel::PrintPair(Result& r, const std::string& left, const std::string& right) {
    const std::size_t room = kLineWidth > right.size() + 1 ? kLineWidth - right.size() - 1 : 0;
    std::string l = left.substr(0, room);
    Print(r, l + std::string(kLineWidth - l.size() - right.size(), ' ') + right);
}

void DeviceModel::PrintHeader(Result& r) {
    for (int i = 0; i < 6; ++i) {
        if (!state_.headerLines[i].empty()) PrintCentered(r, state_.headerLines[i]);
    }
}

void DeviceModel::PrintDocumentEnd(Result& r, const std::string& titleUtf8) {
    Print(r, std::string(kLineWidth, '-'));
    for (int i = 6; i < 8; ++i) {
        if (!state_.headerLines[i].empty()) PrintCentered(r, state_.headerLines[i]);
    }
    PrintPair(r, Cp("ДОК N ") + Padded(state_.documentNumber, 6), FormatDateTime(state_.clock));
    if (!state_.factoryNumber.empty() || !state_.fiscalNumber.empty()) {
        PrintPair(r, Cp("ЗН ") + state_.factoryNumber, Cp("ФН ") + state_.fiscalNumber);
    }
    PrintCentered(r, Cp(titleUtf8));
    if (state_.printOptions['C'] == "1") DoCut(r);
}

void DeviceModel::DoCut(Result& r) {
    ++state_.cuts;
    ++r.busyCuts;
    events_.push_back({EventKind::Cut, {}, 0});
}

void DeviceModel::ShowDisplay(const std::string& upper, const std::string& lower) {
    state_.displayUpper = upper.substr(0, kDisplayWidth);
    state_.displayLower = lower.substr(0, kDisplayWidth);
    events_.push_back({EventKind::Display, state_.displayUpper + "\n" + state_.displayLower, 0});
}

namespace {
// Text on the left, amount on the right of a display line.
std::string DisplayPair(const std::string& left, const std::string& right) {
    const std::size_t width = DeviceModel::kDisplayWidth;
    std::string l = left.substr(0, width > right.size() + 1 ? width - right.size() - 1 : 0);
    return l + std::string(width - l.size() - std::min(width, right.size()), ' ') +
           right.substr(0, width);
}
} // namespace

// ---- Passwords and readiness ----------------------------------------------------------------

bool DeviceModel::IsReportPassword(std::string_view password) const {
    return password == state_.operatorPasswords[kReportOperator - 1] ||
           password == state_.adminPassword;
}

bool DeviceModel::IsProgrammingPassword(std::string_view password) const {
    return password == state_.operatorPasswords[kProgrammingOperator - 1] ||
           password == state_.adminPassword;
}

bool DeviceModel::FiscalReady() const {
    return state_.fiscalized && state_.fiscalMemoryFormatted && !state_.factoryNumber.empty() &&
           !state_.fiscalNumber.empty();
}

std::string DeviceModel::TaxRatesText() const {
    std::string out;
    for (int g = 0; g < 5; ++g) {
        if (g) out += ',';
        out += TaxLetter(g) + Rate(kTaxRates[g]);
    }
    return out;
}

// ---- Display, drawer, cutter, beeper --------------------------------------------------------

DeviceModel::Result DeviceModel::ClearDisplay(std::string_view) {
    ShowDisplay({}, {});
    return {};
}

DeviceModel::Result DeviceModel::DisplayLine(bool upper, std::string_view data) {
    const std::string text(data.substr(0, kDisplayWidth));
    if (upper)
        ShowDisplay(text, state_.displayLower);
    else
        ShowDisplay(state_.displayUpper, text);
    return {};
}

DeviceModel::Result DeviceModel::OpenDrawer(std::string_view data) {
    long long pulse = kDefaultDrawerPulse;
    if (!data.empty() && (!ParseUint(data, 999, pulse) || pulse < 5 || pulse > 150)) {
        return Refused(kS0, kSyntax);
    }
    ++state_.drawerOpenings;
    state_.lastDrawerPulse = static_cast<int>(pulse);
    events_.push_back({EventKind::Drawer, {}, static_cast<int>(pulse)});
    return {};
}

DeviceModel::Result DeviceModel::Cut(std::string_view) {
    Result r;
    DoCut(r);
    return r;
}

DeviceModel::Result DeviceModel::Beep(std::string_view) {
    ++state_.beeps;
    events_.push_back({EventKind::Beep, {}, 0});
    return {};
}

// ---- Non-fiscal receipt ---------------------------------------------------------------------

DeviceModel::Result DeviceModel::OpenNonFiscal(std::string_view) {
    Result r;
    if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
    if (!CanPrint(r)) return r;
    state_.receipt = Receipt{};
    state_.receipt.kind = ReceiptKind::NonFiscal;
    ++state_.documentNumber;
    PrintHeader(r);
    PrintCentered(r, Cp("СЛУЖЕБНЫЙ ДОКУМЕНТ"));
    r.data = std::to_string(state_.documentNumber);
    return r;
}

DeviceModel::Result DeviceModel::PrintNonFiscalText(std::string_view data) {
    Result r;
    if (state_.receipt.kind != ReceiptKind::NonFiscal) return Refused(kS1, kNotPermitted);
    if (!CanPrint(r)) return r;
    Print(r, std::string(data));
    return r;
}

DeviceModel::Result DeviceModel::CloseNonFiscal(std::string_view) {
    Result r;
    if (state_.receipt.kind != ReceiptKind::NonFiscal) return Refused(kS1, kNotPermitted);
    if (!CanPrint(r)) return r;
    PrintDocumentEnd(r, "НЕФИСКАЛЬНЫЙ ЧЕК");
    state_.receipt = Receipt{};
    r.data = std::to_string(state_.documentNumber);
    return r;
}

// ---- Settings -------------------------------------------------------------------------------

DeviceModel::Result DeviceModel::SetHeaderFooter(std::string_view data) {
    if (data.empty()) return Refused(kS0, kSyntax);
    const char item = data[0];
    const std::string text(data.substr(1));
    Result r;
    if (item >= '0' && item <= '7') {
        if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
        state_.headerLines[item - '0'] = text.substr(0, kLineWidth);
        return r;
    }
    if (item == 'C' || item == 'L' || item == 'J' || item == 'I') {
        if (text.empty()) { // the option is read back
            r.data = state_.printOptions[item];
            return r;
        }
        if (text != "0" && text != "1") return Refused(kS0, kSyntax);
        if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
        state_.printOptions[item] = text;
        return r;
    }
    return Refused(kS0, kSyntax);
}

DeviceModel::Result DeviceModel::SetDateTime(std::string_view data) {
    // dd-mm-yy hh:mm, seconds optional.
    int d = 0, m = 0, y = 0, hh = 0, mm = 0, ss = 0;
    auto two = [&data](std::size_t at, int& out) {
        if (at + 2 > data.size()) return false;
        const char a = data[at], b = data[at + 1];
        if (a < '0' || a > '9' || b < '0' || b > '9') return false;
        out = (a - '0') * 10 + (b - '0');
        return true;
    };
    const bool shapeOk = (data.size() == 14 || data.size() == 17) && data[2] == '-' &&
                         data[5] == '-' && data[8] == ' ' && data[11] == ':' &&
                         (data.size() == 14 || data[14] == ':');
    if (!shapeOk || !two(0, d) || !two(3, m) || !two(6, y) || !two(9, hh) || !two(12, mm) ||
        (data.size() == 17 && !two(15, ss))) {
        return Refused(kS0, kSyntax);
    }
    DateTime dt{2000 + y, m, d, hh, mm, ss};
    if (!ValidDate(dt.year, m, d) || hh > 23 || mm > 59 || ss > 59) return Refused(kS0, kSyntax);
    if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
    // The clock may not go back before the last record of the fiscal memory.
    if (!state_.fiscalMemory.empty() &&
        ToSeconds(dt) < ToSeconds(state_.fiscalMemory.back().date)) {
        return Refused(kS1, kNotPermitted);
    }
    state_.clock = dt;
    state_.clockValid = true;
    clockMillis_ = 0;
    return {};
}

DeviceModel::Result DeviceModel::GetDateTime(std::string_view) {
    Result r;
    r.data = FormatDateTime(state_.clock);
    return r;
}

DeviceModel::Result DeviceModel::SetOperatorPassword(std::string_view data) {
    const auto f = Split(data, ',');
    long long op = 0;
    if (f.size() != 3 || !ParseUint(f[0], 16, op) || op < 1) return Refused(kS0, kSyntax);
    const std::string_view fresh = f[2];
    if (fresh.empty() || fresh.size() > 8 ||
        !std::all_of(fresh.begin(), fresh.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Refused(kS0, kSyntax);
    }
    if (f[1] != state_.operatorPasswords[op - 1]) return Refused(kS1, kNotPermitted);
    state_.operatorPasswords[op - 1] = std::string(fresh);
    return {};
}

DeviceModel::Result DeviceModel::ResetOperatorPassword(std::string_view data) {
    const auto f = Split(data, ',');
    long long op = 0;
    if (f.size() != 2 || !ParseUint(f[0], 16, op) || op < 1) return Refused(kS0, kSyntax);
    if (f[1] != state_.adminPassword) return Refused(kS1, kNotPermitted);
    state_.operatorPasswords[op - 1] = kDefaultPassword;
    return {};
}

// ---- Information ----------------------------------------------------------------------------

DeviceModel::Result DeviceModel::GetStatus(std::string_view data) {
    if (!data.empty() && data != "X" && data != "W") return Refused(kS0, kSyntax);
    return {};
}

DeviceModel::Result DeviceModel::GetDiagnostics(std::string_view data) {
    if (!data.empty() && data != "0" && data != "1") return Refused(kS0, kSyntax);
    // Checksum of the fiscal memory, computed on request ("1").
    unsigned sum = 0;
    if (data == "1") {
        for (const auto& rec : state_.fiscalMemory) {
            sum += static_cast<unsigned>(rec.number + rec.date.day + rec.date.month + rec.receipts);
            for (int g = 0; g < 5; ++g)
                sum += static_cast<unsigned>(rec.sales[g] + rec.returns[g]);
        }
    }
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%04X", sum & 0xFFFF);
    Result r;
    r.data = std::string(kFirmware) + "," + checksum + "," + state_.switches + "," + kCountry +
             "," + state_.factoryNumber + "," + state_.fiscalNumber;
    return r;
}

DeviceModel::Result DeviceModel::GetTaxRates(std::string_view) {
    Result r;
    r.data = TaxRatesText();
    return r;
}

DeviceModel::Result DeviceModel::GetTaxNumber(std::string_view) {
    Result r;
    r.data = state_.taxNumber + ",0";
    return r;
}

DeviceModel::Result DeviceModel::PrintDiagnostics(std::string_view) {
    Result r;
    if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
    if (!CanPrint(r)) return r;
    ++state_.documentNumber;
    PrintCentered(r, Cp("ДИАГНОСТИКА"));
    PrintPair(r, Cp("ПРОГРАММА"), kFirmware);
    PrintPair(r, Cp("ПЕРЕКЛЮЧАТЕЛИ"), state_.switches);
    PrintPair(r, Cp("ЗАВОДСКОЙ НОМЕР"), state_.factoryNumber);
    PrintPair(r, Cp("ФИСКАЛЬНЫЙ НОМЕР"), state_.fiscalNumber);
    PrintPair(r, Cp("НАЛОГОВЫЙ НОМЕР"), state_.taxNumber);
    PrintPair(r, Cp("ФИСК. ПАМЯТЬ"),
              state_.fiscalMemoryFormatted ? std::to_string(state_.fiscalMemory.size()) + "/" +
                                                 std::to_string(state_.fiscalMemorySize)
                                           : Cp("НЕ ФОРМАТИРОВАНА"));
    for (int g = 0; g < 5; ++g)
        PrintPair(r, Cp("НДС ") + TaxLetter(g), Rate(kTaxRates[g]) + "%");
    PrintDocumentEnd(r, "НЕФИСКАЛЬНЫЙ ЧЕК");
    return r;
}

// ---- Fiscal receipt -------------------------------------------------------------------------

DeviceModel::Result DeviceModel::OpenFiscal(ReceiptKind kind, std::string_view data) {
    const auto f = Split(data, ',');
    long long op = 0, till = 0;
    if (f.size() < 3 || f.size() > 4 || !ParseUint(f[0], 99999, op) || op < 1 || op > 16 ||
        !ParseUint(f[2], 99999, till) || till < 1 || (f.size() == 4 && f[3] != "I")) {
        return Refused(kS0, kSyntax);
    }
    Result r;
    if (state_.receipt.kind != ReceiptKind::None || !FiscalReady())
        return Refused(kS1, kNotPermitted);
    if (static_cast<int>(state_.fiscalMemory.size()) >= state_.fiscalMemorySize)
        return Refused(kS1, kNotPermitted);
    if (f[1] != state_.operatorPasswords[op - 1]) return Refused(kS1, kNotPermitted);
    if (!CanPrint(r)) return r;
    state_.receipt = Receipt{};
    state_.receipt.kind = kind;
    state_.receipt.operatorNo = static_cast<int>(op);
    state_.receipt.till = static_cast<int>(till);
    ++state_.documentNumber;
    PrintHeader(r);
    if (!state_.taxNumber.empty()) PrintCentered(r, Cp("ПН ") + state_.taxNumber);
    PrintPair(r, Cp("КАССИР ") + Padded(op, 2), Cp("КАССА ") + Padded(till, 5));
    if (kind == ReceiptKind::Return) PrintCentered(r, Cp("ВОЗВРАТ"));
    r.data = std::to_string(state_.documentNumber) + "," +
             std::to_string(state_.fiscalReceiptNumber + 1);
    return r;
}

DeviceModel::Result DeviceModel::RegisterSale(std::string_view data) {
    // [-]article[*quantity][,percent][;amount]
    bool isVoid = false;
    if (!data.empty() && data[0] == '-') {
        isVoid = true;
        data.remove_prefix(1);
    }
    const auto numEnd = data.find_first_of("*,;");
    long long article = 0, qty = 1000, percent = 0, amount = 0;
    bool hasPercent = false, hasAmount = false;
    if (!ParseUint(data.substr(0, numEnd), 99999, article)) return Refused(kS0, kSyntax);
    std::string_view rest = numEnd == std::string_view::npos ? "" : data.substr(numEnd);
    auto field = [&rest](char tag, std::string_view& out) {
        if (rest.empty() || rest[0] != tag) return false;
        const auto end = rest.find_first_of("*,;", 1);
        out = rest.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
        rest = end == std::string_view::npos ? "" : rest.substr(end);
        return true;
    };
    std::string_view text;
    if (field('*', text) && (!ParseFixed(text, 3, qty) || qty <= 0 || qty > 99'999'999))
        return Refused(kS0, kSyntax);
    if (field(',', text)) {
        hasPercent = true;
        if (!ParseFixed(text, 2, percent) || percent < -9999 || percent > 9999)
            return Refused(kS0, kSyntax);
    }
    if (field(';', text)) {
        hasAmount = true;
        if (!ParseFixed(text, 2, amount)) return Refused(kS0, kSyntax);
    }
    if (!rest.empty() || (hasPercent && hasAmount)) return Refused(kS0, kSyntax);

    Receipt& rc = state_.receipt;
    if (!IsFiscalKind(rc.kind) || rc.paymentStarted) return Refused(kS1, kNotPermitted);
    const auto it = state_.articles.find(static_cast<int>(article));
    if (it == state_.articles.end()) return Refused(kS1, kNotPermitted);
    const Article& a = it->second;

    const Money base = MulDivRound(a.price, qty, 1000);
    if (base > kMaxAmount) return Refused(kS1, kOverflow);
    const Money adjust = hasPercent ? MulDivRound(base, percent, 10000) : amount;
    const Money line = base + adjust;
    if (line < 0 || (hasAmount && -amount > base)) return Refused(kS1, kNotPermitted);
    if (line > kMaxAmount) return Refused(kS1, kOverflow);

    if (isVoid) {
        // A void takes back part of what this receipt already holds of the article.
        std::int64_t heldQty = 0;
        Money heldAmount = 0;
        for (const auto& l : rc.lines) {
            if (l.article == a.number) {
                heldQty += l.qty;
                heldAmount += l.amount;
            }
        }
        if (heldQty < qty || heldAmount < line) return Refused(kS1, kNotPermitted);
    }
    Result r;
    if (!CanPrint(r)) return r;
    const std::int64_t sign = isVoid ? -1 : 1;
    rc.lines.push_back({a.number, a.taxGroup, sign * qty, sign * line});

    if (isVoid) PrintUtf8(r, "СТОРНО");
    Print(r, a.name);
    PrintPair(r, "  " + Qty(sign * qty) + " x " + FormatMoney(a.price),
              FormatMoney(sign * base) + " " + TaxLetter(a.taxGroup));
    if (adjust != 0) {
        const std::string label = Cp(adjust < 0 ? "  СКИДКА" : "  НАДБАВКА") +
                                  (hasPercent ? " " + FormatMoney(percent) + "%" : std::string());
        PrintPair(r, label, FormatMoney(sign * adjust));
    }
    ShowDisplay(a.name, DisplayPair(Qty(sign * qty), FormatMoney(sign * line)));
    r.data = FormatMoney(rc.Subtotal());
    return r;
}

DeviceModel::Result DeviceModel::Subtotal(std::string_view data) {
    // [print[display]][,percent | ;amount]
    std::size_t flags = 0;
    while (flags < 2 && flags < data.size() && (data[flags] == '0' || data[flags] == '1'))
        ++flags;
    const bool print = flags > 0 && data[0] == '1';
    const bool display = flags > 1 && data[1] == '1';
    std::string_view rest = data.substr(flags);
    long long percent = 0, amount = 0;
    bool hasPercent = false, hasAmount = false;
    if (!rest.empty()) {
        if (rest[0] == ',')
            hasPercent = ParseFixed(rest.substr(1), 2, percent);
        else if (rest[0] == ';')
            hasAmount = ParseFixed(rest.substr(1), 2, amount);
        if ((!hasPercent && !hasAmount) || (hasPercent && (percent < -9999 || percent > 9999)))
            return Refused(kS0, kSyntax);
    }
    Receipt& rc = state_.receipt;
    if (!IsFiscalKind(rc.kind) || rc.paymentStarted) return Refused(kS1, kNotPermitted);
    const Money sub = rc.Subtotal();
    Money adjust = 0;
    if (hasPercent || hasAmount) {
        // One discount or surcharge per receipt, and only on something sold.
        if (sub <= 0 || rc.adjustment != 0) return Refused(kS1, kNotPermitted);
        adjust = hasPercent ? MulDivRound(sub, percent, 10000) : amount;
        if (sub + adjust < 0) return Refused(kS1, kNotPermitted);
        if (adjust == 0) hasPercent = hasAmount = false;
    }
    Result r;
    if ((print || adjust != 0) && !CanPrint(r)) return r;
    rc.adjustment = adjust;
    if (print || adjust != 0) PrintPair(r, Cp("ПОДЫТОГ"), FormatMoney(sub));
    if (adjust != 0) {
        const std::string label = Cp(adjust < 0 ? "СКИДКА" : "НАДБАВКА") +
                                  (hasPercent ? " " + FormatMoney(percent) + "%" : std::string());
        PrintPair(r, label, FormatMoney(adjust));
    }
    if (display) ShowDisplay(Cp("ПОДЫТОГ"), DisplayPair("", FormatMoney(rc.Total())));
    r.data = FormatMoney(rc.Total());
    return r;
}

DeviceModel::Result DeviceModel::Total(std::string_view data) {
    // text TAB payment [amount]
    const auto tab = data.find('\t');
    if (tab == std::string_view::npos || tab + 1 >= data.size()) return Refused(kS0, kSyntax);
    const std::string text(data.substr(0, tab));
    const char type = data[tab + 1];
    static const std::map<char, const char*> kPayments = {
        {'P', "НАЛИЧНЫЕ"}, {'N', "КРЕДИТ"}, {'C', "ЧЕК"}, {'D', "КАРТА"}};
    const auto pay = kPayments.find(type);
    if (pay == kPayments.end()) return Refused(kS0, kSyntax);
    Receipt& rc = state_.receipt;
    const std::string_view amountText = data.substr(tab + 2);
    long long amount = rc.Total() - rc.paid;
    if (!amountText.empty() && (!ParseFixed(amountText, 2, amount) || amount < 0))
        return Refused(kS0, kSyntax);
    if (!IsFiscalKind(rc.kind) || rc.FullyPaid()) return Refused(kS1, kNotPermitted);
    if (amount > kMaxAmount) return Refused(kS1, kOverflow);
    const Money due = rc.Total() - rc.paid;
    Result r;
    if (amount < due) {
        // A payment short of the amount due is refused; the reply tells what is due.
        r.status[kS1] |= kNotPermitted;
        r.data = "D" + FormatMoney(due);
        return r;
    }
    // Only cash gives change.
    if (type != 'P' && amount > due) return Refused(kS1, kNotPermitted);
    // A refund in cash comes out of the drawer, so there must be that much in it.
    if (rc.kind == ReceiptKind::Return && type == 'P' && std::min<Money>(amount, due) > state_.cash)
        return Refused(kS1, kNotPermitted);
    if (!CanPrint(r)) return r;
    const bool first = !rc.paymentStarted;
    rc.paymentStarted = true;
    rc.paid += amount;
    rc.payments[type] += amount;
    const Money change = rc.paid - rc.Total();
    if (!text.empty()) Print(r, text);
    if (first) PrintPair(r, Cp("ИТОГО"), FormatMoney(rc.Total()));
    PrintPair(r, Cp(pay->second), FormatMoney(amount));
    if (change > 0) PrintPair(r, Cp("СДАЧА"), FormatMoney(change));
    ShowDisplay(DisplayPair(Cp("ИТОГО"), FormatMoney(rc.Total())),
                DisplayPair(Cp("СДАЧА"), FormatMoney(change)));
    r.data = "F" + FormatMoney(change);
    return r;
}

DeviceModel::Result DeviceModel::PrintFiscalText(std::string_view data) {
    Result r;
    if (!IsFiscalKind(state_.receipt.kind)) return Refused(kS1, kNotPermitted);
    if (!CanPrint(r)) return r;
    Print(r, std::string(data));
    return r;
}

DeviceModel::Result DeviceModel::CloseFiscal(std::string_view) {
    Receipt& rc = state_.receipt;
    if (!IsFiscalKind(rc.kind)) return Refused(kS1, kNotPermitted);
    // A receipt with sales closes only when paid in full; one without sales closes as it is.
    const bool empty = rc.lines.empty() && rc.adjustment == 0;
    if (!empty && !rc.FullyPaid()) return Refused(kS1, kNotPermitted);
    Result r;
    if (!CanPrint(r)) return r;
    const bool isReturn = rc.kind == ReceiptKind::Return;

    // Amounts per tax group, with the subtotal's discount or surcharge shared out by amount.
    std::array<Money, 5> byGroup{};
    for (const auto& l : rc.lines)
        byGroup[l.taxGroup] += l.amount;
    const Money sub = rc.Subtotal();
    if (rc.adjustment != 0 && sub > 0) {
        Money left = rc.adjustment;
        int last = -1;
        for (int g = 0; g < 5; ++g) {
            if (byGroup[g] == 0) continue;
            last = g;
        }
        for (int g = 0; g < 5; ++g) {
            if (byGroup[g] == 0) continue;
            const Money share = g == last ? left : MulDivRound(rc.adjustment, byGroup[g], sub);
            byGroup[g] += share;
            left -= share;
        }
    }
    for (int g = 0; g < 5; ++g) {
        (isReturn ? state_.day.returns : state_.day.sales)[g] += byGroup[g];
        if (byGroup[g] != 0) {
            const Money vat = MulDivRound(byGroup[g], kTaxRates[g], 10000 + kTaxRates[g]);
            PrintPair(r, Cp("НДС ") + TaxLetter(g) + " " + Rate(kTaxRates[g]) + "%",
                      FormatMoney(vat));
        }
    }
    for (const auto& l : rc.lines) {
        auto it = state_.articles.find(l.article);
        if (it == state_.articles.end()) continue;
        it->second.soldQty += isReturn ? -l.qty : l.qty;
        it->second.soldAmount += isReturn ? -l.amount : l.amount;
        it->second.sold = true;
    }
    // Cash: what was paid in cash less the change; a return pays its total out.
    const Money cashPaid = rc.payments.count('P') ? rc.payments.at('P') : 0;
    const Money change = rc.paid > rc.Total() ? rc.paid - rc.Total() : 0;
    if (isReturn)
        state_.cash -= std::min(cashPaid, rc.Total());
    else
        state_.cash += cashPaid - change;
    ++(isReturn ? state_.day.returnReceipts : state_.day.fiscalReceipts);
    ++state_.fiscalReceiptNumber;

    PrintPair(r, Cp("ЧЕК N ") + Padded(state_.fiscalReceiptNumber, 6),
              Cp("Z ") + Padded(static_cast<long long>(state_.fiscalMemory.size()) + 1, 4));
    PrintDocumentEnd(r, isReturn ? "ФИСКАЛЬНЫЙ ЧЕК - ВОЗВРАТ" : "ФИСКАЛЬНЫЙ ЧЕК");
    state_.receipt = Receipt{};
    r.data =
        std::to_string(state_.documentNumber) + "," + std::to_string(state_.fiscalReceiptNumber);
    return r;
}

DeviceModel::Result DeviceModel::CancelReceipt(std::string_view) {
    Receipt& rc = state_.receipt;
    // A receipt paid in full can only be closed.
    if (!IsFiscalKind(rc.kind) || rc.FullyPaid()) return Refused(kS1, kNotPermitted);
    Result r;
    if (!CanPrint(r)) return r;
    PrintCentered(r, Cp("ЧЕК АННУЛИРОВАН"));
    PrintDocumentEnd(r, "НЕФИСКАЛЬНЫЙ ЧЕК");
    ++state_.day.cancelledReceipts;
    state_.receipt = Receipt{};
    return r;
}

// ---- Cash -----------------------------------------------------------------------------------

DeviceModel::Result DeviceModel::CashInOut(std::string_view data) {
    Result r;
    long long amount = 0;
    if (!data.empty() && !ParseFixed(data, 2, amount)) return Refused(kS0, kSyntax);
    if (amount != 0) {
        if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
        if (amount < 0 && -amount > state_.cash) return Refused(kS1, kNotPermitted);
        if (amount > kMaxAmount || state_.cash + amount > 99 * kMaxAmount)
            return Refused(kS1, kOverflow);
        if (!CanPrint(r)) return r;
        state_.cash += amount;
        (amount > 0 ? state_.day.serviceIn : state_.day.serviceOut) +=
            amount > 0 ? amount : -amount;
        ++state_.documentNumber;
        PrintHeader(r);
        PrintPair(r, Cp(amount > 0 ? "СЛУЖЕБНЫЙ ВНОС" : "СЛУЖЕБНЫЙ ВЫНОС"),
                  FormatMoney(amount > 0 ? amount : -amount));
        PrintPair(r, Cp("В КАССЕ"), FormatMoney(state_.cash));
        PrintDocumentEnd(r, "СЛУЖЕБНЫЙ ЧЕК");
    }
    r.data = FormatMoney(state_.cash) + "," + FormatMoney(state_.day.serviceIn) + "," +
             FormatMoney(state_.day.serviceOut);
    return r;
}

// ---- Reports --------------------------------------------------------------------------------

DeviceModel::Result DeviceModel::DailyReport(std::string_view data) {
    const auto f = Split(data, ',');
    if (f.size() != 2 || f[1].size() != 1 || f[1][0] < '0' || f[1][0] > '3')
        return Refused(kS0, kSyntax);
    const bool z = f[1][0] == '0' || f[1][0] == '1';
    if (!IsReportPassword(f[0])) return Refused(kS1, kNotPermitted);
    if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
    if (z && (!FiscalReady() ||
              static_cast<int>(state_.fiscalMemory.size()) >= state_.fiscalMemorySize)) {
        return Refused(kS1, kNotPermitted);
    }
    Result r;
    if (!CanPrint(r)) return r;
    const int number = static_cast<int>(state_.fiscalMemory.size()) + 1;
    Money sales = 0, returns = 0;
    ++state_.documentNumber;
    PrintHeader(r);
    PrintCentered(r, Cp(z ? "Z-ОТЧЕТ N " : "X-ОТЧЕТ N ") + Padded(number, 4));
    PrintUtf8(r, "ПРОДАЖИ");
    for (int g = 0; g < 5; ++g) {
        PrintPair(r, "  " + TaxLetter(g) + " " + Rate(kTaxRates[g]) + "%",
                  FormatMoney(state_.day.sales[g]));
        sales += state_.day.sales[g];
    }
    PrintUtf8(r, "ВОЗВРАТЫ");
    for (int g = 0; g < 5; ++g) {
        PrintPair(r, "  " + TaxLetter(g) + " " + Rate(kTaxRates[g]) + "%",
                  FormatMoney(state_.day.returns[g]));
        returns += state_.day.returns[g];
    }
    PrintPair(r, Cp("ЧЕКОВ ПРОДАЖИ"), std::to_string(state_.day.fiscalReceipts));
    PrintPair(r, Cp("ЧЕКОВ ВОЗВРАТА"), std::to_string(state_.day.returnReceipts));
    PrintPair(r, Cp("АННУЛИРОВАНО"), std::to_string(state_.day.cancelledReceipts));
    PrintPair(r, Cp("СЛУЖЕБНЫЙ ВНОС"), FormatMoney(state_.day.serviceIn));
    PrintPair(r, Cp("СЛУЖЕБНЫЙ ВЫНОС"), FormatMoney(state_.day.serviceOut));
    PrintPair(r, Cp("В КАССЕ"), FormatMoney(state_.cash));
    if (z) {
        FiscalRecord rec;
        rec.number = number;
        rec.date = state_.clock;
        rec.sales = state_.day.sales;
        rec.returns = state_.day.returns;
        rec.receipts = state_.day.fiscalReceipts + state_.day.returnReceipts;
        state_.fiscalMemory.push_back(rec);
        // The day is closed: its totals start again from zero, the drawer is emptied, and the
        // articles count as unsold.
        state_.day = DayTotals{};
        state_.cash = 0;
        for (auto& [n, a] : state_.articles) {
            a.soldQty = 0;
            a.soldAmount = 0;
            a.sold = false;
        }
    }
    PrintDocumentEnd(r, z ? "ФИСКАЛЬНЫЙ ОТЧЕТ" : "НЕФИСКАЛЬНЫЙ ЧЕК");
    r.data = std::to_string(number) + "," + FormatMoney(sales) + "," + FormatMoney(returns);
    return r;
}

DeviceModel::Result DeviceModel::PeriodicReport(bool full, bool byDate, std::string_view data) {
    const auto f = Split(data, ',');
    if (f.size() != 3) return Refused(kS0, kSyntax);
    DateTime from, to;
    long long first = 0, last = 0;
    if (byDate) {
        if (!ParseShortDate(f[1], from) || !ParseShortDate(f[2], to) ||
            ToSeconds(from) > ToSeconds(to)) {
            return Refused(kS0, kSyntax);
        }
    } else if (!ParseUint(f[1], 9999, first) || !ParseUint(f[2], 9999, last) || first < 1 ||
               first > last) {
        return Refused(kS0, kSyntax);
    }
    if (!IsReportPassword(f[0])) return Refused(kS1, kNotPermitted);
    if (state_.receipt.kind != ReceiptKind::None || !state_.fiscalMemoryFormatted)
        return Refused(kS1, kNotPermitted);
    Result r;
    if (!CanPrint(r)) return r;
    ++state_.documentNumber;
    PrintHeader(r);
    PrintCentered(r, Cp(full ? "ПОЛНЫЙ ПЕРИОДИЧЕСКИЙ ОТЧЕТ" : "СОКРАЩЕННЫЙ ПЕРИОДИЧЕСКИЙ ОТЧЕТ"));
    auto dateText = [](const DateTime& d) { return FormatDateTime(d).substr(0, 8); };
    if (byDate)
        PrintCentered(r, Cp("С ") + dateText(from) + Cp(" ПО ") + dateText(to));
    else
        PrintCentered(r, Cp("Z С ") + Padded(first, 4) + Cp(" ПО ") + Padded(last, 4));
    std::array<Money, 5> sales{}, returns{};
    int count = 0;
    for (const auto& rec : state_.fiscalMemory) {
        const bool inRange =
            byDate ? (DaysOf(rec.date) >= DaysOf(from) && DaysOf(rec.date) <= DaysOf(to))
                   : (rec.number >= first && rec.number <= last);
        if (!inRange) continue;
        ++count;
        for (int g = 0; g < 5; ++g) {
            sales[g] += rec.sales[g];
            returns[g] += rec.returns[g];
        }
        if (full) {
            PrintPair(r, Cp("Z N ") + Padded(rec.number, 4), FormatDateTime(rec.date));
            for (int g = 0; g < 5; ++g) {
                if (rec.sales[g] != 0 || rec.returns[g] != 0) {
                    PrintPair(r, "  " + TaxLetter(g),
                              FormatMoney(rec.sales[g]) + " / " + FormatMoney(rec.returns[g]));
                }
            }
        }
    }
    if (count == 0) PrintCentered(r, Cp("НЕТ ЗАПИСЕЙ"));
    PrintPair(r, Cp("ЗАПИСЕЙ"), std::to_string(count));
    PrintUtf8(r, "ПРОДАЖИ / ВОЗВРАТЫ");
    for (int g = 0; g < 5; ++g) {
        PrintPair(r, "  " + TaxLetter(g) + " " + Rate(kTaxRates[g]) + "%",
                  FormatMoney(sales[g]) + " / " + FormatMoney(returns[g]));
    }
    PrintDocumentEnd(r, "НЕФИСКАЛЬНЫЙ ЧЕК");
    r.data = std::to_string(count);
    return r;
}

// ---- Articles -------------------------------------------------------------------------------

DeviceModel::Result DeviceModel::Articles(std::string_view data) {
    if (data.empty()) return Refused(kS0, kSyntax);
    if (data[0] == 'P') {
        // P<tax group><article>,<group>,<price>,<password>,<name>
        if (data.size() < 2) return Refused(kS0, kSyntax);
        const auto tg = static_cast<unsigned char>(data[1]);
        int taxGroup = -1;
        if (tg >= 0xC0 && tg <= 0xC4) taxGroup = tg - 0xC0;
        if (tg >= 0x80 && tg <= 0x84) taxGroup = tg - 0x80;
        if (taxGroup < 0) return Refused(kS0, kSyntax);
        const auto f = Split(data.substr(2), ',');
        long long number = 0, group = 0, price = 0;
        if (f.size() < 5 || !ParseUint(f[0], 99999, number) || number < 1 ||
            !ParseUint(f[1], 99, group) || group < 1 || !ParseFixed(f[2], 2, price) || price <= 0 ||
            price > kMaxAmount) {
            return Refused(kS0, kSyntax);
        }
        // The name is the rest of the data, commas included.
        const std::size_t nameStart = f[0].size() + f[1].size() + f[2].size() + f[3].size() + 4;
        const std::string name(data.substr(2 + nameStart));
        if (name.empty() || name.size() > kLineWidth - 4) return Refused(kS0, kSyntax);
        if (!IsProgrammingPassword(f[3])) return Refused(kS1, kNotPermitted);
        Article fresh;
        fresh.number = static_cast<int>(number);
        fresh.taxGroup = taxGroup;
        fresh.group = static_cast<int>(group);
        fresh.price = price;
        fresh.name = name;
        auto it = state_.articles.find(fresh.number);
        if (it == state_.articles.end()) {
            if (static_cast<int>(state_.articles.size()) >= kMaxArticles)
                return Refused(kS1, kNotPermitted);
            state_.articles.emplace(fresh.number, fresh);
            return {};
        }
        Article& old = it->second;
        // An article sold since the last Z report keeps its price, tax group, group and name.
        if (old.sold && (old.taxGroup != fresh.taxGroup || old.group != fresh.group ||
                         old.price != fresh.price || old.name != fresh.name)) {
            return Refused(kS1, kNotPermitted);
        }
        old.taxGroup = fresh.taxGroup;
        old.group = fresh.group;
        old.price = fresh.price;
        old.name = fresh.name;
        return {};
    }
    if (data[0] == 'D') {
        // DA,<password> deletes every unsold article; D<article>,<password> one article.
        const auto f = Split(data.substr(1), ',');
        if (f.size() != 2) return Refused(kS0, kSyntax);
        long long number = 0;
        const bool all = f[0] == "A";
        if (!all && (!ParseUint(f[0], 99999, number) || number < 1)) return Refused(kS0, kSyntax);
        if (!IsProgrammingPassword(f[1])) return Refused(kS1, kNotPermitted);
        Result r;
        if (all) {
            int deleted = 0;
            for (auto it = state_.articles.begin(); it != state_.articles.end();) {
                if (it->second.sold) {
                    ++it;
                } else {
                    it = state_.articles.erase(it);
                    ++deleted;
                }
            }
            r.data = std::to_string(deleted);
            return r;
        }
        auto it = state_.articles.find(static_cast<int>(number));
        if (it == state_.articles.end() || it->second.sold) return Refused(kS1, kNotPermitted);
        state_.articles.erase(it);
        r.data = "1";
        return r;
    }
    return Refused(kS0, kSyntax);
}

DeviceModel::Result DeviceModel::ArticlesReport(std::string_view data) {
    const auto f = Split(data, ',');
    if (f.size() != 2 || (f[1] != "S" && f[1] != "P" && f[1] != "G")) return Refused(kS0, kSyntax);
    if (!IsReportPassword(f[0])) return Refused(kS1, kNotPermitted);
    if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
    Result r;
    if (!CanPrint(r)) return r;
    const char kind = f[1][0];
    ++state_.documentNumber;
    PrintHeader(r);
    int count = 0;
    Money total = 0;
    if (kind == 'S') {
        PrintCentered(r, Cp("ОТЧЕТ ПРОДАННЫХ ТОВАРОВ"));
        for (const auto& [n, a] : state_.articles) {
            if (!a.sold) continue;
            ++count;
            total += a.soldAmount;
            PrintPair(r, std::to_string(n) + " " + a.name, TaxLetter(a.taxGroup));
            PrintPair(r, "  " + Qty(a.soldQty), FormatMoney(a.soldAmount));
        }
        PrintPair(r, Cp("ВСЕГО"), FormatMoney(total));
    } else if (kind == 'P') {
        PrintCentered(r, Cp("ОТЧЕТ ЗАПРОГРАММИРОВАННЫХ ТОВАРОВ"));
        for (const auto& [n, a] : state_.articles) {
            ++count;
            PrintPair(r, std::to_string(n) + " " + a.name, FormatMoney(a.price));
            PrintPair(r, "  " + TaxLetter(a.taxGroup) + Cp(" ГРУППА ") + Padded(a.group, 2), "");
        }
        PrintPair(r, Cp("АРТИКУЛОВ"), std::to_string(count));
    } else {
        PrintCentered(r, Cp("ОТЧЕТ ТОВАРНЫХ ГРУПП"));
        std::map<int, Money> groups;
        for (const auto& [n, a] : state_.articles) {
            if (a.sold) groups[a.group] += a.soldAmount;
        }
        for (const auto& [g, amount] : groups) {
            ++count;
            total += amount;
            PrintPair(r, Cp("ГРУППА ") + Padded(g, 2), FormatMoney(amount));
        }
        PrintPair(r, Cp("ВСЕГО"), FormatMoney(total));
    }
    if (count == 0) PrintCentered(r, Cp("НЕТ ДАННЫХ"));
    PrintDocumentEnd(r, "НЕФИСКАЛЬНЫЙ ЧЕК");
    r.data = std::to_string(count);
    return r;
}
