// What the printer's commands share: parsing and formatting of the numbers, dates and texts in
// their data.
#include "commands/Support.h"

#include "Cp1251.h"

#include <cstdio>

namespace sim::commands {

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

} // namespace sim::commands
