// tr7042k-burnin: the console's full device test on several printers at once, unattended, with a
// report a service centre can file; with --window, the same in the bench window.

#include "Burnin.h"
#include "Options.h"
#include "Places.h"
#include "Progress.h"
#include "System.h"
#include "Window.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int WrongUse = 3;

int Refuse(const QString& reason) {
    std::fprintf(stderr, "tr7042k-burnin: %s\nСправка: tr7042k-burnin --help\n",
                 reason.toUtf8().constData());
    return WrongUse;
}

// Whether the bench window is asked for (and not just the help or the version, which need no
// display): told before the application object exists, since the window needs a QApplication.
bool WantsWindow(int argc, char** argv) {
    bool window = false;
    for (int i = 1; i < argc; ++i) {
        for (const char* plain : {"--help", "-h", "--version"})
            if (std::strcmp(argv[i], plain) == 0) return false;
        window = window || (std::strncmp(argv[i], "--window", 8) == 0 &&
                            (argv[i][8] == '\0' || argv[i][8] == '='));
    }
    return window;
}

// Whether a window can be shown at all; Qt would otherwise end the program with its own words.
// Windows always has its desktop.
bool HasDisplay(int argc, char** argv) {
#ifdef _WIN32
    return true;
#else
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#endif
}

} // namespace

int main(int argc, char** argv) {
    CatchStopSignals();
    // Only the window needs a display; everything else is Qt Core, as from a service account.
    const bool window = WantsWindow(argc, argv);
    if (window && !HasDisplay(argc, argv))
        return Refuse(QStringLiteral("окну --window нужен экран: не заданы ни DISPLAY, ни "
                                     "WAYLAND_DISPLAY (без окна тест запускается из командной "
                                     "строки)"));
    const std::unique_ptr<QCoreApplication> application =
        window ? WindowApplication(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QStringList arguments = application->arguments();
    arguments.removeFirst();
    TOptions options;
    QString error;
    if (!ParseOptions(arguments, options, error)) return Refuse(error);
    if (options.Help) {
        std::fputs(HelpText().constData(), stdout);
        return 0;
    }
    if (options.Version) {
        std::printf("tr7042k-burnin %s\n", TR_VERSION);
        return 0;
    }
    if (options.Window) return RunWindow(options);
    const QString console = FindConsole();
    if (console.isEmpty() || !QFileInfo(console).isExecutable()) return Refuse(ConsoleMissing());
    if (!MakeOutFolder(options.Out, error)) return Refuse(error);
    TBurnin burnin(options, options.Out, console);
    return RunOnTerminal(burnin);
}
