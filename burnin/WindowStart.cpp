// The bench window's start: its application object and its message loop.

#include "Application.h"
#include "Places.h"
#include "System.h"
#include "Window.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

std::unique_ptr<QCoreApplication> WindowApplication(int& argc, char** argv) {
    auto application = std::make_unique<TApplication>(argc, argv);
    // Russian whatever the desktop's language, the folder picker included, as in the console.
    auto* qtTexts = new QTranslator(application.get());
    if (qtTexts->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application->installTranslator(qtTexts);
    return application;
}

int RunWindow(const TOptions& options) {
    TBenchWindow window(options, FindConsole(), FindPortsTool());
    // Ctrl-C in the terminal it was started from, or the session's end: as "Стоп".
    const std::unique_ptr<QObject> stopWatch =
        WatchStopSignals([&window](int stops) { window.StopsArrived(stops); });
    window.show();
    QApplication::exec();
    return window.ExitCode();
}
