// What the printer's commands share: the error bits of a refusal, the tax rates, and the parsing
// and formatting of the numbers, dates and texts in their data.
#pragma once

#include "DeviceModel.h"

#include <string>
#include <string_view>
#include <vector>

namespace sim::commands {

using Money = DeviceModel::Money;
using ReceiptKind = DeviceModel::ReceiptKind;

// Error bits of an outcome, as (status byte, bit).
constexpr int kS0 = 0, kS1 = 1;
constexpr std::uint8_t kSyntax = 0x01, kBadCommand = 0x02, kOverflow = 0x01, kNotPermitted = 0x02;

constexpr Money kMaxAmount = 999'999'999; // 9 999 999.99, the largest amount a line may hold

// Tax rates of the groups А..Д, in hundredths of a per cent.
constexpr int kTaxRates[5] = {2000, 700, 0, 1400, 0};

std::string Cp(std::string_view utf8);
std::string TaxLetter(int group);
std::vector<std::string_view> Split(std::string_view s, char sep);

// Decimal digits only, at least one, at most `max`.
bool ParseUint(std::string_view s, long long max, long long& out);

// A signed decimal number with up to `decimals` digits after the point, as an integer count of
// 10^-decimals: "-1.5" with 2 decimals gives -150.
bool ParseFixed(std::string_view s, int decimals, long long& out);

std::string Qty(std::int64_t thousandths);
std::string Rate(int hundredths);
std::string Padded(long long v, int width);
bool ValidDate(int y, int m, int d);

} // namespace sim::commands
