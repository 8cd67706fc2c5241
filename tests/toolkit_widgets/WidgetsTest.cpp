// The circle indicator, the radio-group item index, the list selection, the painted wait and
// the date field.

#include "CircleShape.h"
#include "DateEdit.h"
#include "Pump.h"
#include "RadioGroup.h"
#include "Selection.h"

#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(Shape, StartsRedAndPaintsTheColourItHolds) {
    TShape shape;
    EXPECT_EQ(shape.brushColor(), QColor(255, 0, 0));

    shape.resize(20, 20);
    QImage red = shape.grab().toImage();
    EXPECT_EQ(QColor(red.pixel(10, 10)), QColor(255, 0, 0));

    shape.setBrushColor(QColor(0, 255, 0));
    EXPECT_EQ(shape.brushColor(), QColor(0, 255, 0));
    EXPECT_EQ(shape.property("brushColor").value<QColor>(), QColor(0, 255, 0));
    QImage green = shape.grab().toImage();
    EXPECT_EQ(QColor(green.pixel(10, 10)), QColor(0, 255, 0));
    // The outline is darker than the fill, so the indicator is visible on any background.
    EXPECT_LT(qGray(green.pixel(10, 0)), qGray(green.pixel(10, 10)));
}

TEST(Shape, ColourSetThroughThePropertyIsTheState) {
    TShape shape;
    shape.setProperty("brushColor", QColor(0, 0, 255));
    EXPECT_EQ(shape.brushColor(), QColor(0, 0, 255));
}

namespace {

// A radio group whose buttons are created out of item order, so that the object names alone
// can give the order.
struct Group {
    QGroupBox box;
    QRadioButton* items[3];
    Group() {
        box.setObjectName("RadioGroup9");
        items[2] = new QRadioButton("c", &box);
        items[2]->setObjectName("RadioGroup9_2");
        items[0] = new QRadioButton("a", &box);
        items[0]->setObjectName("RadioGroup9_0");
        items[1] = new QRadioButton("b", &box);
        items[1]->setObjectName("RadioGroup9_1");
    }
};

} // namespace

TEST(RadioGroup, ItemIndexFollowsTheItemNumbersNotTheCreationOrder) {
    Group g;
    EXPECT_EQ(RadioGroupItemIndex(&g.box), -1);
    g.items[2]->setChecked(true);
    EXPECT_EQ(RadioGroupItemIndex(&g.box), 2);
    g.items[0]->click();
    EXPECT_EQ(RadioGroupItemIndex(&g.box), 0);
    EXPECT_FALSE(g.items[2]->isChecked());
    EXPECT_EQ(RadioGroupItemIndex(nullptr), -1);
}

TEST(RadioGroup, SettingTheIndexChecksOneItemOrNone) {
    Group g;
    SetRadioGroupItemIndex(&g.box, 1);
    EXPECT_TRUE(g.items[1]->isChecked());
    EXPECT_EQ(RadioGroupItemIndex(&g.box), 1);

    SetRadioGroupItemIndex(&g.box, 2);
    EXPECT_FALSE(g.items[1]->isChecked());
    EXPECT_EQ(RadioGroupItemIndex(&g.box), 2);

    SetRadioGroupItemIndex(&g.box, -1);
    EXPECT_EQ(RadioGroupItemIndex(&g.box), -1);
    for (QRadioButton* b : g.items) {
        EXPECT_FALSE(b->isChecked());
        EXPECT_TRUE(b->autoExclusive()); // the buttons stay exclusive for the user's clicks
    }

    SetRadioGroupItemIndex(&g.box, 3); // no such item
    EXPECT_EQ(RadioGroupItemIndex(&g.box), -1);

    // After an unchecking, a click still makes the group exclusive again.
    g.items[0]->click();
    g.items[1]->click();
    EXPECT_EQ(RadioGroupItemIndex(&g.box), 1);
    EXPECT_FALSE(g.items[0]->isChecked());
}

TEST(RadioGroup, ButtonsWithoutItemNumbersCountInCreationOrder) {
    QGroupBox box;
    box.setObjectName("Plain");
    auto* first = new QRadioButton("x", &box);
    auto* second = new QRadioButton("y", &box);
    second->setChecked(true);
    EXPECT_EQ(RadioGroupItemIndex(&box), 1);
    SetRadioGroupItemIndex(&box, 0);
    EXPECT_TRUE(first->isChecked());
    EXPECT_FALSE(second->isChecked());
}

