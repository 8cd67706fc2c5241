#include "Report.h"

#include "Cp1251.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

// Local time with its offset from UTC: 2026-01-15T12:00:00+02:00. Empty when not known.
QString IsoTime(const QDateTime& time) {
    if (!time.isValid()) return QString();
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QString ShownTime(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) : QString();
}

bool Save(const QString& path, const QByteArray& bytes, QString& error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    error = QStringLiteral("не удалось записать %1: %2").arg(path, file.errorString());
    return false;
}

// Every pass that has a failure, in order; 0 (before the first pass) included when it has one.
QList<int> PassesWithFailures(const TPrinterRecord& printer) {
    QList<int> passes;
    for (const TStepFailures& f : printer.Failures)
        if (!passes.contains(f.Pass)) passes << f.Pass;
    std::sort(passes.begin(), passes.end());
    return passes;
}

// The steps that failed, in the order they first failed, with their failures by pass.
QList<QPair<QString, QMap<int, int>>> FailuresByStep(const TPrinterRecord& printer) {
    QList<QPair<QString, QMap<int, int>>> steps;
    for (const TStepFailures& f : printer.Failures) {
        auto it = std::find_if(steps.begin(), steps.end(),
                               [&](const auto& step) { return step.first == f.Step; });
        if (it == steps.end()) it = steps.insert(steps.end(), {f.Step, {}});
        it->second[f.Pass] += f.Failed;
    }
    return steps;
}

QString Path(const TPrinterRecord& printer, const QString& file) {
    return printer.Folder.isEmpty() ? QString() : printer.Folder + QLatin1Char('/') + file;
}

