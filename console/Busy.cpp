#include "Busy.h"

#include "Dialogs.h"
#include "Mainform.h"

const char* const LoopRefusedText = "Дождитесь окончания выполняемого теста";

TLoopRun::TLoopRun(TForm1& form, int32_t mode, const QObject* stopButton) : form_(form) {
    if (form_.BusyMode != 0 || form_.RunningLoop != 0 || form_.SingleRunning) {
        ShowMessage(QString::fromUtf8(LoopRefusedText));
        return;
    }
    claimed_ = true;
    form_.BusyMode = mode;
    form_.RunningLoop = mode;
    form_.LoopStopButton = stopButton;
    form_.StopFlag = false;
}

TLoopRun::~TLoopRun() {
    if (!claimed_) return;
    form_.BusyMode = 0;
    form_.RunningLoop = 0;
    form_.LoopStopButton = nullptr;
}

TSingleRun::TSingleRun(TForm1& form, int32_t mode) : form_(form) {
    if (form_.SingleRunning) return;
    claimed_ = true;
    saved_ = form_.BusyMode;
    form_.BusyMode = mode;
    form_.SingleRunning = true;
}

TSingleRun::~TSingleRun() {
    if (!claimed_) return;
    form_.BusyMode = saved_;
    form_.SingleRunning = false;
}

void RequestStop(TForm1& form, const QObject* stopButton) {
    if (form.RunningLoop != 0 && stopButton && form.LoopStopButton == stopButton)
        form.StopFlag = true;
}

bool LoopRunning(const TForm1& form) {
    return form.RunningLoop != 0;
}
