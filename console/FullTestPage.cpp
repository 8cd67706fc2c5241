// "Тест РРО" page: the full device test. "Старт" checks that the device is fit for testing,
// programs the receipt header with the service company's address, runs the chosen number of
// passes of eighteen sub-tests, journals every outcome and ends with the number of failed
// commands.
//
// The run stays on the window's thread and lets window messages through only at its check
// points. There "Стоп", a disconnect or the closing of the window ends it, and the journal's
// buttons and the other pages can be used between two of its commands.

#include "Mainform.h"

#include "Application.h"
#include "Busy.h"
#include "Convert.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "DisplaySweep.h"
#include "Pump.h"
#include "Replies.h"
#include "Selection.h"
#include "Status.h"
#include "Switches.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <functional>

namespace {

const QString Stars30(30, QLatin1Char('*')); // opens every step and closes the summary
const QString Stars35(35, QLatin1Char('*')); // frames the pass number

constexpr int HeaderLineCount = 8;  // receipt header and footer lines 0 to 7
constexpr int TimerWaitMs = 60000;  // between the two clock readings of the timer test
constexpr int MaxDisplaySends = 20; // sends of one display window that gets no reply

// Header lines 0 to 3 carry the service company's address block (country and city
// letter-spaced); lines 4 to 7 are cleared.
QByteArray HeaderLine(int item) {
    static const char* const texts[HeaderLineCount] = {"У К Р А Ї Н А",
                                                       "К И Ї В",
                                                       "АТ \"ВЕЛТОР УКРАЇНА\"",
                                                       "тел. (044) 237-70-42",
                                                       "",
                                                       "",
                                                       "",
                                                       ""};
    return ToCp1251(QString::fromUtf8(texts[item]));
}

// Switches 1 to 6 as this model needs them; 7 and 8 may be either way. The field is compared as
// text, whatever its length: more than eight switches is no setting of this model.
bool SwitchesFit(const QString& switches) {
    return switches.size() >= 6 && switches.size() <= 8 &&
           switches.startsWith(QLatin1String("001011"));
}

// Now, as the system writes a date and a time (its short date and long time, without the time
// zone). The journal is saved in Windows-1251: a locale whose text the code page lacks gets a
// plain numeric form instead.
QString NowText() {
    const QLocale locale = QLocale::system();
    QString timeFormat;
    bool quoted = false;
    for (const QChar c : locale.timeFormat(QLocale::LongFormat)) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) timeFormat += c;
    }
    const QDateTime now = QDateTime::currentDateTime();
    QString text = locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                   locale.toString(now.time(), timeFormat.trimmed());
    for (QChar& c : text)
        if (c.isSpace()) c = QLatin1Char(' ');
    try {
        ToCp1251(text);
    } catch (const EEncodingError&) {
        text = now.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    }
    return text;
}

// What follows a step's outcome, after the delay: nothing, a repaint of the journal's end, or
// a blank line and the repaint.
enum class TAfter { Nothing, ShowEnd, BlankLine };

} // namespace

// One run of the full device test, from the start checks to the summary.
class TFullTest {
public:
    explicit TFullTest(TForm1& form) : F(form) {}
    void Run();

private:
    bool DeviceFit();
    bool ProgramHeader();
    void EndApplication();
    bool Pass(int pass);
    bool FiscalSteps();
    bool Step(const char* title, const std::function<int()>& send, bool showsReply,
              const char* errorText, const char* successText, TAfter after);
    bool NonFiscalReceipt();
    bool DisplayLowerLine();
    bool DisplayUpperLine();
    bool FiscalReceipt(bool refund);
    bool Timer();
    void ReadClock();

    bool Failed(const std::function<int()>& send);
    void Record(const char* errorText);
    bool EndEarly(const char* errorText);
    void Finish(TAfter after);
    bool CheckPoint();
    void Journal(const char* text) { F.JournalAdd(QString::fromUtf8(text)); }
    void Journal(const QString& text) { F.JournalAdd(text); }
    QByteArray Password(const QLineEdit* edit) const { return ToCp1251(edit->text()); }

