#pragma once

#include <QMetaObject>

#include <functional>

class QWidget;

// The enter and exit events of a control: the keyboard focus moving into the control (itself or
// any control inside it, such as the items of a radio group or the controls of a page) from
// another control of the same window, or leaving it for another control of the same window, by
// the Tab key, a shortcut, a click or a page change.
//
// Focus that moves between the control's own parts is neither, and neither is focus that goes
// to another window (a message box, a dialog, another program) or comes back from one: the
// window's current control stays the same then, and the exit comes when the focus later moves
// on inside the window.
//
// `enter` and `exit` run after the focus has moved. The connection ends when the control is
// destroyed.
QMetaObject::Connection ConnectFocusEnter(QWidget* control, std::function<void()> enter);
QMetaObject::Connection ConnectFocusExit(QWidget* control, std::function<void()> exit);
