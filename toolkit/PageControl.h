#pragma once

#include <QTabWidget>
#include <QStringList>
#include <QVector>

class TPageTabRows;
class TPageControlStyle;

// Page control whose tabs wrap into as many rows as their captions need, so every page's caption
// is visible at once. It is a QTabWidget (pages are added, named, selected and reported through
// the usual QTabWidget calls and the currentChanged(int) signal); only the tab bar differs: the
// single-row QTabBar is hidden and a multi-row bar is drawn above the page area.
//
// Rows are filled in page order from the top; each row is stretched to the full width. The rows
// stay where they are when another page is selected. A disabled control greys its tabs and
// ignores clicks and keys.
//
// Keys, as in every tabbed window: Ctrl+Tab and Ctrl+PgDn turn to the next page, Ctrl+Shift+Tab
// and Ctrl+PgUp to the previous one (both wrap round), wherever the focus is in the window. The
// bar takes the focus like any control (a click or Tab); while it has it, the selected tab shows
// the focus frame and Left and Right select the neighbouring tabs. Screen readers and UI
// automation see the bar as a list of page tabs named by their captions, each with a press
// action that selects its page as a click does.
//
// currentChanged(int) follows every change of page; pageChangedByUser(int) only those the user
// made, which is what a handler that must not run for the program's own page changes wants.
class TPageControl : public QTabWidget {
    Q_OBJECT

public:
    explicit TPageControl(QWidget* parent = nullptr);
    ~TPageControl() override;

    // Hides QTabWidget::setTabText so that a caption change re-lays the rows at once.
    void setTabText(int index, const QString& text);

    // Geometry of the multi-row bar, in this widget's coordinates.
    int rowCount() const;
    int rowHeight() const;
    int barHeight() const;
    QRect tabRect(int index) const;
    int tabRow(int index) const;
    int tabAt(const QPoint& pos) const;

    QSize minimumSizeHint() const override;

signals:
    // The user chose another page, by a click on its tab, from the keyboard or through the
    // accessibility layer. Unlike currentChanged(int), it is not emitted when the program
    // selects a page.
    void pageChangedByUser(int index);

protected:
    void tabInserted(int index) override;
    void tabRemoved(int index) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class TPageTabRows;
    friend class TPageControlStyle;
    friend class TPageTabAccessible;

    void relayoutTabs();
    void selectByUser(int index);
    // Selects the nearest enabled page `step` pages away (+1 next, -1 previous) for the user;
    // with `wrap` the last page is followed by the first.
    void turnPage(int step, bool wrap);
    void tellAccessibility(int index);
    int tabWidthHint(int index) const;
    // True when a caption changed behind this class's back (through a QTabWidget pointer);
    // the rows are then laid again from the event loop.
    bool layoutStale() const;

    TPageTabRows* rows_ = nullptr;
    TPageControlStyle* style_ = nullptr;
    QVector<QRect> rects_;  // one per tab
    QVector<int> rowOf_;    // row of each tab
    QStringList laidTexts_; // captions the rows were laid for
    int rowCount_ = 1;
    bool laying_ = false;
};
