// The batch mode's run (see BatchRun.h): connected with "Подключить", the identity read by the
// information page, the test started with "Старт"; stops and a lost line end it as "Стоп" does.

#include "BatchRun.h"

#include "BatchSystem.h"
#include "Dialogs.h"
#include "PrinterLink.h"
#include "Status.h"
#include "Switches.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

// A printer that has answered nothing for this long, over two exchanges or more, has lost its
// line: the run is stopped rather than waiting out every remaining command.
constexpr int LineLostAfterMs = 10000;
// How often the line is looked at; the look happens at the test's check points and waits.
constexpr int LineWatchMs = 100;

} // namespace

TBatchRun::~TBatchRun() {
    SetMessageSink({});
    SetQuestionAnswerer({});
    SetSaveFilePrompt({});
    if (Form2) Form2->removeEventFilter(this);
    if (Form4) Form4->removeEventFilter(this);
}

int TBatchRun::Exec() {
    SetUp();
    Own(QStringLiteral("Тест без оператора: tr7042k-console %1, пакетный режим").arg(TR_VERSION));
    Own(QStringLiteral("Порт: %1, %2 бод").arg(O.PortName).arg(O.Baud));
    Own(QStringLiteral("Начало: %1")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))));
    Own(QStringLiteral("Проходов: %1, задержка %2 мс%3")
            .arg(O.Passes, O.Delay,
                 O.NoFiscal ? QStringLiteral(", без фискальных чеков и Z-отчета") : QString()));

    if (!Connect()) {
        TellReason();
        Finish(QStringLiteral("no line"));
        return 0;
    }
    Said.clear();
    if (!ReadIdentity()) {
        TellReason();
        Finish(TimedOut() ? QStringLiteral("no line") : QStringLiteral("not fit"));
        return 0;
    }
    QCoreApplication::processEvents(); // a stop asked for meanwhile
    if (StopAsked) {
        Own(QStringLiteral("Тест остановлен"));
        Finish(QStringLiteral("stopped"));
        return 0;
    }
    RunTest();
    Finish(Verdict());
    return 0;
}

void TBatchRun::SetUp() {
    Stops = WatchBatchStops([this] { StopArrived(); });

    Journal = Get<QPlainTextEdit>("RichEdit1");
    connect(Journal, &QPlainTextEdit::textChanged, this, [this] { JournalChanged(); });
    SetMessageSink([this](const QString& text) { Message(text); });
    SetQuestionAnswerer([this](const QString& text) { return Question(text); });
    SetSaveFilePrompt([](QWidget*, const QString&) { return QString(); });
    if (Form2) Form2->installEventFilter(this);
    if (Form4) Form4->installEventFilter(this);
    LineWatch.setInterval(LineWatchMs);
    connect(&LineWatch, &QTimer::timeout, this, [this] { WatchLine(); });

    // The defaults of the window's first activation, then the run's own inputs.
    F.FormActivate(&F);
    Get<QLineEdit>("Edit1")->setText(O.Delay);
    Get<QCheckBox>("CheckBox1")->setChecked(O.NoFiscal);
    Get<QComboBox>("ComboBox8")->setCurrentIndex(O.Cashier - 1);
    if (O.Password) Get<QLineEdit>("Edit21")->setText(*O.Password);
    if (O.ProgramPassword) Get<QLineEdit>("Edit22")->setText(*O.ProgramPassword);
    if (O.ReportPassword) Get<QLineEdit>("Edit23")->setText(*O.ReportPassword);
}

bool TBatchRun::Connect() {
    Tell({QStringLiteral("step"), QStringLiteral("Подключение")});
    // The port list offers COM1 to COM20; a higher COMn, mapped to a device, is added here.
    auto* ports = Get<QComboBox>("ComboBox1");
    while (ports->count() < O.Port)
        ports->addItem(QStringLiteral("COM%1").arg(ports->count() + 1));
    ports->setCurrentIndex(O.Port - 1);
    auto* rates = Get<QComboBox>("ComboBox3");
    const int rate = rates->findText(QStringLiteral("%1 бод").arg(O.Baud));
    if (rate < 0) {
        Note(QStringLiteral("Скорость %1 бод консоль не предлагает").arg(O.Baud));
        return false;
    }
    rates->setCurrentIndex(rate);
    F.Button2Click(Get<QPushButton>("Button2"));
    if (!F.IsConnected()) return false;
    // Connecting puts the pass count back to 1.
    Get<QComboBox>("ComboBox2")->setEditText(O.Passes);
    return true;
}

