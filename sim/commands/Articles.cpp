// Articles: programming and deleting them, and the article reports.
#include "DeviceModel.h"

#include "commands/Support.h"

using namespace sim::commands;

DeviceModel::Result DeviceModel::Articles(std::string_view data) {
    if (data.empty()) return Refused(kS0, kSyntax);
    if (data[0] == 'P') {
        // P<tax group><article>,<group>,<price>,<password>,<name>
        if (data.size() < 2) return Refused(kS0, kSyntax);
        const auto tg = static_cast<unsigned char>(data[1]);
        int taxGroup = -1;
        if (tg >= 0xC0 && tg <= 0xC4) taxGroup = tg - 0xC0;
        if (tg >= 0x80 && tg <= 0x84) taxGroup = tg - 0x80;
        if (taxGroup < 0) return Refused(kS0, kSyntax);
        const auto f = Split(data.substr(2), ',');
        long long number = 0, group = 0, price = 0;
        if (f.size() < 5 || !ParseUint(f[0], 99999, number) || number < 1 ||
            !ParseUint(f[1], 99, group) || group < 1 || !ParseFixed(f[2], 2, price) || price <= 0 ||
            price > kMaxAmount) {
            return Refused(kS0, kSyntax);
        }
        // The name is the rest of the data, commas included.
        const std::size_t nameStart = f[0].size() + f[1].size() + f[2].size() + f[3].size() + 4;
        const std::string name(data.substr(2 + nameStart));
        if (name.empty() || name.size() > kLineWidth - 4) return Refused(kS0, kSyntax);
        if (!IsProgrammingPassword(f[3])) return Refused(kS1, kNotPermitted);
        Article fresh;
        fresh.number = static_cast<int>(number);
        fresh.taxGroup = taxGroup;
        fresh.group = static_cast<int>(group);
        fresh.price = price;
        fresh.name = name;
        auto it = state_.articles.find(fresh.number);
        if (it == state_.articles.end()) {
            if (static_cast<int>(state_.articles.size()) >= kMaxArticles)
                return Refused(kS1, kNotPermitted);
            state_.articles.emplace(fresh.number, fresh);
            return {};
        }
        Article& old = it->second;
        // An article sold since the last Z report keeps its price, tax group, group and name.
        if (old.sold && (old.taxGroup != fresh.taxGroup || old.group != fresh.group ||
                         old.price != fresh.price || old.name != fresh.name)) {
            return Refused(kS1, kNotPermitted);
        }
        old.taxGroup = fresh.taxGroup;
        old.group = fresh.group;
        old.price = fresh.price;
        old.name = fresh.name;
        return {};
    }
    if (data[0] == 'D') {
        // DA,<password> deletes every unsold article; D<article>,<password> one article.
        const auto f = Split(data.substr(1), ',');
        if (f.size() != 2) return Refused(kS0, kSyntax);
        long long number = 0;
        const bool all = f[0] == "A";
        if (!all && (!ParseUint(f[0], 99999, number) || number < 1)) return Refused(kS0, kSyntax);
        if (!IsProgrammingPassword(f[1])) return Refused(kS1, kNotPermitted);
        Result r;
        if (all) {
            int deleted = 0;
            for (auto it = state_.articles.begin(); it != state_.articles.end();) {
                if (it->second.sold) {
                    ++it;
                } else {
                    it = state_.articles.erase(it);
                    ++deleted;
                }
            }
            r.data = std::to_string(deleted);
            return r;
        }
        auto it = state_.articles.find(static_cast<int>(number));
        if (it == state_.articles.end() || it->second.sold) return Refused(kS1, kNotPermitted);
        state_.articles.erase(it);
        r.data = "1";
        return r;
    }
    return Refused(kS0, kSyntax);
}

DeviceModel::Result DeviceModel::ArticlesReport(std::string_view data) {
    const auto f = Split(data, ',');
    if (f.size() != 2 || (f[1] != "S" && f[1] != "P" && f[1] != "G")) return Refused(kS0, kSyntax);
    if (!IsReportPassword(f[0])) return Refused(kS1, kNotPermitted);
    if (state_.receipt.kind != ReceiptKind::None) return Refused(kS1, kNotPermitted);
    Result r;
    if (!CanPrint(r)) return r;
    const char kind = f[1][0];
    ++state_.documentNumber;
    PrintHeader(r);
    int count = 0;
    Money total = 0;
    if (kind == 'S') {
        PrintCentered(r, Cp("ОТЧЕТ ПРОДАННЫХ ТОВАРОВ"));
        for (const auto& [n, a] : state_.articles) {
            if (!a.sold) continue;
            ++count;
            total += a.soldAmount;
            PrintPair(r, std::to_string(n) + " " + a.name, TaxLetter(a.taxGroup));
            PrintPair(r, "  " + Qty(a.soldQty), FormatMoney(a.soldAmount));
        }
        PrintPair(r, Cp("ВСЕГО"), FormatMoney(total));
    } else if (kind == 'P') {
        PrintCentered(r, Cp("ОТЧЕТ ЗАПРОГРАММИРОВАННЫХ ТОВАРОВ"));
        for (const auto& [n, a] : state_.articles) {
            ++count;
            PrintPair(r, std::to_string(n) + " " + a.name, FormatMoney(a.price));
            PrintPair(r, "  " + TaxLetter(a.taxGroup) + Cp(" ГРУППА ") + Padded(a.group, 2), "");
        }
        PrintPair(r, Cp("АРТИКУЛОВ"), std::to_string(count));
    } else {
        PrintCentered(r, Cp("ОТЧЕТ ТОВАРНЫХ ГРУПП"));
        std::map<int, Money> groups;
        for (const auto& [n, a] : state_.articles) {
            if (a.sold) groups[a.group] += a.soldAmount;
        }
        for (const auto& [g, amount] : groups) {
            ++count;
            total += amount;
            PrintPair(r, Cp("ГРУППА ") + Padded(g, 2), FormatMoney(amount));
        }
        PrintPair(r, Cp("ВСЕГО"), FormatMoney(total));
    }
    if (count == 0) PrintCentered(r, Cp("НЕТ ДАННЫХ"));
    PrintDocumentEnd(r, "НЕФИСКАЛЬНЫЙ ЧЕК");
    r.data = std::to_string(count);
    return r;
}
