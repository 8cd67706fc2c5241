// Renders every page of the main window and both check windows to PNG files, so the forms can be
// checked by eye without a desktop: QT_QPA_PLATFORM=offscreen ./render_pages [output folder]

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QDateEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include "CircleShape.h"
#include "PageControl.h"

#include <cstdio>

#ifdef TR_RENDER_REAL_WINDOWS
#include "Cp1251.h"
#include "Dialogs.h"
#include "Pump.h"
#include "Mainform.h"
#include "Status.h"
#include "Switches.h"
#ifdef TR_RENDER_WITH_DEVICE
#include "SimulatedPrinter.h"

#include <QComboBox>
#include <QMessageBox>
#include <QTimer>
#endif
#else
#include "ui_Mainform.h"
#include "ui_Status.h"
#include "ui_Switches.h"
#endif

namespace {

QString outDir;
int failures = 0;

#ifdef TR_RENDER_REAL_WINDOWS
// Message boxes are printed instead of waiting for a click.
void printMessage(const QString& text) {
    std::printf("message: %s\n", qPrintable(QString(text).replace(QLatin1Char('\n'), ' ')));
}
#endif

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

void save(QWidget* w, const QString& name) {
    settle();
    const QString path = outDir + QLatin1Char('/') + name;
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

// Shows the window the way the program does at start; a modal dialog is shown without exec().
void present(QWidget* w) {
    w->show();
    w->activateWindow();
    settle();
}

void renderMain(QWidget* window, TPageControl* pages) {
    save(window, QStringLiteral("start.png"));
    // A connected console: the pages are usable.
    pages->setEnabled(true);
    if (auto* shape = window->findChild<TShape*>(QStringLiteral("Shape1")))
        shape->setBrushColor(QColor(0, 255, 0));
    if (auto* b = window->findChild<QPushButton*>(QStringLiteral("Button2")))
        b->setText(QStringLiteral("Отключить"));
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        save(window, QStringLiteral("page%1.png").arg(i + 1));
    }
    // The periodic report's two layouts (page 5), chosen by its report type.
    pages->setCurrentIndex(4);
    for (int kind = 0; kind < 2; ++kind) {
        if (auto* r = window->findChild<QRadioButton*>(QStringLiteral("RadioGroup3_%1").arg(kind)))
            r->click();
#ifndef TR_RENDER_REAL_WINDOWS
        // The bare form has no handlers: show the layout the radio group's handler would show.
        const bool byDate = kind == 1;
        for (const char* n : {"Label38", "Label39", "DateEdit1", "DateEdit2"})
            if (auto* c = window->findChild<QWidget*>(QLatin1String(n))) {
                c->setVisible(byDate);
                c->setEnabled(true);
            }
        for (const char* n : {"Label40", "Label41", "Edit25", "Edit26"})
            if (auto* c = window->findChild<QWidget*>(QLatin1String(n))) {
                c->setVisible(!byDate);
                c->setEnabled(true);
            }
        if (auto* b = window->findChild<QPushButton*>(QStringLiteral("Button24")))
            b->setEnabled(true);
#endif
        save(window,
             kind == 0 ? QStringLiteral("page5_number.png") : QStringLiteral("page5_date.png"));
    }
    pages->setCurrentIndex(3);
    if (auto* l = window->findChild<QLabel*>(QStringLiteral("Label26"))) {
        const QString was = l->text();
        l->setText(QStringLiteral("Ждите !!!"));
        save(window, QStringLiteral("page4_wait.png"));
        l->setText(was);
    }
    // The journal with a few lines, to judge the light-on-dark text.
    pages->setCurrentIndex(0);
    if (auto* journal = window->findChild<QPlainTextEdit*>(QStringLiteral("RichEdit1"))) {
        for (const char* line :
             {"Тест Veltor TR7042K", "Дата тестирования:", "08.12.2026 09:30:00",
              "******************************", "Установка времени", "Установка времени - успешно"})
            journal->appendPlainText(QString::fromUtf8(line));
        save(window, QStringLiteral("page1_journal.png"));
        journal->clear();
    }
}

#ifdef TR_RENDER_WITH_DEVICE
// Saves every message box an operation shows, as <name>_box<n>.png, and closes it.
class TBoxCatcher {
public:
    explicit TBoxCatcher(const QString& name) : name_(name) {
        SetMessageSink({});
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            std::printf("message: %s\n", qPrintable(box->text().replace(QLatin1Char('\n'), ' ')));
            save(box, QStringLiteral("%1_box%2.png").arg(name_).arg(++count_));
            box->accept();
        });
        timer_.start();
    }
    ~TBoxCatcher() { SetMessageSink(printMessage); }

