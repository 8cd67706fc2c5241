#include "Busy.h"

#include "Dialogs.h"
#include "Mainform.h"

const char* const LoopRefusedText = "Дождитесь окончания выполняемого теста";

TLoopRun::TLoopRun(TForm1& form, int32_t mode) : form_(form) {
    if (form_.BusyMode != 0) {
        ShowMessage(QString::fromUtf8(LoopRefusedText));
        return;
    }
    claimed_ = true;
    form_.BusyMode = mode;
    form_.StopFlag = false;
}

TLoopRun::~TLoopRun() {
    if (claimed_) form_.BusyMode = 0;
}

TSingleRun::TSingleRun(TForm1& form, int32_t mode) : form_(form), saved_(form.BusyMode) {
    form_.BusyMode = mode;
}

TSingleRun::~TSingleRun() {
    form_.BusyMode = saved_;
}
