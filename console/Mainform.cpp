#include "Mainform.h"

#include "Accessible.h"
#include "Application.h"
#include "Busy.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "ExchangeLog.h"
#include "FocusEvents.h"
#include "FormFrame.h"
#include "Pump.h"
#include "PortTrouble.h"
#include "Replies.h"
#include "TraceCheck.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include <cstdlib>
#include <stdexcept>

TForm1* Form1 = nullptr;

namespace {

const QColor Disconnected(255, 0, 0);
const QColor Connected(0, 255, 0);

// Baud rate for each entry of the baud-rate list, by index.
constexpr int BaudRates[] = {9600, 19200, 57600, 115200};

// The exchange trace asked for with TR7042K_TRACE and not being written, told once per
// connection: the exchanges go on without it.
void TellTraceTrouble() {
    const std::string text = TraceTrouble(PrinterTraceState());
    if (text.empty()) return;
    QString line = QString::fromStdString(text);
    line[0] = line[0].toUpper();
    ShowMessage(line + QStringLiteral(".\nОбмен с принтером продолжается без трассы."));
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    // Text typed into the pass count or the cashier list stays typed text: it never becomes a new
    // list entry (which would shift the operator numbers that the entries stand for).
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox8->setInsertPolicy(QComboBox::NoInsert);
    // Typed text in the service cash list is no operation of its own (it puts cash in).
    ComboBox6->setInsertPolicy(QComboBox::NoInsert);
    // No cashier chosen yet: the list shows the prompt until the activation defaults pick one.
    ComboBox8->setEditText(QStringLiteral("<Выберите кассира>"));
    SetUpFunctionsPage();
    GiveAccessibleNames(this);
    SetFixedToolFrame(this, width(), height());
    CenterOnDesktop(this);
    ShowAboutText();
    ConnectHandlers();
    // "Закрыть" works also while an operation waits or prints: the operation ends on it.
    KeepLiveDuringWaits(Button1);
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::ConnectHandlers() {
    ConnectHandler(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    ConnectHandler(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    // Journal page and the full device test.
    ConnectHandler(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    ConnectHandler(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    ConnectHandler(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    ConnectHandler(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    // Passwords page.
    ConnectHandler(ComboBox7, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox7Change);
    ConnectHandler(ComboBox9, &QComboBox::currentIndexChanged, this, &TForm1::ComboBox9Change);
    ConnectHandler(Button22, &QPushButton::clicked, this, &TForm1::Button22Click);
    ConnectHandler(Button23, &QPushButton::clicked, this, &TForm1::Button23Click);
    // Customer display page.
    ConnectHandler(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    ConnectHandler(Button11, &QPushButton::clicked, this, &TForm1::Button11Click);
    ConnectHandler(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    ConnectHandler(Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
    ConnectFocusEnter(TabSheet2, [this] { RunHandler([this] { TabSheet2Enter(TabSheet2); }); });
    // Drawer and service cash page.
    ConnectHandler(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
    ConnectHandler(Button20, &QPushButton::clicked, this, &TForm1::Button20Click);
    ConnectHandler(Button21, &QPushButton::clicked, this, &TForm1::Button21Click);
    // Information page; the handler runs on every page change the user makes.
    ConnectHandler(PageControl1, &TPageControl::pageChangedByUser, this,
                   &TForm1::PageControl1Change);
    // Additional functions page.
    ConnectHandler(Button12, &QPushButton::clicked, this, &TForm1::Button12Click);
    ConnectHandler(Button13, &QPushButton::clicked, this, &TForm1::Button13Click);
    ConnectHandler(Button14, &QPushButton::clicked, this, &TForm1::Button14Click);
    ConnectHandler(Button15, &QPushButton::clicked, this, &TForm1::Button15Click);
    ConnectHandler(Button24, &QPushButton::clicked, this, &TForm1::Button24Click);
    // A click on either report type, by mouse or keyboard (arrow keys click the next item).
    ConnectHandler(RadioGroup3_0, &QRadioButton::clicked, this, &TForm1::RadioGroup3Click);
    ConnectHandler(RadioGroup3_1, &QRadioButton::clicked, this, &TForm1::RadioGroup3Click);
    ConnectFocusExit(RadioGroup3, [this] { RunHandler([this] { RadioGroup3Exit(RadioGroup3); }); });
    // Cutter and beeper page.
    ConnectHandler(Button16, &QPushButton::clicked, this, &TForm1::Button16Click);
    ConnectHandler(Button17, &QPushButton::clicked, this, &TForm1::Button17Click);
    ConnectHandler(Button18, &QPushButton::clicked, this, &TForm1::Button18Click);
    ConnectHandler(Button19, &QPushButton::clicked, this, &TForm1::Button19Click);
}

bool TForm1::event(QEvent* event) {
    // The defaults are set when the window first becomes active after start-up. Later
    // activations (after a message box or a check window has closed) keep what the user chose.
    if (IsFormActivation(event, Activated, false)) RunHandler([this] { FormActivate(this); });
    return QWidget::event(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program; an open port is released when the process ends.
    // A running operation ends where the close was handled (a check point, a pump, between two
    // printed lines) instead of going on printing behind a closed window; quitting ends a wait
    // at once.
    QWidget::closeEvent(event);
    if (!event->isAccepted()) return;
    StopFlag = true;
    QCoreApplication::quit();
}

void TForm1::FormActivate(QObject*) {
    ComboBox3->setCurrentIndex(1);  // 19200
    ComboBox1->setCurrentIndex(0);  // COM1
    ComboBox8->setCurrentIndex(0);  // first cashier
    ComboBox10->setCurrentIndex(0); // sold goods report
    const QString defaultPassword = QStringLiteral("5917");
    Edit21->setText(defaultPassword);
    Edit22->setText(defaultPassword);
    Edit23->setText(defaultPassword);
    PageControl1->setCurrentWidget(TabSheet1);
}

void TForm1::Button1Click(QObject*) {
    close();
}

QByteArray TForm1::FirstCharacterRepeated(const QLineEdit* edit, int count,
                                          const char* missingText) {
    const QString text = edit->text();
    if (text.isEmpty()) throw std::out_of_range(missingText);
    return ToCp1251(text.left(1)).repeated(count);
}

bool TForm1::IsConnected() const {
    return Shape1->brushColor().rgb() != Disconnected.rgb();
}

void TForm1::Button2Click(QObject*) {
    if (!IsConnected()) {
        const int index = ComboBox3->currentIndex();
        if (index < 0 || index >= int(std::size(BaudRates))) return;
        const int port = ComboBox1->currentIndex() + 1;
        if (PrinterOpenPort(port, BaudRates[index]) == -1) {
            ShowMessage(QStringLiteral("Невозможно подключить порт") + PortFailureLines(port));
            return;
        }
        TellTraceTrouble();
        ResetLogTrouble();
        Shape1->setBrushColor(Connected);
        Button2->setText(QStringLiteral("Отключить"));
        PageControl1->setEnabled(true);
        ComboBox2->setCurrentIndex(0);
        ComboBox1->setEnabled(false);
        ComboBox3->setEnabled(false);
        // A stop left over is cleared; but a loop still running (disconnected and connected
        // again at one of its pumps) has not yet seen the disconnect's stop: it is its own to
        // clear, and the loop ends rather than go on over the new connection.
        if (!LoopRunning(*this)) StopFlag = false;
    } else {
        // The link lets go of the port even when the close call fails, so the window always
        // goes back to "disconnected" and can connect again.
        PrinterClosePort();
        Shape1->setBrushColor(Disconnected);
        Button2->setText(QStringLiteral("Подключить"));
        PageControl1->setEnabled(false);
        ComboBox1->setEnabled(true);
        ComboBox3->setEnabled(true);
        StopFlag = true;
    }
}

void PrinterResults(RetData& reply) {
    if (Form1) HandleReply(reply, Form1->LastRetData, Form1->ErrorCount, true);
}

void PrinterResultsx(RetData& reply) {
    if (Form1) HandleReply(reply, Form1->LastRetData, Form1->ErrorCount, true);
}

void PrinterResultsy(RetData& reply) {
    if (Form1) HandleReply(reply, Form1->LastRetData, Form1->ErrorCount, false);
}
