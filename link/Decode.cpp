// Judging a finished exchange: the error word, the reply data's fix-ups and fields.
#include "PrinterLink.h"

#include <string.h>

namespace {

struct StatusBit {
    unsigned char Byte; // status byte S0..S5
    unsigned char Mask; // bit within it
    uint32_t Error;     // error-word bit it sets
};

const StatusBit StatusMap[] = {
    {0, 0x01, ERR_SYNTAX},           {0, 0x02, ERR_BAD_COMMAND},      {0, 0x04, ERR_CLOCK},
    {0, 0x10, ERR_PRINTER},          {0, 0x20, ERR_GENERAL},          {1, 0x01, ERR_OVERFLOW},
    {1, 0x02, ERR_NOT_ALLOWED},      {1, 0x04, ERR_RAM_CLEARED},      {1, 0x08, ST_RETURN_RECEIPT},
    {1, 0x10, ERR_RAM_CLEARED2},     {1, 0x20, ST_S1_BIT5},           {2, 0x01, ERR_NO_PAPER},
    {2, 0x08, ST_FISCAL_RECEIPT},    {2, 0x20, ST_NONFISCAL_RECEIPT}, {4, 0x01, ERR_FM_WRITE},
    {4, 0x04, ERR_NO_FM_MODULE},     {4, 0x08, ERR_FM_LOW},           {4, 0x10, ERR_FM_FULL},
    {4, 0x20, ERR_FM_GENERAL},       {5, 0x01, ERR_FM_READ_ONLY},     {5, 0x02, ST_FM_FORMATTED},
    {5, 0x04, ERR_LAST_Z},           {5, 0x08, ST_FISCALIZED},        {5, 0x10, ST_SERIAL_SET},
    {5, 0x20, ST_FISCAL_NUMBER_SET},
};

void FixUp(char* data, int command) {
    size_t len = strlen(data);
    if (len < 2) return;
    switch (command) {
    case 0x32:
    case 0x35: // the first character is a field of its own
        if (len + 2 <= (size_t)LINK_REPLY_SIZE) {
            memmove(data + 2, data + 1, len); // the rest and its terminator
            data[1] = ',';
        }
        break;
    case 0x3E: // date and time: the blank after the date separates a field
        if (len >= 9) data[8] = ',';
        break;
    case 0x5A: // diagnostics: blanks among the first 20 characters separate fields
        for (size_t i = 0; i < len && i < 20; ++i)
            if (data[i] == ' ') data[i] = ',';
        break;
    default:
        break;
    }
}

} // namespace

uint32_t PrinterStatusWord(const unsigned char status[6]) {
    uint32_t word = 0;
    for (const StatusBit& bit : StatusMap)
        if (status[bit.Byte] & bit.Mask) word |= bit.Error;
    return word;
}

void PrinterDecodeReply() {
    PrinterLinkState& L = PrinterLink;
    RetData& R = L.Reply;

    if (L.LinkReady == 1 && L.RxCheck != L.RxSum) L.LinkFault |= FaultChecksum;
    for (int i = 0; i < 6; ++i)
        R.Status[i] = (unsigned char)(L.StatusBytes[i] & 0x7F);

    if (!L.LinkReady)
        L.ErrorWord |= ERR_TIMEOUT;
    else if (L.LinkFault & FaultNak)
        L.ErrorWord |= ERR_NAK;
    else if (L.LinkFault & FaultChecksum)
        L.ErrorWord |= ERR_PROTOCOL;
    else
        L.ErrorWord |= PrinterStatusWord(L.StatusBytes);

    // A reply that never completed (or was refused) carries no data worth showing.
    if (L.ErrorWord & (ERR_TIMEOUT | ERR_NAK)) L.ReplyData[0] = 0;
    L.ReplyData[LINK_REPLY_SIZE - 1] = 0;

    memset(L.RawReply, 0, sizeof L.RawReply);
    memcpy(L.RawReply, L.ReplyData, strnlen(L.ReplyData, LINK_RAW_COPY));

    FixUp(L.ReplyData, L.CurrentCommand);

    R.ErrorWord = L.ErrorWord;
    R.CommandName = PrinterCommandName(L.CurrentCommand);
    R.SentData = L.SentData;
    R.RawReply = L.RawReply;

    // Split at commas in place. Past the twentieth field the rest stays in the last one,
    // commas and all, so nothing is written beyond the record's slots.
    int count = 0;
    if (L.ReplyData[0]) {
        R.Fields[count++] = L.ReplyData;
        for (char* p = L.ReplyData; *p && count < LINK_FIELDS; ++p) {
            if (*p == ',') {
                *p = 0;
                R.Fields[count++] = p + 1;
            }
        }
    }
    R.FieldCount = count;
}
