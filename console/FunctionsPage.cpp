// "Дополнительные функции" page: the print test, the zero receipt, the article and daily
// reports, the cancellation of an open receipt and the periodic fiscal-memory reports.

#include "Mainform.h"

#include "Busy.h"
#include "Convert.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "Pump.h"
#include "RadioGroup.h"
#include "Selection.h"

#include <QDate>

#include <initializer_list>
#include <iterator>

namespace {

// Characters in one line of the print test.
constexpr int PrintTestLineLength = 35;

// Device kind of each report of ComboBox10, by entry: sold, programmed and group article
// reports, then the X and the Z report.
constexpr char ReportKinds[] = {'S', 'P', 'G', '2', '0'};
constexpr int FirstDailyReport = 3;

using ReceiptCommand = int (*)(PrinterWindow, PrinterCallback, int);

// A periodic report's date as the device takes it: day, month and two-digit year, DDMMYY.
QByteArray ReportDate(const QDate& date) {
    return date.toString(QStringLiteral("ddMMyy")).toLatin1();
}

// Shows the fields with their labels and lets them take input, or hides them and their labels
// and keeps input out of them.
void ShowFields(std::initializer_list<QWidget*> labels, std::initializer_list<QWidget*> fields,
                bool shown) {
    for (QWidget* label : labels)
        label->setVisible(shown);
    for (QWidget* field : fields) {
        field->setVisible(shown);
        field->setEnabled(shown);
    }
}

} // namespace

void TForm1::SetUpFunctionsPage() {
    // The date range of the periodic report starts as today, so a report by date asked for
    // without picking dates covers the current day.
    DateEdit1->setDate(QDate::currentDate());
    DateEdit2->setDate(QDate::currentDate());
}

void TForm1::Button12Click(QObject*) {
    const QByteArray line =
        FirstCharacterRepeated(Edit3, PrintTestLineLength,
                               "Индекс строки вне допустимого диапазона: не задан символ печати");
    // A number of lines; none is allowed (the receipt is opened and closed empty), fewer is not.
    int lines = 0;
    if (!TryStrToInt(Edit7->text(), lines) || lines < 0) {
        ShowMessage(QStringLiteral("Некорректное количество циклов"));
        return;
    }

    TLoopRun run(*this, BusyReports);
    if (!run.Claimed()) return;
    FailedSteps = 0;
    if (CommandFailed([] { return PrinterOpenNonFiscalReceipt(nullptr, PrinterResultsx, 0); })) {
        ShowMessage(QStringLiteral("Ошибка открытия нефискального чека"));
        return;
    }
    bool stopped = false;
    for (int k = 1; k <= lines; ++k) {
        if (CommandFailed([&line] {
                return PrinterPrintNonFiscalText(nullptr, PrinterResultsx, 0, line.constData());
            })) {
            ShowMessage(QStringLiteral("Ошибка печати нефискального текста"));
            ++FailedSteps;
            break;
        }
        // Thousands of lines take long: the window keeps painting between them, while clicks
        // wait for the end of the test. Only the window closing ends the test early.
        ProcessMessagesExceptInput();
        if (StopFlag) {
            StopFlag = false;
            stopped = true;
            break;
        }
    }
    // The receipt is closed even after a failed line or a stop; the run is a failure then all
    // the same.
    if (CommandFailed([] { return PrinterCloseNonFiscalReceipt(nullptr, PrinterResultsx, 0); }) ||
        FailedSteps > 0)
        ShowMessage(QStringLiteral("Ошибка закрытия нефискального чека"));
    else if (stopped)
        ShowMessage(QStringLiteral("Тест остановлен"));
    else
        ShowMessage(QStringLiteral("Нефискальный чек - успешно"));
}

void TForm1::Button13Click(QObject*) {
    TSingleRun run(*this, BusyReports);
    if (!run.Claimed()) return;
    // No cashier chosen (typed text in the list) is operator 0, which the device refuses.
    const unsigned long cashier = static_cast<unsigned long>(SelectedItemIndex(ComboBox8) + 1);
    const QByteArray password = ToCp1251(Edit21->text());
    // A receipt with no sale and a payment of 0: the first failed step ends the operation, and a
    // receipt it leaves open is for the cancellation to deal with.
    if (CommandFailed([&] {
            return PrinterOpenFiscalReceipt(nullptr, PrinterResults, 0, cashier,
                                            password.constData(), 1);
        })) {
        ShowMessage(QStringLiteral("Ошибка открытия фискального чека"));
        return;
    }
    if (CommandFailed([] { return PrinterSubtotal(nullptr, PrinterResults, 0, 1, 1, 0, 0); })) {
        ShowMessage(QStringLiteral("Ошибка подсуммы"));
        return;
    }
    if (CommandFailed([] { return PrinterTotal(nullptr, PrinterResults, 0, "", 'P', 0); })) {
        ShowMessage(QStringLiteral("Ошибка оплаты"));
        return;
    }
    if (CommandFailed([] { return PrinterCloseFiscalReceipt(nullptr, PrinterResults, 0); }))
        ShowMessage(QStringLiteral("Ошибка закрытия фискального чека"));
    else
        ShowMessage(QStringLiteral("Фискальный чек - успешно"));
}

