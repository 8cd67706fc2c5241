// Talking to a printer through the link, the same on every system.
#include "Talk.h"

namespace {

TalkResult gLast;

void Keep(RetData& reply) {
    gLast.ErrorWord = reply.ErrorWord;
    gLast.FieldCount = reply.FieldCount;
    for (int i = 0; i < 8; ++i)
        gLast.Fields[i] = i < reply.FieldCount && reply.Fields[i] ? reply.Fields[i] : "";
}

TalkResult Finish(int sent) {
    gLast.Ran = sent == 0;
    PrinterGetLineStats(&gLast.Line);
    return gLast;
}

} // namespace

void CloseTalkPort() {
    PrinterClosePort();
}

TalkResult AskStatus() {
    gLast = TalkResult{};
    return Finish(PrinterGetStatus(nullptr, Keep, 0, 1));
}

TalkResult AskDiagnostics() {
    gLast = TalkResult{};
    return Finish(PrinterGetDiagnostics(nullptr, Keep, 0, 1));
}
