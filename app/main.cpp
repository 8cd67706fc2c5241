// The console's start: the application object, the main window and the two check windows,
// then the message loop until the main window is closed.

#include "Application.h"
#include "Batch.h"
#include "ExchangeLog.h"
#include "Mainform.h"
#include "Status.h"
#include "Switches.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const char* const Help = R"(Использование: tr7042k-console [параметры]

Сервисная консоль фискального регистратора TR7042K: подключение к принтеру на
последовательном порту, многопроходный тест с журналом и проверка отдельных функций.
)"
#ifdef _WIN32
                         R"(
Порт COMn - это COM-порт Windows с тем же номером (его показывает диспетчер устройств;
список портов и поиск принтера: tr7042k-ports list, tr7042k-ports probe).
Журнал обмена fpllog.dat пишется в текущую папку; запущенная из меню "Пуск"
(--from-menu), консоль ведёт его в %LOCALAPPDATA%\TR7042K. Полный путь - на вкладке
"О программе".

  --from-menu  журнал обмена - в %LOCALAPPDATA%\TR7042K (так запускает меню "Пуск")
)"
#else
                         R"(
Порт COMn - это ссылка comN в $XDG_CONFIG_HOME/tr7042k/ports (или ~/.config/tr7042k/ports),
если она есть, иначе /dev/ttyS<n-1>. Найти адаптер и связать его с COMn: tr7042k-ports.
Журнал обмена fpllog.dat пишется в текущую папку; запущенная из меню рабочего стола
(--from-menu), консоль ведёт его в ~/.local/state/tr7042k. Полный путь - на вкладке
"О программе".

  --from-menu  журнал обмена - в ~/.local/state/tr7042k (так запускает меню)
)"
#endif
                         R"(  --help       эта справка
  --version    версия программы
  --batch ...  полный тест одного принтера без окна; так консоль запускает
               tr7042k-burnin (см. man tr7042k-burnin)
Остальные параметры (например -platform или -style) принимает Qt.
)";

} // namespace

int main(int argc, char** argv) {
    // Answered before any window exists, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Help, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tr7042k-console %s\n", TR_VERSION);
            return 0;
        }
    }
    if (IsBatchCommandLine(argc, argv)) return RunBatch(argc, argv);
    bool fromMenu = false;
    for (int i = 1; i < argc; ++i)
        fromMenu = fromMenu || std::strcmp(argv[i], "--from-menu") == 0;
    TApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("tr7042k-console"));
    // The console speaks Russian whatever the desktop's language, so the parts Qt draws itself
    // (the save dialog, the calendar, the text fields' menus) speak it too, where Qt's own
    // translations are installed.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(&qtTexts);
    // The windows belong to the program as a whole and go when it ends.
    std::unique_ptr<TForm1> mainWindow;
    std::unique_ptr<TForm2> switchesWindow;
    std::unique_ptr<TForm4> stateWindow;
    QString logTrouble;
    // Started from the menu, the current folder is wherever the launcher stands. A state folder
    // that cannot be made is named by the log's trouble message on the first exchange.
    if (fromMenu && !KeepLogInStateFolder(logTrouble))
        std::fprintf(stderr, "tr7042k-console: папка журнала обмена: %s\n",
                     logTrouble.toLocal8Bit().constData());
    try {
        mainWindow = std::make_unique<TForm1>();
        Form1 = mainWindow.get();
        switchesWindow = std::make_unique<TForm2>();
        Form2 = switchesWindow.get();
        stateWindow = std::make_unique<TForm4>();
        Form4 = stateWindow.get();
        Form1->show();
        Form1->activateWindow();
        application.exec();
    } catch (...) {
        // A failure while starting is shown like any other; the program then ends normally.
        ShowEscapedException();
    }
    return 0;
}
