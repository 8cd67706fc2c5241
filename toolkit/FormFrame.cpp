#include "FormFrame.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void SetFixedToolFrame(QWidget* window, int clientWidth, int clientHeight) {
    // An ordinary window type (not Qt::Tool) keeps a taskbar entry, so a minimised window can be
    // brought back; the hints strip the caption bar down to the title and the minimise button.
    Qt::WindowFlags flags = window->windowFlags() & Qt::WindowType_Mask;
    if (flags != Qt::Dialog) flags = Qt::Window;
    window->setWindowFlags(flags | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowMinimizeButtonHint);
    window->setFixedSize(clientWidth, clientHeight);
}

void CenterOnDesktop(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}
