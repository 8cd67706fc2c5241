// Reports: the daily X and Z reports and the periodic reports from the fiscal memory.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

namespace {

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

} // namespace

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
