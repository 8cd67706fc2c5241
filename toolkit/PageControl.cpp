#include "PageControl.h"

#include "Accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QShortcut>
#include <QStyleFactory>
#include <QStyleOptionFocusRect>
#include <QStyleOptionTab>
#include <QTabBar>

namespace {
constexpr int kTabPadding = 6; // blank on each side of a caption
constexpr int kBarGap = 0;     // between the last row and the page frame

// Page turning keys of tabbed windows: the step each one turns by.
struct PageKey {
    QKeySequence keys;
    int step;
};
const PageKey kPageKeys[] = {
    {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
    {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
    {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
    {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
};

// Step of a page turning key press, 0 for any other key. Ctrl+Shift+Tab arrives as Backtab.
int PageStepOf(const QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const int key = event->key() == Qt::Key_Backtab ? int(Qt::Key_Tab) : event->key();
    const QKeySequence pressed(QKeyCombination(mods, Qt::Key(key)));
    for (const PageKey& k : kPageKeys)
        if (k.keys == pressed) return k.step;
    return 0;
}
} // namespace

// Moves QTabWidget's page frame and page stack below the multi-row bar. QTabWidget asks its
// style where the bar, the frame and the pages go; this style answers with the rows' height.
class TPageControlStyle : public QProxyStyle {
public:
    TPageControlStyle(TPageControl* owner, QStyle* base) : QProxyStyle(base), owner_(owner) {}

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override {
        if (widget == owner_ && option) {
            const int bar = owner_->barHeight() + kBarGap;
            const QRect all = option->rect;
            switch (element) {
            case SE_TabWidgetTabBar:
                return {all.left(), all.top(), all.width(), bar};
            case SE_TabWidgetTabPane:
                return all.adjusted(0, bar, 0, 0);
            case SE_TabWidgetTabContents: {
                const int fw = baseStyle()->pixelMetric(PM_DefaultFrameWidth, option, widget);
                const int m = qMax(fw, 2);
                return all.adjusted(m, bar + m, -m, -m);
            }
            default:
                break;
            }
        }
        return QProxyStyle::subElementRect(element, option, widget);
    }

private:
    TPageControl* owner_;
};

// The bar itself: paints the tabs with the style's tab look and turns clicks into page changes.
class TPageTabRows : public QWidget {
public:
    explicit TPageTabRows(TPageControl* owner) : QWidget(owner), owner_(owner) {
        setAttribute(Qt::WA_NoMousePropagation);
        // A click on a tab or Tab gives the bar the focus; the arrows then move between tabs.
        setFocusPolicy(Qt::StrongFocus);
        setMouseTracking(true); // for the hover look of the tab under the pointer
    }

    TPageControl* owner() const { return owner_; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (owner_->layoutStale())
            QMetaObject::invokeMethod(
                owner_, [o = owner_] { o->relayoutTabs(); }, Qt::QueuedConnection);
        QPainter p(this);
        QStyle* s = style();
        const int current = owner_->currentIndex();
        for (int i = 0; i < owner_->count(); ++i) {
            QStyleOptionTab opt;
            opt.initFrom(this);
            opt.rect = owner_->tabRect(i).translated(-pos());
            opt.text = owner_->tabText(i);
            opt.shape = QTabBar::RoundedNorth;
            opt.row = owner_->tabRow(i);
            opt.documentMode = false;
            opt.state &= ~QStyle::State_HasFocus;
            if (!owner_->isTabEnabled(i) || !isEnabled()) opt.state &= ~QStyle::State_Enabled;
            if (i == current) opt.state |= QStyle::State_Selected;
            if (i == hovered_ && isEnabled()) opt.state |= QStyle::State_MouseOver;
            const bool firstInRow = i == 0 || owner_->tabRow(i - 1) != opt.row;
            const bool lastInRow = i == owner_->count() - 1 || owner_->tabRow(i + 1) != opt.row;
            if (firstInRow && lastInRow)
                opt.position = QStyleOptionTab::OnlyOneTab;
            else if (firstInRow)
                opt.position = QStyleOptionTab::Beginning;
            else if (lastInRow)
                opt.position = QStyleOptionTab::End;
            else
                opt.position = QStyleOptionTab::Middle;
            opt.selectedPosition = QStyleOptionTab::NotAdjacent;
            if (i - 1 == current && !firstInRow)
                opt.selectedPosition = QStyleOptionTab::PreviousIsSelected;
            else if (i + 1 == current && !lastInRow)
                opt.selectedPosition = QStyleOptionTab::NextIsSelected;
            // The style draws the tab's shape; the caption is drawn here, centred and whole, since
            // the style's own label would elide a caption in a tab cut to fit its row.
            s->drawControl(QStyle::CE_TabBarTabShape, &opt, &p, this);
            QRect textRect = opt.rect;
            if (i != current) textRect.translate(0, 1);
            s->drawItemText(&p, textRect, Qt::AlignCenter, opt.palette,
                            opt.state & QStyle::State_Enabled, opt.text, QPalette::WindowText);
            if (i == current && hasFocus()) {
                // The style shows the frame once the focus has moved by keyboard, as on buttons.
                QStyleOptionFocusRect focus;
                focus.initFrom(this);
                focus.rect = opt.rect.adjusted(3, 3, -3, -2);
                focus.backgroundColor = palette().color(QPalette::Window);
                s->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
            }
        }
    }

    void keyPressEvent(QKeyEvent* event) override {
        // Left and Right select the neighbouring tab, stopping at the first and the last.
        if (!(event->modifiers() & ~Qt::KeypadModifier)) {
            const int forward = isRightToLeft() ? Qt::Key_Left : Qt::Key_Right;
            const int back = isRightToLeft() ? Qt::Key_Right : Qt::Key_Left;
            if (event->key() == forward || event->key() == back) {
                owner_->turnPage(event->key() == forward ? 1 : -1, false);
                return;
            }
        }
        QWidget::keyPressEvent(event);
    }

    void focusInEvent(QFocusEvent* event) override {
        QWidget::focusInEvent(event);
        update();
        // A screen reader then reads the selected tab ("Пароли, page tab, 8 of 8"), not only
        // the bar: told after Qt has told of the bar's focus.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (hasFocus()) owner_->tellAccessibility(owner_->currentIndex());
            },
            Qt::QueuedConnection);
    }

    void focusOutEvent(QFocusEvent* event) override {
        QWidget::focusOutEvent(event);
        update();
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            event->ignore();
            return;
        }
        const int i = owner_->tabAt(event->position().toPoint() + pos());
        if (i >= 0 && owner_->isTabEnabled(i)) owner_->selectByUser(i);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        setHovered(owner_->tabAt(event->position().toPoint() + pos()));
    }

    void leaveEvent(QEvent*) override { setHovered(-1); }

private:
    void setHovered(int index) {
        if (index == hovered_) return;
        hovered_ = index;
        update();
    }

    TPageControl* owner_;
    int hovered_ = -1;
};

// One tab of the bar for screen readers and UI automation: its caption, whether its page is
// shown, where it is, and a press action that selects its page as a click does.
class TPageTabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TPageTabAccessible(TPageTabRows* rows, int index) : rows_(rows), index_(index) {}