    TForm1& F;
    int Delay = 0; // milliseconds after most steps
};

void TForm1::Button3Click(QObject*) {
    // One looping operation at a time; BusyMode goes back to 0 however the run ends. "Стоп"
    // stops this run and nothing else.
    TLoopRun run(*this, BusyFullTest, Button4);
    if (!run.Claimed()) return;
    TFullTest(*this).Run();
}

void TFullTest::Run() {
    // The device is checked before the inputs: an unfit device ends the program either way.
    if (!DeviceFit()) return;
    int passes = 0;
    if (!TryStrToInt(F.ComboBox2->currentText(), passes) || passes < 1) {
        ShowMessage(QStringLiteral("Неверное количество циклов теста"));
        return;
    }
    if (!TryStrToInt(F.Edit1->text(), Delay) || Delay < 0) {
        ShowMessage(QStringLiteral("Неверная величина задержки \n   между командами"));
        return;
    }

    F.Button3->setEnabled(false);
    F.Button4->setEnabled(true);
    F.StopFlag = false;
    if (Failed([] { return PrinterGetDiagnostics(nullptr, PrinterResults, 0, 1); }))
        ShowMessage(QStringLiteral("Ошибка получения информации"));
    if (!ProgramHeader()) {
        EndApplication();
        return;
    }

    F.FailedSteps = 0;
    Journal("Тест Veltor TR7042K");
    Journal("Дата тестирования:");
    Journal(NowText());
    Journal(Stars30);
    for (int pass = 1; pass <= passes; ++pass)
        if (!Pass(pass)) return;

    Journal("Конец теста Veltor TR7042K");
    Journal("Дата тестирования:");
    Journal(NowText());
    Journal(QStringLiteral("Общее количество ошибок: %1").arg(F.FailedSteps));
    F.FailedSteps = 0;
    Journal(Stars30);
    F.Button3->setEnabled(true);
    F.Button4->setEnabled(false);
}

bool TFullTest::DeviceFit() {
    if (Failed([] { return PrinterGetDiagnostics(nullptr, PrinterResults, 0, 1); })) {
        ShowMessage(QStringLiteral("Ошибка получения информации"));
        return false;
    }
    // Wrong switches or a device that is not fiscalized or has a receipt open: its check
    // window tells the technician what is wrong, then the program ends.
    if (!SwitchesFit(ReplyField(F.LastRetData, 4))) {
        if (Form2) Form2->exec();
        EndApplication();
        return false;
    }
    if (!StateFindings(F.LastRetData.ErrorWord).isEmpty()) {
        if (Form4) Form4->exec();
        EndApplication();
        return false;
    }
    return true;
}

bool TFullTest::ProgramHeader() {
    // A line the device does not take ends the program; its handler has shown why.
    for (int item = 0; item < HeaderLineCount; ++item) {
        const QByteArray text = HeaderLine(item);
        if (Failed([&] {
                return PrinterSetHeaderFooter(nullptr, PrinterResults, 0, item, text.constData());
            }))
            return false;
    }
    return true;
}

void TFullTest::EndApplication() {
    F.OfferJournalSave();
    QCoreApplication::quit();
}

