#include "Switches.h"

#include "Accessible.h"
#include "Application.h"
#include "Dialogs.h"
#include "FormFrame.h"
#include "Replies.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    GiveAccessibleNames(this);
    SetFixedToolFrame(this, width(), height());
    CenterOnDesktop(this);
    ConnectHandler(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
}

TForm2::~TForm2() {
    if (Form2 == this) Form2 = nullptr;
}

bool TForm2::event(QEvent* event) {
    // The request runs once per showing: a message box closing over this window hands the
    // focus back without asking the device again.
    if (IsFormActivation(event, Activated, true)) RunHandler([this] { FormActivate(this); });
    return QDialog::event(event);
}

void TForm2::FormActivate(QObject*) {
    ErrorCount = 0;
    const int sent = PrinterGetDiagnostics(nullptr, PrinterResults1, 0, 1);
    const bool failed = sent < 0 || ErrorCount > 0;
    if (failed) ShowMessage(QStringLiteral("Ошибка получения информации"));
    // Field 4 of the diagnostic reply is the switch setting. A failed request or a short reply
    // carries none, and the slot would still hold an earlier reply's data: show nothing then.
    Edit1->setText(failed ? QString() : ReplyField(LastRetData, 4));
}

void TForm2::Button1Click(QObject*) {
    close();
}

void PrinterResults1(RetData& reply) {
    if (Form2) HandleReply(reply, Form2->LastRetData, Form2->ErrorCount, true);
}
