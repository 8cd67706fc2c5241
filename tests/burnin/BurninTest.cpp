// tr7042k-burnin end to end: simulated printers as programs of their own on pseudo-terminals,
// the burn-in with its consoles, and what each printer received set beside the journals, the
// exchange logs and the report. The timer test's minute is shortened (TR7042K_TIMER_WAIT_MS).

#include "Cp1251.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <functional>
#include <memory>

namespace {

struct LogRecord {
    int Code;
    uint Status;
};

class Burnin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Root.isValid());
        Config = Root.filePath(QStringLiteral("config"));
        Out = Root.filePath(QStringLiteral("out"));
        QDir().mkpath(Config + QStringLiteral("/tr7042k/ports"));
    }

    TSimProcess& Sim(int port, const QStringList& options = {}) {
        Sims[port] = std::make_unique<TSimProcess>(Config, port, options);
        EXPECT_TRUE(Sims[port]->Started()) << "simulator on COM" << port;
        return *Sims[port];
    }

    // Starts the burn-in; its output (not a terminal: plain lines) goes to a file.
    void Start(const QStringList& arguments, const QString& timerWaitMs = QStringLiteral("0"),
               const QString& program = QStringLiteral(TR_BURNIN)) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Config);
        environment.insert(QStringLiteral("TR7042K_CONSOLE"), QStringLiteral(TR_CONSOLE));
        environment.insert(QStringLiteral("TR7042K_TIMER_WAIT_MS"), timerWaitMs);
        Process.setProcessEnvironment(environment);
        Process.setProgram(program);
        // A test that dies takes the burn-in with it (and so its consoles).
        Process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        Process.setWorkingDirectory(Root.path());
        Process.setArguments(arguments);
        Process.setStandardOutputFile(Root.filePath(QStringLiteral("burnin.out")));
        Process.setStandardErrorFile(Root.filePath(QStringLiteral("burnin.err")));
        Process.start();
        ASSERT_TRUE(Process.waitForStarted(10000));
    }
    // Waits for its end, doing `meanwhile` every 20 ms; gives its exit code (-1: did not end).
    int Finish(const std::function<void()>& meanwhile = {}, int ms = 200000) {
        QElapsedTimer timer;
        timer.start();
        while (!Process.waitForFinished(20)) {
            if (meanwhile) meanwhile();
            if (timer.elapsed() > ms) {
                Process.kill();
                Process.waitForFinished(5000);
                return -1;
            }
        }
        return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    }
    // Neither the burn-in nor any of its consoles said anything on its error output (a
    // sanitizer's report would land there).
    void ExpectQuiet() const {
        EXPECT_EQ(ReadFile(Root.filePath(QStringLiteral("burnin.err"))), QByteArray());
        QDirIterator files(Out, {QStringLiteral("console-errors.txt")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext())
            ADD_FAILURE() << files.next().toStdString() << ": "
                          << ReadFile(files.filePath()).toStdString();
    }
    QString Output() const {
        return QString::fromUtf8(ReadFile(Root.filePath(QStringLiteral("burnin.out"))));
    }

    QJsonObject Report() const {
        return QJsonDocument::fromJson(ReadFile(Out + QStringLiteral("/report.json"))).object();
    }
    QJsonObject Printer(const QString& port) const {
        for (const QJsonValue& printer : Report().value(QStringLiteral("printers")).toArray())
            if (printer[QStringLiteral("port")].toString() == port) return printer.toObject();
        ADD_FAILURE() << "no printer " << port.toStdString() << " in the report";
        return {};
    }
    // The printer's journal: Windows-1251, every line ended by CR LF.
    QStringList Journal(const QString& port) const {
        const QByteArray bytes =
            ReadFile(Out + QLatin1Char('/') + Printer(port)[QStringLiteral("journal")].toString());
        EXPECT_TRUE(bytes.endsWith("\r\n")) << port.toStdString();
        EXPECT_EQ(bytes.count('\n'), bytes.count("\r\n")) << port.toStdString();
        QStringList lines = FromCp1251(bytes).split(QStringLiteral("\r\n"));
        lines.removeLast();
        return lines;
    }
    // The printer's exchange log: one record a command sent, with its status word.
    std::vector<LogRecord> Log(const QString& port) const {
        static const QRegularExpression record(
            U("Код команды:(\\d+) \\r\\nДанные: [^\\r]* \\r\\nСтатус: ([0-9a-f]+)"));
        const QString text = FromCp1251(ReadFile(
            Out + QLatin1Char('/') + Printer(port)[QStringLiteral("exchange_log")].toString()));
        std::vector<LogRecord> records;
        auto it = record.globalMatch(text);
        while (it.hasNext()) {
            const auto match = it.next();
            records.push_back({match.captured(1).toInt(), match.captured(2).toUInt(nullptr, 16)});
        }
        return records;
    }
    // Ends the console of that printer as a crash would (SIGABRT); false while it is not found.
    bool CrashConsoleOf(const QString& port) const {
        const QByteArray wanted = QByteArray("--port-name") + '\0' + port.toUtf8() + '\0';
        for (const QString& pid : QDir(U("/proc")).entryList(QDir::Dirs)) {
            const QByteArray commandLine = ReadFile(U("/proc/%1/cmdline").arg(pid));
            if (!commandLine.contains("--batch") || !commandLine.contains(wanted)) continue;
            return kill(pid.toInt(), SIGABRT) == 0;
        }
        return false;
    }
    static std::vector<int> Codes(const std::vector<LogRecord>& records) {
        std::vector<int> codes;
        for (const LogRecord& r : records)
            codes.push_back(r.Code);
        return codes;
    }
    static int TimedOut(const std::vector<LogRecord>& records) {
        return int(std::count_if(records.begin(), records.end(),
                                 [](const LogRecord& r) { return r.Status & 0x04000000u; }));
    }
    static QStringList Texts(const QJsonObject& printer) {
        QStringList texts;
        for (const QJsonValue& m : printer[QStringLiteral("messages")].toArray())
            texts << m[QStringLiteral("text")].toString();
        return texts;
    }

    QTemporaryDir Root;
    QString Config, Out;
    std::map<int, std::unique_ptr<TSimProcess>> Sims;
    QProcess Process;
};

