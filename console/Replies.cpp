#include "Replies.h"

#include "Cp1251.h"
#include "Dialogs.h"
#include "ExchangeLog.h"

#include <iterator>

namespace {

struct ErrorRow {
    uint32_t Bit;
    const char* Text;
};

// Priority order: the first set bit of this table is the one reported. ERR_FM_LOW deliberately
// comes before ERR_FM_WRITE.
constexpr ErrorRow ErrorTable[] = {
    {ERR_SYNTAX, "Синтаксическая ошибка"},
    {ERR_BAD_COMMAND, "Неверная команда"},
    {ERR_CLOCK, "Дата и время неверны"},
    {ERR_PRINTER, "Ошибка печати"},
    {ERR_OVERFLOW, "Арифметическое переполнение"},
    {ERR_NOT_ALLOWED, "Команда не разрешена"},
    {ERR_RAM_CLEARED, "Обнуление ОЗУ"},
    {ERR_RAM_CLEARED2, "Обнуление ОЗУ"},
    {ERR_NO_PAPER, "Нет бумаги"},
    {ERR_NO_FM_MODULE, "Не модуля фиск. памяти"},
    {ERR_FM_LOW, "В фиск. памяти мало места"},
    {ERR_FM_WRITE, "Ошибка записи в фиск. память"},
    {ERR_FM_FULL, "Фиск. память переполнена"},
    {ERR_FM_READ_ONLY, "Запись в фиск. память запрещена"},
    {ERR_LAST_Z, "Ошибка последнего Z-отчета"},
    {ERR_PROTOCOL, "Ошибка протокола"},
    {ERR_NAK, "Ошибка приема команды"},
    {ERR_TIMEOUT, "Таймаут"},
    {ERR_GENERAL, "Общая ошибка"},
    {ERR_FM_GENERAL, "Общая ошибка фиск. памяти"},
};

} // namespace

const char* ErrorText(uint32_t errorWord) {
    for (const ErrorRow& row : ErrorTable)
        if (errorWord & row.Bit) return row.Text;
    return nullptr;
}

void HandleReply(const RetData& reply, RetData& lastReply, int32_t& errorCount, bool showBox) {
    lastReply = reply;
    ReportLogTrouble();
    const char* text = ErrorText(reply.ErrorWord);
    if (!text) return;
    if (showBox) ShowMessage(QString::fromUtf8(text));
    ++errorCount;
}

QString ReplyField(const RetData& reply, int index) {
    if (index < 0 || index >= reply.FieldCount || index >= int(std::size(reply.Fields)))
        return QString();
    return FromCp1251(reply.Fields[index]);
}

QString RawReplyText(const RetData& reply) {
    return FromCp1251(reply.RawReply);
}
