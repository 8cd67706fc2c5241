// The console on the workstation: the main window's handlers called as a click would, against
// simulated printers on real COM ports (under wine here: scripts/test-windows.sh starts a
// simulator with --trace, maps its port in wine's registry and names the port in TR_SIM_PORT and
// the simulator's output in TR_SIM_OUTPUT). What each case expects is what the simulator says it
// received and did.

#include "ConsoleFixture.h"
#include "Cp1251.h"
#include "PageControl.h"
#include "Printer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <vector>

namespace {

// What the simulator printed since the test began: its trace of requests ("→ 0x23
// text") and its events (display, drawer, cuts, beeps), UTF-8.
class SimulatorOutput {
public:
    SimulatorOutput() : Path(qEnvironmentVariable("TR_SIM_OUTPUT")) { Mark(); }
    bool Known() const { return !Path.isEmpty() && QFile::exists(Path); }
    void Mark() { Start = QFile(Path).size(); }
    QStringList Lines() const {
        QFile file(Path);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(Start)) return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        for (QString& line : lines)
            line = line.trimmed();
        return lines;
    }
    // The requests received, as (command, data) pairs; waits up to five seconds for `count` of
    // them, since the simulator writes its trace as it answers.
    std::vector<std::pair<int, QString>> Requests(size_t count = 0) const {
        static const QRegularExpression request(U("^→ 0x([0-9A-F]{2}) ?(.*)$"));
        std::vector<std::pair<int, QString>> out;
        QDeadlineTimer deadline(5000);
        do {
            out.clear();
            for (const QString& line : Lines()) {
                const QRegularExpressionMatch m = request.match(line);
                if (m.hasMatch()) out.emplace_back(m.captured(1).toInt(nullptr, 16), m.captured(2));
            }
            if (out.size() >= count) break;
            QThread::msleep(20);
        } while (!deadline.hasExpired());
        return out;
    }

private:
    QString Path;
    qint64 Start = 0;
};

// The port the simulator serves: TR_SIM_PORT, COM1 when not given.
int SimulatorPort() {
    const int port = qEnvironmentVariableIntValue("TR_SIM_PORT");
    return port > 0 ? port : 1;
}

// The main window connected on the simulator's port at the default rate, with its check windows'
// absence harmless (the simulator is healthy) and messages recorded.
class OnComPort : public ConsoleTest {
public:
    void Type(const char* edit, const char* text) { Get<QLineEdit>(edit)->setText(U(text)); }
    void Click(const char* button) { Get<QAbstractButton>(button)->click(); }

protected:
    void SetUp() override {
        ASSERT_TRUE(Sim.Known()) << "TR_SIM_OUTPUT names no simulator output";
        ConsoleTest::SetUp();
        Get<QComboBox>("ComboBox1")->setCurrentIndex(SimulatorPort() - 1);
        Window->Button2Click(nullptr);
        ASSERT_TRUE(Window->IsConnected()) << Messages.Texts.join('|').toStdString();
        Window->FormActivate(nullptr);
        Messages.Texts.clear();
        Sim.Mark();
    }
    void TearDown() override {
        if (Window && Window->IsConnected()) Window->Button2Click(nullptr);
        ConsoleTest::TearDown();
    }
    QStringList Journal() const {
        return Find<QPlainTextEdit>(*Window, "RichEdit1")->toPlainText().split('\n');
    }

    SimulatorOutput Sim;
};

struct PageRow {
    const char* Name;
    std::function<void(OnComPort&)> Arrange;
    const char* Button;
    std::vector<std::pair<int, QString>> Requests; // what the device received, in order
    const char* Event;                             // what the device then did, or nullptr
    QStringList Messages;                          // the boxes the technician saw
};

class PagesOnComPort : public OnComPort, public ::testing::WithParamInterface<PageRow> {};

// Every page that writes to the device: the text typed in Cyrillic reaches it in Windows-1251
// (the simulator decodes it back), and the device does what was asked.
const PageRow PageRows[] = {
    {"DisplayLines",
     [](OnComPort& t) {
         t.Type("Edit5", "Итого: 12.50");
         t.Type("Edit6", "Спасибо, ждём");
     },
     "Button9",
     {{0x23, U("Спасибо, ждём")}, {0x2F, U("Итого: 12.50")}},
     "Дисплей: [Итого: 12.50 ", // the display pads its lines to their width
     {U("Тест индикаторов клиента - успешно")}},
    {"Drawer",
     nullptr,
     "Button10",
     {{0x6A, U("20")}},
     "Денежный ящик открыт (импульс 20 мс)",
     {U("Открыть ящик - успешно")}},
    {"ServiceCash",
     [](OnComPort& t) { t.Type("Edit17", "12"); },
     "Button20",
     {{0x46, U("12.00")}},
     nullptr,
     {U("Служебный внос/вынос - успешно")}},
    {"Cut", nullptr, "Button16", {{0x2D, QString()}}, "✂", {}},
    {"Beep", nullptr, "Button19", {{0x50, QString()}}, "Звуковой сигнал", {}},
};

