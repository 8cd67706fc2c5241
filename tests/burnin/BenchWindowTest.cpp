// The bench window (tr7042k-burnin --window) driven in-process, offscreen: the probe's lines as
// tr7042k-ports writes them, the probe run as a program, and the window against simulated
// printers on pseudo-terminals, its rows set beside what report.json and the journals hold.

#include "SimProcess.h"

#include "Cp1251.h"
#include "Dialogs.h"
#include "JournalViewer.h"
#include "Options.h"
#include "PortProbe.h"
#include "Window.h"
#include "WindowRun.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <map>
#include <memory>
#include <sys/resource.h>

namespace {

// ---- The probe's lines

TEST(ProbeLine, EachLineReadAsTheContractSaysAndOddOnesToldApart) {
    const struct {
        const char* line;
        bool ok;
        const char* state;
        int baud;
        const char* factory;
        const char* reason; // or the error, when not ok
    } cases[] = {
        {"COM1\tprinter\t9600\tTR00012345\t1234567890\t1.00\t00101100\t", true, "printer", 9600,
         "TR00012345", ""},
        // A line ended by CR LF, and one with a field more than known.
        {"COM1\tprinter\t19200\tTR1\t2\t1.00\t00101100\t\r", true, "printer", 19200, "TR1", ""},
        {"COM1\tprinter\t57600\tTR1\t2\t1.00\t00101100\t\tмного\tеще", true, "printer", 57600,
         "TR1", ""},
        // A printer whose identity could not be read keeps its reason.
        {"COM5\tprinter\t115200\t\t\t\t\tне прочитан номер\r\n", true, "printer", 115200, "",
         "не прочитан номер"},
        {"COM2\tsilent\t0\t\t\t\t\tне пришло ни байта", true, "silent", 0, "",
         "не пришло ни байта"},
        // Cut short: what is there counts, the rest is empty.
        {"COM2\tsilent", true, "silent", 0, "", ""},
        {" /dev/ttyUSB0 \theld\t0\t\t\t\t\tпорт занят программой minicom ", true, "held", 0, "",
         "порт занят программой minicom"},
        {"COM3\tunusable\t0\t\t\t\t\tнет такого устройства", true, "unusable", 0, "",
         "нет такого устройства"},
        // Nothing usable.
        {"COM1\tprinter", false, "", 0, "", "скорости «»"},
        {"COM1\tprinter\t4800\tTR1\t2\t1.00\t00101100\t", false, "", 0, "", "скорости «4800»"},
        {"COM1\tprinter\tфыва\tTR1", false, "", 0, "", "скорости «фыва»"},
        {"COM1\tbusy\t0", false, "", 0, "", "неизвестное состояние «busy»"},
        {"COM1", false, "", 0, "", "не сказано, что на порте"},
        {"\tprinter\t9600", false, "", 0, "", "нет имени порта"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TProbedPort port;
        QString error;
        ASSERT_EQ(ParseProbeLine(U(c.line), port, error), c.ok) << error.toStdString();
        if (!c.ok) {
            EXPECT_TRUE(error.contains(U(c.reason))) << error.toStdString();
            continue;
        }
        EXPECT_EQ(port.State, U(c.state));
        EXPECT_EQ(port.Baud, c.baud);
        EXPECT_EQ(port.Factory, U(c.factory));
        EXPECT_EQ(port.Reason, U(c.reason));
        EXPECT_FALSE(port.Name.contains(QLatin1Char(' ')));
    }
}

TEST(ProbeLine, TheWholeOutputKeepsEveryPortAskedForInItsOrder) {
    const QByteArray output = "COM2\tsilent\t0\t\t\t\t\tничего\r\n"
                              "\n"
                              "COM1\tprinter\t9600\tTR1\t11\t1.00\t00101100\t\r\n"
                              "COM1\tsilent\t0\t\t\t\t\tвторой раз\n"
                              "COM3\tкто знает\n"
                              "COM4\tprinter\t9600\tTR4"; // the last line without its end
    const QList<TProbedPort> ports =
        ParseProbeOutput(output, {U("COM1"), U("com2"), U("COM3"), U("COM4"), U("COM7")});
    QStringList seen;
    for (const TProbedPort& port : ports)
        seen << port.Name + QLatin1Char(' ') + port.State;
    EXPECT_EQ(seen, (QStringList{U("COM2 silent"), U("COM1 printer"), U("COM3 unusable"),
                                 U("COM4 printer"), U("COM7 unusable")}));
    ASSERT_EQ(ports.size(), 5);
    EXPECT_EQ(ports[1].Fiscal, U("11"));
    EXPECT_TRUE(ports[2].Reason.contains(U("неизвестное состояние «кто знает»")))
        << ports[2].Reason.toStdString();
    EXPECT_TRUE(ports[2].Reason.contains(U("COM3\tкто знает")));
    EXPECT_EQ(ports[3].Factory, U("TR4"));
    EXPECT_EQ(ports[4].Reason, U("tr7042k-ports ничего не сказал об этом порте"));
}

// ---- The probe as a program: a stand-in tool that writes canned lines

TEST(PortProbe, TheToolsExitCodeAndErrorOutputDecideWhatIsTold) {
    QTemporaryDir root;
    const QString called = root.filePath(U("called"));
    const struct {
        const char* script; // the body of the stand-in tool
        int ports;
        const char* trouble;
    } cases[] = {
        {"printf 'COM1\\tprinter\\t19200\\tTR1\\t1\\t1.00\\t00101100\\t\\n"
         "COM2\\tsilent\\t0\\t\\t\\t\\t\\tничего\\n'; exit 0",
         2, ""},
        {"printf 'COM1\\tsilent\\t0\\t\\t\\t\\t\\tничего\\nCOM2\\theld\\t0\\t\\t\\t\\t\\tзанят\\n';"
         " exit 2",
         2, ""},
        {"echo 'Портов для поиска нет' >&2; exit 2", 0, "Портов для поиска нет"},
        {"echo '«LPT1» - не порт' >&2; exit 1", 0,
         "программа tr7042k-ports завершилась с кодом 1: «LPT1» - не порт"},
        {"kill -SEGV $$", 0, "программа tr7042k-ports завершилась аварийно"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const QString tool = root.filePath(U("tool"));
        QFile file(tool);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("#!/bin/sh\necho \"$@\" >" + called.toUtf8() + "\n" + QByteArray(c.script) +
                   "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TPortProbe probe(tool);
        QSignalSpy done(&probe, &TPortProbe::Done);
        probe.Begin({U("COM1"), U("COM2")});
        ASSERT_TRUE(done.wait(10000));
        EXPECT_FALSE(probe.Running());
        EXPECT_EQ(done[0][0].value<QList<TProbedPort>>().size(), c.ports);
        EXPECT_EQ(done[0][1].toString(), U(c.trouble));
        EXPECT_EQ(ReadFile(called), "probe --tab COM1 COM2\n");
    }
    for (const QString& tool : {QString(), root.filePath(U("missing"))}) {
        TPortProbe probe(tool);
        QSignalSpy done(&probe, &TPortProbe::Done);
        probe.Begin({});
        ASSERT_TRUE(done.wait(10000));
        EXPECT_TRUE(done[0][1].toString().contains(U("TR7042K_PORTS")))
            << done[0][1].toString().toStdString();
    }
}

// ---- The window against simulated printers

// The ports tool the window runs: TR7042K_PORTS when the test is given one, else the tree's.
QString PortsTool() {
    const QString given = qEnvironmentVariable("TR7042K_PORTS");
    return given.isEmpty() ? U(TR_PORTS) : given;
}

// Whether that tool has `probe --tab` yet: it then writes a TAB-separated line for a port.
bool ToolHasTab() {
    QProcess tool;
    tool.start(PortsTool(), {U("probe"), U("--tab"), U("COM199")});
    tool.waitForFinished(20000);
    return tool.readAllStandardOutput().contains('\t');
}

class BenchWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Root.isValid());
        if (!ToolHasTab())
            GTEST_SKIP() << PortsTool().toStdString()
                         << " has no `probe --tab`: set TR7042K_PORTS to one that has";
        Config = Root.filePath(U("config"));
        Out = Root.filePath(U("out"));
        QDir().mkpath(Config + U("/tr7042k/ports"));
        qputenv("XDG_CONFIG_HOME", Config.toUtf8());
        qputenv("TR7042K_CONSOLE", TR_CONSOLE);
        qputenv("TR7042K_TIMER_WAIT_MS", "0");
        SetMessageSink([this](const QString& text) { Messages << text; });
        SetQuestionAnswerer([this](const QString& text) {
            Questions << text;
            return Answer;
        });
    }
    void TearDown() override {
        Window.reset();
        Sims.clear();
        SetMessageSink({});
        SetQuestionAnswerer({});
    }

    TSimProcess& Sim(int port, const QStringList& options) {
        Sims[port] = std::make_unique<TSimProcess>(Config, port, options);
        EXPECT_TRUE(Sims[port]->Started()) << "simulator on COM" << port;
        return *Sims[port];
    }

    // The window as `tr7042k-burnin --window ARGUMENTS` opens it, once its probe has ended.
    void Open(const QStringList& arguments, const QString& console = U(TR_CONSOLE)) {
        TOptions options;
        QString error;
        ASSERT_TRUE(ParseOptions(QStringList{U("--window")} + arguments, options, error))
            << error.toStdString();
        Window = std::make_unique<TBenchWindow>(options, console, PortsTool());
        Window->show();
        ASSERT_TRUE(WaitUntil([&] { return !Window->Probing() && Listed() > 0; }, 30000));
    }
    // Runs the ticked printers and waits for the end; `meanwhile` is called as it runs.
    void RunToEnd(const std::function<void()>& meanwhile = {}) {
        ASSERT_TRUE(Button("Start")->isEnabled());
        QTest::mouseClick(Button("Start"), Qt::LeftButton);
        ASSERT_NE(Window->Run(), nullptr) << Messages.join(U(" | ")).toStdString();
        ASSERT_TRUE(WaitUntil(
            [&] {
                if (meanwhile) meanwhile();
                return Window->Run()->Ended();
            },
            200000));
        // No console said anything on its error output (a sanitizer's report would land there).
        QDirIterator files(Window->Run()->OutFolder(), {U("console-errors.txt")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext())
            ADD_FAILURE() << files.next().toStdString() << ": "
                          << ReadFile(files.filePath()).toStdString();
    }

    template <class T = QWidget> T* Find(const char* name) const {
        T* widget = Window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
    int Listed() const { return Find<QTreeWidget>("Printers")->topLevelItemCount(); }
    QTreeWidgetItem* Listed(const QString& port) const {
        auto* list = Find<QTreeWidget>("Printers");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->data(0, Qt::UserRole).toString() == port)
                return list->topLevelItem(i);
        ADD_FAILURE() << "no row for " << port.toStdString();
        static QTreeWidgetItem none;
        return &none;
    }
    // The run's row of a port: its cells' texts.
    QStringList Row(const QString& port) const {
        auto* table = Find<QTableWidget>("Runs");
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->item(row, 0)->text() != port) continue;
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells << table->item(row, column)->text();
            return cells;
        }
        return {};
    }
    QTableWidgetItem* Cell(const QString& port, int column) const {
        auto* table = Find<QTableWidget>("Runs");
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 0)->text() == port) return table->item(row, column);
        return nullptr;
    }
    void SetUpTest(const char* passes, int delay, bool noFiscal, const QString& out) {
        Find<QComboBox>("Passes")->setEditText(U(passes));
        Find<QSpinBox>("Delay")->setValue(delay);
        Find<QCheckBox>("NoFiscal")->setChecked(noFiscal);
        Find<QLineEdit>("OutFolder")->setText(out);
    }

    QJsonObject Report() const {
        return QJsonDocument::fromJson(ReadFile(Out + U("/report.json"))).object();
    }
    std::map<QString, QJsonObject> ReportedPrinters() const {
        std::map<QString, QJsonObject> printers;
        for (const QJsonValue& p : Report()[U("printers")].toArray())
            printers[p[U("port")].toString()] = p.toObject();
        return printers;
    }

    QTemporaryDir Root;
    QString Config, Out;
    std::map<int, std::unique_ptr<TSimProcess>> Sims;
    std::unique_ptr<TBenchWindow> Window;
    QStringList Messages, Questions;
    bool Answer = true;
};

