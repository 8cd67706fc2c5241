#pragma once

#include <QMetaObject>

#include <functional>

class QWidget;

// The exit event of a control: the keyboard focus leaves the control (itself or any control
// inside it, such as the items of a radio group) for another control of the same window, by the
// Tab key, a shortcut or a click.
//
// Focus that moves between the control's own parts is no exit, and neither is focus that goes to
// another window (a message box, a dialog, another program): the window's current control stays
// the same then, and the exit comes when the focus later moves on inside the window.
//
// `exit` runs after the focus has moved. The connection ends when the control is destroyed.
QMetaObject::Connection ConnectFocusExit(QWidget* control, std::function<void()> exit);
