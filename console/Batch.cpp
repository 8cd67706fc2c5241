// The console's batch mode (see Batch.h): one printer, the full device test of "Старт", nobody
// at the screen.
//
// The main window is made as at start-up but never shown (Qt's offscreen platform), connected
// with its own "Подключить", the printer's identity read by its information page, and the test
// started with its own "Старт" handler. What the test writes into the journal goes into the
// journal file line by line, so a process that ends any way at all loses nothing journaled.

#include "Batch.h"

#include "Application.h"
#include "BatchSystem.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "Mainform.h"
#include "PrinterLink.h"
#include "Status.h"
#include "Switches.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

bool IsBatchCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--batch") == 0) return true;
    return false;
}

namespace {

// A printer that has answered nothing for this long, over two exchanges or more, has lost its
// line: the run is stopped rather than waiting out every remaining command.
constexpr int LineLostAfterMs = 10000;
// How often the line is looked at; the look happens at the test's check points and waits.
constexpr int LineWatchMs = 100;
// A check window not made active by the platform within this time is activated by hand.
constexpr int CheckWindowActivationMs = 2000;

const QString Stars30(30, QLatin1Char('*'));
const QString Stars35(35, QLatin1Char('*'));

// ---- The command line.

struct TBatchOptions {
    int Port = 0;
    QString PortName;
    int Baud = 19200;
    QString Passes = QStringLiteral("1");
    QString Delay = QStringLiteral("1500");
    bool NoFiscal = false;
    int Cashier = 1;
    std::optional<QString> Password, ProgramPassword, ReportPassword;
    QString Journal;
};

bool ParseOptions(const QStringList& arguments, TBatchOptions& o, QString& error) {
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size()) return std::nullopt;
            return arguments[++i];
        };
        const auto number = [&](int& target, int least, int most) {
            const std::optional<QString> text = value();
            bool ok = false;
            const int n = text ? text->toInt(&ok) : 0;
            if (!ok || n < least || n > most) return false;
            target = n;
            return true;
        };
        const auto text = [&](QString& target) {
            const std::optional<QString> v = value();
            if (v) target = *v;
            return v.has_value();
        };
        const auto optionalText = [&](std::optional<QString>& target) {
            target = value();
            return target.has_value();
        };
        bool ok = true;
        if (arg == QLatin1String("--batch"))
            continue;
        else if (arg == QLatin1String("--port"))
            ok = number(o.Port, 1, 255);
        else if (arg == QLatin1String("--port-name"))
            ok = text(o.PortName);
        else if (arg == QLatin1String("--baud"))
            ok = number(o.Baud, 1, 10000000);
        else if (arg == QLatin1String("--passes"))
            ok = text(o.Passes);
        else if (arg == QLatin1String("--delay"))
            ok = text(o.Delay);
        else if (arg == QLatin1String("--no-fiscal"))
            o.NoFiscal = true;
        else if (arg == QLatin1String("--cashier"))
            ok = number(o.Cashier, 1, 255);
        else if (arg == QLatin1String("--password"))
            ok = optionalText(o.Password);
        else if (arg == QLatin1String("--program-password"))
            ok = optionalText(o.ProgramPassword);
        else if (arg == QLatin1String("--report-password"))
            ok = optionalText(o.ReportPassword);
        else if (arg == QLatin1String("--journal"))
            ok = text(o.Journal);
        else
            ok = false;
        if (!ok) {
            error = QStringLiteral("неверный параметр пакетного режима: %1").arg(arg);
            return false;
        }
    }
    if (o.Port == 0 || o.Journal.isEmpty()) {
        error = QStringLiteral("пакетному режиму нужны --port и --journal");
        return false;
    }
    if (o.PortName.isEmpty()) o.PortName = QStringLiteral("COM%1").arg(o.Port);
    return true;
}

QString TimeNow() {
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}

// A journal line as the journal file holds it. The test's own lines come from the device or the
// console and always fit Windows-1251; a line of ours that does not (a device path, say) gets
// '?' for the characters the code page lacks rather than being left out.
QByteArray JournalBytes(const QString& line) {
    return ToCp1251Replacing(line, false) + "\r\n";
}

// Before anything else: the journal file open, and stops caught from the first moment on. A
// stop reaches the run through its event loop, so it is taken at the test's next check point (or
// wait), like a click on "Стоп".
bool PrepareProcess(const TBatchOptions& o) {
    QString error;
    if (!OpenBatchJournal(o.Journal, error)) {
        std::fprintf(stderr, "tr7042k-console: не удалось открыть журнал %s: %s\n",
                     o.Journal.toLocal8Bit().constData(), error.toLocal8Bit().constData());
        return false;
    }
    if (CatchBatchStops(JournalBytes(QStringLiteral("Тест прерван")))) return true;
    std::fputs("tr7042k-console: не удалось принять сигналы остановки\n", stderr);
    return false;
}

