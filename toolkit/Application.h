#pragma once

#include <QApplication>

#include <utility>

// The console's application object. An exception that escapes an event handler is shown in the
// exception box (its text and an OK button), and the message loop goes on.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an exception that escaped a handler in the exception box and returns; used where a
// handler is called from a signal, so the exception never unwinds through the toolkit's frames.
void ShowEscapedException();

// Whether this event raises a window's FormActivate: the window becoming active after it was
// shown, not again when a message box closing over it hands the focus back. `activated`
// remembers that the handler ran; with rearmOnHide it is forgotten when the window is hidden,
// so every showing runs the handler once, otherwise it runs once in the window's life.
bool IsFormActivation(const QEvent* event, bool& activated, bool rearmOnHide);

// Runs one event handler; an exception it throws ends up in the exception box.
template <class Handler> void RunHandler(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowEscapedException();
    }
}

// Connects a control's signal to a window's handler named by control and event
// (Button2Click, ComboBox7Change, ...). The handler receives the control as its sender; the
// signal's own arguments are not passed on. An exception from the handler goes to the
// exception box.
template <class Control, class Signal, class Window>
QMetaObject::Connection ConnectHandler(Control* sender, Signal signal, Window* window,
                                       void (Window::*handler)(QObject*)) {
    return QObject::connect(sender, signal, window, [sender, window, handler] {
        RunHandler([&] { (window->*handler)(sender); });
    });
}
