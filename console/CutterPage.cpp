// "Обрезка чека и звуковой сигнал" page: single and repeated tests of the receipt cutter and of
// the beeper. The two devices share the steps below and differ in the command, the controls and
// the texts.

#include "Mainform.h"

#include "Busy.h"
#include "Convert.h"
#include "Dialogs.h"
#include "Pump.h"
#include "Selection.h"

#include <initializer_list>
#include <vector>

namespace {

using DeviceCommand = int (*)(PrinterWindow, PrinterCallback, int);

// The page's message for a repeated test that cannot run as set up.
const char* const BadRunText = "Некорректное количество проходов теста \n   исправьте!!!";

struct Verdicts {
    const char* Failure;
    const char* Success;
};

// One command: the result label is cleared while it runs and then shows the verdict.
void RunSingleTest(TForm1& form, DeviceCommand command, QLabel* result, const Verdicts& texts) {
    TSingleRun run(form, BusyLoop);
    if (!run.Claimed()) return;
    result->setText(QString());
    form.repaint();
    ProcessMessages();
    // The verdict is taken before the next pump, where another page's operation may reset
    // ErrorCount.
    const bool failed =
        form.CommandFailed([command] { return command(nullptr, PrinterResultsx, 0); });
    ProcessMessages();
    result->setText(QString::fromUtf8(failed ? texts.Failure : texts.Success));
}

// Passes of a repeated test: the entry chosen in the list ("1" to "10" give 1 to 10), else a
// number of 1 or more typed into its edit field; 0 when there is neither.
int PassCount(const QComboBox* list) {
    const int entry = SelectedItemIndex(list);
    if (entry >= 0) return entry + 1;
    int typed = 0;
    return TryStrToInt(list->currentText().trimmed(), typed) && typed >= 1 ? typed : 0;
}

// Keeps the given controls disabled while a repeated test runs; enables them again on every way
// out.
class TDisabledWhileRunning {
public:
    explicit TDisabledWhileRunning(std::initializer_list<QWidget*> controls) : controls_(controls) {
        for (QWidget* control : controls_)
            control->setEnabled(false);
    }
    ~TDisabledWhileRunning() {
        for (QWidget* control : controls_)
            control->setEnabled(true);
    }
    TDisabledWhileRunning(const TDisabledWhileRunning&) = delete;
    TDisabledWhileRunning& operator=(const TDisabledWhileRunning&) = delete;

private:
    std::vector<QWidget*> controls_;
};

struct RepeatedTest {
    DeviceCommand Command;
    QComboBox* Passes;
    QLineEdit* Pause; // milliseconds after each pass
    QLabel* Result;
    QLabel* Figure; // failed passes of the run
    Verdicts Texts;
};

// The command once in every pass, each pass followed by the pause. The result and the figure
// describe the whole run: every failed pass counts, and a run ended early by a disconnect is a
// failure. A run that cannot go as set up (no pass count, a pause that is not a number of
// milliseconds) sends nothing.
void RunRepeatedTest(TForm1& form, const RepeatedTest& test,
                     std::initializer_list<QWidget*> testButtons) {
    TLoopRun run(form, BusyLoop);
    if (!run.Claimed()) return;
    test.Result->setText(QString());
    test.Figure->setText(QString());
    form.repaint();
    const int passes = PassCount(test.Passes);
    int pause = 0;
    if (passes < 1 || !TryStrToInt(test.Pause->text().trimmed(), pause) || pause < 0) {
        ShowMessage(QString::fromUtf8(BadRunText));
        return;
    }

    TDisabledWhileRunning disabled(testButtons);
    TDisabledWhileRunning inputs({test.Passes, test.Pause});
    int failures = 0;
    bool stopped = false;
    for (int pass = 1; pass <= passes; ++pass) {
        ProcessMessages();
        // The page has no stop button; a disconnect at the pump ends the run.
        if (form.StopFlag) {
            stopped = true;
            break;
        }
        if (form.CommandFailed([&test] { return test.Command(nullptr, PrinterResultsx, 0); }))
            ++failures;
        ProcessMessages();
        BlockingSleep(pause);
    }
    test.Result->setText(
        QString::fromUtf8(failures > 0 || stopped ? test.Texts.Failure : test.Texts.Success));
    test.Figure->setText(QString::number(failures));
}

} // namespace

void TForm1::Button16Click(QObject*) {
    RunSingleTest(*this, PrinterCutReceipt, Label16,
                  {"Ошибка теста отрезки чека", "Тест отрезки чека - успешно"});
}

void TForm1::Button19Click(QObject*) {
    RunSingleTest(*this, PrinterBeep, Label25,
                  {"Ошибка теста звукового сигнала", "Тест звукового сигнала - успешно"});
}

void TForm1::Button17Click(QObject*) {
    RunRepeatedTest(*this,
                    {PrinterCutReceipt,
                     ComboBox4,
                     Edit10,
                     Label17,
                     Label19,
                     {"Ошибка теста обрезки чека", "Тест обрезки чека - успешно"}},
                    {Button16, Button17, Button18, Button19});
}

void TForm1::Button18Click(QObject*) {
    RunRepeatedTest(*this,
                    {PrinterBeep,
                     ComboBox5,
                     Edit11,
                     Label22,
                     Label24,
                     {"Ошибка теста звукового сигнала", "Тест звукового сигнала - успешно"}},
                    {Button16, Button17, Button18, Button19});
}
