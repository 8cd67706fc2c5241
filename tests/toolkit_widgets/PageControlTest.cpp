// The multi-row page control: every caption visible in rows that do not overlap, pages below the
// bar, clicks, keys and screen readers that select pages, and a disabled control that ignores
// them.

#include "PageControl.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const char* const kCaptions[] = {
    "Тест РРО",
    "Индикаторы клиента",
    "Денежный ящик, внос-вынос, обнуление артикулов",
    "Общая информация",
    "Дополнительные функции",
    "О программе",
    "Обрезка чека и звуковой сигнал",
    "Пароли",
};

struct Control {
    QWidget window;
    TPageControl* pages;
    Control(int width = 521, int height = 401) {
        QFont f = window.font();
        f.setPointSize(8);
        window.setFont(f);
        window.resize(width + 16, height + 30);
        pages = new TPageControl(&window);
        pages->setGeometry(8, 0, width, height);
        for (const char* c : kCaptions) {
            auto* page = new QWidget;
            new QLabel(QString::fromUtf8(c), page);
            pages->addTab(page, QString()); // captions come later, as in generated form code
        }
        for (int i = 0; i < pages->count(); ++i)
            pages->setTabText(i, QString::fromUtf8(kCaptions[i]));
        window.show();
        QCoreApplication::processEvents();
    }
};

void expectRowsSound(const TPageControl& pc) {
    const QRect bar(0, 0, pc.width(), pc.barHeight());
    const QFontMetrics fm(pc.font());
    for (int i = 0; i < pc.count(); ++i) {
        const QRect r = pc.tabRect(i);
        SCOPED_TRACE(pc.tabText(i).toStdString());
        EXPECT_TRUE(bar.contains(r)) << "tab outside the bar";
        EXPECT_GE(r.width(), fm.horizontalAdvance(pc.tabText(i))) << "caption cut";
        EXPECT_GE(r.height(), fm.height());
        for (int j = i + 1; j < pc.count(); ++j)
            EXPECT_FALSE(r.intersects(pc.tabRect(j))) << "overlaps " << pc.tabText(j).toStdString();
    }
}

} // namespace

TEST(PageControl, AllCaptionsShowInSeveralRowsWithoutOverlap) {
    Control c;
    TPageControl& pc = *c.pages;
    ASSERT_EQ(pc.count(), 8);
    EXPECT_GT(pc.rowCount(), 1);
    EXPECT_LE(pc.rowCount(), 3) << "more rows than the designed pages leave room for";
    expectRowsSound(pc);

    // Each row is filled to the full width, as the old control drew them, and pages keep their
    // order: row numbers never decrease along the pages.
    for (int row = 0; row < pc.rowCount(); ++row) {
        int left = pc.width(), right = 0;
        for (int i = 0; i < pc.count(); ++i)
            if (pc.tabRow(i) == row) {
                left = qMin(left, pc.tabRect(i).left());
                right = qMax(right, pc.tabRect(i).right() + 1);
            }
        EXPECT_EQ(left, 0) << "row " << row;
        EXPECT_EQ(right, pc.width()) << "row " << row;
    }
    for (int i = 1; i < pc.count(); ++i)
        EXPECT_GE(pc.tabRow(i), pc.tabRow(i - 1));
}

TEST(PageControl, PagesLieBelowTheBarAndHoldTheDesignedClientArea) {
    Control c;
    TPageControl& pc = *c.pages;
    for (int i = 0; i < pc.count(); ++i) {
        pc.setCurrentIndex(i);
        QCoreApplication::processEvents();
        QWidget* page = pc.widget(i);
        const QPoint topLeft = page->mapTo(&pc, QPoint(0, 0));
        EXPECT_GE(topLeft.y(), pc.barHeight());
        EXPECT_TRUE(pc.rect().contains(QRect(topLeft, page->size())));
        // The pages' controls are placed down to 340 pixels and across 513 pixels.
        EXPECT_GE(page->height(), 340);
        EXPECT_GE(page->width(), 513);
    }
}