TEST_F(BenchWindow, TheProbeListsPrintersTickedWithWhoTheyAreAndOtherPortsGreyed) {
    Sim(41, {U("--fast"), U("--factory-number"), U("TR00000041")});
    Sim(42, {U("--fast"), U("--baud"), U("9600"), U("--fiscal-number"), U("4242424242")});
    Sim(43, {U("--silent")});
    Open({U("COM41"), U("COM42"), U("COM43"), U("COM49")});
    ASSERT_EQ(Listed(), 4);
    const struct {
        const char* port;
        bool printer;
        const char* rate;
        const char* factory;
        const char* fiscal;
    } rows[] = {
        {"COM41", true, "19200 бод", "TR00000041", "1234567890"},
        {"COM42", true, "9600 бод", "TR00012345", "4242424242"},
        {"COM43", false, "", "", ""},
        {"COM49", false, "", "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.port);
        QTreeWidgetItem* row = Listed(U(r.port));
        EXPECT_EQ(row->text(1), U(r.rate));
        EXPECT_EQ(row->text(2), U(r.factory));
        EXPECT_EQ(row->text(3), U(r.fiscal));
        if (r.printer) {
            EXPECT_EQ(row->text(4), U("1.00"));
            EXPECT_EQ(row->checkState(0), Qt::Checked);
            EXPECT_TRUE(row->flags() & Qt::ItemIsUserCheckable);
        } else {
            // Greyed, nothing to tick, and the probe's reason in words across the row.
            EXPECT_FALSE(row->flags() & Qt::ItemIsEnabled);
            EXPECT_FALSE(row->flags() & Qt::ItemIsUserCheckable);
            EXPECT_TRUE(row->isFirstColumnSpanned());
            EXPECT_FALSE(row->text(5).isEmpty());
            EXPECT_TRUE(row->text(0).endsWith(row->text(5))) << row->text(0).toStdString();
        }
    }
    EXPECT_TRUE(Find<QLabel>("Status")->text().contains(U("Найдено принтеров: 2")))
        << Find<QLabel>("Status")->text().toStdString();
    EXPECT_TRUE(Button("Start")->isEnabled());
    // Nothing ticked: nothing to start.
    Listed(U("COM41"))->setCheckState(0, Qt::Unchecked);
    Listed(U("COM42"))->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(Button("Start")->isEnabled());
    Window->Start();
    EXPECT_EQ(Window->Run(), nullptr);
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].startsWith(U("Не отмечен ни один принтер")));
}

