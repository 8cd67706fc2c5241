#include "DateEdit.h"

#include <QKeyEvent>
#include <QLocale>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

TDateEdit::TDateEdit(QWidget* parent) : QDateEdit(parent) {
    setCalendarPopup(true);
    // Month and day names in the calendar are Russian like every text of the console, whatever
    // the desktop's language; weeks start on Monday.
    setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    // The text shows the date; nothing typed, pasted or dropped reaches it.
    lineEdit()->setReadOnly(true);
}

void TDateEdit::showCalendar() {
    if (!isEnabled() || !isVisible()) return;
    // The field opens its calendar from a press on its button; press it where the style puts it.
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = true;
    option.frame = hasFrame();
    option.subControls = QStyle::SC_All;
    const QPoint button =
        style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this)
            .center();
    QMouseEvent press(QEvent::MouseButtonPress, button, mapToGlobal(button), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    mousePressEvent(&press);
}

void TDateEdit::keyPressEvent(QKeyEvent* event) {
    const bool altDown = event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier;
    const bool f4 = event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier;
    if (altDown || f4) {
        showCalendar();
        return;
    }
    QDateEdit::keyPressEvent(event);
}