bool TBatchRun::ReadIdentity() {
    // As the information page reads it, by its own handler, before the first pass.
    Tell({QStringLiteral("step"), QStringLiteral("Чтение данных принтера")});
    auto* pages = Get<QTabWidget>("PageControl1");
    pages->setCurrentWidget(Get<QWidget>("TabSheet4"));
    const int messagesBefore = Messages;
    F.PageControl1Change(pages);
    const bool read = Messages == messagesBefore;
    pages->setCurrentWidget(Get<QWidget>("TabSheet1"));

    QStringList identity{QStringLiteral("identity")};
    for (const auto& [label, display] :
         {std::pair{"Label10", "Edit12"}, std::pair{"Label11", "Edit13"},
          std::pair{"Label12", "Edit14"}, std::pair{"Label13", "Edit15"},
          std::pair{"Label8", "Edit8"}, std::pair{"Label14", "Edit16"}}) {
        const QString value = Get<QLineEdit>(display)->text();
        Own(Get<QLabel>(label)->text() + QLatin1Char(' ') + value);
        identity << value;
    }
    identity.removeLast(); // the tax rates are journaled only
    if (read) Tell(identity);
    return read;
}

void TBatchRun::RunTest() {
    Tell({QStringLiteral("step"), QStringLiteral("Проверка принтера и заголовок чека")});
    Running = true;
    Said.clear();
    SinceAnswer.start();
    LastSeq = PrinterLink.SeqCounter;
    LineWatch.start();
    // Started from the message loop, as a click starts it, so that the test's own end of the
    // program (after a check window, or a refused header line) ends that loop.
    bool returned = false;
    QTimer::singleShot(0, this, [&] {
        // A stop that came before "Старт" would be lost to it (starting clears the stop).
        if (StopAsked) {
            Own(QStringLiteral("Тест остановлен"));
            StoppedBeforeStart = true;
        } else {
            F.Button3Click(Get<QPushButton>("Button3"));
        }
        returned = true;
        QTimer::singleShot(0, this, [] { QCoreApplication::exit(1); });
    });
    QuitAsked = QCoreApplication::exec() == 0 && returned;
    LineWatch.stop();
    Running = false;
    CountFailures();
}

QString TBatchRun::Verdict() {
    if (CheckWindowShown) return QStringLiteral("not fit");
    if (LineLost) return QStringLiteral("no line");
    if (StoppedBeforeStart) return QStringLiteral("stopped");
    if (QuitAsked) {
        // The program ended without a check window: a header line was refused.
        TellReason(QStringLiteral("заголовок чека не принят: "));
        if (TimedOut()) return QStringLiteral("no line");
        ++Failed;
        Tell({QStringLiteral("failed"), QStringLiteral("0"), QStringLiteral("Заголовок чека"),
              QStringLiteral("1")});
        return QStringLiteral("failed");
    }
    if (!TestBegun) {
        // The printer's state could not be read for the start checks.
        TellReason();
        return TimedOut() ? QStringLiteral("no line") : QStringLiteral("not fit");
    }
    if (TestStopped) return QStringLiteral("stopped");
    return Failed > 0 ? QStringLiteral("failed") : QStringLiteral("passed");
}

void TBatchRun::Finish(const QString& verdict) {
    static const QMap<QString, QString> words{
        {QStringLiteral("passed"), QStringLiteral("тест пройден")},
        {QStringLiteral("failed"), QStringLiteral("ошибки в шагах теста")},
        {QStringLiteral("not fit"), QStringLiteral("принтер не годится для теста")},
        {QStringLiteral("no line"), QStringLiteral("нет связи с принтером")},
        {QStringLiteral("stopped"), QStringLiteral("тест остановлен")}};
    Note(QStringLiteral("Итог: %1, ошибок: %2").arg(words.value(verdict)).arg(Failed));
    // A lost line is not disconnected: the port is let go when the process ends, without
    // waiting for a line that takes nothing.
    if (F.IsConnected() && !LineLost) F.Button2Click(Get<QPushButton>("Button2"));
    Tell({QStringLiteral("verdict"), verdict, QString::number(PassesDone)});
    double cpu = 0;
    qint64 memory = 0;
    BatchUsage(cpu, memory);
    Tell({QStringLiteral("usage"), QString::number(cpu, 'f', 3), QString::number(memory)});
}

void TBatchRun::StopArrived() {
    if (StopAsked) return;
    StopAsked = true;
    Note(QStringLiteral("Остановка по сигналу"));
    if (Running) StopTest();
}

void TBatchRun::WatchLine() {
    if (!Running || LineLost) return;
    bool lost = BatchLineHungUp();
    const unsigned char seq = PrinterLink.SeqCounter;
    if (!lost && seq != LastSeq) {
        const int exchanges = static_cast<unsigned char>(seq - LastSeq);
        LastSeq = seq;
        if (!TimedOut()) {
            SinceAnswer.restart();
            Unanswered = 0;
        } else {
            Unanswered += exchanges;
            lost = Unanswered >= 2 && SinceAnswer.elapsed() >= LineLostAfterMs;
        }
    }
    if (!lost) return;
    LineLost = true;
    Note(QStringLiteral("Связь с принтером потеряна"));
    Tell({QStringLiteral("lost")});
    Tell({QStringLiteral("reason"), QStringLiteral("связь с принтером потеряна")});
    StopTest();
}

void TBatchRun::StopTest() {
    // As "Стоп": the test ends at its next check point.
    F.Button4Click(Get<QPushButton>("Button4"));
}