TEST_P(PagesOnComPort, SendWhatTheTechnicianAsked) {
    const PageRow& row = GetParam();
    if (row.Arrange) row.Arrange(*this);
    Click(row.Button);
    EXPECT_EQ(Sim.Requests(row.Requests.size()), row.Requests);
    if (row.Event) {
        const QStringList lines = Sim.Lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& l) {
            return l.startsWith(U(row.Event));
        })) << lines.join('|').toStdString();
    }
    EXPECT_EQ(Messages.Texts, row.Messages);
}

INSTANTIATE_TEST_SUITE_P(Pages, PagesOnComPort, ::testing::ValuesIn(PageRows),
                         [](const auto& info) { return std::string(info.param.Name); });

// One pass of the full device test without fiscal receipts, as a technician runs it: every step
// journaled without a failure, no fiscal command sent, the display swept in full, and the saved
// journal is the window's journal in Windows-1251 with CR LF.
TEST_F(OnComPort, AFullPassWithoutFiscalReceiptsEndsWithoutErrorsAndSavesItsJournal) {
    Type("Edit1", "0");
    Get<QComboBox>("ComboBox2")->setEditText(U("1"));
    Get<QCheckBox>("CheckBox1")->setChecked(true);
    Click("Button3");
    const QStringList journal = Journal();
    ASSERT_GE(journal.size(), 2);
    EXPECT_EQ(journal.mid(journal.size() - 2),
              (QStringList{U("Общее количество ошибок: 0"), QString(30, '*')}));
    EXPECT_TRUE(journal.contains(U("Номер прохода теста - 1")));
    EXPECT_FALSE(journal.contains(U("Z-отчет")));
    EXPECT_TRUE(Messages.Texts.isEmpty()) << Messages.Texts.join('|').toStdString();

    const auto requests = Sim.Requests();
    int lower = 0, upper = 0;
    for (const auto& [command, data] : requests) {
        EXPECT_NE(command, 0x30) << "a fiscal receipt was opened";
        lower += command == 0x23;
        upper += command == 0x2F;
    }
    EXPECT_EQ(lower, 120);
    EXPECT_EQ(upper, 120);
    // The header lines the test programs, in Cyrillic as the device decoded them.
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const auto& r) {
        return r.first == 0x2B && r.second.contains(QRegularExpression(U("[А-Яа-я]")));
    }));

    QTemporaryDir folder;
    const QString path = folder.filePath(U("журнал.txt"));
    SetSaveFilePrompt([&](QWidget*, const QString&) { return path; });
    Click("Button5");
    SetSaveFilePrompt({});
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly)) << path.toStdString();
    EXPECT_EQ(saved.readAll(), ToCp1251(journal.join(U("\r\n")) + U("\r\n")));
}

// The information page shows what the device says of itself.
TEST_F(OnComPort, TheInformationPageShowsTheDevicesFactoryNumber) {
    auto* pages = Get<TPageControl>("PageControl1");
    pages->setCurrentWidget(Get<QWidget>("TabSheet4"));
    emit pages->pageChangedByUser(pages->currentIndex());
    EXPECT_EQ(Get<QLineEdit>("Edit12")->text(), qEnvironmentVariable("TR_SIM_FACTORY_NUMBER"));
    EXPECT_EQ(Sim.Requests(1).front().first, 0x5A);
}

// A port that Windows does not have is refused with its name, and nothing is left open.
TEST_F(ConsoleTest, APortWindowsDoesNotHaveIsRefused) {
    Get<QComboBox>("ComboBox1")->setCurrentIndex(18); // COM19: mapped to nothing
    Window->Button2Click(nullptr);
    EXPECT_FALSE(Window->IsConnected());
    ASSERT_FALSE(Messages.Texts.isEmpty());
    EXPECT_TRUE(Messages.Texts.first().contains(U("COM19")))
        << Messages.Texts.first().toStdString();
}

} // namespace