QByteArray Json(const TBatchInfo& batch, const QList<TPrinterRecord>& printers) {
    const TOptions& o = *batch.Options;
    QJsonArray list;
    for (const TPrinterRecord& p : printers) {
        QJsonObject byStep, byPass;
        for (const auto& [step, passes] : FailuresByStep(p)) {
            int total = 0;
            for (auto it = passes.begin(); it != passes.end(); ++it) {
                total += it.value();
                QJsonObject pass = byPass.value(QString::number(it.key())).toObject();
                pass.insert(step, it.value());
                byPass.insert(QString::number(it.key()), pass);
            }
            byStep.insert(step, total);
        }
        QJsonArray messages;
        for (const TMessage& m : p.Messages)
            messages.append(
                QJsonObject{{QStringLiteral("time"), m.Time}, {QStringLiteral("text"), m.Text}});
        QJsonObject printer{
            {QStringLiteral("port"), p.Port.Name},
            {QStringLiteral("factory_number"), p.Factory},
            {QStringLiteral("fiscal_number"), p.Fiscal},
            {QStringLiteral("tax_number"), p.TaxNumber()},
            {QStringLiteral("software_version"), p.Version},
            {QStringLiteral("switches"), p.Switches},
            {QStringLiteral("started"), IsoTime(p.Started)},
            {QStringLiteral("ended"), IsoTime(p.Ended)},
            {QStringLiteral("passes_done"), p.PassesDone},
            {QStringLiteral("failed_commands"), p.FailedCommands()},
            {QStringLiteral("failed_by_step"), byStep},
            {QStringLiteral("failed_by_pass"), byPass},
            {QStringLiteral("messages"), messages},
            {QStringLiteral("line_lost"), p.LineLost},
            {QStringLiteral("verdict"), p.Verdict},
            {QStringLiteral("journal"), Path(p, p.Journal)},
            {QStringLiteral("exchange_log"), Path(p, QStringLiteral("fpllog.dat"))},
        };
        if (!p.Reason.isEmpty()) printer.insert(QStringLiteral("reason"), p.Reason);
        if (!p.Trouble.isEmpty()) printer.insert(QStringLiteral("trouble"), p.Trouble);
        if (p.CpuSeconds >= 0) printer.insert(QStringLiteral("cpu_seconds"), p.CpuSeconds);
        if (p.PeakMemoryKb >= 0)
            printer.insert(QStringLiteral("peak_memory_kb"), double(p.PeakMemoryKb));
        list.append(printer);
    }
    QJsonObject settings{{QStringLiteral("passes"), o.Passes},
                         {QStringLiteral("delay_ms"), o.Delay},
                         {QStringLiteral("no_fiscal"), o.NoFiscal},
                         {QStringLiteral("baud"), o.Baud},
                         {QStringLiteral("cashier"), o.Cashier}};
    QJsonObject root{{QStringLiteral("program"), QStringLiteral("tr7042k-burnin")},
                     {QStringLiteral("version"), QStringLiteral(TR_VERSION)},
                     {QStringLiteral("started"), IsoTime(batch.Started)},
                     {QStringLiteral("ended"), IsoTime(batch.Ended)},
                     {QStringLiteral("settings"), settings},
                     {QStringLiteral("stopped"), batch.Stopped},
                     {QStringLiteral("exit_code"), batch.ExitCode},
                     {QStringLiteral("outcome"), batch.Outcome},
                     {QStringLiteral("printers"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString CsvField(QString text) {
    if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) +
               QLatin1Char('"');
    return text;
}

// "X-отчет: 1, Z-отчет: 2": the failed commands of each step, all passes together.
QString StepTotals(const TPrinterRecord& printer) {
    QStringList parts;
    for (const auto& [step, passes] : FailuresByStep(printer)) {
        int total = 0;
        for (const int n : passes)
            total += n;
        parts << QStringLiteral("%1: %2").arg(step).arg(total);
    }
    return parts.join(QStringLiteral(", "));
}

// One row a printer, fields separated by ';' as a spreadsheet with a decimal comma expects.
QByteArray Csv(const QList<TPrinterRecord>& printers) {
    QStringList lines{
        QStringLiteral("Порт;Заводской номер;Фискальный номер;Налоговый номер;Версия ПО;"
                       "Переключатели;Начало;Конец;Проходов;Ошибок команд;Ошибки по шагам;"
                       "Сообщений;Итог;Причина")};
    for (const TPrinterRecord& p : printers) {
        QStringList fields{p.Port.Name,
                           p.Factory,
                           p.Fiscal,
                           p.TaxNumberShown(),
                           p.Version,
                           p.Switches,
                           ShownTime(p.Started),
                           ShownTime(p.Ended),
                           QString::number(p.PassesDone),
                           QString::number(p.FailedCommands()),
                           StepTotals(p),
                           QString::number(p.Messages.size()),
                           VerdictWord(p.Verdict),
                           p.Trouble.isEmpty() ? p.Reason : p.Trouble};
        for (QString& field : fields)
            field = CsvField(field);
        lines << fields.join(QLatin1Char(';'));
    }
    // A character Windows-1251 lacks becomes '?': CSV has no way to write it.
    return ToCp1251Replacing(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"), false);
}

QString Html(const QString& text) {
    return text.toHtmlEscaped();
}

// The verdict as a coloured label; the class is the verdict without its blank.
QString VerdictLabel(const QString& verdict) {
    return QStringLiteral("<span class=\"v %1\">%2</span>")
        .arg(QString(verdict).remove(QLatin1Char(' ')), Html(VerdictWord(verdict)));
}

QString HtmlPrinter(const TPrinterRecord& p, int index) {
    QString html = QStringLiteral("<h2 id=\"p%1\">%2 %3</h2>\n")
                       .arg(index)
                       .arg(Html(p.Title()), VerdictLabel(p.Verdict));
    if (!p.Folder.isEmpty())
        html += QStringLiteral("<p>Журнал теста: <a href=\"%1\">%2</a>; журнал обмена: "
                               "<a href=\"%3\">fpllog.dat</a></p>\n")
                    .arg(Html(Path(p, p.Journal)), Html(p.Journal),
                         Html(Path(p, QStringLiteral("fpllog.dat"))));
    for (const QString& why : {p.Reason, p.Trouble})
        if (!why.isEmpty()) html += QStringLiteral("<p class=\"why\">%1</p>\n").arg(Html(why));
    const QList<int> passes = PassesWithFailures(p);
    if (passes.isEmpty()) {
        if (p.Pass > 0) html += QStringLiteral("<p>Ни одна команда не отказала.</p>\n");
    } else {
        html += QStringLiteral("<table class=\"steps\"><tr><th>Шаг, отказавших команд</th>");
        for (const int pass : passes)
            html += pass == 0 ? QStringLiteral("<th>до проходов</th>")
                              : QStringLiteral("<th>проход %1</th>").arg(pass);
        html += QStringLiteral("</tr>\n");
        for (const auto& [step, counts] : FailuresByStep(p)) {
            html += QStringLiteral("<tr><td>%1</td>").arg(Html(step));
            for (const int pass : passes)
                html += QStringLiteral("<td class=\"n\">%1</td>")
                            .arg(counts.contains(pass) ? QString::number(counts[pass]) : QString());
            html += QStringLiteral("</tr>\n");
        }
        html += QStringLiteral("</table>\n");
    }
    if (!p.Messages.isEmpty()) {
        html += QStringLiteral("<details><summary>Сообщения: %1</summary><ul>\n")
                    .arg(p.Messages.size());
        for (const TMessage& m : p.Messages)
            html += QStringLiteral("<li>%1 %2</li>\n").arg(Html(m.Time), Html(m.Text));
        html += QStringLiteral("</ul></details>\n");
    }
    return html;
}

QByteArray Html(const TBatchInfo& batch, const QList<TPrinterRecord>& printers) {
    const TOptions& o = *batch.Options;
    const QString title =
        QStringLiteral("Тест TR7042K без оператора, %1").arg(ShownTime(batch.Started));
    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n"
                       "<meta charset=\"windows-1251\">\n<title>%1</title>\n<style>\n"
                       "body{font-family:\"DejaVu Sans\",Arial,sans-serif;margin:24px;color:#222}\n"
                       "h1{font-size:22px}h2{font-size:17px;margin-top:28px}\n"
                       "table{border-collapse:collapse;margin:8px 0;font-size:14px}\n"
                       "th,td{border:1px solid #bbb;padding:3px 6px;text-align:left;"
                       "white-space:nowrap}\n"
                       "th{background:#eee}td.n{text-align:right}\n"
                       ".v{display:inline-block;min-width:80px;padding:2px 8px;border-radius:3px;"
                       "color:#fff;font-weight:bold;text-align:center}\n"
                       ".passed{background:#2e7d32}.failed{background:#c62828}"
                       ".notfit{background:#e65100}.noline{background:#555}"
                       ".stopped{background:#1565c0}\n"
                       ".why{color:#b71c1c}\n</style>\n</head>\n<body>\n<h1>%1</h1>\n")
            .arg(Html(title));
    html += QStringLiteral("<p>Начало %1, конец %2. Проходов: %3, задержка %4 мс, %5 бод, "
                           "кассир %6%7.</p>\n")
                .arg(ShownTime(batch.Started), ShownTime(batch.Ended))
                .arg(o.Passes)
                .arg(o.Delay)
                .arg(o.Baud)
                .arg(o.Cashier)
                .arg(o.NoFiscal ? QStringLiteral(", без фискальных чеков и Z-отчета") : QString());
    html += QStringLiteral("<p><b>%1</b></p>\n").arg(Html(batch.Outcome));
    html += QStringLiteral("<table class=\"printers\">\n<tr><th>Порт</th><th>Итог</th>"
                           "<th>Заводской №</th><th>Фискальный №</th><th>Налоговый №</th>"
                           "<th>Версия ПО</th><th>Переключатели</th><th>Проходов</th>"
                           "<th>Ошибок</th><th>Сообщений</th><th>Время</th></tr>\n");
    const auto clock = [](const QDateTime& time) {
        return time.isValid() ? time.toString(QStringLiteral("hh:mm:ss")) : QString();
    };
    for (int i = 0; i < printers.size(); ++i) {
        const TPrinterRecord& p = printers[i];
        html += QStringLiteral("<tr><td><a href=\"#p%1\">%2</a></td><td>%3</td>")
                    .arg(i)
                    .arg(Html(p.Port.Name), VerdictLabel(p.Verdict));
        for (const QString& cell : {p.Factory, p.Fiscal, p.TaxNumberShown(), p.Version, p.Switches})
            html += QStringLiteral("<td>%1</td>").arg(Html(cell));
        for (const qsizetype n :
             {qsizetype(p.PassesDone), qsizetype(p.FailedCommands()), p.Messages.size()})
            html += QStringLiteral("<td class=\"n\">%1</td>").arg(n);
        html += QStringLiteral("<td>%1&ndash;%2</td></tr>\n").arg(clock(p.Started), clock(p.Ended));
    }
    html += QStringLiteral("</table>\n");
    for (int i = 0; i < printers.size(); ++i)
        html += HtmlPrinter(printers[i], i);
    html += QStringLiteral("</body>\n</html>\n");
    // A character Windows-1251 lacks becomes its character reference.
    return ToCp1251Replacing(html, true);
}

} // namespace

bool WriteReports(const QString& folder, const TBatchInfo& batch,
                  const QList<TPrinterRecord>& printers, QString& error) {
    const QDir dir(folder);
    return Save(dir.filePath(QStringLiteral("report.json")), Json(batch, printers), error) &&
           Save(dir.filePath(QStringLiteral("report.csv")), Csv(printers), error) &&
           Save(dir.filePath(QStringLiteral("report.html")), Html(batch, printers), error);
}