TEST_F(BenchWindow, ARunShowsEachPrinterLiveAndEndsWithTheReportsVerdicts) {
    Sim(41, {U("--fast"), U("--factory-number"), U("TR00000041")});
    Sim(42, {U("--fast"), U("--status-bits"), U("45:0,2,0,0,0,0")});
    Sim(44, {U("--fast"), U("--fresh")});
    // It understands only 9600 baud: passing shows that it ran at the rate it was found at.
    Sim(45, {U("--fast"), U("--baud"), U("9600"), U("--factory-number"), U("TR00000045")});
    TSimProcess& unticked = Sim(46, {U("--fast")});
    Open({U("--baud"), U("19200"), U("COM41"), U("COM42"), U("COM44"), U("COM45"), U("COM46"),
          U("COM43")});
    Listed(U("COM46"))->setCheckState(0, Qt::Unchecked);
    const size_t probed = unticked.Received().size();
    SetUpTest("1", 0, true, Out);

    std::set<QString> passesSeen, stepsSeen;
    TJournalViewer* viewer = nullptr;
    RunToEnd([&] {
        const QStringList row = Row(U("COM41"));
        if (row.isEmpty() || !row[6].isEmpty()) return;
        passesSeen.insert(row[2]);
        stepsSeen.insert(row[3]);
        if (!viewer && !row[3].isEmpty()) {
            // A double click on the row opens its journal.
            auto* table = Find<QTableWidget>("Runs");
            const QRect cell = table->visualItemRect(Cell(U("COM41"), TRunTable::StepColumn));
            // As a real one comes: a press and release, then the second press as a double click.
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
            viewer = Window->findChild<TJournalViewer*>();
            ASSERT_NE(viewer, nullptr);
            EXPECT_TRUE(viewer->isVisible());
            EXPECT_TRUE(viewer->windowTitle().contains(U("COM41")));
        }
    });
    EXPECT_TRUE(Messages.isEmpty()) << Messages.join(U(" | ")).toStdString();
    // While it ran, its row showed the pass and more than one step, with no verdict yet.
    EXPECT_TRUE(passesSeen.count(U("1 из 1")));
    EXPECT_GT(stepsSeen.size(), 2u);

    // Each row ends as report.json does: verdict in words on the report's colour, failures.
    const std::map<QString, QJsonObject> reported = ReportedPrinters();
    ASSERT_EQ(reported.size(), 4u);
    EXPECT_FALSE(reported.count(U("COM46")));
    EXPECT_EQ(unticked.Received().size(), probed);
    const std::map<QString, QString> verdicts{{U("COM41"), U("passed")},
                                              {U("COM42"), U("failed")},
                                              {U("COM44"), U("not fit")},
                                              {U("COM45"), U("passed")}};
    for (const auto& [port, printer] : reported) {
        SCOPED_TRACE(port.toStdString());
        const QString verdict = printer[U("verdict")].toString();
        EXPECT_EQ(verdict, verdicts.at(port));
        const QStringList row = Row(port);
        ASSERT_EQ(row.size(), TRunTable::Columns);
        EXPECT_EQ(row[TRunTable::FactoryColumn], printer[U("factory_number")].toString());
        EXPECT_EQ(row[TRunTable::VerdictColumn], VerdictWord(verdict));
        EXPECT_EQ(row[TRunTable::FailedColumn],
                  QString::number(printer[U("failed_commands")].toInt()));
        // The colour report.html gives that verdict.
        const QRegularExpression css(QStringLiteral("\\.%1\\{background:(#[0-9a-f]+)\\}")
                                         .arg(QString(verdict).remove(QLatin1Char(' '))));
        const QString html = FromCp1251(ReadFile(Out + U("/report.html")));
        ASSERT_TRUE(css.match(html).hasMatch()) << css.pattern().toStdString();
        EXPECT_EQ(Cell(port, TRunTable::VerdictColumn)->background().color(),
                  QColor(css.match(html).captured(1)));
        EXPECT_EQ(row[TRunTable::NoteColumn], printer[U("reason")].toString());
    }
    EXPECT_GT(reported.at(U("COM42"))[U("failed_commands")].toInt(), 0);
    EXPECT_EQ(Row(U("COM41"))[TRunTable::PassColumn], U("1 из 1"));
    EXPECT_EQ(Report()[U("settings")][U("no_fiscal")].toBool(), true);
    EXPECT_EQ(Report()[U("settings")][U("delay_ms")].toInt(), 0);

    // The outcome as the command line gives it, and the report at hand.
    EXPECT_EQ(Window->ExitCode(), Report()[U("exit_code")].toInt());
    EXPECT_EQ(Window->ExitCode(), 2);
    EXPECT_TRUE(Find<QLabel>("Outcome")->text().contains(Report()[U("outcome")].toString()));
    EXPECT_TRUE(Button("OpenReport")->isEnabled());
    EXPECT_TRUE(Button("OpenFolder")->isEnabled());
    EXPECT_TRUE(Button("Start")->isEnabled());
    EXPECT_FALSE(Button("Stop")->isEnabled());

    // The journal viewer opened mid-run followed the file to its end (and to its folder's new
    // name): it shows every line of it.
    ASSERT_NE(viewer, nullptr);
    const QString journal =
        Out + QLatin1Char('/') + reported.at(U("COM41"))[U("journal")].toString();
    EXPECT_TRUE(journal.contains(U("COM41-TR00000041/")));
    QString text = FromCp1251(ReadFile(journal)).replace(U("\r\n"), U("\n"));
    text.chop(1);
    ASSERT_TRUE(WaitUntil([&] { return viewer->Text() == text; }, 5000))
        << viewer->Text().right(200).toStdString();

    // The same folder again is refused, and nothing is started.
    Window->Start();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].contains(U("уже есть файлы"))) << Messages[0].toStdString();
    EXPECT_TRUE(Window->Run()->Ended());
}

