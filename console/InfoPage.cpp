// "Общая информация" page: who the connected device is and what state it is in, read anew on
// every visit. The page control's change handler lives here; it also puts the service cash list
// of the drawer page back to its first entry on every page change.

#include "Mainform.h"

#include "Dialogs.h"
#include "Replies.h"

void TForm1::PageControl1Change(QObject*) {
    ComboBox6->setCurrentIndex(0); // "Служебный внос", typed text replaced
    if (PageControl1->currentWidget() != TabSheet4) return;

    // What an earlier visit showed is no longer current: a display that this visit cannot
    // refresh stays empty rather than show an old device's or an old state's values.
    ClearDeviceInfo();
    Label26->setText(QStringLiteral("Ждите !!!"));
    repaint(); // the page and the label show while the exchanges block the window

    // The commands after a failed one are not sent.
    if (CommandFailed([] { return PrinterGetDiagnostics(nullptr, PrinterResultsx, 0, 1); }))
        return InfoFailed();
    // The link has split the version, date and time at their blanks: field 0 is the version.
    Edit12->setText(ReplyField(LastRetData, 6));
    Edit13->setText(ReplyField(LastRetData, 7));
    Edit15->setText(ReplyField(LastRetData, 0));
    Edit8->setText(ReplyField(LastRetData, 4));

    if (CommandFailed([] { return PrinterGetTaxNumber(nullptr, PrinterResultsx, 0); }))
        return InfoFailed();
    // Kind "0" is a tax number; any other kind, or none in the reply, an identification number.
    const bool taxNumber = ReplyField(LastRetData, 1).startsWith(QLatin1Char('0'));
    Edit14->setText((taxNumber ? QStringLiteral("ПН") : QStringLiteral("IД")) +
                    ReplyField(LastRetData, 0));

    if (CommandFailed([] { return PrinterGetTaxRates(nullptr, PrinterResultsx, 0); }))
        return InfoFailed();
    Edit16->setText(RawReplyText(LastRetData));
    const uint32_t state = LastRetData.ErrorWord;
    const bool receiptOpen = state & ST_FISCAL_RECEIPT;
    const bool returnReceipt = state & ST_RETURN_RECEIPT;
    CheckBox2->setChecked(state & ST_FISCALIZED);
    CheckBox5->setChecked(state & ST_NONFISCAL_RECEIPT);
    CheckBox4->setChecked(receiptOpen && returnReceipt);
    CheckBox3->setChecked(receiptOpen && !returnReceipt);

    // A text wider than its display shows from its start (the user cannot scroll a display).
    for (QLineEdit* display : {Edit12, Edit13, Edit14, Edit15, Edit16, Edit8})
        display->setCursorPosition(0);
    Label26->setText(QString());
}

void TForm1::ClearDeviceInfo() {
    for (QLineEdit* display : {Edit12, Edit13, Edit14, Edit15, Edit16, Edit8})
        display->clear();
    for (QCheckBox* box : {CheckBox2, CheckBox3, CheckBox4, CheckBox5})
        box->setChecked(false);
}

void TForm1::InfoFailed() {
    ShowMessage(QStringLiteral("Ошибка получения информации"));
    Label26->setText(QString());
}
