// tr7042k-burnin: the console's full device test on several printers at once, unattended, with a
// report a service centre can file.

#include "Burnin.h"
#include "Options.h"
#include "System.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int WrongUse = 3;

int Refuse(const QString& reason) {
    std::fprintf(stderr, "tr7042k-burnin: %s\nСправка: tr7042k-burnin --help\n",
                 reason.toUtf8().constData());
    return WrongUse;
}

// The console this program starts: TR7042K_CONSOLE when set, else the one installed beside it,
// else the one of a build tree (app/ beside burnin/), else the one on the PATH.
QString FindConsole() {
    const QString given = qEnvironmentVariable("TR7042K_CONSOLE");
    if (!given.isEmpty()) return given;
    const QDir here(QCoreApplication::applicationDirPath());
    const QString name = QStringLiteral("tr7042k-console" TR_EXE_SUFFIX);
    for (const QString& candidate :
         {here.filePath(name), here.filePath(QStringLiteral("../app/") + name)})
        if (QFileInfo(candidate).isExecutable()) return QDir::cleanPath(candidate);
    return QStandardPaths::findExecutable(QStringLiteral("tr7042k-console"));
}

// The output folder: the one given (made when missing; one with files in it is refused, so no
// earlier batch's report is overwritten), or a new one named by the date and time.
bool MakeOutFolder(QString& out, QString& error) {
    QDir dir;
    if (out.isEmpty()) {
        const QString base = QStringLiteral("burnin-") + QDateTime::currentDateTime().toString(
                                                             QStringLiteral("yyyy-MM-dd-hhmmss"));
        out = base;
        for (int n = 2; QFileInfo::exists(out); ++n)
            out = QStringLiteral("%1-%2").arg(base).arg(n);
    } else if (QFileInfo(out).exists()) {
        if (!QFileInfo(out).isDir()) {
            error = QStringLiteral("%1 - не папка").arg(out);
            return false;
        }
        if (!QDir(out).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                               QDir::System)) {
            error = QStringLiteral("в папке %1 уже есть файлы; назовите новую или пустую папку")
                        .arg(out);
            return false;
        }
    }
    if (!dir.mkpath(out) || !QFileInfo(out).isWritable()) {
        error = QStringLiteral("не удалось создать папку результатов %1").arg(out);
        return false;
    }
    out = QDir(out).absolutePath();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    CatchStopSignals();
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments();
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
    const QString console = FindConsole();
    if (console.isEmpty() || !QFileInfo(console).isExecutable())
        return Refuse(QStringLiteral("не найдена консоль tr7042k-console (ни рядом с программой, "
                                     "ни в PATH; путь к ней можно задать в TR7042K_CONSOLE)"));
    if (!MakeOutFolder(options.Out, error)) return Refuse(error);
    TBurnin burnin(options, options.Out, console);
    return burnin.Run();
}
