// The exchange log's exact bytes and the command-name table.
#include "LinkFixture.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/stat.h>

using namespace linktest;

namespace {

class Log : public LinkTest {};

// A log record as the file holds it, from UTF-8 text with "\n" line ends.
std::string record(int code, const std::string& data, const std::string& status) {
    return cp1251(" \r\nКод команды:" + std::to_string(code) + " \r\nДанные: ") + data +
           cp1251(" \r\nСтатус: " + status);
}

} // namespace

TEST_F(Log, RecordsAreAppendedInTheirExactBytes) {
    struct Case {
        int code;
        std::string data;
        uint32_t word;
        std::string expected;
    };
    const Case cases[] = {
        {0x4A, "X", 0, record(74, "X", "0")},
        {0x4A, "X", ERR_TIMEOUT, record(74, "X", "4000000")},
        {0x4A, "X", ERR_NAK, record(74, "X", "2000000")},
        {0x2D, "", 0, record(45, "", "0")},
        {0x34, "100*4.000,-5.00", 0x00400C0Au, record(52, "100*4.000,-5.00", "400c0a")},
        {0x77, "1,pw", 0xDEADBEEFu, record(119, "1,pw", "deadbeef")},
        {0x2A, "line1\nline2", 0, record(42, "line1\r\nline2", "0")},
        {0x2A, "50% %s %d %n", 0, record(42, "50% %s %d %n", "0")},
        {0x2A, "\xCF\xF0\xE8\xE2\xE5\xF2", 0, record(42, "\xCF\xF0\xE8\xE2\xE5\xF2", "0")},
    };
    std::string all;
    for (const Case& c : cases) {
        PrinterLogExchange(c.code, c.data.c_str(), c.word);
        all += c.expected;
        ASSERT_EQ(hex(env->logBytes()), hex(all)) << "after code " << c.code;
    }
}

// The log is appended only to a plain file of that name: never through a symbolic link (one
// placed there would make every record land in another file), never into a folder or a pipe.
// Each failure costs the record only, and says why.
TEST_F(Log, NeverWrittenThroughALinkOrIntoAnythingButAFile) {
    namespace fs = std::filesystem;
    const fs::path log = env->workDir() / "fpllog.dat";
    const fs::path victim = env->root() / "victim";
    { std::ofstream(victim) << "keep"; }
    const struct {
        const char* what;
        std::function<void()> make;
        int error;
    } cases[] = {
        {"a link to another file", [&] { fs::create_symlink(victim, log); }, ELOOP},
        {"a link to nowhere", [&] { fs::create_symlink(env->root() / "new", log); }, ELOOP},
        {"a folder", [&] { fs::create_directory(log); }, EISDIR},
        {"a pipe", [&] { mkfifo(log.c_str(), 0600); }, EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(log);
        c.make();
        PrinterLogExchange(0x4A, "X", 0);
        EXPECT_EQ(PrinterLogError(), c.error);
    }
    EXPECT_EQ(fs::file_size(victim), 4u);
    EXPECT_FALSE(fs::exists(env->root() / "new"));

    // A plain file takes the record again, and the error is gone.
    fs::remove(log);
    PrinterLogExchange(0x4A, "X", 0);
    EXPECT_EQ(PrinterLogError(), 0);
    EXPECT_EQ(hex(env->logBytes()), hex(record(74, "X", "0")));
}

// The log may be kept in another folder (the console started from the desktop menu keeps it in
// the user's state folder); a folder that is not there is an error, not a log elsewhere.
TEST_F(Log, KeptInTheFolderGiven) {
    namespace fs = std::filesystem;
    const fs::path folder = env->root() / "state";
    fs::create_directory(folder);
    ASSERT_TRUE(PrinterSetLogFolder(folder.c_str()));
    EXPECT_EQ(std::string(PrinterLogFile()), (folder / "fpllog.dat").string());
    PrinterLogExchange(0x4A, "X", ERR_NAK);
    std::ifstream in(folder / "fpllog.dat", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), record(74, "X", "2000000"));
    fs::remove_all(folder);
    PrinterLogExchange(0x4A, "X", 0);
    EXPECT_EQ(PrinterLogError(), ENOENT);
    EXPECT_FALSE(env->logExists());
    EXPECT_FALSE(PrinterSetLogFolder(std::string(5000, 'x').c_str()));
    EXPECT_EQ(std::string(PrinterLogFile()), (folder / "fpllog.dat").string());
    ASSERT_TRUE(PrinterSetLogFolder(nullptr));
    EXPECT_STREQ(PrinterLogFile(), "fpllog.dat");
}

