// The windows used from the keyboard and by screen readers: page keys from every control, a
// Tab order that visits every control of a page once in reading order, and a name for every
// control of the three windows and of the message boxes.

#include "DeviceFixture.h"
#include "Status.h"
#include "Switches.h"

#include "DateEdit.h"
#include "PageControl.h"

#include <QAccessible>
#include <QApplication>
#include <QCalendarWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <vector>

namespace {

// Controls the keyboard reaches: focusable by Tab and not handing the focus to another widget.
bool TakesTabFocus(const QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy();
}

// Tab stops once in a group of radio buttons: on the checked one, or on the first when none is;
// the arrows move within the group.
bool IsTabStop(const QWidget* w) {
    auto* radio = qobject_cast<const QRadioButton*>(w);
    if (!radio || !radio->autoExclusive()) return true;
    const auto group =
        radio->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
    for (const QRadioButton* other : group)
        if (other->isChecked()) return other == radio;
    return group.first() == radio;
}

std::vector<QWidget*> Controls(const QWidget& window) {
    std::vector<QWidget*> controls;
    for (QWidget* w : window.findChildren<QWidget*>())
        if (w->window() == &window && TakesTabFocus(w)) controls.push_back(w);
    return controls;
}

QString NameOf(const QObject* w) {
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

QString Names(const std::vector<QWidget*>& list) {
    QStringList names;
    for (const QWidget* w : list)
        names << NameOf(w);
    return names.join(QLatin1Char(' '));
}

QString AccessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name) : QString();
}

QGroupBox* GroupOf(const QWidget* w) {
    for (QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (auto* group = qobject_cast<QGroupBox*>(p)) return group;
    return nullptr;
}

// Reading order with the group's buttons after its fields: groups are visited one at a time
// and never re-entered; inside a group a field never follows a button, and controls of one kind
// go row by row from the top, left to right within a row.
void ExpectReadingOrder(const std::vector<QWidget*>& order) {
    std::vector<const QGroupBox*> left;
    for (std::size_t i = 1; i < order.size(); ++i) {
        const QWidget* a = order[i - 1];
        const QWidget* b = order[i];
        const QString pair = NameOf(a) + QLatin1String(" -> ") + NameOf(b);
        if (GroupOf(a) != GroupOf(b)) {
            left.push_back(GroupOf(a));
            EXPECT_EQ(std::count(left.begin(), left.end(), GroupOf(b)), 0)
                << "group entered twice: " << pair.toStdString();
            continue;
        }
        const bool aButton = qobject_cast<const QPushButton*>(a);
        const bool bButton = qobject_cast<const QPushButton*>(b);
        EXPECT_FALSE(aButton && !bButton) << "field after the button: " << pair.toStdString();
        if (aButton != bButton) continue;
        const QRect ra(a->mapTo(a->window(), QPoint()), a->size());
        const QRect rb(b->mapTo(b->window(), QPoint()), b->size());
        const bool sameRow = qAbs(ra.center().y() - rb.center().y()) < 8;
        EXPECT_TRUE(sameRow ? rb.left() > ra.left() : rb.center().y() > ra.center().y())
            << "against reading order: " << pair.toStdString();
    }
}

class KeyboardAccess : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        Pages = Get<TPageControl>("PageControl1");
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        // The periodic report by date shows its date fields.
        for (const char* name : {"Label38", "Label39", "DateEdit1", "DateEdit2"}) {
            Get<QWidget>(name)->setVisible(true);
            Get<QWidget>(name)->setEnabled(true);
        }
    }

    // The controls Tab visits from the focused one until the focus is back, in order.
    static std::vector<QWidget*> TabCycle(Qt::Key key) {
        std::vector<QWidget*> seen;
        QWidget* start = QApplication::focusWidget();
        for (int guard = 0; guard < 80; ++guard) {
            QTest::keyClick(QApplication::focusWidget(), key);
            if (QApplication::focusWidget() == start) break;
            seen.push_back(QApplication::focusWidget());
        }
        return seen;
    }

    TPageControl* Pages = nullptr;
};

