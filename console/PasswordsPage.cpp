// "Пароли" page: setting and resetting operators' passwords on the device.

#include "Mainform.h"

#include "Busy.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "Pump.h"

void TForm1::ComboBox7Change(QObject*) {
    if (ComboBox7->currentIndex() >= 0) Button22->setEnabled(true);
}

void TForm1::ComboBox9Change(QObject*) {
    if (ComboBox9->currentIndex() >= 0) Button23->setEnabled(true);
}

void TForm1::Button22Click(QObject*) {
    TSingleRun run(*this, BusyPasswords);
    if (!run.Claimed()) return;
    // Operators by entry: 1-13 cashiers, 14 programming, 15 reports, 16 the empty last entry.
    const int op = ComboBox7->currentIndex() + 1;
    const QByteArray oldPassword = ToCp1251(Edit19->text());
    const QByteArray newPassword = ToCp1251(Edit20->text());
    repaint();
    ProcessMessages();
    // Judged before the pump: an operation the user starts there resets ErrorCount.
    const bool failed = CommandFailed([&] {
        return PrinterSetOperatorPassword(nullptr, PrinterResultsx, 0, op, oldPassword.constData(),
                                          newPassword.constData());
    });
    ProcessMessages();
    if (failed)
        ShowMessage(QStringLiteral("Ошибка установки нового пароля кассира"));
    else
        ShowMessage(QStringLiteral("Новый пароль установлен!"));
}

void TForm1::Button23Click(QObject*) {
    TSingleRun run(*this, BusyPasswords);
    if (!run.Claimed()) return;
    const int op = ComboBox9->currentIndex() + 1; // cashiers 1-13
    const QByteArray adminPassword = ToCp1251(Edit24->text());
    repaint();
    ProcessMessages();
    const bool failed = CommandFailed([&] {
        return PrinterResetOperatorPassword(nullptr, PrinterResultsx, 0, op,
                                            adminPassword.constData());
    });
    ProcessMessages();
    if (failed)
        ShowMessage(QStringLiteral("Ошибка обнуления пароля кассира"));
    else
        ShowMessage(QStringLiteral("Пароль обнулен, новое значение пароля - 5917"));
}