const QRegularExpression TimedLine(U("^\\d\\d:\\d\\d:\\d\\d "));

// report.csv's rows split into fields: ';' between them, a field in quotes may hold ';' and '""'.
QList<QStringList> CsvRows(const QString& path) {
    QList<QStringList> rows;
    for (const QString& line : FromCp1251(ReadFile(path)).split(U("\r\n"), Qt::SkipEmptyParts)) {
        QStringList fields{QString()};
        bool quoted = false;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (quoted && c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == c)
                fields.last() += line[++i];
            else if (c == QLatin1Char('"'))
                quoted = !quoted;
            else if (c == QLatin1Char(';') && !quoted)
                fields << QString();
            else
                fields.last() += c;
        }
        rows << fields;
    }
    return rows;
}

// report.html's row of the printers table for that port: its cells as HTML.
QStringList HtmlRow(const QString& html, const QString& port) {
    const qsizetype at = html.indexOf(QStringLiteral("\">%1</a></td>").arg(port));
    if (at < 0) return {};
    const qsizetype from = html.lastIndexOf(U("<tr>"), at);
    const QString row = html.mid(from, html.indexOf(U("</tr>"), at) - from);
    static const QRegularExpression cell(U("<td[^>]*>(.*?)</td>"));
    QStringList cells;
    auto it = cell.globalMatch(row);
    while (it.hasNext())
        cells << it.next().captured(1);
    return cells;
}

