#include "Line.h"

#include "TraceCheck.h"

#include <algorithm>
#include <cstdio>

namespace {

// A line that is not clean; a port that does not open has the codes of `check`.
const int kExitLineFaulty = 1;

std::string Millis(uint64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(micros) / 1e3);
    return text;
}

// Nearest rank: the smallest value with at least that share of the values at or below it.
uint32_t Percentile(const std::vector<uint32_t>& sorted, int percent) {
    const std::size_t rank = (sorted.size() * static_cast<std::size_t>(percent) + 99) / 100;
    return sorted[rank > 0 ? rank - 1 : 0];
}

std::string HoldersText(const std::vector<PortHolder>& holders) {
    std::string text;
    for (const PortHolder& h : holders)
        text += (text.empty() ? "" : ", ") + (h.Name.empty() ? std::string("?") : h.Name) +
                " (PID " + std::to_string(h.Pid) + ")";
    return text;
}

std::string OutOf(int count, const LineReport& r) {
    return std::to_string(count) + " из " + std::to_string(r.Done);
}

void PrintReport(const LineReport& r, int baud, std::ostream& out) {
    // Columns are counted in letters, and a Cyrillic letter takes two bytes of UTF-8.
    auto line = [&out](const std::string& label, long long value) {
        std::size_t letters = 0;
        for (unsigned char c : label)
            letters += (c & 0xC0) != 0x80;
        char number[32];
        std::snprintf(number, sizeof number, "%8lld", value);
        out << "  " << label << std::string(letters < 32 ? 32 - letters : 0, ' ') << number << "\n";
    };
    line("обменов", r.Done);
    line("ответов", r.Answered);
    line("NAK", r.Nak);
    line("неверная контрольная сумма", r.BadChecksum);
    line("таймаутов: не пришло ничего", r.Silent);
    line("ответ оборван", r.CutShort);
    line("байты, но не ответ", r.Noise);
    line("ожиданий SYN (принтер занят)", r.SynWaits);
    if (r.NotSent) line("запрос не ушёл целиком", r.NotSent);
    if (!r.RoundTrips.empty()) {
        std::vector<uint32_t> sorted = r.RoundTrips;
        std::sort(sorted.begin(), sorted.end());
        out << "  время ответа, мс: мин " << Millis(sorted.front()) << ", медиана "
            << Millis(Percentile(sorted, 50)) << ", 99% " << Millis(Percentile(sorted, 99))
            << ", макс " << Millis(sorted.back()) << "\n";
    } else {
        out << "  время ответа: ответов не было\n";
    }
    // Ten bits a byte: the least time the bytes need on the wire at this rate.
    const uint64_t wire =
        (r.BytesSent + r.BytesReceived) * 10'000'000ULL / static_cast<uint64_t>(baud);
    char least[32];
    std::snprintf(least, sizeof least, wire >= 1'000'000 ? "%.1f с" : "%.1f мс",
                  static_cast<double>(wire) / (wire >= 1'000'000 ? 1e6 : 1e3));
    out << "  байт отправлено " << r.BytesSent << ", принято " << r.BytesReceived << " (на линии "
        << baud << " бод это не меньше " << least << ")\n";
}

} // namespace

void Count(LineReport& report, const TalkResult& r) {
    report.Done++;
    report.BytesSent += r.Line.BytesSent;
    report.BytesReceived += r.Line.BytesReceived;
    if (r.Line.SynReceived > 0) report.SynWaits++;
    if (r.Line.BytesSent < kStatusRequestBytes) report.NotSent++;
    if (r.Answered()) {
        report.Answered++;
        report.RoundTrips.push_back(r.Line.Micros);
    } else if (r.ErrorWord & ERR_NAK) {
        report.Nak++;
    } else if (r.ErrorWord & ERR_PROTOCOL) {
        report.BadChecksum++;
    } else if (r.Line.FrameOpen) {
        report.CutShort++;
    } else if (r.Line.BytesReceived > r.Line.SynReceived) {
        report.Noise++;
    } else {
        report.Silent++;
    }
}

bool Clean(const LineReport& r) {
    return r.Done > 0 && r.Answered == r.Done && !r.Interrupted;
}

