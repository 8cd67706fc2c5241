#include "ExchangeLog.h"

#include "Dialogs.h"
#include "Printer.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#ifndef _WIN32
#include "PortPath.h"
#endif

namespace {

bool LogTroubleTold = false;

// The reason in the technician's words, for the errors a log file meets.
QString Reason(int error) {
    switch (error) {
    case ELOOP:
        return QStringLiteral("это символическая ссылка, а журнал через ссылки не пишется");
    case EINVAL:
    case EISDIR:
        return QStringLiteral("это не обычный файл");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав на запись");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("нет такой папки");
    case ENOSPC:
        return QStringLiteral("диск заполнен");
    case EROFS:
        return QStringLiteral("файловая система только для чтения");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

bool KeepLogInStateFolder(QString& error) {
    QString folder;
#ifdef _WIN32
    // The user's own folder for programs' data: never the installation folder, which a user may
    // not write to.
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty()) {
        error = QStringLiteral("не задан LOCALAPPDATA");
        return false;
    }
    folder = QDir::toNativeSeparators(local + QStringLiteral("/TR7042K"));
#else
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (state && state[0] == '/')
        folder = QString::fromLocal8Bit(state) + QStringLiteral("/tr7042k");
    else if (home && home[0] == '/')
        folder = QString::fromLocal8Bit(home) + QStringLiteral("/.local/state/tr7042k");
    else {
        error = QStringLiteral("не задан HOME");
        return false;
    }
#endif
    const QByteArray path = QFile::encodeName(folder);
    if (!PrinterSetLogFolder(path.constData())) {
        error = folder + QStringLiteral(": слишком длинный путь");
        return false;
    }
    // A folder that cannot be made keeps the log there all the same: the first exchange's
    // message then names it, rather than records landing wherever the launcher stood.
#ifdef _WIN32
    if (!QDir().mkpath(folder)) {
        error = folder + QStringLiteral(": папку не удалось создать");
        return false;
    }
#else
    int why = 0;
    if (!PortMakeFolders(path.constData(), &why)) {
        error = folder + QStringLiteral(": ") + Reason(why);
        return false;
    }
#endif
    return true;
}

QString ExchangeLogPath() {
    return QFileInfo(QFile::decodeName(PrinterLogFile())).absoluteFilePath();
}

void ResetLogTrouble() {
    LogTroubleTold = false;
}

void ReportLogTrouble() {
    const int error = PrinterLogError();
    if (!error || LogTroubleTold) return;
    LogTroubleTold = true;
    ShowMessage(QStringLiteral("Журнал обмена не записывается: %1: %2.\nОбмен с принтером "
                               "продолжается, но его записей в журнале не будет.")
                    .arg(ExchangeLogPath(), Reason(error)));
}
