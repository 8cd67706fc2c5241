#include "ConsoleFixture.h"
#include "Replies.h"
#include "Status.h"
#include "Switches.h"

namespace {

RetData Reply(uint32_t errorWord, int command = 0x4A) {
    RetData reply{};
    reply.Command = command;
    reply.ErrorWord = errorWord;
    return reply;
}

using ResultHandlers = ConsoleTest;

TEST_F(ResultHandlers, ShowOnlyTheMostImportantErrorAndCountOnce) {
    struct Case {
        uint32_t Word;
        const char* Text;
    };
    const Case cases[] = {
        {ERR_SYNTAX | ERR_GENERAL, "Синтаксическая ошибка"},
        {ERR_FM_LOW | ERR_FM_WRITE, "В фиск. памяти мало места"},
        {ERR_RAM_CLEARED, "Обнуление ОЗУ"},
        {ERR_RAM_CLEARED2, "Обнуление ОЗУ"},
        {ERR_TIMEOUT, "Таймаут"},
        {ERR_NAK, "Ошибка приема команды"},
        {ERR_PROTOCOL, "Ошибка протокола"},
        {ERR_NO_FM_MODULE | ST_FISCALIZED, "Не модуля фиск. памяти"},
        {ERR_FM_GENERAL | ERR_LAST_Z, "Ошибка последнего Z-отчета"},
        {ERR_FM_GENERAL, "Общая ошибка фиск. памяти"},
    };
    for (void (*handler)(RetData&) : {PrinterResults, PrinterResultsx}) {
        for (const Case& c : cases) {
            Messages.Texts.clear();
            Window->ErrorCount = 0;
            RetData reply = Reply(c.Word);
            handler(reply);
            EXPECT_EQ(Messages.Texts, QStringList{U(c.Text)}) << std::hex << c.Word;
            EXPECT_EQ(Window->ErrorCount, 1);
            EXPECT_EQ(Window->LastRetData.ErrorWord, c.Word);
        }
    }
}

TEST_F(ResultHandlers, StateBitsAreKeptButNeitherShownNorCounted) {
    const uint32_t state = ST_RETURN_RECEIPT | ST_FISCAL_RECEIPT | ST_NONFISCAL_RECEIPT |
                           ST_S1_BIT5 | ST_FISCAL_NUMBER_SET | ST_FM_FORMATTED | ST_FISCALIZED |
                           ST_SERIAL_SET;
    Window->ErrorCount = 3;
    RetData reply = Reply(state, 0x5A);
    PrinterResultsx(reply);
    EXPECT_TRUE(Messages.Texts.isEmpty());
    EXPECT_EQ(Window->ErrorCount, 3);
    EXPECT_EQ(Window->LastRetData.ErrorWord, state);
    EXPECT_EQ(Window->LastRetData.Command, 0x5A);
    EXPECT_FALSE(HasErrorBit(state));
    EXPECT_FALSE(HasErrorBit(0x8000u | 0xE0000000u)); // bits the decoder never sets
}

TEST_F(ResultHandlers, CountsAccumulateUntilTheCallerResets) {
    RetData first = Reply(ERR_TIMEOUT), second = Reply(ERR_NOT_ALLOWED);
    PrinterResults(first);
    PrinterResults(second);
    EXPECT_EQ(Window->ErrorCount, 2);
    EXPECT_EQ(Messages.Texts, (QStringList{U("Таймаут"), U("Команда не разрешена")}));
}

TEST_F(ResultHandlers, SilentHandlerCountsWithoutABox) {
    RetData reply = Reply(ERR_TIMEOUT, 0x23);
    PrinterResultsy(reply);
    EXPECT_TRUE(Messages.Texts.isEmpty());
    EXPECT_EQ(Window->ErrorCount, 1);
    EXPECT_EQ(Window->LastRetData.Command, 0x23);
}

TEST_F(ResultHandlers, CheckWindowsKeepTheirOwnRecordAndCount) {
    TForm2 switches;
    TForm4 state;
    Form2 = &switches;
    Form4 = &state;
    RetData reply = Reply(ERR_CLOCK, 0x5A);
    PrinterResults1(reply);
    PrinterResults3(reply);
    EXPECT_EQ(switches.ErrorCount, 1);
    EXPECT_EQ(state.ErrorCount, 1);
    EXPECT_EQ(switches.LastRetData.Command, 0x5A);
    EXPECT_EQ(Window->ErrorCount, 0);
    EXPECT_EQ(Messages.Texts, (QStringList{U("Дата и время неверны"), U("Дата и время неверны")}));
}

TEST(ReplyField, FieldsBeyondTheCountReadAsEmpty) {
    const char* fields[] = {"4.01", "0", "\xcf\xd0", "x", "00101111", "stale", "stale"};
    RetData reply{};
    for (int i = 0; i < 7; ++i)
        reply.Fields[i] = fields[i];
    reply.FieldCount = 5;
    EXPECT_EQ(ReplyField(reply, 4), U("00101111"));
    EXPECT_EQ(ReplyField(reply, 2), U("ПР"));
    EXPECT_TRUE(ReplyField(reply, 5).isEmpty());
    EXPECT_TRUE(ReplyField(reply, -1).isEmpty());
    EXPECT_TRUE(ReplyField(reply, 20).isEmpty());
    reply.FieldCount = 0;
    EXPECT_TRUE(ReplyField(reply, 0).isEmpty());
    EXPECT_TRUE(RawReplyText(reply).isEmpty()); // no reply text at all yet
}

} // namespace