TEST(PageControl, ClickOnATabSelectsItsPage) {
    Control c;
    TPageControl& pc = *c.pages;
    QSignalSpy changed(&pc, &QTabWidget::currentChanged);
    ASSERT_EQ(pc.currentIndex(), 0);
    for (int i : {6, 2, 7, 0}) {
        QWidget* bar = pc.childAt(pc.tabRect(i).center());
        ASSERT_NE(bar, nullptr);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->mapFrom(&pc, pc.tabRect(i).center()));
        EXPECT_EQ(pc.currentIndex(), i);
        ASSERT_FALSE(changed.isEmpty());
        EXPECT_EQ(changed.takeLast().at(0).toInt(), i);
        EXPECT_TRUE(pc.widget(i)->isVisible());
    }
    // A click on the selected tab changes nothing.
    const QPoint at = pc.tabRect(0).center();
    QWidget* bar = pc.childAt(at);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->mapFrom(&pc, at));
    EXPECT_TRUE(changed.isEmpty());
}

TEST(PageControl, TellsTheUsersPageChangesFromTheProgramsOwn) {
    Control c;
    TPageControl& pc = *c.pages;
    QSignalSpy byUser(&pc, &TPageControl::pageChangedByUser);
    QSignalSpy any(&pc, &QTabWidget::currentChanged);

    pc.setCurrentIndex(5); // the program's own choice
    EXPECT_EQ(any.count(), 1);
    EXPECT_TRUE(byUser.isEmpty());

    const QPoint at = pc.tabRect(2).center();
    QWidget* bar = pc.childAt(at);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->mapFrom(&pc, at));
    ASSERT_EQ(byUser.count(), 1);
    EXPECT_EQ(byUser.takeFirst().at(0).toInt(), 2);

    // Ctrl+Tab moves to the next page: also the user's change.
    pc.widget(2)->setFocus();
    QTest::keyClick(&pc, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pc.currentIndex(), 3);
    ASSERT_EQ(byUser.count(), 1);
    EXPECT_EQ(byUser.takeFirst().at(0).toInt(), 3);

    // A click on the page already shown is no change.
    const QPoint same = pc.tabRect(3).center();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->mapFrom(&pc, same));
    EXPECT_TRUE(byUser.isEmpty());
}

TEST(PageControl, DisabledControlIgnoresClicks) {
    Control c;
    TPageControl& pc = *c.pages;
    pc.setEnabled(false);
    QSignalSpy changed(&pc, &QTabWidget::currentChanged);
    const QPoint at = pc.tabRect(4).center();
    QWidget* bar = pc.childAt(at);
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->mapFrom(&pc, at));
    EXPECT_EQ(pc.currentIndex(), 0);
    EXPECT_TRUE(changed.isEmpty());

    // The tabs are drawn greyed: the caption pixels of a disabled tab differ from an enabled one.
    const QImage off = bar->grab(pc.tabRect(4).translated(-bar->pos())).toImage();
    pc.setEnabled(true);
    QCoreApplication::processEvents();
    const QImage on = bar->grab(pc.tabRect(4).translated(-bar->pos())).toImage();
    EXPECT_NE(off, on);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->mapFrom(&pc, at));
    EXPECT_EQ(pc.currentIndex(), 4);
}

TEST(PageControl, RowsFollowCaptionsAndWidth) {
    Control c;
    TPageControl& pc = *c.pages;
    const int rows = pc.rowCount();
    const int pageTop = pc.widget(0)->mapTo(&pc, QPoint(0, 0)).y();

    // Narrower control: more rows, and the pages move down with the bar.
    pc.resize(330, pc.height());
    QCoreApplication::processEvents();
    EXPECT_GT(pc.rowCount(), rows);
    expectRowsSound(pc);
    EXPECT_GT(pc.widget(0)->mapTo(&pc, QPoint(0, 0)).y(), pageTop);

    // A longer caption set in code re-lays the rows at once.
    pc.resize(521, pc.height());
    QCoreApplication::processEvents();
    EXPECT_EQ(pc.rowCount(), rows);
    pc.setTabText(7, QString(40, QLatin1Char('W')));
    QCoreApplication::processEvents();
    expectRowsSound(pc);
    EXPECT_EQ(pc.tabText(7), QString(40, QLatin1Char('W')));

    // A caption changed through a plain QTabWidget pointer is laid out once the bar repaints.
    QTabWidget* plain = &pc;
    plain->setTabText(1, QString(30, QLatin1Char('W')));
    pc.repaint();
    QCoreApplication::processEvents();
    expectRowsSound(pc);

    // A caption wider than the whole control keeps its tab inside the bar.
    pc.setTabText(7, QString(80, QLatin1Char('W')));
    QCoreApplication::processEvents();
    EXPECT_TRUE(QRect(0, 0, pc.width(), pc.barHeight()).contains(pc.tabRect(7)));
}