TEST_F(Burnin, FourPrintersEachWithItsOwnFaultAndAMissingOne) {
    Sim(41, {U("--fast"), U("--factory-number"), U("TR00000041")});
    Sim(42, {U("--fast"), U("--factory-number"), U("TR00000042"), U("--status-bits"),
             U("45:0,2,0,0,0,0")});
    // Paced and printing at the usual speed, so it can be frozen mid-pass: it falls silent.
    TSimProcess& silent = Sim(43, {U("--factory-number"), U("TR00000043")});
    Sim(44, {U("--fast"), U("--fresh")});
    // The fresh one named by its terminal's path: the COMn that leads there is the port.
    const QString terminal =
        QFileInfo(Config + QStringLiteral("/tr7042k/ports/com44")).symLinkTarget();
    Start({U("--passes"), U("1"), U("--delay"), U("0"), U("--out"), Out, U("COM41"), U("COM42"),
           U("COM43"), terminal, U("/nonexistent/ttyUSB9")});
    bool frozen = false;
    const int code = Finish([&] {
        if (!frozen && silent.Received().size() >= 15) {
            silent.Signal(SIGSTOP);
            frozen = true;
        }
    });
    ASSERT_TRUE(frozen);
    EXPECT_EQ(code, 2) << Output().toStdString();
    EXPECT_TRUE(Output().contains(U("Не все принтеры проверены"))) << Output().toStdString();
    ExpectQuiet();
    const QJsonArray printers = Report()[QStringLiteral("printers")].toArray();
    ASSERT_EQ(printers.size(), 5);
    EXPECT_EQ(Report()[QStringLiteral("exit_code")].toInt(), 2);

    // A healthy printer: who it is, a clean pass, and every command in its own exchange log.
    const QJsonObject healthy = Printer(U("COM41"));
    EXPECT_EQ(healthy[U("verdict")].toString(), U("passed"));
    EXPECT_EQ(healthy[U("passes_done")].toInt(), 1);
    EXPECT_EQ(healthy[U("failed_commands")].toInt(), 0);
    EXPECT_EQ(healthy[U("factory_number")].toString(), U("TR00000041"));
    EXPECT_EQ(healthy[U("fiscal_number")].toString(), U("1234567890"));
    EXPECT_EQ(healthy[U("tax_number")].toString(), U("ПН123456789012"));
    EXPECT_EQ(healthy[U("software_version")].toString(), U("1.00"));
    EXPECT_EQ(healthy[U("switches")].toString(), U("00101100"));
    EXPECT_TRUE(healthy[U("messages")].toArray().isEmpty());
    EXPECT_EQ(healthy[U("journal")].toString(), U("COM41-TR00000041/COM41-TR00000041.txt"));
    EXPECT_EQ(Codes(Log(U("COM41"))), Sims[41]->Received());
    QStringList journal = Journal(U("COM41"));
    EXPECT_TRUE(journal.contains(U("Заводской номер: TR00000041")));
    EXPECT_LT(journal.indexOf(U("Переключатели: 00101100")),
              journal.indexOf(U("Тест Veltor TR7042K")));
    EXPECT_TRUE(journal.contains(U("Общее количество ошибок: 0")));
    ASSERT_FALSE(journal.isEmpty());
    EXPECT_TRUE(TimedLine.match(journal.last()).hasMatch());
    EXPECT_TRUE(journal.last().endsWith(U("Итог: тест пройден, ошибок: 0")));

    // X and Z reports refused: each refusal counted in its step and journaled with the time.
    const QJsonObject refusing = Printer(U("COM42"));
    const int reports = Sims[42]->Count(0x45);
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(refusing[U("verdict")].toString(), U("failed"));
    EXPECT_EQ(refusing[U("failed_commands")].toInt(), reports);
    EXPECT_EQ(refusing[U("failed_by_step")].toObject(),
              (QJsonObject{{U("X-отчет"), 1}, {U("Z-отчет"), reports - 1}}));
    EXPECT_EQ(refusing[U("failed_by_pass")].toObject(),
              (QJsonObject{{U("1"), refusing[U("failed_by_step")]}}));
    EXPECT_EQ(Texts(refusing), QStringList(reports, U("Команда не разрешена")));
    EXPECT_EQ(Codes(Log(U("COM42"))), Sims[42]->Received());
    journal = Journal(U("COM42"));
    EXPECT_EQ(journal
                  .filter(QRegularExpression(U("^\\d\\d:\\d\\d:\\d\\d Сообщение: Команда не "
                                               "разрешена$")))
                  .size(),
              reports);
    EXPECT_TRUE(journal.contains(U("Ошибка X-отчета")));
    EXPECT_TRUE(journal.contains(QStringLiteral("Общее количество ошибок: %1").arg(reports)));

    // Fallen silent mid-pass: every command after it timed out, the line is given up and the
    // test stopped; the others did not wait for it.
    const QJsonObject quiet = Printer(U("COM43"));
    const std::vector<LogRecord> log = Log(U("COM43"));
    EXPECT_EQ(quiet[U("verdict")].toString(), U("no line"));
    EXPECT_TRUE(quiet[U("line_lost")].toBool());
    EXPECT_EQ(quiet[U("passes_done")].toInt(), 0);
    EXPECT_GE(TimedOut(log), 2);
    EXPECT_EQ(quiet[U("failed_commands")].toInt(), TimedOut(log));
    EXPECT_EQ(Texts(quiet), QStringList(TimedOut(log), U("Таймаут")));
    EXPECT_LE(int(log.size()) - TimedOut(log), int(silent.Received().size()));
    EXPECT_LE(silent.Received().size(), log.size());
    journal = Journal(U("COM43"));
    const int lost = int(journal.indexOf(QRegularExpression(U(".* Связь с принтером потеряна"))));
    ASSERT_GT(lost, 0);
    EXPECT_EQ(journal.indexOf(U("Тест остановлен")), lost + 1);
    EXPECT_TRUE(Output().contains(U("COM43 TR00000043: связь с принтером потеряна")));

    // A fresh device: identity, the start check, its state window's own request, and no more.
    const QJsonObject fresh = Printer(U("COM44"));
    EXPECT_EQ(fresh[U("verdict")].toString(), U("not fit"));
    EXPECT_EQ(fresh[U("factory_number")].toString(), QString());
    EXPECT_EQ(Sims[44]->Received(), (std::vector<int>{0x5A, 0x63, 0x61, 0x5A, 0x5A}));
    journal = Journal(U("COM44"));
    const int window =
        int(journal.indexOf(QRegularExpression(U(".* Некорректное состояние Veltor TR7042K"))));
    ASSERT_GT(window, 0);
    EXPECT_EQ(journal.mid(window + 1, 3),
              (QStringList{U("Заводской номер не задан"), U("Фискальная память не форматирована"),
                           U("Фискальный номер не задан")}));
    EXPECT_FALSE(journal.contains(U("Тест Veltor TR7042K")));
    EXPECT_EQ(fresh[U("reason")].toString(),
              U("Некорректное состояние Veltor TR7042K: Заводской номер не задан; Фискальная "
                "память не форматирована; Фискальный номер не задан"));

    // A device that is not there: the console's own reason, no line.
    const QJsonObject missing = Printer(U("/nonexistent/ttyUSB9"));
    EXPECT_EQ(missing[U("verdict")].toString(), U("no line"));
    ASSERT_FALSE(Texts(missing).isEmpty());
    EXPECT_TRUE(Texts(missing)[0].startsWith(U("Невозможно подключить порт. ")));
    EXPECT_EQ(missing[U("reason")].toString(), Texts(missing)[0]);

    // The spreadsheet and the page carry the same verdicts.
    const QStringList csv = FromCp1251(ReadFile(Out + U("/report.csv"))).split(U("\r\n"));
    ASSERT_EQ(csv.size(), 7);
    QStringList verdicts;
    for (const QString& row : csv.mid(1, 5))
        verdicts << row.section(QLatin1Char(';'), 12, 12);
    EXPECT_EQ(verdicts, (QStringList{U("пройден"), U("ошибки"), U("нет связи"), U("не годен"),
                                     U("нет связи")}));
    const QString html = FromCp1251(ReadFile(Out + U("/report.html")));
    EXPECT_TRUE(html.contains(U("charset=\"windows-1251\"")));
    for (const char* label : {"v passed", "v failed", "v noline", "v notfit"})
        EXPECT_TRUE(html.contains(QStringLiteral("class=\"%1\"").arg(U(label)))) << label;
    EXPECT_TRUE(html.contains(U("<td>X-отчет</td>")));
}

