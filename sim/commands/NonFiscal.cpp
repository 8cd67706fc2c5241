// The non-fiscal receipt: open, print text, close.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

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
