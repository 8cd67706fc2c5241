#include "Places.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString FindProgram(const char* variable, const QString& name, const QString& buildFolder) {
    const QString given = qEnvironmentVariable(variable);
    if (!given.isEmpty()) return given;
    const QDir here(QCoreApplication::applicationDirPath());
    const QString file = name + QStringLiteral(TR_EXE_SUFFIX);
    for (const QString& candidate :
         {here.filePath(file), here.filePath(QStringLiteral("../%1/%2").arg(buildFolder, file))})
        if (QFileInfo(candidate).isExecutable()) return QDir::cleanPath(candidate);
    return QStandardPaths::findExecutable(name);
}

QString FindConsole() {
    return FindProgram("TR7042K_CONSOLE", QStringLiteral("tr7042k-console"), QStringLiteral("app"));
}

QString FindPortsTool() {
    return FindProgram("TR7042K_PORTS", QStringLiteral("tr7042k-ports"), QStringLiteral("ports"));
}

QString ConsoleMissing() {
    return QStringLiteral("не найдена консоль tr7042k-console (ни рядом с программой, ни в PATH; "
                          "путь к ней можно задать в TR7042K_CONSOLE)");
}

QString PortsToolMissing() {
    return QStringLiteral("не найдена программа tr7042k-ports (ни рядом с программой, ни в PATH; "
                          "путь к ней можно задать в TR7042K_PORTS)");
}

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
    if (!dir.mkpath(out)) {
        error = QStringLiteral("не удалось создать папку результатов %1").arg(out);
        return false;
    }
    if (!QFileInfo(out).isWritable()) {
        error = QStringLiteral("в папку результатов %1 нельзя писать: нет прав").arg(out);
        return false;
    }
    out = QDir(out).absolutePath();
    return true;
}
