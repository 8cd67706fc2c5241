#pragma once

#include "Dialogs.h"
#include "Mainform.h"
#include "Pump.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <QWidget>

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
