// Service cash in and out of the drawer.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

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
