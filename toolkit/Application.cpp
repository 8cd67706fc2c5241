#include "Application.h"

#include "Accessible.h"
#include "Dialogs.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Before any window exists: a screen reader that is already running asks for the controls'
    // accessible interfaces as soon as they are made.
    InstallAccessibleInterfaces();
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