// ---- One unattended run.

class TBatchRun : public QObject {
public:
    TBatchRun(const TBatchOptions& options, TForm1& form) : O(options), F(form) {}
    ~TBatchRun() override;
    int Exec();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <class Control> Control* Get(const QWidget& window, const char* name) const {
        return window.findChild<Control*>(QString::fromLatin1(name));
    }
    template <class Control> Control* Get(const char* name) const { return Get<Control>(F, name); }

    void SetUp();
    bool Connect();
    bool ReadIdentity();
    void RunTest();
    QString Verdict();
    void Finish(const QString& verdict);

    void Own(const QString& line);  // a journal line of the batch mode's own
    void Note(const QString& text); // the same, with the time
    void Tell(QStringList fields);  // one line to the caller
    void JournalChanged();
    void TestLine(const QString& line);
    void CountFailures();
    void Message(const QString& text);
    bool Question(const QString& text);
    void WatchCheckWindow(QDialog* window);
    void ReportCheckWindow(QDialog* window);
    void StopArrived();
    void WatchLine();
    void StopTest();
    bool TimedOut() const { return F.LastRetData.ErrorWord & ERR_TIMEOUT; }

    const TBatchOptions& O;
    TForm1& F;
    QPlainTextEdit* Journal = nullptr;
    int Written = 0;      // journal lines in the file
    bool OwnLine = false; // the line being added is the batch mode's own
    bool WriteFailed = false;

    // What the test has journaled so far.
    int Pass = 0, PassesDone = 0;
    QString StepTitle;
    bool AfterStars = false;
    int Seen = 0;     // FailedSteps already counted
    int Failed = 0;   // failed commands of the run
    int Messages = 0; // message boxes journaled
    QStringList Said; // the boxes' texts since the present stage began
    bool TestBegun = false, SummaryReached = false, TestStopped = false;

    // How the run ended.
    bool Running = false, CheckWindowShown = false, LineLost = false, StopAsked = false;
    bool QuitAsked = false, StoppedBeforeStart = false;

    // The line watch.
    QTimer LineWatch;
    QElapsedTimer SinceAnswer;
    unsigned char LastSeq = 0;
    int Unanswered = 0;
    std::unique_ptr<QObject> Stops;
};

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
        Tell({QStringLiteral("reason"), Said.join(QStringLiteral(" "))});
        Finish(QStringLiteral("no line"));
        return 0;
    }
    Said.clear();
    if (!ReadIdentity()) {
        Tell({QStringLiteral("reason"), Said.join(QStringLiteral(" "))});
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
        Tell({QStringLiteral("reason"),
              QStringLiteral("заголовок чека не принят: ") + Said.join(QStringLiteral(" "))});
        if (TimedOut()) return QStringLiteral("no line");
        ++Failed;
        Tell({QStringLiteral("failed"), QStringLiteral("0"), QStringLiteral("Заголовок чека"),
              QStringLiteral("1")});
        return QStringLiteral("failed");
    }
    if (!TestBegun) {
        // The printer's state could not be read for the start checks.
        Tell({QStringLiteral("reason"), Said.join(QStringLiteral(" "))});
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

void TBatchRun::Own(const QString& line) {
    OwnLine = true;
    F.JournalAdd(line);
    OwnLine = false;
}

void TBatchRun::Note(const QString& text) {
    Own(TimeNow() + QLatin1Char(' ') + text);
}

void TBatchRun::Tell(QStringList fields) {
    for (QString& field : fields)
        field = field.simplified(); // no tab or line feed inside a field
    const QByteArray line = (fields.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
    TellBatchCaller(line.left(4000)); // one write, whole
}

void TBatchRun::JournalChanged() {
    // Lines are only ever appended, each one whole: write the new ones.
    const QTextDocument* document = Journal->document();
    const int count = document->isEmpty() ? 0 : document->blockCount();
    if (count < Written) Written = 0; // cleared: start again at the top
    for (QTextBlock block = document->findBlockByNumber(Written); Written < count;
         block = block.next(), ++Written) {
        const QString line = block.text();
        QString error;
        if (!AppendBatchJournal(JournalBytes(line), error) && !WriteFailed) {
            WriteFailed = true;
            const QString text =
                QStringLiteral("Не удалось записать журнал %1: %2").arg(O.Journal, error);
            std::fprintf(stderr, "tr7042k-console: %s\n", text.toLocal8Bit().constData());
            Tell({QStringLiteral("message"), TimeNow(), text});
        }
        if (!OwnLine) TestLine(line);
    }
}

void TBatchRun::TestLine(const QString& line) {
    // A failure is counted in the step that was running when it happened, before this line can
    // begin another step.
    CountFailures();
    static const QString passPrefix = QStringLiteral("Номер прохода теста - ");
    if (line == Stars30) {
        AfterStars = true;
    } else if (line == Stars35 || line == QLatin1String(" ")) {
        AfterStars = false;
    } else if (AfterStars) {
        AfterStars = false;
        StepTitle = line;
        Tell({QStringLiteral("step"), StepTitle});
    } else if (line.startsWith(passPrefix)) {
        PassesDone = Pass;
        Pass = line.mid(passPrefix.size()).toInt();
        StepTitle.clear();
        Tell({QStringLiteral("pass"), QString::number(Pass)});
    } else if (line == QStringLiteral("Тест Veltor TR7042K")) {
        TestBegun = true;
    } else if (line == QStringLiteral("Конец теста Veltor TR7042K")) {
        SummaryReached = true;
        PassesDone = Pass;
    } else if (line == QStringLiteral("Тест остановлен")) {
        TestStopped = true;
    }
}

void TBatchRun::CountFailures() {
    const int now = F.FailedSteps;
    if (now > Seen) {
        Failed += now - Seen;
        Tell({QStringLiteral("failed"), QString::number(Pass), StepTitle,
              QString::number(now - Seen)});
    }
    Seen = now; // back to 0 after the summary
}

void TBatchRun::Message(const QString& text) {
    // The box the technician would have had to close, as one journal line with the time.
    ++Messages;
    const QString time = TimeNow();
    // One line: the box's lines become sentences of it.
    QString flat;
    for (const QString& part : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString sentence = part.simplified();
        if (sentence.isEmpty()) continue;
        if (!flat.isEmpty()) flat += QStringLiteral(".:!?").contains(flat.back()) ? " " : ". ";
        flat += sentence;
    }
    Own(time + QStringLiteral(" Сообщение: ") + flat);
    Tell({QStringLiteral("message"), time, flat});
    Said << flat;
}

bool TBatchRun::Question(const QString& text) {
    // Only the offer to save the journal before the program ends: it is saved already.
    Note(QStringLiteral("Вопрос: %1 Ответ: нет, журнал уже записан").arg(text.simplified()));
    return false;
}

bool TBatchRun::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && (watched == Form2 || watched == Form4))
        WatchCheckWindow(static_cast<QDialog*>(watched));
    return false;
}

