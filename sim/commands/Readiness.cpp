// Passwords and readiness: whose password a command takes, and whether the device may open a
// fiscal receipt.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

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
