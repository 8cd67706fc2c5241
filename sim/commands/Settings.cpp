// Settings: header and footer lines, print options, the clock and the operators' passwords.
#include "DeviceModel.h"

#include "commands/Support.h"

#include <algorithm>

using namespace sim::commands;

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