TEST(CommandNames, WholeTableInWindows1251) {
    const std::map<int, std::string> named = {
        {0x21, "Очистка дисплея"},
        {0x23, "Дисплей - нижний ряд"},
        {0x26, "Открыть нефискальный чек"},
        {0x27, "Закрыть нефискальный чек"},
        {0x2A, "Печать нефискального текста"},
        {0x2B, "Установить Header, Footer и опции печати"},
        {0x2C, "Пропустить строки на принтере"},
        {0x2D, "Отрезать чек"},
        {0x2F, "Дисплей - верхний ряд"},
        {0x30, "Открыть фискальный чек"},
        {0x32, "Печать налоговых ставок за период"},
        {0x33, "Подсумма"},
        {0x34, "Регистрация продажи  и вывод на дисплей"},
        {0x35, "Общая сумма чека (Total)"},
        {0x36, "Печать строк в фискальном чеке"},
        {0x38, "Закрыть фискальный чек"},
        {0x39, "Аннулировать чек"},
        {0x3A, "Регистрация продажи"},
        {0x3D, "Установить дату и время"},
        {0x3E, "Получить дату и время"},
        {0x3F, "Вывести дату и время на дисплее"},
        {0x40, "Информация о последнем Z-отчете"},
        {0x41, "Суммы за день"},
        {0x43, "Суммы коррекций за день"},
        {0x44, "Размер фискальной памяти"},
        {0x45, "X- или Z- отчет"},
        {0x46, "Служебный внос/вынос суммы"},
        {0x47, "Печать диагностической информации"},
        {0x48, "Фискализация"},
        {0x49, "Полный периодический отчет по номеру"},
        {0x4A, "Получить состояние регистратора"},
        {0x4C, "Состояние фискальной транзакции"},
        {0x4F, "Сокращенный периодический отчет (по дате)"},
        {0x50, "Звуковой сигнал"},
        {0x53, "Установить множитель, запятую, валюту и количество групп налогов"},
        {0x54, "Режим продаж"},
        {0x55, "Открыть чек возврата"},
        {0x59, "Программирование тестовой области"},
        {0x5A, "Запрос диагностической информации"},
        {0x5B, "Установить заводской номер"},
        {0x5C, "Установить фискальный номер"},
        {0x5E, "Полный периодический отчет по дате"},
        {0x5F, "Сокращенный периодический отчет по номеру"},
        {0x61, "Ставки налогов"},
        {0x62, "Установить налоговый или иденификационный номер"},
        {0x63, "Прочитать налоговый или иденификационный номер"},
        {0x64, "Управление дисплеем"},
        {0x65, "Задать пароль оператора"},
        {0x66, "Задать имя оператора"},
        {0x67, "Информация о текущем чеке"},
        {0x68, "Обнулить данные оператора"},
        {0x69, "Отчет оператора"},
        {0x6A, "Открыть денежный ящик"},
        {0x6B, "Программирование артикулов и получение информации о них"},
        {0x6D, "Печать копии чека"},
        {0x6E, "Дополнительная информация по типам оплаты"},
        {0x6F, "Отчет товаров"},
        {0x70, "Информация об операторе"},
        {0x71, "Номер последнего чека"},
        {0x72, "Получение информации из фискальной памяти"},
        {0x73, "Загрузка логотипа"},
        {0x76, "Пароль администратора"},
        {0x77, "Обнулить операторские пароли"},
    };
    ASSERT_EQ(named.size(), 63u);
    const std::string invalid = cp1251("Неверная команда");
    int unnamed = 0;
    for (int code : {-1, 0, 0x20, 0x78, 0x80, 0xFF, 1000}) {
        ASSERT_NE(PrinterCommandName(code), nullptr);
        EXPECT_EQ(hex(PrinterCommandName(code)), hex(invalid)) << "code " << code;
    }
    for (int code = 0x21; code <= 0x77; ++code) {
        const char* name = PrinterCommandName(code);
        ASSERT_NE(name, nullptr) << "code " << code;
        auto it = named.find(code);
        std::string expected = it == named.end() ? invalid : cp1251(it->second);
        unnamed += it == named.end();
        EXPECT_EQ(hex(name), hex(expected)) << "code 0x" << std::hex << code;
    }
    EXPECT_EQ(unnamed, 24);
}