TEST(PageControl, KeepsWorkingAsATabWidget) {
    Control c;
    TPageControl& pc = *c.pages;
    QWidget* page = pc.widget(3);
    pc.setCurrentWidget(page);
    EXPECT_EQ(pc.currentIndex(), 3);
    EXPECT_EQ(pc.indexOf(page), 3);
    EXPECT_EQ(pc.tabAt(pc.tabRect(3).center()), 3);
    EXPECT_EQ(pc.tabAt(QPoint(-5, -5)), -1);
    // The single-row tab bar of QTabWidget stays hidden.
    EXPECT_FALSE(pc.tabBar()->isVisible());
}

TEST(PageControl, ArrowsOnTheFocusedBarAndScreenReadersSelectPagesAsAClickDoes) {
    Control c;
    TPageControl& pc = *c.pages;
    auto* elsewhere = new QLineEdit(&c.window);
    elsewhere->setGeometry(8, 405, 60, 20);
    elsewhere->show();
    c.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&c.window));
    pc.setTabEnabled(2, false);
    QSignalSpy byUser(&pc, &TPageControl::pageChangedByUser);
    QWidget* bar = pc.focusProxy();
    ASSERT_NE(bar, nullptr);

    // Keys on the bar: the arrows stop at the ends and skip a disabled page; the page keys wrap.
    elsewhere->setFocus();
    QTest::keyClick(elsewhere, Qt::Key_Tab);
    ASSERT_TRUE(bar->hasFocus()) << "the bar is a stop of the Tab key";
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        int page;
    } steps[] = {{Qt::Key_Right, {}, 1}, {Qt::Key_Right, {}, 3},
                 {Qt::Key_Left, {}, 1},  {Qt::Key_Left, {}, 0},
                 {Qt::Key_Left, {}, 0},  {Qt::Key_PageUp, Qt::ControlModifier, 7},
                 {Qt::Key_Right, {}, 7}, {Qt::Key_Tab, Qt::ControlModifier, 0}};
    int changes = 0;
    for (const auto& s : steps) {
        const int before = pc.currentIndex();
        QTest::keyClick(bar, Qt::Key(s.key), s.mods);
        EXPECT_EQ(pc.currentIndex(), s.page) << "key " << s.key << " from " << before;
        if (s.page != before) {
            ASSERT_EQ(byUser.count(), ++changes);
            EXPECT_EQ(byUser.last().at(0).toInt(), s.page);
        }
    }
    EXPECT_EQ(byUser.count(), changes) << "no signal where the page stayed";

    // The selected tab shows the focus frame while the bar has the keyboard focus.
    const QRect tab = pc.tabRect(0).translated(-bar->pos());
    const QImage focused = bar->grab(tab).toImage();
    elsewhere->setFocus(Qt::TabFocusReason);
    EXPECT_NE(bar->grab(tab).toImage(), focused);

    // What a screen reader sees: a list of named tabs, the shown one selected; pressing a tab
    // selects its page as a click does.
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(bar);
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->role(), QAccessible::PageTabList);
    ASSERT_EQ(tabs->childCount(), 8);
    EXPECT_EQ(tabs->text(QAccessible::Name), QString::fromUtf8(kCaptions[0]));
    for (int i = 0; i < 8; ++i) {
        QAccessibleInterface* t = tabs->child(i);
        EXPECT_EQ(t->role(), QAccessible::PageTab);
        EXPECT_EQ(t->text(QAccessible::Name), QString::fromUtf8(kCaptions[i]));
        EXPECT_EQ(t->state().selected, i == 0);
        EXPECT_EQ(t->state().disabled, i == 2);
        EXPECT_EQ(tabs->indexOfChild(t), i);
        EXPECT_TRUE(t->rect().contains(pc.mapToGlobal(pc.tabRect(i).center())));
    }
    tabs->child(4)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pc.currentIndex(), 4);
    EXPECT_EQ(byUser.last().at(0).toInt(), 4);
    EXPECT_TRUE(tabs->child(4)->state().selected);
    tabs->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pc.currentIndex(), 4) << "a disabled tab cannot be pressed";

    // A disabled control turns no page, whatever asks.
    pc.setEnabled(false);
    const int count = byUser.count();
    tabs->child(5)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTest::keyClick(elsewhere, Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(elsewhere, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pc.currentIndex(), 4);
    EXPECT_EQ(byUser.count(), count);
}
