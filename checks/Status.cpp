#include "Status.h"

#include "Accessible.h"
#include "Application.h"
#include "Dialogs.h"
#include "Replies.h"

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    GiveAccessibleNames(this);
    // An ordinary frame: caption with system menu, close box, minimise and maximise buttons.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    move(234, 188);
    ConnectHandler(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
}

TForm4::~TForm4() {
    if (Form4 == this) Form4 = nullptr;
}

bool TForm4::event(QEvent* event) {
    // The request runs once per showing: a message box closing over this window hands the
    // focus back without asking the device again.
    if (IsFormActivation(event, Activated, true)) RunHandler([this] { FormActivate(this); });
    return QDialog::event(event);
}

QStringList StateFindings(uint32_t errorWord) {
    QStringList lines;
    if (!(errorWord & ST_SERIAL_SET)) lines << QStringLiteral("Заводской номер не задан");
    if (!(errorWord & ST_FM_FORMATTED))
        lines << QStringLiteral("Фискальная память не форматирована");
    if (!(errorWord & ST_FISCAL_NUMBER_SET)) lines << QStringLiteral("Фискальный номер не задан");
    if (errorWord & ST_FISCAL_RECEIPT) {
        if (errorWord & ST_RETURN_RECEIPT)
            lines << QStringLiteral("Открыт чек возврата");
        else
            lines << QStringLiteral("Открыт фискальный чек");
    }
    if (errorWord & ST_NONFISCAL_RECEIPT) lines << QStringLiteral("Открыт нефискальный чек");
    return lines;
}

void TForm4::FormActivate(QObject*) {
    ErrorCount = 0;
    const int sent = PrinterGetDiagnostics(nullptr, PrinterResults3, 0, 1);
    // A refused request delivers no reply: the last one kept is not this device's state.
    if (sent < 0 || ErrorCount > 0) {
        ShowMessage(QStringLiteral("Ошибка получения информации"));
        return;
    }
    for (const QString& line : StateFindings(LastRetData.ErrorWord))
        Memo1->appendPlainText(line);
}

void TForm4::Button1Click(QObject*) {
    close();
}

void PrinterResults3(RetData& reply) {
    if (Form4) HandleReply(reply, Form4->LastRetData, Form4->ErrorCount, true);
}
