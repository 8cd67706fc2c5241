// On Linux the reason comes from the same diagnosis as tr7042k-ports check, in the same words.
#include "PortTrouble.h"

#include "PortCheck.h"

namespace {

QString Sentence(const std::string& text) {
    QString line = QString::fromStdString(text);
    if (!line.isEmpty()) line[0] = line[0].toUpper();
    return line;
}

} // namespace

QString PortFailureLines(int port) {
    const PortDiagnosis diagnosis = DiagnosePort(port);
    QString lines;
    for (const std::string& part : {diagnosis.Reason, diagnosis.Fix})
        if (!part.empty()) lines += QLatin1Char('\n') + Sentence(part);
    return lines;
}
