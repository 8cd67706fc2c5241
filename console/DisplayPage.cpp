// "Индикаторы клиента" page: the customer display's two lines swept with the letter table, filled
// with one character, or showing two typed lines.

#include "Mainform.h"

#include "Busy.h"
#include "Convert.h"
#include "Cp1251.h"
#include "Dialogs.h"
#include "DisplaySweep.h"
#include "Pump.h"

namespace {

const char* const FailedText = "Ошибка теста индикаторов клиента";
const char* const PassedText = "Тест индикаторов клиента - успешно";

void ShowVerdict(bool failed) {
    ShowMessage(QString::fromUtf8(failed ? FailedText : PassedText));
}

} // namespace

void TForm1::Button7Click(QObject*) {
    int passes = 0;
    // A run of no passes would clear the display and report a success it never tested.
    if (!TryStrToInt(Edit2->text(), passes) || passes < 1) {
        ShowMessage(QStringLiteral("Некорректное количество проходов теста \n   исправьте!!!"));
        return;
    }
    TLoopRun run(*this, BusyLoop, Button11);
    if (!run.Claimed()) return;
    SetSweepRunning(true);
    PrinterClearDisplay(nullptr, PrinterResultsx, 0); // a failure has shown its box; not judged

    // Failed display commands of the whole run, on both lines; each has shown its error box.
    int failed = 0;
    for (int pass = 1; pass <= passes; ++pass) {
        ProcessMessages();
        if (StopFlag) return StopSweep();
        // The lower line first, then the upper line, each through every window of the sweep.
        for (auto* showLine : {PrinterDisplayLowerLine, PrinterDisplayUpperLine}) {
            for (int i = 0; i < DisplaySweepWindows; ++i) {
                const QByteArray window = DisplaySweepWindow(i);
                if (CommandFailed(
                        [&] { return showLine(nullptr, PrinterResultsx, 0, window.constData()); }))
                    ++failed;
                // A stop clicked during the command is seen as soon as it has ended.
                ProcessMessages();
                if (StopFlag) return StopSweep();
            }
        }
    }
    ShowVerdict(failed > 0);
    SetSweepRunning(false);
    PrinterClearDisplay(nullptr, PrinterResultsx, 0);
}

void TForm1::StopSweep() {
    ShowMessage(QStringLiteral("Тест остановлен"));
    StopFlag = false;
    // After a disconnect there is no device to clear, and no time-out to report for it.
    if (IsConnected()) PrinterClearDisplay(nullptr, PrinterResultsx, 0);
    SetSweepRunning(false);
}

// Running: the fill and the typed lines are greyed, and the sweep's start button gives way to its
// stop button. Idle: everything but the stop button.
void TForm1::SetSweepRunning(bool running) {
    Button11->setEnabled(running);
    Button7->setEnabled(!running);
    GroupBox1->setEnabled(true);
    GroupBox2->setEnabled(!running);
    GroupBox3->setEnabled(!running);
}

void TForm1::Button11Click(QObject*) {
    RequestStop(*this, Button11);
}

void TForm1::TabSheet2Enter(QObject*) {
    // A running sweep keeps its controls as they are.
    if (BusyMode == 0) SetSweepRunning(false);
}

void TForm1::Button8Click(QObject*) {
    TSingleRun run(*this, BusyLoop);
    if (!run.Claimed()) return;
    const QByteArray fill = FirstCharacterRepeated(
        Edit4, DisplaySweepWidth,
        "Индекс строки вне допустимого диапазона: не задан символ индикатора");
    ProcessMessages();
    ShowVerdict(!ShowOnDisplay(fill.constData(), fill.constData()));
}

void TForm1::Button9Click(QObject*) {
    TSingleRun run(*this, BusyLoop);
    if (!run.Claimed()) return;
    const QByteArray lower = ToCp1251(Edit6->text());
    const QByteArray upper = ToCp1251(Edit5->text());
    ProcessMessages();
    ShowVerdict(!ShowOnDisplay(lower.constData(), upper.constData()));
}

// Sends the lower line, then the upper line; true when the device took both. A failed line has
// shown its error box.
bool TForm1::ShowOnDisplay(const char* lower, const char* upper) {
    const bool lowerFailed = CommandFailed(
        [lower] { return PrinterDisplayLowerLine(nullptr, PrinterResultsx, 0, lower); });
    const bool upperFailed = CommandFailed(
        [upper] { return PrinterDisplayUpperLine(nullptr, PrinterResultsx, 0, upper); });
    return !lowerFailed && !upperFailed;
}