TEST_F(KeyboardAccess, PageKeysTurnPagesFromEveryControlLikeAClick) {
    QSignalSpy byUser(Pages, &TPageControl::pageChangedByUser);
    for (int page = 0; page < Pages->count(); ++page) {
        Pages->setCurrentIndex(page);
        std::vector<QWidget*> targets{Pages->focusProxy(), Get<QWidget>("Button2")};
        for (QWidget* w : Controls(*Window))
            if (Pages->widget(page)->isAncestorOf(w) && w->isVisible() && w->isEnabled())
                targets.push_back(w);
        for (QWidget* target : targets) {
            SCOPED_TRACE(NameOf(target).toStdString());
            Pages->setCurrentIndex(page);
            target->setFocus(Qt::OtherFocusReason);
            byUser.clear();
            const int next = (page + 1) % Pages->count();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
            ASSERT_EQ(Pages->currentIndex(), next);
            // The focus stays on a control (a page whose controls are all disabled gives it to
            // the tabs), so the next key and a screen reader find it.
            EXPECT_TRUE(TakesTabFocus(QApplication::focusWidget()))
                << NameOf(QApplication::focusWidget()).toStdString();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab,
                            Qt::ControlModifier | Qt::ShiftModifier);
            EXPECT_EQ(Pages->currentIndex(), page);
            // Each key is one change by the user, as a click on the tab would be.
            ASSERT_EQ(byUser.count(), 4);
            EXPECT_EQ(byUser.at(0).at(0).toInt(), next);
            EXPECT_EQ(byUser.at(3).at(0).toInt(), page);
        }
    }
    // A page turned by a key runs that page's handler as a click does: the information page
    // asks the device for its numbers and state.
    Pages->setCurrentWidget(Get<QWidget>("TabSheet3"));
    Printer.ClearRequests();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
    std::vector<int> commands;
    for (const auto& request : Received())
        commands.push_back(request.first);
    EXPECT_EQ(commands, (std::vector<int>{0x5A, 0x63, 0x61}));
    EXPECT_FALSE(Get<QLineEdit>("Edit12")->text().isEmpty());

    // Disconnected, the pages stay as they are.
    Window->Button2Click(nullptr);
    byUser.clear();
    const int shown = Pages->currentIndex();
    Get<QWidget>("Button2")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(Pages->currentIndex(), shown);
    EXPECT_TRUE(byUser.isEmpty());
}

TEST_F(KeyboardAccess, TabVisitsEveryControlOfThePageOnceInReadingOrder) {
    for (int page = 0; page < Pages->count(); ++page) {
        SCOPED_TRACE(Pages->tabText(page).toStdString());
        Pages->setCurrentIndex(page);
        Pages->setFocus(Qt::TabFocusReason);
        std::vector<QWidget*> pageControls, strip;
        for (QWidget* w : Controls(*Window))
            if (w->isVisible() && w->isEnabled() && IsTabStop(w) && w != Pages->focusProxy())
                (Pages->isAncestorOf(w) ? pageControls : strip).push_back(w);

        const std::vector<QWidget*> forward = TabCycle(Qt::Key_Tab);
        // The page's controls, then the strip below the pages, then the tabs again.
        ASSERT_EQ(forward.size(), pageControls.size() + strip.size())
            << Names(forward).toStdString();
        const std::vector<QWidget*> onPage(forward.begin(), forward.begin() + pageControls.size());
        EXPECT_TRUE(std::is_permutation(onPage.begin(), onPage.end(), pageControls.begin()))
            << Names(forward).toStdString();
        EXPECT_EQ(Names({forward.end() - strip.size(), forward.end()}),
                  QStringLiteral("Button2 Button1"));
        if (page > 0) ExpectReadingOrder(onPage); // the first page's order is the designed one

        std::vector<QWidget*> backward = TabCycle(Qt::Key_Backtab);
        std::reverse(backward.begin(), backward.end());
        EXPECT_EQ(backward, forward);
    }
    // The check windows.
    TForm2 switches;
    TForm4 state;
    for (QWidget* window : std::initializer_list<QWidget*>{&switches, &state}) {
        std::vector<QWidget*> order;
        QWidget* w = window;
        while ((w = w->nextInFocusChain()) != window)
            if (TakesTabFocus(w)) order.push_back(w);
        EXPECT_EQ(order.size(), Controls(*window).size());
        ExpectReadingOrder(order);
    }
}