void TForm1::Button14Click(QObject*) {
    TSingleRun run(*this, BusyReports);
    if (!run.Claimed()) return;
    const int report = ComboBox10->currentIndex();
    const QByteArray password = ToCp1251(Edit23->text());
    if (report < 0 || report >= int(std::size(ReportKinds))) {
        ShowMessage(QStringLiteral("Ошибка отчета"));
        return;
    }
    ProcessMessages();
    // The verdict is taken before the next pump, where another page's operation may reset
    // ErrorCount.
    const bool failed = CommandFailed([&] {
        return report >= FirstDailyReport
                   ? PrinterDailyReport(nullptr, PrinterResultsx, 0, password.constData(),
                                        ReportKinds[report])
                   : PrinterArticlesReport(nullptr, PrinterResultsx, 0, password.constData(),
                                           ReportKinds[report]);
    });
    ProcessMessages();
    ShowMessage(failed ? QStringLiteral("Ошибка отчета") : QStringLiteral("Отчет - успешно"));
}

void TForm1::Button15Click(QObject*) {
    TSingleRun run(*this, BusyReports);
    if (!run.Claimed()) return;
    // Only a state the device has reported decides what to send: without it nothing more goes
    // out.
    if (CommandFailed([] { return PrinterGetStatus(nullptr, PrinterResultsx, 0, 1); })) {
        ShowMessage(QStringLiteral("Ошибка анулирования"));
        return;
    }
    const uint32_t state = LastRetData.ErrorWord;
    ReceiptCommand command = nullptr;
    if (state & ST_NONFISCAL_RECEIPT)
        command = PrinterCloseNonFiscalReceipt;
    else if (state & ST_FISCAL_RECEIPT) // a fiscal or a return receipt
        command = PrinterCancelReceipt;
    if (!command) {
        ShowMessage(QStringLiteral("Нет открытых чеков"));
        return;
    }
    ProcessMessages();
    int sent = 0;
    const bool failed = CommandFailed([&] { return sent = command(nullptr, PrinterResultsx, 0); });
    const bool stillOpen = sent >= 0 && (LastRetData.ErrorWord & ST_FISCAL_RECEIPT);
    ProcessMessages();
    if (!failed) {
        ShowMessage(QStringLiteral("Анулирование - успешно"));
        return;
    }
    if (!stillOpen) {
        ShowMessage(QStringLiteral("Ошибка анулирования"));
        return;
    }
    // A fiscal receipt the device would not cancel (one paid in full, say) is closed instead, when
    // its reply says that it is still open: that frees the device, but records the receipt's sales
    // in the fiscal memory. The cancellation has failed all the same; the second line says how
    // the receipt was left.
    const bool closed =
        !CommandFailed([] { return PrinterCloseFiscalReceipt(nullptr, PrinterResultsx, 0); });
    ProcessMessages();
    ShowMessage(closed ? QStringLiteral("Ошибка анулирования\nЧек закрыт")
                       : QStringLiteral("Ошибка анулирования\nЧек остался открытым"));
}

void TForm1::RadioGroup3Click(QObject*) {
    const int type = RadioGroupItemIndex(RadioGroup3);
    if (type < 0) return;
    // The number pair and the date pair share their place on the page: one shows at a time.
    const bool byDate = type == 1;
    Button24->setEnabled(true);
    ShowFields({Label38, Label39}, {DateEdit1, DateEdit2}, byDate);
    ShowFields({Label40, Label41}, {Edit25, Edit26}, !byDate);
}

void TForm1::RadioGroup3Exit(QObject* Sender) {
    RadioGroup3Click(Sender);
}

void TForm1::Button24Click(QObject*) {
    const int type = RadioGroupItemIndex(RadioGroup3);
    if (type < 0) return; // the button waits for a report type
    const bool brief = RadioGroupItemIndex(RadioGroup4) == 0;
    const QByteArray password = ToCp1251(Edit23->text());
    // Everything is read before anything is sent: a number that is not one ends here.
    int first = 0, last = 0;
    QByteArray from, to;
    if (type == 0) {
        first = StrToInt(Edit25->text());
        last = StrToInt(Edit26->text());
    } else {
        from = ReportDate(DateEdit1->date());
        to = ReportDate(DateEdit2->date());
    }
    // A loop started at this report's pumps would run inside it: the report holds the console.
    TSingleRun run(*this, BusyReports);
    if (!run.Claimed()) return;
    repaint();
    ProcessMessages();
    const bool failed = CommandFailed([&] {
        if (type == 0)
            return brief ? PrinterShortReportByNumber(nullptr, PrinterResultsx, 0,
                                                      password.constData(), first, last)
                         : PrinterFullReportByNumber(nullptr, PrinterResultsx, 0,
                                                     password.constData(), first, last);
        return brief ? PrinterShortReportByDate(nullptr, PrinterResultsx, 0, password.constData(),
                                                from.constData(), to.constData())
                     : PrinterFullReportByDate(nullptr, PrinterResultsx, 0, password.constData(),
                                               from.constData(), to.constData());
    });
    ProcessMessages();
    if (failed)
        ShowMessage(QStringLiteral("Ошибка выполнения отчета"));
    else if (brief)
        ShowMessage(QStringLiteral("Сокращенный отчет выполнен!"));
    else
        ShowMessage(QStringLiteral("Полный отчет выполнен!"));
}