bool TFullTest::Pass(int pass) {
    Journal(" ");
    Journal(Stars35);
    Journal(Stars35);
    Journal(QStringLiteral("Номер прохода теста - %1").arg(pass));
    Journal(Stars35);
    // Only the handler's box tells of a failure here: the status request is not judged.
    PrinterGetStatus(nullptr, PrinterResults, 0, 0);
    if (!CheckPoint()) return false;

    const bool goesOn =
        Step(
            "Установка времени",
            [] {
                // The device clock is set to the computer's, to the minute, once a pass. The
                // time is read as the command goes: a box or another page's operation at the
                // check point before it must not make it stale.
                const QDateTime now = QDateTime::currentDateTime();
                const QByteArray date = now.toString(QStringLiteral("dd-MM-yy")).toLatin1();
                const QByteArray time = now.toString(QStringLiteral("hh:mm")).toLatin1();
                return PrinterSetDateTime(nullptr, PrinterResults, 0, date.constData(),
                                          time.constData());
            },
            false, "Ошибка установки времени", "Установка времени - успешно", TAfter::ShowEnd) &&
        Step(
            "Печать диагностической информации",
            [] { return PrinterPrintDiagnostics(nullptr, PrinterResults, 0); }, false,
            "Ошибка печати диагностической информации",
            "Печать диагностической информации - успешно", TAfter::ShowEnd) &&
        Step(
            "Получить диагностическую информацию",
            [] { return PrinterGetDiagnostics(nullptr, PrinterResults, 0, 1); }, true,
            "Ошибка получения диагностической информации",
            "Получить диагностическую информацию - успешно", TAfter::ShowEnd) &&
        Step(
            "Получить дату/время", [] { return PrinterGetDateTime(nullptr, PrinterResults, 0); },
            true, "Ошибка получения даты/времени", "Получить дату/время - успешно",
            TAfter::BlankLine) &&
        Step(
            "Получить налоговый номер",
            [] { return PrinterGetTaxNumber(nullptr, PrinterResults, 0); }, true,
            "Ошибка получения налогового номера", "Получить налоговый номер - успешно",
            TAfter::BlankLine) &&
        Step(
            "X-отчет",
            [&] {
                return PrinterDailyReport(nullptr, PrinterResults, 0,
                                          Password(F.Edit23).constData(), '2');
            },
            true, "Ошибка X-отчета", "X-отчет - успешно", TAfter::BlankLine) &&
        NonFiscalReceipt() && DisplayLowerLine() && DisplayUpperLine();
    if (!goesOn) return false;
    // The fiscal block is chosen once a pass, here.
    if (!F.CheckBox1->isChecked() && !FiscalSteps()) return false;
    return Timer();
}

bool TFullTest::FiscalSteps() {
    const auto zReport = [this] {
        return PrinterDailyReport(nullptr, PrinterResults, 0, Password(F.Edit23).constData(), '0');
    };
    return Step("Z-отчет", zReport, true, "Ошибка Z-отчета", "Z-отчет - успешно",
                TAfter::Nothing) &&
           Step(
               "Служебный внос", [] { return PrinterCashInOut(nullptr, PrinterResults, 0, 10.0); },
               true, "Ошибка служебного вноса", "Служебный внос - успешно", TAfter::Nothing) &&
           Step(
               "Служебный вынос",
               [] { return PrinterCashInOut(nullptr, PrinterResults, 0, -10.0); }, true,
               "Ошибка служебного выноса", "Служебный вынос - успешно", TAfter::BlankLine) &&
           Step(
               "Программирование артикулов",
               [this] {
                   // Article 100 in tax group А (0xC0 in Windows-1251), goods group 1.
                   return PrinterProgramArticle(nullptr, PrinterResults, 0, 0xC0, 100, 1, 1.25,
                                                Password(F.Edit22).constData(),
                                                ToCp1251(QStringLiteral("Кулебяка")).constData());
               },
               false, "Ошибка программирования артикулов", "Программирование артикулов - успешно",
               TAfter::BlankLine) &&
           FiscalReceipt(false) && FiscalReceipt(true) &&
           Step(
               "Отчет проданных товаров",
               [this] {
                   return PrinterArticlesReport(nullptr, PrinterResults, 0,
                                                Password(F.Edit23).constData(), 'S');
               },
               true, "Ошибка отчета проданных товаров", "Отчет проданных товаров - успешно",
               TAfter::BlankLine) &&
           Step("Z-отчет", zReport, true, "Ошибка Z-отчета", "Z-отчет - успешно",
                TAfter::BlankLine);
}