TEST_F(BenchWindow, StopEndsEachPrinterAtItsCheckPointAndASecondStopAtOnce) {
    qputenv("TR7042K_TIMER_WAIT_MS", "1000");
    Sim(51, {U("--fast")});
    Sim(52, {U("--fast")});
    Open({U("COM51"), U("COM52")});
    SetUpTest("3", 300, true, Out);
    bool stopped = false;
    RunToEnd([&] {
        if (!stopped && Row(U("COM51")).value(2) == U("1 из 3") &&
            Row(U("COM52")).value(2) == U("1 из 3")) {
            QTest::mouseClick(Button("Stop"), Qt::LeftButton);
            stopped = true;
            EXPECT_TRUE(Find<QLabel>("Status")->text().contains(U("Еще раз «Стоп» - сразу")));
        }
    });
    ASSERT_TRUE(stopped);
    EXPECT_EQ(Window->ExitCode(), 130);
    EXPECT_TRUE(Report()[U("stopped")].toBool());
    for (const auto& [port, printer] : ReportedPrinters()) {
        SCOPED_TRACE(port.toStdString());
        EXPECT_EQ(printer[U("verdict")].toString(), U("stopped"));
        EXPECT_EQ(Row(port)[TRunTable::VerdictColumn], U("остановлен"));
        const QStringList lines =
            FromCp1251(ReadFile(Out + QLatin1Char('/') + printer[U("journal")].toString()))
                .split(U("\r\n"));
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[lines.size() - 3], U("Тест остановлен"));
    }

    // A long delay: the first stop waits for it, the second does not.
    const QString second = Root.filePath(U("second"));
    SetUpTest("1", 60000, true, second);
    Out = second;
    const int set51 = Sims[51]->Count(0x3D), set52 = Sims[52]->Count(0x3D);
    int stops = 0;
    RunToEnd([&] {
        // Both past their first step, waiting out the delay after it.
        if (stops == 0 && Sims[51]->Count(0x3D) == set51 + 1 &&
            Sims[52]->Count(0x3D) == set52 + 1 && Row(U("COM51")).value(2) == U("1 из 1") &&
            Row(U("COM52")).value(2) == U("1 из 1")) {
            Window->Stop();
            stops = 1;
        } else if (stops == 1) {
            EXPECT_EQ(Button("Stop")->text(), U("С&топ сразу"));
            QTest::mouseClick(Button("Stop"), Qt::LeftButton);
            stops = 2;
        }
    });
    ASSERT_EQ(stops, 2);
    EXPECT_EQ(Window->ExitCode(), 130);
    for (const auto& [port, printer] : ReportedPrinters()) {
        SCOPED_TRACE(port.toStdString());
        EXPECT_EQ(printer[U("verdict")].toString(), U("stopped"));
        const QStringList lines =
            FromCp1251(ReadFile(Out + QLatin1Char('/') + printer[U("journal")].toString()))
                .split(U("\r\n"));
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines[lines.size() - 2], U("Тест прерван"));
    }
}