TEST(Selection, TypedTextIsNoEntry) {
    QComboBox typed;
    typed.setEditable(true);
    typed.setInsertPolicy(QComboBox::NoInsert);
    typed.addItems({"Оператор 1", "Оператор 2"});
    QComboBox list;
    list.addItems({"a", "b"});
    struct Case {
        QComboBox* box;
        int index;
        const char* typedText; // nullptr: nothing typed after the choice
        int expected;
    } cases[] = {
        {&typed, 1, nullptr, 1},       {&typed, -1, nullptr, -1},
        {&typed, 1, "Иванов", -1},     // Qt still says 1
        {&typed, 0, "Оператор 2", -1}, // another entry's text typed: not chosen from the list
        {&typed, 0, "Оператор 1", 0},  {&list, 1, nullptr, 1},
        {&list, -1, nullptr, -1},
    };
    for (const Case& c : cases) {
        c.box->setCurrentIndex(c.index);
        if (c.typedText) c.box->setEditText(QString::fromUtf8(c.typedText));
        EXPECT_EQ(SelectedItemIndex(c.box), c.expected) << (c.typedText ? c.typedText : "");
    }
}

namespace {

struct PaintCounter : QWidget {
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};

} // namespace

// User input held back during the wait comes from the window system, which offscreen tests
// cannot feed; what they can see is that the window is served while the caller waits.
TEST(BlockingSleep, KeepsTheWindowPainted) {
    PaintCounter window;
    window.resize(50, 50);
    window.show();
    QCoreApplication::processEvents();
    const int before = window.paints;
    bool timerRan = false;
    QTimer::singleShot(10, [&] {
        timerRan = true;
        window.update();
    });
    QElapsedTimer clock;
    clock.start();
    BlockingSleep(60);
    EXPECT_GE(clock.elapsed(), 55);
    EXPECT_TRUE(timerRan);
    EXPECT_GT(window.paints, before);
}

TEST(DateField, TakesNoTypedDateAndPicksOneInTheCalendar) {
    QWidget window;
    auto* field = new TDateEdit(&window);
    field->setDisplayFormat(QStringLiteral("dd.MM.yy"));
    field->setGeometry(10, 10, 90, 22);
    const QDate start(2006, 4, 10);
    field->setDate(start);
    window.resize(300, 260);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();

    // Typing, deleting, stepping, pasting and the wheel leave the date alone.
    QTest::keyClicks(field, QStringLiteral("150406"));
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp,
                        Qt::Key_PageDown})
        QTest::keyClick(field, key);
    QGuiApplication::clipboard()->setText(QStringLiteral("15.04.06"));
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QWheelEvent wheel(QPointF(20, 10), field->mapToGlobal(QPointF(20, 10)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(field, &wheel);
    EXPECT_EQ(field->date(), start);
    EXPECT_EQ(field->text(), QStringLiteral("10.04.06"));

    // Alt+Down opens the calendar; the arrows and Enter pick the next day and close it.
    QCalendarWidget* calendar = field->calendarWidget();
    ASSERT_NE(calendar, nullptr);
    QTest::keyClick(field, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(calendar->isVisible());
    EXPECT_EQ(calendar->selectedDate(), start);
    EXPECT_EQ(calendar->locale().monthName(4, QLocale::LongFormat), QStringLiteral("апреля"));
    EXPECT_EQ(calendar->firstDayOfWeek(), Qt::Monday);
    QWidget* grid = calendar->focusWidget() ? calendar->focusWidget() : calendar;
    QTest::keyClick(grid, Qt::Key_Right);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_FALSE(calendar->isVisible());
    EXPECT_EQ(field->date(), QDate(2006, 4, 11));

    // F4 opens it too; Esc closes it and keeps the date.
    QTest::keyClick(field, Qt::Key_F4);
    ASSERT_TRUE(calendar->isVisible());
    QTest::keyClick(calendar->window(), Qt::Key_Escape);
    EXPECT_FALSE(calendar->isVisible());
    EXPECT_EQ(field->date(), QDate(2006, 4, 11));

    // Tab leaves the field at once: it has no parts of the date to visit.
    auto* next = new QLineEdit(&window);
    next->setGeometry(10, 40, 90, 22);
    next->show();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
}