TEST_F(KeyboardAccess, EveryControlOfTheWindowsAndBoxesHasAName) {
    Get<QComboBox>("ComboBox8")->setCurrentIndex(0);
    TForm2 switches;
    TForm4 state;
    for (QWidget* window : std::initializer_list<QWidget*>{Window.get(), &switches, &state}) {
        for (QWidget* w : Controls(*window))
            EXPECT_FALSE(AccessibleName(w).trimmed().isEmpty()) << NameOf(w).toStdString();
        // A label names the control it stands for, without its colon.
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->buddy()) {
                EXPECT_EQ(AccessibleName(label->buddy()),
                          label->text().remove(QLatin1Char(':')).trimmed());
            }
    }
    // Lists say what they choose, whatever entry they show; nested groups give their own title.
    EXPECT_EQ(AccessibleName(Get<QWidget>("Edit21")), U("Пароль кассира"));
    EXPECT_EQ(AccessibleName(Get<QWidget>("ComboBox8")), U("Кассир"));
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(Get<QWidget>("ComboBox8"))->text(QAccessible::Value),
        U("Оператор 1"));
    EXPECT_EQ(AccessibleName(Get<QWidget>("ComboBox10")), U("Отчеты"));
    EXPECT_EQ(AccessibleName(Get<QWidget>("RadioGroup3")), U("Тип отчета"));
    EXPECT_EQ(AccessibleName(Get<QWidget>("Memo1")), U("О программе"));
    // A caption the program changes is read as changed.
    EXPECT_EQ(AccessibleName(Get<QWidget>("Button2")), U("Отключить"));
    // A date field reads the date it shows (not a number), and its action opens the calendar.
    auto* date = Get<TDateEdit>("DateEdit1");
    Pages->setCurrentIndex(4);
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(date);
    ASSERT_NE(field->textInterface(), nullptr);
    EXPECT_EQ(field->textInterface()->text(0, field->textInterface()->characterCount()),
              date->text());
    EXPECT_EQ(field->valueInterface(), nullptr);
    field->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    EXPECT_TRUE(date->calendarWidget()->isVisible());
    date->calendarWidget()->window()->close();
    // The page tabs are named by their captions.
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(Pages->focusProxy());
    ASSERT_EQ(tabs->childCount(), Pages->count());
    for (int i = 0; i < tabs->childCount(); ++i)
        EXPECT_EQ(tabs->child(i)->text(QAccessible::Name), Pages->tabText(i));

    // A message box: its caption, its text and its button.
    SetMessageSink({});
    QStringList boxNames;
    QObject scope;
    QTimer::singleShot(0, &scope, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        boxNames << AccessibleName(box) << box->accessibleDescription();
        for (QWidget* w : Controls(*box))
            boxNames << AccessibleName(w);
        for (QLabel* label : box->findChildren<QLabel*>())
            if (label->isVisible() && !label->text().isEmpty()) boxNames << AccessibleName(label);
        box->accept();
    });
    ShowMessage(U("Нет открытых чеков"));
    SetMessageSink([this](const QString& text) { Messages.Texts << text; });
    ASSERT_GE(boxNames.size(), 4);
    EXPECT_EQ(boxNames[0], QStringLiteral("TR7042K"));
    EXPECT_EQ(boxNames[1], U("Нет открытых чеков"));
    EXPECT_TRUE(boxNames.contains(U("Нет открытых чеков")));
    EXPECT_FALSE(boxNames.contains(QString())) << boxNames.join('|').toStdString();
}

TEST_F(KeyboardAccess, AdministratorPasswordShowsStars) {
    auto* password = Get<QLineEdit>("Edit24");
    Pages->setCurrentIndex(7);
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral("5917"));
    EXPECT_EQ(password->text(), QStringLiteral("5917"));
    EXPECT_EQ(password->displayText(), QStringLiteral("****"));
}

} // namespace