void TBatchRun::WatchCheckWindow(QDialog* window) {
    // The window asks the device when it becomes active; once it has, its findings are read
    // and it is closed with its own button.
    auto* poll = new QTimer(window);
    auto shown = std::make_shared<QElapsedTimer>();
    shown->start();
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, window, poll, shown] {
        if (!window->isActiveWindow() && shown->elapsed() < CheckWindowActivationMs) return;
        poll->stop();
        poll->deleteLater();
        if (!window->isActiveWindow()) {
            QEvent activate(QEvent::WindowActivate);
            QCoreApplication::sendEvent(window, &activate);
        }
        ReportCheckWindow(window);
    });
    poll->start();
}

void TBatchRun::ReportCheckWindow(QDialog* window) {
    CheckWindowShown = true;
    Note(window->windowTitle());
    QStringList findings;
    if (window == Form2) {
        findings << Get<QLabel>(*window, "Label3")->text();
        for (const auto& [label, edit] :
             {std::pair{"Label1", "Edit1"}, std::pair{"Label2", "Edit2"}})
            findings << Get<QLabel>(*window, label)->text() + QLatin1Char(' ') +
                            Get<QLineEdit>(*window, edit)->text();
    } else {
        findings = Get<QPlainTextEdit>(*window, "Memo1")
                       ->toPlainText()
                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    for (const QString& line : findings)
        Own(line);
    Tell({QStringLiteral("step"), window->windowTitle()});
    Tell({QStringLiteral("reason"),
          window->windowTitle() + QStringLiteral(": ") + findings.join(QStringLiteral("; "))});
    Get<QPushButton>(*window, "Button1")->click();
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

} // namespace

int RunBatch(int argc, char** argv) {
    TBatchOptions options;
    QString error;
    if (!ParseOptions(BatchArguments(argc, argv), options, error)) {
        std::fprintf(stderr, "tr7042k-console: %s\n", error.toLocal8Bit().constData());
        return 3;
    }
    if (!PrepareProcess(options)) return 3;
    // No window is ever shown: no display is needed. A Qt built without FreeType has no offscreen
    // platform; the minimal one then serves.
    qputenv("QT_QPA_PLATFORM", "offscreen;minimal");
    TApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("tr7042k-console"));
    auto mainWindow = std::make_unique<TForm1>();
    Form1 = mainWindow.get();
    auto switchesWindow = std::make_unique<TForm2>();
    Form2 = switchesWindow.get();
    auto stateWindow = std::make_unique<TForm4>();
    Form4 = stateWindow.get();
    int result = 0;
    {
        TBatchRun run(options, *mainWindow);
        result = run.Exec();
    }
    CloseBatchJournal();
    return result;
}