std::string Verdict(const LineReport& r, int baud) {
    if (r.Done == 0) return "Обменов не было: проверить линию не удалось.";
    if (Clean(r)) return "Линия в порядке.";
    if (r.Answered == r.Done)
        return "Все " + std::to_string(r.Done) +
               " обменов до прерывания прошли без ошибок, но проверка не закончена.";
    const int damaged = r.BadChecksum + r.CutShort + r.Noise;
    if (r.NotSent > 0)
        return "Запросы не уходят в линию (" + OutOf(r.NotSent, r) +
               "): порт ждёт разрешения на передачу - включено аппаратное управление потоком "
               "(RTS/CTS), а кабель или принтер его не даёт; выключите его (" +
               FlowControlOff() + ") или возьмите кабель с линиями RTS и CTS.";
    if (!r.Others.empty())
        return "На линии есть другая программа: устройство держит открытым " +
               HoldersText(r.Others) +
               ", и её чтения забирают байты ответов; закройте её или отключите в ней порт.";
    if (r.Answered == 0 && r.Nak + damaged == 0)
        return "Принтер не отвечает: проверьте, что он включён и подключён к этому порту "
               "(нуль-модемным кабелем); порт и скорость, на которых он отвечает, найдёт "
               "tr7042k-ports probe.";
    if (r.Answered == 0)
        return "Приходят байты, но не ответы: скорость линии (" + std::to_string(baud) +
               " бод) не та, что у принтера, или на порту другое устройство; скорость найдёт "
               "tr7042k-ports probe.";
    if (r.Nak > 0 && r.Nak >= damaged)
        return "Принтер отвергает часть запросов (NAK в " + OutOf(r.Nak, r) +
               "): запросы портятся в пути - вероятно, плохой кабель или помехи; проверьте "
               "разъёмы, уберите кабель от силовых проводов или возьмите короче.";
    if (damaged > 0)
        return "Ответы приходят испорченными (" + OutOf(damaged + r.Nak, r) +
               "): вероятно, плохой кабель или помехи; проверьте разъёмы, уберите кабель от "
               "силовых проводов или возьмите короче.";
    return "Ответы иногда не приходят (" + OutOf(r.Silent, r) +
           "): вероятно, плохой контакт в кабеле или разъёме; проверьте их, а если принтер в это "
           "время печатал, повторите проверку без печати.";
}

int LineCommand(const std::string& word, int baud, int count, const PortRoots& roots,
                std::ostream& out, std::ostream& err) {
    TalkPort port;
    std::string error;
    if (!ParseTalkPort(word, roots, port, error)) {
        err << "tr7042k-ports: " << error << "\nСправка: tr7042k-ports --help\n";
        return ExitUsage;
    }
    PortDiagnosis why;
    if (!OpenTalkPort(port, baud, why)) {
        out << port.Name << " не открывается: " << why.Reason << "\n";
        if (!why.Fix.empty()) out << "Что сделать: " << why.Fix << "\n";
        return ExitCodeOf(why.Problem) == ExitOk ? ExitFailed : ExitCodeOf(why.Problem);
    }
    const std::string target = TalkTarget(port);
    out << port.Name << (target != port.Name ? " -> " + target : "") << ", " << baud
        << " бод: " << count << " запросов состояния (0x4A)\n";
    out.flush();

    LineReport report;
    report.Asked = count;
    {
        // Ctrl-C ends the run after the exchange under way, with the report of what was done.
        StopRequest stop(true);
        int silentInARow = 0;
        for (int i = 0; i < count && !StopRequest::Asked(); ++i) {
            const TalkResult r = AskStatus();
            Count(report, r);
            silentInARow = r.Line.BytesReceived == 0 ? silentInARow + 1 : 0;
            if (silentInARow >= kSilentInARow) {
                report.GaveUp = true;
                break;
            }
        }
        report.Interrupted = StopRequest::Asked();
    }
    CloseTalkPort();

    // With the port let go, whoever else has the device open shares the line with us.
    if (!Clean(report)) report.Others = OtherPortHolders(target);

    PrintReport(report, baud, out);
    if (report.Interrupted)
        out << "Прервано после " << report.Done << " обменов из " << count << ".\n";
    if (report.GaveUp)
        out << "Остановлено: " << kSilentInARow << " обменов подряд не пришло ни байта.\n";
    out << "Вердикт: " << Verdict(report, baud) << "\n";
    if (const std::string trace = TraceTrouble(PrinterTraceState()); !trace.empty())
        err << "tr7042k-ports: " << trace << "\n";
    return Clean(report) ? ExitOk : kExitLineFaulty;
}
