#include "Application.h"

#include "Accessible.h"
#include "Dialogs.h"

#include <QFont>
#include <QFontDatabase>

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Before any window exists: a screen reader that is already running asks for the controls'
    // accessible interfaces as soon as they are made.
    InstallAccessibleInterfaces();
#ifdef _WIN32
    // The windows' texts in the workstation's own interface font, at the size the forms ask
    // for. The dialog font Qt starts from ("MS Shell Dlg 2") may lead to an old bitmap font
    // that has no Cyrillic and that a line edit does not draw at all.
    const QStringList families = QFontDatabase::families();
    for (const char* family : {"Segoe UI", "Tahoma", "Liberation Sans", "Arial"}) {
        if (!families.contains(QLatin1String(family))) continue;
        QFont font = QApplication::font();
        font.setFamilies({QLatin1String(family)});
        QApplication::setFont(font);
        break;
    }
#endif
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowEscapedException();
    }
    return false;
}

void ShowEscapedException() {
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowException(QStringLiteral("Неизвестная ошибка"));
    }
}

bool IsFormActivation(const QEvent* event, bool& activated, bool rearmOnHide) {
    if (rearmOnHide && event->type() == QEvent::Hide) activated = false;
    if (event->type() != QEvent::WindowActivate || activated) return false;
    activated = true;
    return true;
}
