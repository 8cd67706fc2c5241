// Information: status, diagnostics, tax rates, tax number and the printed diagnostics.
#include "DeviceModel.h"

#include "commands/Support.h"

#include <cstdio>

using namespace sim::commands;

namespace {

constexpr const char* kFirmware = "1.00 15Oct26 1200";
constexpr const char* kCountry = "UA";

} // namespace

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
    r.data = state_.taxNumber + "," + std::to_string(options_.taxNumberKind);
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