TEST_F(Burnin, WhatAPrinterLacksIsSaidInWordsForPeopleAndLeftEmptyForPrograms) {
    Sim(91, {U("--fast"), U("--paper-out")});
    Sim(92, {U("--fast"), U("--fresh")});
    // Identity read, number set, then not fit at once (wrong switches).
    Sim(93, {U("--fast"), U("--tax-number"), U("987654321098"), U("--switches"), U("10101100")});
    Start({U("--delay"), U("0"), U("--out"), Out, U("COM91"), U("COM92"), U("COM93")});
    EXPECT_EQ(Finish(), 2) << Output().toStdString();
    ExpectQuiet();
    const QList<QStringList> csv = CsvRows(Out + U("/report.csv"));
    ASSERT_EQ(csv.size(), 4);
    ASSERT_EQ(csv[0].value(3), U("Налоговый номер"));
    ASSERT_EQ(csv[0].value(13), U("Причина"));
    const QString html = FromCp1251(ReadFile(Out + U("/report.html")));

    const struct {
        const char* port;
        std::vector<int> received;
        const char* tax;      // report.json
        const char* taxShown; // report.csv and report.html
        QStringList messages; // report.json, in order
        const char* reason;   // report.json; nullptr: the check window's, as the other tests say
    } cases[] = {
        // Out of paper: the first request's reply says so, and the identity is not read.
        {"COM91",
         {0x5A},
         "",
         "",
         {U("Нет бумаги"), U("Ошибка получения информации")},
         "Нет бумаги. Ошибка получения информации"},
        {"COM92", {0x5A, 0x63, 0x61, 0x5A, 0x5A}, "", "не задан", {}, nullptr},
        {"COM93", {0x5A, 0x63, 0x61, 0x5A, 0x5A}, "ПН987654321098", "ПН987654321098", {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(Sims[QString::fromLatin1(c.port).mid(3).toInt()]->Received(), c.received);
        const QJsonObject printer = Printer(U(c.port));
        EXPECT_EQ(printer[U("verdict")].toString(), U("not fit"));
        EXPECT_EQ(printer[U("tax_number")].toString(), U(c.tax));
        EXPECT_EQ(Texts(printer), c.messages);
        const QString reason = printer[U("reason")].toString();
        if (c.reason) {
            EXPECT_EQ(reason, U(c.reason));
        }
        EXPECT_FALSE(reason.isEmpty());

        QStringList row;
        for (const QStringList& r : csv)
            if (r.value(0) == U(c.port)) row = r;
        ASSERT_EQ(row.size(), csv[0].size());
        EXPECT_EQ(row[3], U(c.taxShown));
        EXPECT_EQ(row[13], reason);

        // Port, verdict, factory, fiscal, tax, ...
        const QStringList cells = HtmlRow(html, U(c.port));
        ASSERT_GE(cells.size(), 5);
        EXPECT_EQ(cells[4], U(c.taxShown).toHtmlEscaped());
        EXPECT_TRUE(html.contains(U("<p class=\"why\">%1</p>").arg(reason.toHtmlEscaped())));
    }
}

TEST_F(Burnin, CtrlCStopsEveryPrinterAtItsNextCheckPointAndTheReportIsWritten) {
    Sim(51, {U("--fast")});
    Sim(52, {U("--fast")});
    Start({U("--passes"), U("3"), U("--delay"), U("300"), U("--out"), Out, U("COM51"), U("COM52")},
          U("1000"));
    bool sent = false;
    const int code = Finish([&] {
        if (!sent && Output().count(U(": проход 1 из 3")) == 2) {
            kill(pid_t(Process.processId()), SIGINT);
            sent = true;
        }
    });
    ASSERT_TRUE(sent);
    EXPECT_EQ(code, 130);
    EXPECT_TRUE(Output().contains(U("Тест остановлен по сигналу"))) << Output().toStdString();
    ExpectQuiet();
    EXPECT_TRUE(Report()[U("stopped")].toBool());
    for (const int port : {51, 52}) {
        const QString name = QStringLiteral("COM%1").arg(port);
        SCOPED_TRACE(name.toStdString());
        const QJsonObject printer = Printer(name);
        EXPECT_EQ(printer[U("verdict")].toString(), U("stopped"));
        EXPECT_LT(printer[U("passes_done")].toInt(), 3);
        EXPECT_FALSE(printer[U("ended")].toString().isEmpty());
        // The stop came at a check point: the journal ends with it, and the device received
        // nothing that is not in the exchange log.
        const QStringList journal = Journal(name);
        ASSERT_GE(journal.size(), 3);
        EXPECT_EQ(journal[journal.size() - 2], U("Тест остановлен"));
        EXPECT_TRUE(journal.last().endsWith(U("Итог: тест остановлен, ошибок: 0")));
        EXPECT_GT(journal.indexOf(QRegularExpression(U(".* Остановка по сигналу"))), 0);
        EXPECT_EQ(Codes(Log(name)), Sims[port]->Received());
    }
}

TEST_F(Burnin, ACtrlCAsTheConsolesStartStopsThemBeforeOrAtTheFirstCheckPoint) {
    Sim(55, {U("--fast")});
    Sim(56, {U("--fast")});
    Start({U("--delay"), U("1000"), U("--out"), Out, U("COM55"), U("COM56")});
    bool sent = false;
    const int code = Finish([&] {
        if (!sent && Output().count(U("консоль запущена")) == 2) {
            kill(pid_t(Process.processId()), SIGINT);
            sent = true;
        }
    });
    ASSERT_TRUE(sent);
    EXPECT_EQ(code, 130);
    ExpectQuiet();
    for (const char* port : {"COM55", "COM56"}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(Printer(U(port))[U("verdict")].toString(), U("stopped"));
        const QStringList journal = Journal(U(port));
        ASSERT_GE(journal.size(), 2);
        EXPECT_EQ(journal[journal.size() - 2], U("Тест остановлен"));
        // Nothing after the first step: the pass stopped at its first check point at the latest.
        EXPECT_FALSE(journal.contains(U("Установка времени")));
    }
}

TEST_F(Burnin, ASecondCtrlCEndsAtOnceKeepingWhatIsJournaled) {
    Sim(61, {U("--fast")});
    // A long delay after the first step: the first stop waits for it, the second does not.
    Start({U("--delay"), U("60000"), U("--out"), Out, U("COM61")});
    int sent = 0;
    const int code = Finish(
        [&] {
            if (sent == 0 && Output().contains(U(": проход 1 из 1")) &&
                Sims[61]->Count(0x3D) == 1) {
                kill(pid_t(Process.processId()), SIGINT);
                sent = 1;
            } else if (sent == 1 && Output().contains(U("Остановка: каждый принтер"))) {
                kill(pid_t(Process.processId()), SIGINT);
                sent = 2;
            }
        },
        40000);
    ASSERT_EQ(sent, 2);
    EXPECT_EQ(code, 130);
    const QJsonObject printer = Printer(U("COM61"));
    EXPECT_EQ(printer[U("verdict")].toString(), U("stopped"));
    EXPECT_FALSE(printer.contains(U("trouble"))) << printer[U("trouble")].toString().toStdString();
    const QStringList journal = Journal(U("COM61"));
    ASSERT_GE(journal.size(), 2);
    EXPECT_EQ(journal.last(), U("Тест прерван"));
    EXPECT_FALSE(journal.contains(U("Тест остановлен")));
    // Everything journaled before the end is there, up to the first step's outcome.
    EXPECT_TRUE(journal.contains(U("Установка времени - успешно")));
    EXPECT_EQ(Codes(Log(U("COM61"))), Sims[61]->Received());
}

TEST_F(Burnin, AKilledTSimProcessLosesItsLineAndTheOthersFinish) {
    Sim(71, {U("--fast")});
    TSimProcess& doomed = Sim(72, {U("--factory-number"), U("TR00000072")});
    Sim(73, {U("--fast"), U("--switches"), U("10101100")});
    Sim(74, {U("--fast"), U("--status-bits"), U("2B:0,2,0,0,0,0")});
    TSimProcess& crashing = Sim(75, {U("--factory-number"), U("TR00000075")});
    Start({U("--delay"), U("0"), U("--out"), Out, U("COM71"), U("COM72"), U("COM73"), U("COM74"),
           U("COM75")});
    bool killed = false, crashed = false;
    const int code = Finish([&] {
        if (!killed && doomed.Received().size() >= 15) {
            doomed.Signal(SIGKILL);
            killed = true;
        }
        if (!crashed && crashing.Received().size() >= 15) crashed = CrashConsoleOf(U("COM75"));
    });
    ASSERT_TRUE(killed);
    ASSERT_TRUE(crashed);
    EXPECT_EQ(code, 2);
    ExpectQuiet();
    EXPECT_EQ(Printer(U("COM71"))[U("verdict")].toString(), U("passed"));
    const QJsonObject gone = Printer(U("COM72"));
    EXPECT_EQ(gone[U("verdict")].toString(), U("no line"));
    EXPECT_TRUE(gone[U("line_lost")].toBool());
    EXPECT_TRUE(Output().contains(U("COM72 TR00000072: связь с принтером потеряна")));
    QStringList journal = Journal(U("COM72"));
    const int lost = int(journal.indexOf(QRegularExpression(U(".* Связь с принтером потеряна"))));
    ASSERT_GT(lost, 0);
    EXPECT_EQ(journal.indexOf(U("Тест остановлен")), lost + 1);

    // Wrong switches: what the switches window shows, then not fit.
    EXPECT_EQ(Printer(U("COM73"))[U("verdict")].toString(), U("not fit"));
    journal = Journal(U("COM73"));
    const int window = int(journal.indexOf(QRegularExpression(U(".* Перееключатели !!!"))));
    ASSERT_GT(window, 0);
    EXPECT_EQ(journal.mid(window + 1, 3),
              (QStringList{U("Неверно установлены переключатели:"), U("установлены: 10101100"),
                           U("должно быть: 001011XX")}));
    EXPECT_EQ(Sims[73]->Received(), (std::vector<int>{0x5A, 0x63, 0x61, 0x5A, 0x5A}));

    // A header line refused: the console would end there; one failed command, no pass.
    const QJsonObject header = Printer(U("COM74"));
    EXPECT_EQ(header[U("verdict")].toString(), U("failed"));
    EXPECT_EQ(header[U("failed_by_step")].toObject(), (QJsonObject{{U("Заголовок чека"), 1}}));
    EXPECT_EQ(header[U("passes_done")].toInt(), 0);
    EXPECT_EQ(Sims[74]->Count(0x2B), 1);
    EXPECT_EQ(Texts(header), QStringList{U("Команда не разрешена")});
    ASSERT_FALSE(Journal(U("COM74")).isEmpty());
    EXPECT_TRUE(Journal(U("COM74")).last().endsWith(U("Итог: ошибки в шагах теста, ошибок: 1")));

    // A console that crashed: failed, with the reason; what it journaled is kept.
    const QJsonObject crash = Printer(U("COM75"));
    EXPECT_EQ(crash[U("verdict")].toString(), U("failed"));
    EXPECT_EQ(crash[U("trouble")].toString(), U("консоль завершилась аварийно"));
    EXPECT_TRUE(Journal(U("COM75")).contains(U("Заводской номер: TR00000075")));
}

TEST_F(Burnin, OnATerminalEachPrinterHasARowRewrittenInPlace) {
    Sim(81, {U("--fast"), U("--factory-number"), U("TR00000081")});
    // script(1) gives the burn-in a terminal of its own.
    Start({U("-qec"), QStringLiteral("%1 --delay 100 --out %2 COM81").arg(U(TR_BURNIN), Out),
           U("/dev/null")},
          U("0"), U("script"));
    EXPECT_EQ(Finish(), 0);
    const QString screen = Output();
    // The header and the row are drawn, then drawn again over themselves: the cursor goes back
    // up to the first of the three lines (header, row, notice) and each line is cleared first.
    EXPECT_TRUE(screen.startsWith(U("\x1b[2KПорт"))) << screen.left(40).toStdString();
    EXPECT_GT(screen.count(U("\x1b[3F")), 1);
    const QString last = screen.mid(screen.lastIndexOf(U("\x1b[3F")));
    const QStringList rows = last.split(U("\x1b[2K"));
    ASSERT_GE(rows.size(), 4);
    EXPECT_TRUE(QRegularExpression(U("^COM81 +TR00000081 +1 из 1 +Тест таймера +0 +"
                                     "\\d:\\d\\d:\\d\\d +пройден$"))
                    .match(rows[2].trimmed())
                    .hasMatch())
        << rows[2].toStdString();
    EXPECT_TRUE(screen.contains(U("Все принтеры прошли тест")));
    // While the pass ran, its row showed it running: no verdict yet.
    EXPECT_TRUE(screen.contains(QRegularExpression(
        U("\\x1b\\[2KCOM81 +TR00000081 +1 из 1 +\\S.* 0 +\\d:\\d\\d:\\d\\d +\\r?\\n"))));
}

TEST_F(Burnin, WrongUseIsRefusedWithItsReasonAndNothingIsStarted) {
    QDir().mkpath(Root.filePath(U("full")));
    QFile(Root.filePath(U("full/old.txt"))).open(QIODevice::WriteOnly);
    QFile(Root.filePath(U("plain"))).open(QIODevice::WriteOnly);
    const struct {
        QStringList arguments;
        const char* reason;
    } cases[] = {
        {{}, "не назван ни один порт"},
        {{U("--passes"), U("0"), U("COM1")}, "неверное количество проходов: «0»"},
        {{U("--passes=abc"), U("COM1")}, "неверное количество проходов: «abc»"},
        {{U("--delay"), U("-1"), U("COM1")}, "неверная задержка между подтестами: «-1»"},
        {{U("--baud"), U("12345"), U("COM1")}, "скорость 12345 консоль не предлагает"},
        {{U("--cashier"), U("14"), U("COM1")}, "кассира 14 нет"},
        {{U("--password"), QString(33, QLatin1Char('1')), U("COM1")}, "длиннее 32 знаков"},
        {{U("COM1"), U("com1")}, "порт COM1 назван дважды"},
        {{U("LPT1")}, "«LPT1» - не порт"},
        {{U("COM256")}, "«COM256» - не порт"},
        {{U("--frobnicate"), U("COM1")}, "неизвестный параметр --frobnicate"},
        {{U("COM1"), U("--out")}, "у параметра --out нет значения"},
        {{U("--out"), Root.filePath(U("full")), U("COM1")}, "уже есть файлы"},
        {{U("--out"), Root.filePath(U("plain")), U("COM1")}, "не папка"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        Start(c.arguments);
        EXPECT_EQ(Finish(), 3);
        const QString said = QString::fromUtf8(ReadFile(Root.filePath(U("burnin.err"))));
        EXPECT_TRUE(said.startsWith(U("tr7042k-burnin: ")) && said.contains(U(c.reason)))
            << said.toStdString();
        EXPECT_TRUE(Output().isEmpty());
    }
    EXPECT_EQ(QDir(Root.path()).entryList(QStringList{U("burnin-*")}, QDir::Dirs).size(), 0);
    Start({U("--version")});
    EXPECT_EQ(Finish(), 0);
    EXPECT_TRUE(Output().startsWith(U("tr7042k-burnin ")));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The console crashed on purpose leaves no core file behind.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
