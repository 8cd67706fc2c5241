// The reply receiver: a ten-state machine fed one byte at a time.
#include "PrinterLink.h"

static_assert(LINK_REPLY_SIZE > 255, "ReplyData holds any data length LEN can announce");

namespace {

PrinterLinkState& L = PrinterLink;

void OnWaitSoh() {
    if (L.RxByte == 0x01) L.RxState = WaitLen;
    L.RxSum = 0;
}

void OnWaitLen() {
    if (L.RxByte < 0x2B) {
        L.RxState = WaitSoh;
        return;
    }
    L.RxLength = (unsigned char)(L.RxByte - 0x2B);
    L.RxSum += L.RxByte;
    L.RxState = WaitSeq;
}

void OnWaitSeq() {
    if (L.RxByte < 0x20) {
        L.RxState = WaitSoh;
        return;
    }
    L.RxSeq = (unsigned char)(L.RxByte - 0x20);
    L.RxSum += L.RxByte;
    L.RxState = WaitCmd;
}

void OnWaitCmd() {
    L.RxCommand = L.RxByte;
    L.RxIndex = 0;
    L.RxSum += L.RxByte;
    L.ReplyData[0] = 0;
    L.RxState = L.RxLength ? InData : WaitSep;
}

void OnInData() {
    // RxLength is at most 212, well inside ReplyData; the data stay terminated after every
    // byte, so a reply cut short never exposes bytes of an earlier one.
    if (L.RxIndex < L.RxLength) {
        L.ReplyData[L.RxIndex++] = (char)L.RxByte;
        L.ReplyData[L.RxIndex] = 0;
        L.RxSum += L.RxByte;
    }
    if (L.RxIndex >= L.RxLength) L.RxState = WaitSep;
}

void OnWaitSep() {
    if (L.RxByte != 0x04) {
        L.RxState = WaitSoh;
        return;
    }
    L.RxIndex = 0;
    L.RxSum += L.RxByte;
    L.RxState = InStatus;
}

void OnInStatus() {
    if (L.RxIndex < 6) {
        L.StatusBytes[L.RxIndex++] = L.RxByte;
        L.RxSum += L.RxByte;
    }
    if (L.RxIndex >= 6) L.RxState = WaitEnq;
}

void OnWaitEnq() {
    if (L.RxByte != 0x05) {
        L.RxState = WaitSoh;
        return;
    }
    L.RxIndex = 0;
    L.RxCheck = 0;
    L.RxSum += L.RxByte;
    L.RxState = InBcc;
}

void OnInBcc() {
    if (L.RxIndex < 4) {
        L.RxCheck = L.RxCheck * 16 + L.RxByte - 0x30;
        L.RxIndex++;
    }
    if (L.RxIndex >= 4) L.RxState = WaitEtx;
}

void OnWaitEtx() {
    L.RxState = WaitSoh;
    if (L.RxByte == 0x03) L.LinkReady = 1;
}

void (*const Handlers[RxStateCount])() = {OnWaitSoh, OnWaitLen,  OnWaitSeq, OnWaitCmd, OnInData,
                                          OnWaitSep, OnInStatus, OnWaitEnq, OnInBcc,   OnWaitEtx};

} // namespace

void PrinterReceiveByte(unsigned char byte) {
    L.RxByte = byte;
    if (L.RxState >= RxStateCount) L.RxState = WaitSoh;
    if (L.TraceFile != SERIAL_FILE_INVALID) PrinterTraceByte(byte);
    // The line's account: between frames a SYN says the device works, and anything but the
    // start of a frame or a NAK is noise (a wrong baud rate, another device).
    L.Line.BytesReceived++;
    if (L.RxState == WaitSoh) {
        if (byte == 0x16)
            L.Line.SynReceived++;
        else if (byte != 0x01 && byte != 0x15)
            L.Line.NoiseReceived++;
    }
    switch (byte) {
    case 0x01: // SOH restarts frame assembly from any state
        L.RxState = WaitSoh;
        break;
    case 0x03: // ETX completes the reply from any state; the checksum judges it
        if (L.RxState != WaitEtx) L.LinkFault &= (unsigned char)~FaultNak;
        L.RxState = WaitEtx;
        break;
    case 0x15: // NAK: the device refused the request
        L.RxState = WaitSoh;
        L.LinkFault = FaultNak;
        L.LinkReady = 1;
        return;
    default:
        break;
    }
    Handlers[L.RxState]();
}

int PrinterReceive() {
    unsigned char byte;
    SerialReadResult r = SerialReadByte(L.LinkPort, &byte);
    if (r != SERIAL_BYTE) {
        if (r == SERIAL_ERROR) {
            SerialClearError(L.LinkPort);
            L.RxState = WaitSoh;
        }
        return 0;
    }
    L.WaitCount = 0;
    PrinterReceiveByte(byte);
    return 1;
}