    bool isValid() const override { return rows_ && index_ < rows_->owner()->count(); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(rows_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override {
        if (!isValid() || t != QAccessible::Name) return {};
        return WithoutMnemonic(rows_->owner()->tabText(index_));
    }

    QRect rect() const override {
        if (!isValid()) return {};
        const TPageControl* pc = rows_->owner();
        const QRect r = pc->tabRect(index_);
        return QRect(pc->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override {
        QAccessible::State st;
        if (!isValid()) {
            st.invalid = true;
            return st;
        }
        const TPageControl* pc = rows_->owner();
        const bool shown = pc->currentIndex() == index_;
        st.selectable = true;
        st.focusable = true;
        st.selected = shown;
        st.focused = shown && rows_->hasFocus();
        st.disabled = !rows_->isEnabled() || !pc->isTabEnabled(index_);
        st.invisible = !rows_->isVisible();
        return st;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name != pressAction() || !isValid()) return;
        TPageControl* pc = rows_->owner();
        if (pc->isEnabled() && pc->isTabEnabled(index_)) pc->selectByUser(index_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<TPageTabRows> rows_;
    int index_;
};

// The bar for screen readers and UI automation: a page tab list named after the shown page,
// whose children are the tabs.
class TPageTabsAccessible : public QAccessibleWidget {
public:
    explicit TPageTabsAccessible(TPageTabRows* rows)
        : QAccessibleWidget(rows, QAccessible::PageTabList) {}
    ~TPageTabsAccessible() override {
        for (QAccessible::Id id : std::as_const(tabs_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return owner()->count(); }

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        if (const auto known = tabs_.constFind(index); known != tabs_.cend())
            return QAccessible::accessibleInterface(*known);
        auto* tab = new TPageTabAccessible(rows(), index);
        tabs_.insert(index, QAccessible::registerAccessibleInterface(tab));
        return tab;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        for (auto it = tabs_.cbegin(); it != tabs_.cend(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child) return it.key();
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        return child(owner()->tabAt(owner()->mapFromGlobal(QPoint(x, y))));
    }

    QAccessibleInterface* focusChild() const override {
        return rows()->hasFocus() ? child(owner()->currentIndex()) : nullptr;
    }

    QString text(QAccessible::Text t) const override {
        QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && text.isEmpty() && owner()->currentIndex() >= 0)
            text = WithoutMnemonic(owner()->tabText(owner()->currentIndex()));
        return text;
    }

private:
    TPageTabRows* rows() const { return static_cast<TPageTabRows*>(widget()); }
    TPageControl* owner() const { return rows()->owner(); }

    mutable QHash<int, QAccessible::Id> tabs_;
};

namespace {
QAccessibleInterface* PageTabsFactory(const QString& className, QObject* object) {
    // The bar has no meta-object of its own, so it is asked for as a plain QWidget.
    if (className == QLatin1String("QWidget"))
        if (auto* rows = dynamic_cast<TPageTabRows*>(object)) return new TPageTabsAccessible(rows);
    return nullptr;
}
} // namespace

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    QAccessible::installFactory(PageTabsFactory); // once: the same factory is not added twice
    style_ = new TPageControlStyle(this, QStyleFactory::create(QApplication::style()->name()));
    setStyle(style_);
    tabBar()->hide();
    tabBar()->setFocusPolicy(Qt::NoFocus);
    rows_ = new TPageTabRows(this);
    // Focus given to the page control (setFocus, a tab order that names it) goes to the bar.
    setFocusProxy(rows_);
    connect(this, &QTabWidget::currentChanged, rows_, [this](int index) {
        rows_->update();
        // Focus inside the old page moves to the new page's first control; a page without one
        // (every control disabled) would take the focus itself, where no key does anything and
        // a screen reader reads nothing. The tabs take it then.
        const QWidget* focus = QApplication::focusWidget();
        if (focus && isAncestorOf(focus) && focus->focusPolicy() == Qt::NoFocus)
            rows_->setFocus(Qt::OtherFocusReason);
        tellAccessibility(index);
    });
    for (const PageKey& k : kPageKeys) {
        auto* shortcut = new QShortcut(k.keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this,
                [this, step = k.step] { turnPage(step, true); });
    }
    relayoutTabs();
}

TPageControl::~TPageControl() {
    // Hand the widget back to the application style before its own style is deleted.
    setStyle(nullptr);
    delete style_;
}

void TPageControl::selectByUser(int index) {
    if (index == currentIndex()) return;
    setCurrentIndex(index);
    if (currentIndex() == index) emit pageChangedByUser(index);
}

void TPageControl::turnPage(int step, bool wrap) {
    const int n = count();
    if (!isEnabled() || n < 2) return;
    int index = currentIndex();
    for (int tried = 1; tried < n; ++tried) {
        index += step;
        if (index < 0 || index >= n) {
            if (!wrap) return;
            index = (index + n) % n;
        }
        if (isTabEnabled(index)) {
            selectByUser(index);
            return;
        }
    }
}

void TPageControl::keyPressEvent(QKeyEvent* event) {
    // The window's shortcuts take these keys first. They reach this handler only when the
    // focused control inside a page claimed them ahead of the shortcuts and left them unused.
    if (const int step = PageStepOf(event)) {
        turnPage(step, true);
        return;
    }
    QTabWidget::keyPressEvent(event);
}

void TPageControl::tellAccessibility(int index) {
    if (!QAccessible::isActive() || index < 0) return;
    if (rows_->hasFocus()) {
        QAccessibleEvent focus(rows_, QAccessible::Focus);
        focus.setChild(index);
        QAccessible::updateAccessibility(&focus);
    }
    QAccessibleEvent selection(rows_, QAccessible::Selection);
    selection.setChild(index);
    QAccessible::updateAccessibility(&selection);
}

void TPageControl::setTabText(int index, const QString& text) {
    QTabWidget::setTabText(index, text);
    relayoutTabs();
}

int TPageControl::rowCount() const {
    return rowCount_;
}

int TPageControl::rowHeight() const {
    return fontMetrics().height() + 6;
}

int TPageControl::barHeight() const {
    return rowCount_ * rowHeight();
}

QRect TPageControl::tabRect(int index) const {
    return index >= 0 && index < rects_.size() ? rects_[index] : QRect();
}

int TPageControl::tabRow(int index) const {
    return index >= 0 && index < rowOf_.size() ? rowOf_[index] : -1;
}

int TPageControl::tabAt(const QPoint& pos) const {
    for (int i = 0; i < rects_.size(); ++i)
        if (rects_[i].contains(pos)) return i;
    return -1;
}

QSize TPageControl::minimumSizeHint() const {
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = qMax(widest, tabWidthHint(i));
    return {widest, barHeight() + 20};
}

int TPageControl::tabWidthHint(int index) const {
    return fontMetrics().horizontalAdvance(tabText(index)) + 2 * kTabPadding;
}

void TPageControl::relayoutTabs() {
    if (laying_ || !rows_) return;
    laying_ = true;
    const int n = count();
    const int width = qMax(1, this->width());
    const int h = rowHeight();

    // Greedy fill in page order: a tab that does not fit on the current row starts the next.
    QVector<QVector<int>> rows(1);
    int used = 0;
    for (int i = 0; i < n; ++i) {
        const int w = tabWidthHint(i);
        if (!rows.last().isEmpty() && used + w > width) {
            rows.append(QVector<int>());
            used = 0;
        }
        rows.last().append(i);
        used += w;
    }

    rects_.resize(n);
    rowOf_.resize(n);
    for (int r = 0; r < rows.size(); ++r) {
        const QVector<int>& row = rows[r];
        int natural = 0;
        for (int i : row)
            natural += tabWidthHint(i);
        // Stretch the row to the full width: the spare pixels go to the tabs in proportion.
        const int spare = qMax(0, width - natural);
        int x = 0;
        int given = 0;
        for (int k = 0; k < row.size(); ++k) {
            const int i = row[k];
            int w = tabWidthHint(i);
            if (natural > 0) {
                const int share = k == row.size() - 1
                                      ? spare - given
                                      : static_cast<int>(qint64(spare) * w / natural);
                given += share;
                w += share;
            }
            if (k == row.size() - 1 && natural <= width)
                w = width - x;      // the last tab closes the row exactly
            w = qMin(w, width - x); // a caption wider than the whole control is cut at its edge
            rects_[i] = QRect(x, r * h, w, h);
            rowOf_[i] = r;
            x += w;
        }
    }
    rowCount_ = qMax<int>(1, rows.size());
    laidTexts_.clear();
    for (int i = 0; i < n; ++i)
        laidTexts_ << tabText(i);

    rows_->setGeometry(0, 0, this->width(), barHeight());
    rows_->raise();
    rows_->update();
    laying_ = false;
    // Let QTabWidget place the page frame and the pages below the new bar height.
    QEvent request(QEvent::LayoutRequest);
    QTabWidget::event(&request);
    update();
}

bool TPageControl::layoutStale() const {
    if (laidTexts_.size() != count()) return true;
    for (int i = 0; i < count(); ++i)
        if (laidTexts_[i] != tabText(i)) return true;
    return false;
}

void TPageControl::tabInserted(int index) {
    QTabWidget::tabInserted(index);
    relayoutTabs();
}

void TPageControl::tabRemoved(int index) {
    QTabWidget::tabRemoved(index);
    relayoutTabs();
}

void TPageControl::resizeEvent(QResizeEvent* event) {
    relayoutTabs();
    QTabWidget::resizeEvent(event);
}

void TPageControl::changeEvent(QEvent* event) {
    QTabWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) relayoutTabs();
    if (event->type() == QEvent::EnabledChange && rows_) rows_->update();
}

void TPageControl::showEvent(QShowEvent* event) {
    QTabWidget::showEvent(event);
    relayoutTabs();
}
