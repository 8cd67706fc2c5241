// The reason comes from the same diagnosis as tr7042k-ports gives, in the same words: on Linux
// what COMn leads to and what holds it, on Windows what Windows answers (and whether another
// program of ours holds the port, which under wine is the only way to tell).
#include "PortTrouble.h"

#ifdef _WIN32
#include "PortListWin32.h"
#else
#include "PortCheck.h"
#endif

namespace {

PortDiagnosis Diagnose(int port) {
#ifdef _WIN32
    return DiagnoseComPort(port);
#else
    return DiagnosePort(port);
#endif
}

QString Sentence(const std::string& text) {
    QString line = QString::fromStdString(text);
    if (!line.isEmpty()) line[0] = line[0].toUpper();
    return line;
}

} // namespace

QString PortFailureLines(int port) {
    const PortDiagnosis diagnosis = Diagnose(port);
    QString lines;
    for (const std::string& part : {diagnosis.Reason, diagnosis.Fix})
        if (!part.empty()) lines += QLatin1Char('\n') + Sentence(part);
    return lines;
}
