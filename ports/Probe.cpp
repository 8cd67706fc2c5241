#include "Probe.h"

#include "TraceCheck.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

long long MicrosSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

std::string Seconds(long long micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f с", static_cast<double>(micros) / 1e6);
    return text;
}

std::string Millis(long long micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f мс", static_cast<double>(micros) / 1e3);
    return text;
}

std::string YesNo(bool yes) {
    return yes ? "да" : "нет";
}

std::string ReceiptText(uint32_t word) {
    if (word & ST_NONFISCAL_RECEIPT) return "открыт нефискальный чек";
    if ((word & ST_FISCAL_RECEIPT) && (word & ST_RETURN_RECEIPT)) return "открыт чек возврата";
    if (word & ST_FISCAL_RECEIPT) return "открыт фискальный чек";
    return "не открыт";
}

// A reply field as shown: the device's Windows-1251 letters as UTF-8 would need converting, but
// the identity fields are digits and Latin letters; anything else is shown as '?'.
std::string Shown(const std::string& field) {
    std::string text;
    for (unsigned char c : field)
        text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return text.empty() ? "-" : text;
}

void PrintFindings(const ProbeResult& r, std::ostream& out) {
    out << r.Port.Name;
    if (!r.Target.empty() && r.Target != r.Port.Name) out << " -> " << r.Target;
    if (r.Port.Number == 0) out << " (не связан с COMn)";
    out << "\n";
    if (!r.Opened) {
        out << "    не открывается: " << r.Why.Reason << "\n";
        if (!r.Why.Fix.empty()) out << "    что сделать: " << r.Why.Fix << "\n";
        return;
    }
    if (r.Baud == 0) {
        out << "    нет ответа ни на одной скорости\n";
        bool bytes = false;
        for (const RateTry& t : r.Tries) {
            out << "    " << t.Baud << " бод: " << SeenText(t.Result) << "\n";
            bytes = bytes || t.Result.Line.BytesReceived > 0;
        }
        out << (bytes ? "    приходили байты, но не ответы: признак неверной скорости (или "
                        "принтер настроен на скорость, которой нет в консоли) либо другого "
                        "устройства на порту\n"
                      : "    не пришло ни байта: к порту ничего не подключено, принтер "
                        "выключен или кабель не тот\n");
        return;
    }
    const TalkResult& id = r.Identity;
    out << "    принтер отвечает на " << r.Baud << " бод (ответ за " << Millis(r.Status.Line.Micros)
        << ")\n";
    if (id.Answered()) {
        out << "    заводской номер:  " << Shown(id.Fields[6]) << "\n"
            << "    фискальный номер: " << Shown(id.Fields[7]) << "\n"
            << "    версия ПО:        " << Shown(id.Fields[0]) << "\n"
            << "    переключатели:    " << Shown(id.Fields[4]) << "\n";
    } else {
        out << "    данные принтера не прочитаны: " << SeenText(id) << "\n";
    }
    const uint32_t word = id.Answered() ? id.ErrorWord : r.Status.ErrorWord;
    out << "    фискализирован:   " << YesNo(word & ST_FISCALIZED) << "\n"
        << "    чек:              " << ReceiptText(word) << "\n"
        << "    бумага:           " << (word & ERR_NO_PAPER ? "нет" : "есть") << "\n";
}

void Print(const ProbeResult& r, std::ostream& out) {
    PrintFindings(r, out);
    out << "    проверено за " << Seconds(r.Micros) << "\n";
}

} // namespace

std::string SeenText(const TalkResult& r) {
    if (!r.Ran) return "порт не принял запрос";
    if (r.Answered()) return "ответ";
    if (r.ErrorWord & ERR_NAK) return "NAK (запрос отвергнут)";
    const std::string bytes = std::to_string(r.Line.BytesReceived) + " байт";
    if (r.ErrorWord & ERR_PROTOCOL) return bytes + ", кадр с неверной контрольной суммой";
    if (r.Line.FrameOpen) return "неполный кадр (" + bytes + ")";
    if (r.Line.BytesReceived == r.Line.SynReceived && r.Line.SynReceived > 0)
        return "только SYN (" + bytes + "): принтер занят";
    if (r.Line.BytesReceived > 0) return bytes + ", но не ответ";
    return "ничего";
}

ProbeResult ProbePort(const TalkPort& port) {
    const auto start = Clock::now();
    ProbeResult r;
    r.Port = port;
    r.Target = TalkTarget(port);
    const int wait = PrinterSetReplyWait(kProbeWait);
    for (int baud : kConsoleRates) {
        if (StopRequest::Asked()) break;
        if (!OpenTalkPort(port, baud, r.Why)) break;
        r.Opened = true;
        const TalkResult status = AskStatus();
        r.Tries.push_back({baud, status});
        if (status.Answered()) {
            r.Baud = baud;
            r.Status = status;
            r.Identity = AskDiagnostics();
        }
        CloseTalkPort();
        if (r.Baud) break;
    }
    PrinterSetReplyWait(wait);
    r.Micros = MicrosSince(start);
    return r;
}

int ProbeCommand(const std::vector<std::string>& words, const PortRoots& roots, std::ostream& out,
                 std::ostream& err) {
    std::vector<TalkPort> ports;
    for (const std::string& word : words) {
        TalkPort p;
        std::string error;
        if (!ParseTalkPort(word, roots, p, error)) {
            err << "tr7042k-ports: " << error << "\nСправка: tr7042k-ports --help\n";
            return ExitUsage;
        }
        ports.push_back(p);
    }
    if (words.empty()) ports = PortsToProbe(roots);
    if (ports.empty()) {
        out << NoPortsToProbe() << "\n";
        return ExitMissing;
    }
    const auto start = Clock::now();
    int found = 0;
    std::size_t probed = 0;
    StopRequest stop;
    for (const TalkPort& p : ports) {
        const ProbeResult r = ProbePort(p);
        if (StopRequest::Asked() && r.Baud == 0) break;
        Print(r, out);
        out.flush();
        found += r.Baud != 0;
        ++probed;
    }
    if (StopRequest::Asked()) out << "Прервано.\n";
    out << "Найдено принтеров: " << found << " (портов проверено: " << probed << ", за "
        << Seconds(MicrosSince(start)) << ")\n";
    if (const std::string trace = TraceTrouble(PrinterTraceState()); !trace.empty())
        err << "tr7042k-ports: " << trace << "\n";
    return found ? ExitOk : ExitMissing;
}
