#pragma once

#include "Dialogs.h"
#include "Mainform.h"
#include "Pump.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>

#include <memory>
#include <string>

// Records the text of every message box and exception box instead of showing it, every yes/no
// question (answered with Answer), and the blocking waits instead of spending them, for as long
// as it lives.
class MessageRecorder {
public:
    MessageRecorder() {
        SetMessageSink([this](const QString& text) { Texts << text; });
        SetQuestionAnswerer([this](const QString& text) {
            Questions << text;
            return Answer;
        });
        SetSleepFunction([this](int milliseconds) { Sleeps.push_back(milliseconds); });
    }
    ~MessageRecorder() {
        SetMessageSink({});
        SetQuestionAnswerer({});
        SetSleepFunction({});
    }
    QStringList Texts;
    QStringList Questions;
    bool Answer = false;
    std::vector<int> Sleeps;
};

// The control of a window by its designed name; fails the test when it is missing.
template <class Control> Control* Find(const QWidget& window, const char* name) {
    Control* control = window.findChild<Control*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << "no control " << name;
    return control;
}

// Shows a window and waits until it is the active one, so that it takes the focus.
inline bool ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    QDeadlineTimer deadline(5000);
    while (!window.isActiveWindow() && !deadline.hasExpired())
        QCoreApplication::processEvents();
    return window.isActiveWindow();
}

// Runs `act` from inside the application's message loop, as a click does, and waits for the loop
// to end; true when it ended by the application being asked to quit (the main window closing,
// the program ending by itself), false when `act` returned and the loop ended after it. Nothing
// scheduled here outlives the call.
inline bool QuitsApplication(const std::function<void()>& act) {
    QObject scope;
    bool returned = false;
    QTimer::singleShot(0, &scope, [&] {
        act();
        returned = true;
        QTimer::singleShot(0, &scope, [] { QCoreApplication::exit(1); });
    });
    return QCoreApplication::exec() == 0 && returned;
}

// Delivers a click (or a double click) to a control of a shown window the way the desktop does:
// queued, to be handled at the next pump. A double click's second click is thus handled at the
// pump of the handler its first click runs.
inline void PostClick(QWidget* control, bool twice = false) {
    QWidget* top = control->window();
    top->show();
    QWindow* window = top->windowHandle();
    const QPointF at = control->mapTo(top, control->rect().center());
    const QPointF global = control->mapToGlobal(control->rect().center());
    const auto post = [&](QEvent::Type type, Qt::MouseButtons buttons) {
        QCoreApplication::postEvent(
            window, new QMouseEvent(type, at, at, global, Qt::LeftButton, buttons, Qt::NoModifier));
    };
    post(QEvent::MouseButtonPress, Qt::LeftButton);
    post(QEvent::MouseButtonRelease, Qt::NoButton);
    if (!twice) return;
    post(QEvent::MouseButtonPress, Qt::LeftButton);
    post(QEvent::MouseButtonDblClick, Qt::LeftButton);
    post(QEvent::MouseButtonRelease, Qt::NoButton);
}

// A fresh main window, installed as Form1, with messages recorded.
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        Window = std::make_unique<TForm1>();
        Form1 = Window.get();
    }
    void TearDown() override { Window.reset(); }

    template <class Control> Control* Get(const char* name) { return Find<Control>(*Window, name); }

    MessageRecorder Messages;
    std::unique_ptr<TForm1> Window;
};

// Gives the text as QString for comparisons with UTF-8 literals.
inline QString U(const char* text) {
    return QString::fromUtf8(text);
}

// gtest prints QStrings readably.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << text.toStdString();
}
