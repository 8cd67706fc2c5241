// The printer's commands: which routine carries out each command code, and how a refusal is
// answered. The routines live beside this file, one file per command family.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

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