private:
    QString name_;
    QTimer timer_;
    int count_ = 0;
};

void clickButton(QWidget* window, const char* name) {
    if (auto* b = window->findChild<QAbstractButton*>(QLatin1String(name))) b->click();
}

// The additional functions page and the cutter and beeper page after operations against the
// simulated printer, with the boxes the operations end with, and the journal after a full test
// pass; the printer's paper roll is printed.
void renderOperations(TForm1& form, TPageControl* pages) {
    SimulatedPrinter printer(1);
    SetSleepFunction([](int) {}); // the repeated tests' pauses are not waited for
    if (auto* shape = form.findChild<TShape*>(QStringLiteral("Shape1")))
        shape->setBrushColor(QColor(255, 0, 0));
    form.Button2Click(nullptr); // connect for real, to COM1
    if (!form.IsConnected()) {
        std::fprintf(stderr, "cannot connect to the simulated printer\n");
        ++failures;
        return;
    }
    pages->setCurrentIndex(4);
    if (auto* lines = form.findChild<QLineEdit*>(QStringLiteral("Edit7")))
        lines->setText(QStringLiteral("2"));
    {
        TBoxCatcher boxes(QStringLiteral("page5_print"));
        clickButton(&form, "Button12");
    }
    clickButton(&form, "RadioGroup3_1");
    clickButton(&form, "RadioGroup4_1");
    {
        TBoxCatcher boxes(QStringLiteral("page5_report"));
        clickButton(&form, "Button24");
    }
    save(&form, QStringLiteral("page5_done.png"));

    pages->setCurrentIndex(6);
    clickButton(&form, "Button16");
    if (auto* passes = form.findChild<QComboBox*>(QStringLiteral("ComboBox5")))
        passes->setCurrentIndex(2);
    printer.WithModel([](DeviceModel& model) { model.GetFaults().nak = 1; });
    {
        TBoxCatcher boxes(QStringLiteral("page7_beeps"));
        clickButton(&form, "Button18");
    }
    save(&form, QStringLiteral("page7_done.png"));

    // The journal at the end of one full test pass, at delay 0 and without the timer test's
    // minute: what the technician sees when the run is over.
    pages->setCurrentIndex(0);
    if (auto* delay = form.findChild<QLineEdit*>(QStringLiteral("Edit1")))
        delay->setText(QStringLiteral("0"));
    {
        TBoxCatcher boxes(QStringLiteral("page1_fullpass"));
        form.Button3Click(nullptr);
    }
    save(&form, QStringLiteral("page1_fullpass.png"));
    form.Button2Click(nullptr);
    SetSleepFunction({});
    for (const std::string& line : printer.PaperRoll())
        std::printf("paper: %s\n", qPrintable(FromCp1251(QByteArray::fromStdString(line))));
}

#endif

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TR_RENDER_DIR);
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir));
        return 1;
    }

#ifdef TR_RENDER_REAL_WINDOWS
    // No device is attached: the check windows' requests fail, and their message boxes are
    // printed instead of waiting for a click. The exchange log goes to the output folder.
    SetMessageSink(printMessage);
    QDir::setCurrent(outDir);
    TForm1 form1;
    Form1 = &form1;
    present(&form1);
    renderMain(&form1, form1.findChild<TPageControl*>(QStringLiteral("PageControl1")));
#ifdef TR_RENDER_WITH_DEVICE
    renderOperations(form1, form1.findChild<TPageControl*>(QStringLiteral("PageControl1")));
#endif
    TForm2 form2;
    Form2 = &form2;
    present(&form2);
    save(&form2, QStringLiteral("switches.png"));
    TForm4 form4;
    Form4 = &form4;
    present(&form4);
    save(&form4, QStringLiteral("status.png"));
    // The list as a new device fills it, to judge how the findings read.
    if (auto* memo = form4.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))) {
        for (const char* line : {"Заводской номер не задан", "Фискальная память не форматирована",
                                 "Фискальный номер не задан", "Открыт нефискальный чек"})
            memo->appendPlainText(QString::fromUtf8(line));
        save(&form4, QStringLiteral("status_findings.png"));
    }
#else
    QWidget form1;
    Ui::TForm1 ui1;
    ui1.setupUi(&form1);
    present(&form1);
    renderMain(&form1, ui1.PageControl1);

    QDialog form2;
    Ui::TForm2 ui2;
    ui2.setupUi(&form2);
    present(&form2);
    save(&form2, QStringLiteral("switches.png"));

    QDialog form4;
    Ui::TForm4 ui4;
    ui4.setupUi(&form4);
    present(&form4);
    save(&form4, QStringLiteral("status.png"));
#endif
    return failures == 0 ? 0 : 1;
}
