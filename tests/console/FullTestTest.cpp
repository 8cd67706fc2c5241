#include "Busy.h"
#include "Cp1251.h"
#include "DeviceFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace {

using Model = std::function<void(DeviceModel&)>;

// A main window with its check windows, connected to a healthy simulated printer, the full
// test set to one pass without delay.
class FullTest : public CheckWindowsTest {
public:
    using CheckWindowsTest::WithModel;
    using ConsoleTest::Get;
    using ConsoleTest::Window;

    void SetUp() override {
        CheckWindowsTest::SetUp();
        Window->FormActivate(nullptr);
        Type("Edit1", "0");
    }

    void Type(const char* edit, const char* text) { Get<QLineEdit>(edit)->setText(U(text)); }
    void Passes(const char* text) { Get<QComboBox>("ComboBox2")->setEditText(U(text)); }
    QStringList Journal() const {
        const QString text = Find<QPlainTextEdit>(*Window, "RichEdit1")->toPlainText();
        return text.isEmpty() ? QStringList() : text.split('\n');
    }
    // The journal, its recurring lines abbreviated: "*" 30 asterisks, "#" 35, "_" a blank line,
    // "@" today's date and time, "%" a reading of the device clock.
    QString JournalShape() const {
        static const QRegularExpression clock(U("^\\d\\d-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
        QStringList lines = Journal();
        for (int i = 0; i < lines.size(); ++i) {
            QString& line = lines[i];
            if (line == QString(30, '*'))
                line = U("*");
            else if (line == QString(35, '*'))
                line = U("#");
            else if (line == U(" "))
                line = U("_");
            else if (clock.match(line).hasMatch())
                line = U("%");
            else if (i > 0 && lines[i - 1] == U("Дата тестирования:") &&
                     line.contains(QString::number(QDate::currentDate().year())))
                line = U("@");
        }
        return lines.join('|');
    }
    int Count(int command) const {
        const auto requests = Printer.Requests();
        return int(std::count_if(requests.begin(), requests.end(),
                                 [command](const auto& r) { return r.Command == command; }));
    }
    // The commands received in order, repeats folded: "2B*8 4A 3D".
    std::string Commands() const {
        std::string out;
        const auto requests = Printer.Requests();
        for (size_t i = 0, run = 1; i < requests.size(); ++i, ++run) {
            if (i + 1 < requests.size() && requests[i + 1].Command == requests[i].Command) continue;
            char item[16];
            std::snprintf(item, sizeof item, run > 1 ? " %02X*%zu" : " %02X", requests[i].Command,
                          run);
            out += item;
            run = 0;
        }
        return out.empty() ? out : out.substr(1);
    }
    // Runs `action` once, at the first check point of the run where `ready` holds.
    void AtCheckPoint(std::function<bool()> ready, std::function<void()> action) {
        auto* timer = new QTimer(Window.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, timer, [=] {
            if (!ready()) return;
            timer->stop();
            action();
        });
        timer->start();
    }
    void Click(const char* button) { Get<QPushButton>(button)->click(); }
    // The button's own setting, also while the disconnected page control greys it.
    bool Enabled(const char* button) {
        return !Get<QPushButton>(button)->testAttribute(Qt::WA_ForceDisabled);
    }

    // Starts the test from inside the message loop, as a click does. Check windows shown on the
    // way are closed with their own button once active. True when the start ended the loop,
    // which is how the application ends.
    bool StartEndsApplication() {
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, &closer, [this] {
            QWidget* shown = QApplication::activeModalWidget();
            if (!shown || !shown->isActiveWindow()) return;
            Shown << shown->objectName();
            Find<QPushButton>(*shown, "Button1")->click();
        });
        closer.start(10);
        return QuitsApplication([this] { Window->Button3Click(nullptr); });
    }

    QStringList Shown;          // check windows shown, by their form name
    bool InMessageLoop = false; // "Старт" is clicked inside the application's message loop
};

TEST_F(FullTest, AHealthyPassJournalsEveryStepAndPrintsEveryDocument) {
    // The run takes seconds and may cross a minute: the clock is set to the minute it starts in
    // or a later one within the run.
    const QString minuteFormat = U("dd-MM-yy hh:mm");
    const QString startMinute = QDateTime::currentDateTime().toString(minuteFormat);
    // A double click in the window starts one run: "Старт" is disabled by the first pump.
    PostClick(Get<QPushButton>("Button3"), true);
    QCoreApplication::processEvents();
    const QString endMinute = QDateTime::currentDateTime().toString(minuteFormat);
    EXPECT_TRUE(Messages.Texts.isEmpty()) << Messages.Texts.join('|').toStdString();
    EXPECT_EQ(Commands(), "5A*2 2B*8 4A 3D 47 5A 3E 63 45 26 2A*5 27 23*120 2F*120 45 46*2 6B "
                          "30 36 34 33 35 38 55 36 34 35 38 6F 45 3E*2");
    const QString expected =
        U("Тест Veltor TR7042K|Дата тестирования:|@|*|_|#|#|Номер прохода теста - 1|#|"
          "*|Установка времени|Установка времени - успешно|"
          "*|Печать диагностической информации|Печать диагностической информации - успешно|"
          "*|Получить диагностическую информацию|"
          "1.00 15Oct26 1200,0000,00101100,UA,TR00012345,1234567890|"
          "Получить диагностическую информацию - успешно|"
          "*|Получить дату/время|%|Получить дату/время - успешно|_|"
          "*|Получить налоговый номер|123456789012,0|Получить налоговый номер - успешно|_|"
          "*|X-отчет|1,0.00,0.00|X-отчет - успешно|_|*|Нефискальный чек|3|Нефискальный чек - "
          "успешно|_|"
          "*|Тест индикаторов клиента - строка 2|"
          "*|Тест индикаторов клиента - строка 1|Тест индикаторов клиента - успешно|_|"
          "*|Z-отчет|1,0.00,0.00|Z-отчет - успешно|*|Служебный внос|10.00,10.00,0.00|"
          "Служебный внос - успешно|*|Служебный вынос|0.00,10.00,10.00|Служебный вынос - успешно|_|"
          "*|Программирование артикулов|Программирование артикулов - успешно|_|"
          "*|Фискальный чек|Фискальный чек - успешно|_|*|Чек возврата|Чек возврата товара - "
          "успешно|_|"
          "*|Отчет проданных товаров|1|Отчет проданных товаров - успешно|_|"
          "*|Z-отчет|2,3.75,1.50|Z-отчет - успешно|_|*|Тест таймера|%|%|_|"
          "Конец теста Veltor TR7042K|Дата тестирования:|@|Общее количество ошибок: 0|*");
    EXPECT_EQ(JournalShape(), expected);

    // The device: header lines on every document, the clock set to the computer's minute, the
    // display swept through the whole sequence, the non-fiscal lines indented step by step.
    const auto requests = Printer.Requests();
    EXPECT_EQ(FromCp1251(QByteArray::fromStdString(requests[2].Data)), U("0У К Р А Ї Н А"));
    EXPECT_EQ(requests[9].Data, "7");
    EXPECT_EQ(requests[10].Data, "W");
    const QString setTo = QString::fromStdString(requests[11].Data);
    EXPECT_TRUE(setTo == startMinute || setTo == endMinute)
        << setTo.toStdString() << " not in " << startMinute.toStdString() << " .. "
        << endMinute.toStdString();
    // The display windows, lower line then upper line: the letters move left one place a window.
    QStringList windows;
    for (const auto& request : requests)
        if (request.Command == 0x23 || request.Command == 0x2F)
            windows << FromCp1251(QByteArray::fromStdString(request.Data));
    ASSERT_EQ(windows.size(), 240);
    EXPECT_EQ(windows[0], U("ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(windows[119], U("їABCDEFGHIJKLMNOPQRS"));
    for (int i = 1; i < 240; ++i) {
        EXPECT_EQ(windows[i].size(), 20);
        if (i != 120) {
            EXPECT_EQ(windows[i].left(19), windows[i - 1].mid(1)) << i;
        }
    }
    EXPECT_EQ(windows.mid(120), windows.mid(0, 120));
    QStringList roll;
    for (const std::string& line : Printer.PaperRoll())
        roll << FromCp1251(QByteArray::fromStdString(line));
    const int header = roll.indexOf(U("             У К Р А Ї Н А"));
    ASSERT_GT(header, 0);
    EXPECT_EQ(roll.mid(header + 1, 3),
              (QStringList{U("                К И Ї В"), U("          АТ \"ВЕЛТОР УКРАЇНА\""),
                           U("          тел. (044) 237-70-42")}));
    const QString text = U("НеФиСкАлЬнЫй  Текст");
    const int first = roll.indexOf(text);
    ASSERT_GT(first, 0);
    EXPECT_EQ(roll.mid(first, 5), (QStringList{text, U("   ") + text, U("      ") + text,
                                               U("        ") + text, U("           ") + text}));
    EXPECT_TRUE(roll.contains(U("Фискальный  ТеКсТ")));
    // The fiscal block's requests byte for byte, amounts included.
    std::vector<std::pair<int, std::string>> fiscal;
    for (const auto& request : requests)
        if (request.Command >= 0x30 && request.Command != 0x3E && request.Command != 0x47 &&
            request.Command != 0x4A && request.Command != 0x5A && request.Command != 0x63)
            fiscal.emplace_back(request.Command, request.Data);
    const std::string article = "\xC0"
                                "100,1,1.25,5917,\xCA\xF3\xEB\xE5\xE1\xFF\xEA\xE0";
    const std::vector<std::pair<int, std::string>> expectedFiscal = {
        {0x3D, requests[11].Data},
        {0x45, "5917,2"},
        {0x45, "5917,0"},
        {0x46, "10.00"},
        {0x46, "-10.00"},
        {0x6B, "P" + article},
        {0x30, "00001,5917,00001,I"},
        {0x36, "\xD4\xE8\xF1\xEA\xE0\xEB\xFC\xED\xFB\xE9  \xD2\xE5\xCA\xF1\xD2"},
        {0x34, "100*4.000,-5.00"},
        {0x33, "11;-1.00"},
        {0x35, "\tP10.00"},
        {0x38, ""},
        {0x55, "00001,5917,00001,I"},
        {0x36, "\xD4\xE8\xF1\xEA\xE0\xEB\xFC\xED\xFB\xE9  \xD2\xE5\xCA\xF1\xD2"},
        {0x34, "100*2.000;-1.00"},
        {0x35, "\tP5.00"},
        {0x38, ""},
        {0x6F, "5917,S"},
        {0x45, "5917,0"}};
    EXPECT_EQ(fiscal, expectedFiscal);
    EXPECT_EQ(Window->BusyMode, 0);
    EXPECT_EQ(Window->FailedSteps, 0);
    EXPECT_TRUE(Enabled("Button3"));
    EXPECT_FALSE(Enabled("Button4"));
}

TEST_F(FullTest, WithoutFiscalReceiptsNoFiscalCommandReachesTheDevice) {
    Get<QCheckBox>("CheckBox1")->setChecked(true);
    Passes("2");
    Type("Edit1", "1500");
    // At a check point: a single beep of another page runs, a second loop waits.
    int busy = 0;
    bool stop = true;
    AtCheckPoint([this] { return Count(0x2F) == 1; },
                 [&] {
                     Click("Button19");
                     Click("Button12");
                     busy = Window->BusyMode;
                     stop = Window->StopFlag;
                 });
    Click("Button3");
    EXPECT_EQ(Messages.Texts, QStringList{QString::fromUtf8(LoopRefusedText)});
    EXPECT_EQ(busy, BusyFullTest);
    EXPECT_FALSE(stop);
    const std::string pass = "4A 3D 47 5A 3E 63 45 26 2A*5 27 23*120 2F*120 3E*2";
    EXPECT_EQ(Commands(),
              "5A*2 2B*8 4A 3D 47 5A 3E 63 45 26 2A*5 27 23*120 2F 50 2F*119 3E*2 " + pass);
    for (const auto& request : Printer.Requests())
        if (request.Command == 0x45) {
            EXPECT_EQ(request.Data, "5917,2"); // X reports only
        }
    const QStringList journal = Journal();
    EXPECT_TRUE(journal.contains(U("Номер прохода теста - 2")));
    EXPECT_FALSE(journal.contains(U("Z-отчет")));
    EXPECT_EQ(journal.mid(journal.size() - 2),
              (QStringList{U("Общее количество ошибок: 0"), QString(30, '*')}));
    // The delay after steps 1 to 7, 9 and 18; the minute between the clock readings.
    const std::vector<int> pause = {1500, 1500, 1500, 1500, 1500, 1500, 1500, 1500, 60000, 1500};
    std::vector<int> both = pause;
    both.insert(both.end(), pause.begin(), pause.end());
    EXPECT_EQ(Messages.Sleeps, both);
}

TEST_F(FullTest, StopsAtTheNextCheckPoint) {
    struct Case {
        const char* name;
        std::function<void(FullTest&)> arrange;
        const char* commands; // what the device got before the stop
        bool startEnabled;    // after the stop
        QStringList messages;
    };
    const Case cases[] = {
        {"stop during the display sweep, and a second start meanwhile",
         [](FullTest& t) {
             t.AtCheckPoint([&t] { return t.Count(0x23) == 5; },
                            [&t] {
                                t.Click("Button4");
                                t.Click("Button3");
                            });
         },
         "5A*2 2B*8 4A 3D 47 5A 3E 63 45 26 2A*5 27 23*5",
         true,
         {QString::fromUtf8(LoopRefusedText)}},
        {"stop during the minute between the clock readings",
         [](FullTest& t) {
             t.Get<QCheckBox>("CheckBox1")->setChecked(true);
             SetSleepFunction([&t](int ms) {
                 if (ms == 60000) t.Click("Button4");
             });
         },
         "5A*2 2B*8 4A 3D 47 5A 3E 63 45 26 2A*5 27 23*120 2F*120 3E",
         true,
         {}},
        {"the window closing",
         [](FullTest& t) { t.AtCheckPoint([] { return true; }, [&t] { t.Click("Button1"); }); },
         "5A*2 2B*8 4A",
         false,
         {}},
        // Connected again before the run saw the disconnect: it ends all the same.
        {"disconnect and connect again at one check point",
         [](FullTest& t) {
             t.AtCheckPoint([&t] { return t.Count(0x2F) == 3; },
                            [&t] {
                                t.Click("Button2");
                                t.Click("Button2");
                            });
         },
         "5A*2 2B*8 4A 3D 47 5A 3E 63 45 26 2A*5 27 23*120 2F*3",
         false,
         {}},
        // A delay of an hour after step 1: closing the window ends the wait and the run.
        {"the window closing during a delay of an hour",
         [](FullTest& t) {
             t.Type("Edit1", "3600000");
             SetSleepFunction({});
             auto* timer = new QTimer(t.Window.get());
             QObject::connect(timer, &QTimer::timeout, timer, [&t, timer] {
                 if (t.Count(0x3D) == 0 || QThread::currentThread()->loopLevel() < 2) return;
                 timer->stop();
                 t.Click("Button1");
             });
             timer->start(10);
             t.InMessageLoop = true;
         },
         "5A*2 2B*8 4A 3D",
         false,
         {}},
        {"disconnect during the upper line",
         [](FullTest& t) {
             t.AtCheckPoint([&t] { return t.Count(0x2F) == 3; }, [&t] { t.Click("Button2"); });
         },
         "5A*2 2B*8 4A 3D 47 5A 3E 63 45 26 2A*5 27 23*120 2F*3",
         false,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Messages.Texts.clear();
        InMessageLoop = false;
        c.arrange(*this);
        if (InMessageLoop)
            EXPECT_TRUE(QuitsApplication([this] { Click("Button3"); }));
        else
            Click("Button3");
        EXPECT_EQ(Commands(), c.commands);
        EXPECT_EQ(Journal().last(), U("Тест остановлен"));
        EXPECT_FALSE(Journal().contains(U("Конец теста Veltor TR7042K")));
        EXPECT_EQ(Window->BusyMode, 0);
        EXPECT_FALSE(Window->StopFlag);
        EXPECT_EQ(Enabled("Button3"), c.startEnabled);
        EXPECT_NE(Enabled("Button4"), c.startEnabled);
        EXPECT_EQ(Messages.Texts, c.messages);
        SetSleepFunction([this](int ms) { Messages.Sleeps.push_back(ms); });
    }
    // After the disconnect, "Старт" waits for "Стоп" even once connected again.
    Click("Button2");
    ASSERT_TRUE(Window->IsConnected());
    EXPECT_FALSE(Enabled("Button3"));
    Click("Button4");
    EXPECT_TRUE(Enabled("Button3"));
}

TEST_F(FullTest, BadInputsAndABusyConsoleStartNothing) {
    struct Case {
        const char* passes;
        const char* delay;
        int busyMode; // another page's loop
        const char* message;
    };
    const char* const passesText = "Неверное количество циклов теста";
    const char* const delayText = "Неверная величина задержки \n   между командами";
    const Case cases[] = {
        {"0", "0", 0, passesText},   {"-3", "0", 0, passesText},
        {"abc", "0", 0, passesText}, {"", "0", 0, passesText},
        {"1", "", 0, delayText},     {"1", "x", 0, delayText},
        {"1", "-1", 0, delayText},   {"1", "0", BusyLoop, LoopRefusedText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.passes) + " / " + c.delay);
        Messages.Texts.clear();
        Printer.ClearRequests();
        Passes(c.passes);
        Type("Edit1", c.delay);
        Window->BusyMode = c.busyMode;
        Click("Button3");
        EXPECT_EQ(Messages.Texts, QStringList{U(c.message)});
        // The device is asked for its state first, unless another loop holds the console.
        EXPECT_EQ(Commands(), c.busyMode ? "" : "5A");
        EXPECT_EQ(Window->BusyMode, c.busyMode);
        EXPECT_TRUE(Enabled("Button3"));
        EXPECT_FALSE(Enabled("Button4"));
    }
    EXPECT_TRUE(Journal().isEmpty());
    EXPECT_TRUE(Printer.PaperRoll().empty());
}

TEST_F(FullTest, AnUnfitDeviceGetsItsCheckWindowAndTheProgramEnds) {
    struct Case {
        const char* name;
        Model device;
        const char* window; // the check window shown, if any
        bool ends;
        const char* commands;
    };
    const auto switches = [](const char* setting) {
        return [setting](DeviceModel& model) { model.SetSwitches(setting); };
    };
    const Case cases[] = {
        {"switches 10101100", switches("10101100"), "TForm2", true, "5A*2"},
        {"nine switches", switches("001011000"), "TForm2", true, "5A*2"},
        {"a fresh device", [](DeviceModel& model) { model.MakeFresh(); }, "TForm4", true, "5A*2"},
        {"an open non-fiscal receipt",
         [](DeviceModel& model) { model.LeaveReceiptOpen(DeviceModel::ReceiptKind::NonFiscal); },
         "TForm4", true, "5A*2"},
        // Passes "abc" is only judged once the device is fit.
        {"six switches", switches("001011"), nullptr, false, "5A"},
        {"switches 7 and 8 free", switches("00101111"), nullptr, false, "5A"},
        {"a header line refused",
         [](DeviceModel& model) { model.GetFaults().statusBits[0x2B] = {0, 0x02, 0, 0, 0, 0}; },
         nullptr, true, "5A*2 2B"},
    };
    QTemporaryDir folder;
    int saves = 0;
    SetSaveFilePrompt(
        [&](QWidget*, const QString&) { return folder.filePath(QString::number(++saves)); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        WithModel([&](DeviceModel& model) {
            model = DeviceModel(model.GetOptions());
            c.device(model);
        });
        Passes(c.window || !c.ends ? "abc" : "1");
        Messages.Texts.clear();
        Messages.Questions.clear();
        Shown.clear();
        // An earlier run's lines are offered for saving before the program ends.
        Window->JournalAdd(U("Тест остановлен"));
        Messages.Answer = saves % 2 == 0;
        const int savesBefore = saves;
        EXPECT_EQ(StartEndsApplication(), c.ends);
        EXPECT_EQ(Commands(), c.commands);
        EXPECT_EQ(Shown, c.window ? QStringList{U(c.window)} : QStringList{});
        EXPECT_EQ(Messages.Questions,
                  c.ends ? QStringList{U("Сохранить журнал теста?")} : QStringList{});
        if (c.ends && Messages.Answer) {
            ASSERT_EQ(saves, savesBefore + 1);
            QFile saved(folder.filePath(QString::number(saves)));
            ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
            EXPECT_EQ(saved.readAll(), ToCp1251(U("Тест остановлен\r\n")));
        }
        if (!c.ends) {
            EXPECT_EQ(Messages.Texts, QStringList{U("Неверное количество циклов теста")});
        }
    }
    SetSaveFilePrompt({});
}

TEST_F(FullTest, EarlyEndsAndTheFailuresTheRunGoesOnAfter) {
    const auto refuse = [](int command) {
        return [command](FullTest& t) {
            t.WithModel([command](DeviceModel& model) {
                model.GetFaults().statusBits[command] = {0, 0x02, 0, 0, 0, 0};
            });
        };
    };
    struct Case {
        const char* name;
        std::function<void(FullTest&)> arrange;
        QStringList lines; // consecutive journal lines
        int failed;        // commands failed, one box each
        bool early;        // the run ended without a summary
        int textLines;     // non-fiscal text lines sent
    };
    const Case cases[] = {
        {"a non-fiscal line refused",
         refuse(0x2A),
         {U("Ошибка печати нефискального текста"), U("3"), U("Нефискальный чек - успешно")},
         1,
         false,
         1},
        {"typed text is no cashier",
         [](FullTest& t) { t.Get<QComboBox>("ComboBox8")->setEditText(U("Оператор 1 ")); },
         {U("Ошибка открытия фискального чека"), QString(30, '*'), U("Чек возврата"),
          U("Ошибка открытия чека возврата"), QString(30, '*'), U("Отчет проданных товаров")},
         2,
         false,
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        WithModel([](DeviceModel& model) { model = DeviceModel(model.GetOptions()); });
        Messages.Texts.clear();
        c.arrange(*this);
        Click("Button3");
        const QStringList journal = Journal();
        const int at = journal.indexOf(c.lines[0]);
        ASSERT_GE(at, 0);
        EXPECT_EQ(journal.mid(at, c.lines.size()), c.lines);
        EXPECT_EQ(Messages.Texts.size(), c.failed);
        EXPECT_EQ(Count(0x2A), c.textLines);
        if (c.early) {
            EXPECT_EQ(journal.last(), U("Конец теста"));
            EXPECT_EQ(Window->FailedSteps, c.failed);
        } else {
            EXPECT_EQ(journal.mid(journal.size() - 2, 1),
                      QStringList{U("Общее количество ошибок: %1").arg(c.failed)});
            EXPECT_EQ(Window->FailedSteps, 0);
        }
        EXPECT_TRUE(Enabled("Button3"));
        EXPECT_FALSE(Enabled("Button4"));
        EXPECT_EQ(Window->BusyMode, 0);
    }
    // The cashier sent is operator 0.
    EXPECT_EQ(Count(0x30) + Count(0x55), 2);
    for (const auto& request : Printer.Requests())
        if (request.Command == 0x30 || request.Command == 0x55) {
            EXPECT_EQ(request.Data, "00000,5917,00001,I");
        }
}

// Each command a pass sends, refused by the device in turn from the pass's first check point on:
// every refused request shows its box (the lower display line's excepted), the journal tells of
// the failures in the steps' words and nothing else, and the failure count is the number of
// requests the device refused, its own refusals of what could not follow included.
TEST_F(FullTest, EveryCommandRefusedInTurnIsJournaledAndCounted) {
    struct Row {
        std::vector<const char*> lines; // the failure lines, in order
        bool early;                     // the run ends without a summary
    };
    const std::map<int, Row> rows = {
        {0x3D, {{"Ошибка установки времени"}, false}},
        {0x47, {{"Ошибка печати диагностической информации"}, false}},
        {0x5A, {{"Ошибка получения диагностической информации"}, false}},
        {0x3E,
         {{"Ошибка получения даты/времени", "Ошибка получения даты/времени",
           "Ошибка получения даты/времени"},
          false}},
        {0x63, {{"Ошибка получения налогового номера"}, false}},
        {0x45, {{"Ошибка X-отчета", "Ошибка Z-отчета", "Ошибка Z-отчета"}, false}},
        {0x26, {{"Ошибка открытия нефискального чека"}, false}},
        {0x2A, {{"Ошибка печати нефискального текста"}, false}},
        {0x27, {{"Ошибка закрытия нефискального чека", "Конец теста"}, true}},
        {0x23, {{}, false}},
        {0x2F, {{"Ошибка теста индикаторов клиента"}, false}},
        {0x46, {{"Ошибка служебного вноса", "Ошибка служебного выноса"}, false}},
        // Without the article the sale is refused, and so is 1.00 off an empty receipt.
        {0x6B,
         {{"Ошибка программирования артикулов", "Ошибка продажи товара", "Ошибка оплаты",
           "Конец теста"},
          true}},
        // With no sale the drawer holds no cash for the refund.
        {0x30, {{"Ошибка открытия фискального чека", "Ошибка оплаты", "Конец теста"}, true}},
        {0x36, {{"Ошибка печати фискального текста", "Ошибка оплаты", "Конец теста"}, true}},
        {0x34, {{"Ошибка продажи товара", "Ошибка оплаты", "Конец теста"}, true}},
        {0x33, {{"Ошибка оплаты", "Конец теста"}, true}},
        {0x35, {{"Ошибка оплаты", "Конец теста"}, true}},
        {0x38, {{"Ошибка закрытия фискального чека", "Конец теста"}, true}},
        {0x55, {{"Ошибка открытия чека возврата"}, false}},
        {0x6F, {{"Ошибка отчета проданных товаров"}, false}},
    };
    // From the first check point of a pass on, `refused` (if any) is refused.
    const auto run = [this](int refused) {
        AtCheckPoint([this] { return Count(0x4A) == 1; },
                     [this, refused] {
                         Printer.ClearRequests();
                         WithModel([refused](DeviceModel& model) {
                             if (refused) model.GetFaults().statusBits[refused] = {0, 2};
                         });
                     });
        Click("Button3");
    };
    // The commands of a healthy pass, as the device received them.
    run(0);
    std::set<int> sent;
    for (const auto& request : Printer.Requests())
        sent.insert(request.Command);
    std::set<int> tabled;
    for (const auto& [command, row] : rows)
        tabled.insert(command);
    EXPECT_EQ(sent, tabled);

    for (const int command : sent) {
        SCOPED_TRACE(testing::Message() << "command " << std::hex << command);
        TearDown();
        SetUp();
        WithModel([](DeviceModel& model) { model = DeviceModel(model.GetOptions()); });
        Messages.Texts.clear();
        run(command);
        const auto requests = Printer.Requests();
        const auto refused = std::count_if(requests.begin(), requests.end(),
                                           [](const auto& r) { return r.Refused; });
        const auto unboxed = std::count_if(requests.begin(), requests.end(), [](const auto& r) {
            return r.Refused && r.Command == 0x23;
        });
        EXPECT_GT(refused, 0);
        EXPECT_EQ(Messages.Texts, QStringList(int(refused - unboxed), U("Команда не разрешена")));
        const Row& row = rows.at(command);
        QStringList expected;
        for (const char* line : row.lines)
            expected << U(line);
        QStringList failures;
        for (const QString& line : Journal())
            if (line.startsWith(U("Ошибка")) || line == U("Конец теста")) failures << line;
        EXPECT_EQ(failures, expected);
        if (row.early) {
            EXPECT_EQ(Journal().last(), U("Конец теста"));
            EXPECT_EQ(Window->FailedSteps, refused);
        } else {
            EXPECT_EQ(Journal().mid(Journal().size() - 2, 1),
                      QStringList{U("Общее количество ошибок: %1").arg(refused)});
        }
    }
}

// The computer's clock moves on while something holds the check point before step 1 (here its
// zone changes by hours): the clock set is the time as the command goes.
TEST_F(FullTest, Step1SetsTheClockAsTheCommandGoes) {
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray zone = qgetenv("TZ");
    Get<QCheckBox>("CheckBox1")->setChecked(true);
    const QString format = U("dd-MM-yy hh:mm");
    QString before, after;
    AtCheckPoint([this] { return Count(0x4A) == 1; },
                 [&] {
                     before = QDateTime::currentDateTime().toString(format);
                     qputenv("TZ", "XYZ-13:30");
                     after = QDateTime::currentDateTime().toString(format);
                 });
    Click("Button3");
    if (hadZone)
        qputenv("TZ", zone);
    else
        qunsetenv("TZ");
    ASSERT_NE(before, after);
    const auto requests = Printer.Requests();
    const auto set = std::find_if(requests.begin(), requests.end(),
                                  [](const auto& r) { return r.Command == 0x3D; });
    ASSERT_NE(set, requests.end());
    const QDateTime sent = QDateTime::fromString(QString::fromStdString(set->Data), format);
    const QDateTime expected = QDateTime::fromString(after, format);
    EXPECT_TRUE(sent == expected || sent == expected.addSecs(60)) << set->Data;
}

TEST_F(FullTest, TheLowerLineIsSentAgainWhileNoReplyComes) {
    // Silent for the first two sends of the first window, then answering: no box, two counted.
    Get<QCheckBox>("CheckBox1")->setChecked(true);
    AtCheckPoint([this] { return Count(0x27) == 1; },
                 [this] { WithModel([](DeviceModel& model) { model.GetFaults().silent = 2; }); });
    Click("Button3");
    EXPECT_TRUE(Messages.Texts.isEmpty());
    EXPECT_EQ(Journal().mid(Journal().size() - 2, 1), QStringList{U("Общее количество ошибок: 2")});
    const auto requests = Printer.Requests();
    const auto first = std::find_if(requests.begin(), requests.end(),
                                    [](const auto& request) { return request.Command == 0x23; });
    ASSERT_LT(first + 3, requests.end());
    EXPECT_EQ(first[1].Data, first[0].Data);
    EXPECT_EQ(first[2].Data, first[0].Data);
    EXPECT_NE(first[3].Data, first[0].Data);
    EXPECT_EQ(Count(0x23), 122);

    // A pulled cable: every window is sent 20 times, then every command of the run fails.
    TearDown();
    SetUp();
    Messages.Texts.clear();
    Get<QCheckBox>("CheckBox1")->setChecked(true);
    AtCheckPoint([this] { return Count(0x27) == 1; }, [this] { Printer.HangUp(); });
    Click("Button3");
    EXPECT_EQ(Journal().mid(Journal().size() - 2, 1),
              QStringList{U("Общее количество ошибок: %1").arg(120 * 20 + 120 + 2)});
    EXPECT_EQ(Messages.Texts, QStringList(122, U("Таймаут")));
}

} // namespace