bool TFullTest::Step(const char* title, const std::function<int()>& send, bool showsReply,
                     const char* errorText, const char* successText, TAfter after) {
    Journal(Stars30);
    Journal(title);
    if (Failed(send)) {
        Record(errorText);
    } else {
        if (showsReply) Journal(RawReplyText(F.LastRetData));
        Journal(successText);
    }
    Finish(after);
    return CheckPoint();
}

bool TFullTest::NonFiscalReceipt() {
    Journal(Stars30);
    Journal("Нефискальный чек");
    if (Failed([] { return PrinterOpenNonFiscalReceipt(nullptr, PrinterResults, 0); })) {
        Record("Ошибка открытия нефискального чека");
        return CheckPoint();
    }
    // Five lines, each indented further, in mixed case with two blanks inside.
    static const QByteArray text = ToCp1251(QStringLiteral("НеФиСкАлЬнЫй  Текст"));
    for (const int indent : {0, 3, 6, 8, 11}) {
        const QByteArray line = QByteArray(indent, ' ') + text;
        if (Failed([&] {
                return PrinterPrintNonFiscalText(nullptr, PrinterResults, 0, line.constData());
            })) {
            Record("Ошибка печати нефискального текста");
            break;
        }
    }
    if (Failed([] { return PrinterCloseNonFiscalReceipt(nullptr, PrinterResults, 0); }))
        return EndEarly("Ошибка закрытия нефискального чека");
    Journal(RawReplyText(F.LastRetData));
    Journal("Нефискальный чек - успешно");
    Finish(TAfter::BlankLine);
    return CheckPoint();
}

bool TFullTest::DisplayLowerLine() {
    Journal(Stars30);
    Journal("Тест индикаторов клиента - строка 2");
    for (int i = 0; i < DisplaySweepWindows; ++i) {
        const QByteArray window = DisplaySweepWindow(i);
        // This handler shows no box: a window that got no complete reply is sent again, up to
        // 20 sends in all, and every failed send counts.
        for (int send = 0; send < MaxDisplaySends; ++send) {
            int sent = 0;
            if (F.CommandFailed([&] {
                    return sent = PrinterDisplayLowerLine(nullptr, PrinterResultsy, 0,
                                                          window.constData());
                }))
                ++F.FailedSteps;
            if (sent < 0 || !(F.LastRetData.ErrorWord & ERR_TIMEOUT)) break;
        }
        if (!CheckPoint()) return false;
    }
    return CheckPoint();
}

bool TFullTest::DisplayUpperLine() {
    Journal(Stars30);
    Journal("Тест индикаторов клиента - строка 1");
    int failures = 0;
    for (int i = 0; i < DisplaySweepWindows; ++i) {
        const QByteArray window = DisplaySweepWindow(i);
        if (Failed([&] {
                return PrinterDisplayUpperLine(nullptr, PrinterResults, 0, window.constData());
            })) {
            ++F.FailedSteps;
            ++failures;
        }
        if (!CheckPoint()) return false;
    }
    Journal(failures > 0 ? "Ошибка теста индикаторов клиента"
                         : "Тест индикаторов клиента - успешно");
    Finish(TAfter::BlankLine);
    return CheckPoint();
}