TEST_F(BenchWindow, ClosingWhileItRunsAsksThenStopsAndWritesEverything) {
    qputenv("TR7042K_TIMER_WAIT_MS", "1000");
    Sim(61, {U("--fast")});
    Open({U("COM61")});
    SetUpTest("3", 300, true, Out);
    QTest::mouseClick(Button("Start"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Row(U("COM61")).value(2) == U("1 из 3"); }, 60000));
    Answer = false;
    EXPECT_FALSE(Window->close());
    ASSERT_EQ(Questions.size(), 1);
    EXPECT_TRUE(Questions[0].startsWith(U("Проверка принтеров еще идет")));
    EXPECT_TRUE(Window->Run()->Running());
    EXPECT_EQ(Window->Run()->Stops(), 0);
    Answer = true;
    Window->close();
    ASSERT_TRUE(WaitUntil([&] { return Window->Run()->Ended(); }, 60000));
    ASSERT_TRUE(WaitUntil([&] { return !Window->isVisible(); }, 5000));
    EXPECT_EQ(Questions.size(), 2);
    EXPECT_EQ(Window->ExitCode(), 130);
    EXPECT_EQ(ReportedPrinters().at(U("COM61"))[U("verdict")].toString(), U("stopped"));
    for (const char* file : {"report.json", "report.csv", "report.html"})
        EXPECT_TRUE(QFileInfo::exists(Out + QLatin1Char('/') + U(file))) << file;
}

