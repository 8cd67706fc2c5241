// "Денежный ящик, внос-вынос, обнуление артикулов" page: the drawer pulse, service cash in and
// out, and the deletion of the articles not sold since the last Z report. Each is one command.

#include "Mainform.h"

#include "Busy.h"
#include "Convert.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "Pump.h"
#include "Selection.h"

#include <cmath>

namespace {

// Pulse lengths the device takes, in milliseconds.
constexpr int ShortestPulse = 5;
constexpr int LongestPulse = 150;

// Entry of the service cash list that takes cash out; any other entry, or typed text, puts
// cash in.
constexpr int WithdrawalEntry = 1;

// The device keeps money in hundredths, so an amount is rounded to them before it is judged:
// what is checked is what would be sent (0.001 is no amount at all). False for an amount too
// large to be written in hundredths.
bool RoundToHundredths(double& amount) {
    const double rounded = std::round(amount * 100) / 100;
    if (!std::isfinite(rounded)) return false;
    amount = rounded;
    return true;
}

// Sends the page's one command and reports it: the failure text after the error box, or when
// the link refused the request, else the success text. The outcome is judged before the pump,
// so an operation the user starts there cannot overwrite it.
template <class Command>
void RunCommand(TForm1& form, Command command, const QString& failedText, const QString& doneText) {
    const bool failed = form.CommandFailed(command);
    ProcessMessages();
    ShowMessage(failed ? failedText : doneText);
}

} // namespace

void TForm1::Button10Click(QObject*) {
    TSingleRun run(*this, BusyCash);
    if (!run.Claimed()) return;
    ErrorCount = 0;
    int pulse = 0;
    if (!TryStrToInt(Edit9->text(), pulse) || pulse < ShortestPulse || pulse > LongestPulse) {
        ShowMessage(QStringLiteral("Некорректная длина импульса \n   исправьте!!!"));
        return;
    }
    ProcessMessages();
    RunCommand(
        *this, [pulse] { return PrinterOpenDrawer(nullptr, PrinterResultsx, 0, pulse); },
        QStringLiteral("Ошибка открытия ящика"), QStringLiteral("Открыть ящик - успешно"));
}

void TForm1::Button20Click(QObject*) {
    TSingleRun run(*this, BusyCash);
    if (!run.Claimed()) return;
    ErrorCount = 0;
    double amount = 0;
    if (!TryStrToFloat(Edit17->text(), amount) || !RoundToHundredths(amount)) {
        ShowMessage(QStringLiteral("Некорректная сумма для вноса/выноса \n   исправьте!!!"));
        return;
    }
    ProcessMessages();
    if (!(amount > 0)) {
        ShowMessage(QStringLiteral("Некорректная сумма для вноса/выноса\n   исправьте!!!"));
        return;
    }
    ProcessMessages();
    if (SelectedItemIndex(ComboBox6) == WithdrawalEntry) amount = -amount;
    RunCommand(
        *this, [amount] { return PrinterCashInOut(nullptr, PrinterResultsx, 0, amount); },
        QStringLiteral("Ошибка "), QStringLiteral("Служебный внос/вынос - успешно"));
}

void TForm1::Button21Click(QObject*) {
    TSingleRun run(*this, BusyCash);
    if (!run.Claimed()) return;
    const QByteArray password = ToCp1251(Edit18->text());
    RunCommand(
        *this,
        [&password] {
            return PrinterDeleteArticles(nullptr, PrinterResultsx, 0, 0, password.constData());
        },
        QStringLiteral("Ошибка "), QStringLiteral("Удаление артикулов - успешно"));
}