bool TFullTest::FiscalReceipt(bool refund) {
    Journal(Stars30);
    Journal(refund ? "Чек возврата" : "Фискальный чек");
    // With no cashier chosen (or typed text that is no entry) operator 0 goes to the device,
    // which refuses it like any other wrong cashier.
    const unsigned long cashier = static_cast<unsigned long>(SelectedItemIndex(F.ComboBox8) + 1);
    const bool opened = !Failed([&] {
        const QByteArray password = Password(F.Edit21);
        return refund ? PrinterOpenReturnReceipt(nullptr, PrinterResults, 0, cashier,
                                                 password.constData(), 1)
                      : PrinterOpenFiscalReceipt(nullptr, PrinterResults, 0, cashier,
                                                 password.constData(), 1);
    });
    if (!opened) {
        Record(refund ? "Ошибка открытия чека возврата" : "Ошибка открытия фискального чека");
        return CheckPoint();
    }
    static const QByteArray text = ToCp1251(QStringLiteral("Фискальный  ТеКсТ"));
    if (Failed([] { return PrinterPrintFiscalText(nullptr, PrinterResults, 0, text.constData()); }))
        Record("Ошибка печати фискального текста");
    else if (Failed([refund] {
                 // Four at 5 % off; the refund: two, 1.00 off.
                 return refund
                            ? PrinterRegisterSale(nullptr, PrinterResults, 0, 1, 100, 2.0, 0, -1.0)
                            : PrinterRegisterSale(nullptr, PrinterResults, 0, 1, 100, 4.0, -5.0, 0);
             }))
        Record(refund ? "Ошибка возврата товара" : "Ошибка продажи товара");
    // The sale gets 1.00 off its subtotal; the refund has no subtotal.
    if (!refund &&
        Failed([] { return PrinterSubtotal(nullptr, PrinterResults, 0, 1, 1, 0, -1.0); }))
        return EndEarly("Ошибка оплаты");
    if (Failed([refund] {
            return PrinterTotal(nullptr, PrinterResults, 0, "", 'P', refund ? 5.0 : 10.0);
        }))
        return EndEarly("Ошибка оплаты");
    if (Failed([] { return PrinterCloseFiscalReceipt(nullptr, PrinterResults, 0); }))
        return EndEarly(refund ? "Ошибка закрытия чека возврата"
                               : "Ошибка закрытия фискального чека");
    Journal(refund ? "Чек возврата товара - успешно" : "Фискальный чек - успешно");
    Finish(TAfter::BlankLine);
    return CheckPoint();
}

bool TFullTest::Timer() {
    Journal(Stars30);
    Journal("Тест таймера");
    ReadClock();
    // A minute on the device's clock between the two readings, whatever the delay.
    BlockingSleep(TimerWaitMs);
    if (!CheckPoint()) return false;
    ReadClock();
    Finish(TAfter::BlankLine);
    return true;
}

void TFullTest::ReadClock() {
    if (Failed([] { return PrinterGetDateTime(nullptr, PrinterResults, 0); }))
        Record("Ошибка получения даты/времени");
    else
        Journal(RawReplyText(F.LastRetData));
}

bool TFullTest::Failed(const std::function<int()>& send) {
    // Text that Windows-1251 lacks (a password typed on the passwords page) cannot be sent
    // either: its message is shown.
    try {
        return F.CommandFailed(send);
    } catch (const EEncodingError& error) {
        ShowMessage(QString::fromUtf8(error.what()));
        return true;
    }
}

void TFullTest::Record(const char* errorText) {
    Journal(errorText);
    ++F.FailedSteps;
}

bool TFullTest::EndEarly(const char* errorText) {
    // No summary; the failure count stays as it is until the next start.
    Journal(errorText);
    Journal("Конец теста");
    ++F.FailedSteps;
    F.Button3->setEnabled(true);
    F.Button4->setEnabled(false);
    return false;
}

void TFullTest::Finish(TAfter after) {
    BlockingSleep(Delay);
    if (after == TAfter::BlankLine) Journal(" ");
    if (after != TAfter::Nothing) F.JournalShowEnd();
}

bool TFullTest::CheckPoint() {
    // The only place where clicks reach the window during a run. A stop (the button, a
    // disconnect, the window closing) ends the run here; the buttons stay as the stop left them.
    ProcessMessages();
    if (!F.StopFlag) return true;
    Journal("Тест остановлен");
    F.StopFlag = false;
    return false;
}
