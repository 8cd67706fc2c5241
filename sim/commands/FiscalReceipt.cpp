// The fiscal receipt (sale or return): open, sell or void, subtotal, pay, print text, close,
// cancel.
#include "DeviceModel.h"

#include "commands/Support.h"

#include <algorithm>

using namespace sim::commands;

namespace {

// value * numerator / denominator, rounded half away from zero.
Money MulDivRound(Money value, long long numerator, long long denominator) {
    const __int128 p = static_cast<__int128>(value) * numerator;
    const __int128 half = denominator / 2;
    return static_cast<Money>(p >= 0 ? (p + half) / denominator : (p - half) / denominator);
}

bool IsFiscalKind(ReceiptKind k) {
    return k == ReceiptKind::Fiscal || k == ReceiptKind::Return;
}

// Text on the left, amount on the right of a display line.
std::string DisplayPair(const std::string& left, const std::string& right) {
    const std::size_t width = DeviceModel::kDisplayWidth;
    std::string l = left.substr(0, width > right.size() + 1 ? width - right.size() - 1 : 0);
    return l + std::string(width - l.size() - std::min(width, right.size()), ' ') +
           right.substr(0, width);
}

} // namespace

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
