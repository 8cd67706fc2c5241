#pragma once

#include <QString>

class QWidget;

// Names for screen readers and UI automation (AT-SPI on Linux).
//
// A control is named the way a sighted user names it: by its caption, or by the label that
// stands for it. The forms link a label to its control as the label's buddy; a control without
// one takes the title of its group box, then the caption of its page, then the window's title.
// A name given in the form (accessibleName) is kept.

// Gives every control of the window that needs a name and has none the name described above.
// Buttons, check boxes, radio buttons and labels are left alone: the accessibility layer reads
// their caption as it is at the moment, so a caption the program changes is read as changed.
// The editor inside a combo box or a date field takes its owner's name. Call it once the
// window's controls exist (after setupUi). Installs the toolkit's accessible interfaces.
void GiveAccessibleNames(QWidget* window);

// The name GiveAccessibleNames gives the control: its label's text without the colon, its group
// box's title, its page's caption or its window's title; empty when nothing names it.
QString DescriptiveName(const QWidget* control);

// A caption as it is read out: without the '&' that marks a mnemonic ("&&" stays one '&').
QString WithoutMnemonic(const QString& caption);

// Makes the accessibility layer give a combo box's accessible name as its name, as it does for
// every other control (on Linux Qt gives the shown entry instead, so a list read as "COM1" would
// not say what it chooses); the entry stays its value. A date field (TDateEdit) is read as a
// drop-down field with the date as its text and an action that opens the calendar. A control
// asked for before this keeps Qt's reading: the application object installs it at start, before
// any window exists, and GiveAccessibleNames installs it for programs without one. Installing
// twice does nothing.
void InstallAccessibleInterfaces();