TEST_F(BenchWindow, WrongSettingsAreRefusedWithTheirReasonAndNothingStarts) {
    Sim(71, {U("--fast")});
    QDir().mkpath(Root.filePath(U("full")));
    QFile(Root.filePath(U("full/old.txt"))).open(QIODevice::WriteOnly);
    QFile(Root.filePath(U("plain"))).open(QIODevice::WriteOnly);
    const struct {
        const char* passes;
        QString out, console;
        const char* message;
    } cases[] = {
        {"0", Out, U(TR_CONSOLE), "Неверное количество проходов: «0»"},
        {"1", Root.filePath(U("full")), U(TR_CONSOLE), "уже есть файлы"},
        {"1", Root.filePath(U("plain")), U(TR_CONSOLE), "не папка"},
        {"1", Out, QString(), "Не найдена консоль tr7042k-console"},
        {"1", Out, Root.filePath(U("no-console")), "Не найдена консоль tr7042k-console"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Messages.clear();
        Open({U("COM71")}, c.console);
        SetUpTest(c.passes, 0, true, c.out);
        Window->Start();
        EXPECT_EQ(Window->Run(), nullptr);
        ASSERT_EQ(Messages.size(), 1);
        EXPECT_TRUE(Messages[0].contains(U(c.message))) << Messages[0].toStdString();
        EXPECT_TRUE(Button("Start")->isEnabled());
    }
    EXPECT_FALSE(QFileInfo::exists(Out));
    EXPECT_TRUE(QFileInfo::exists(Root.filePath(U("full/old.txt"))));
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    qRegisterMetaType<QList<TProbedPort>>();
    return RUN_ALL_TESTS();
}
