#pragma once

#include <QDateEdit>

// Date field with a calendar button. Dates are picked in the calendar only: typed digits,
// deleting, the arrow and page keys, the mouse wheel and the context menu's steps change
// nothing. The calendar opens with a click on the button, with Alt+Down or with F4, and closes
// on a date (click, or Enter after moving with the arrows) or on Esc. Tab leaves the field
// (there are no parts of the date to move between when nothing is typed).
class TDateEdit : public QDateEdit {
    Q_OBJECT

public:
    explicit TDateEdit(QWidget* parent = nullptr);

    // Opens the calendar below the field (above when there is no room), as its button does.
    void showCalendar();

    // The line that shows the date.
    QLineEdit* editor() const { return lineEdit(); }

protected:
    StepEnabled stepEnabled() const override { return StepNone; }
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
    void keyPressEvent(QKeyEvent* event) override;
};
